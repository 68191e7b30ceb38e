#include "ui/windows/layer_windows.h"

#include "app/layer_properties.h"
#include "common/text.h"
#include "model/template_file.h"
#include "render/picture_input.h"
#include "ui/editor_context.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

namespace torvale {

namespace {

constexpr int kPictureWindowHeight = 378;
constexpr int kButtonWidth = 46;
constexpr int kNumberWidth = 58;

/// A read-only path field: a white background, the end of the path (the file name) in view.
QLineEdit* readOnlyPathField(QWidget* parent, const char* objectName)
{
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(objectName));
    field->setReadOnly(true);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: white; }"));
    return field;
}

void showPath(QLineEdit* field, const std::string& path)
{
    field->setText(QString::fromStdString(path));
    field->setToolTip(field->text());
    field->end(false);
}

} // namespace

PictureLayerWindow::PictureLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kPictureWindowHeight, "pictureLayerWindow")
{
    const int pathTop = addRow("演示图片：");
    m_pathField = readOnlyPathField(this, "pathField");
    m_pathField->setGeometry(kControlLeft, pathTop, kControlWidth - kButtonWidth - 4, 22);
    m_chooseButton = new QPushButton(QStringLiteral("选择"), this);
    m_chooseButton->setGeometry(kControlLeft + kControlWidth - kButtonWidth, pathTop - 1,
                                kButtonWidth, 24);
    connect(m_chooseButton, &QPushButton::clicked, this, [this] { choosePicture(); });

    // Drawn on the cards whose own picture is missing or cannot be read.
    const PathRow placeholder = addPathRow("占位图片：", "placeholderField");
    m_placeholderField = placeholder.field;
    m_choosePlaceholderButton = placeholder.choose;
    m_clearPlaceholderButton = placeholder.clear;
    connect(m_choosePlaceholderButton, &QPushButton::clicked, this,
            [this] { choosePlaceholder(); });
    connect(m_clearPlaceholderButton, &QPushButton::clicked, this, [this] {
        setPlaceholder({});
        m_context.focusCanvas();
    });

    // With a folder, a cell names the person's picture in it (A0001 finds A0001.jpg).
    m_folder = addPathRow("图片目录：", "folderField");
    connect(m_folder.choose, &QPushButton::clicked, this, [this] { chooseFolder(); });
    connect(m_folder.clear, &QPushButton::clicked, this, [this] {
        setFolder({});
        m_context.focusCanvas();
    });

    m_overflowBox =
        addList(addRow("溢出样式："), {QStringLiteral("等比例缩小"), QStringLiteral("等比例缩放"),
                                       QStringLiteral("填充式缩放"), QStringLiteral("裁剪左上角"),
                                       QStringLiteral("裁剪正中间"), QStringLiteral("等比例填满")});
    m_overflowBox->setObjectName(QStringLiteral("overflowBox"));
    connect(m_overflowBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeChoice(FieldOverflow,
                        [&](Layer& l) { l.overflow_style = overflowStyleAt(index); });
    });
    m_levelBox = addList(addRow("层次："), {QStringLiteral("背景上方"), QStringLiteral("背景下方")});
    m_levelBox->setObjectName(QStringLiteral("levelBox"));
    connect(m_levelBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeFields(FieldLevel,
                        [&](Layer& l) { l.layer_level = static_cast<LayerLevel>(index); });
    });
    m_horizontalBox = addList(addRow("水平对齐："), {QStringLiteral("左"), QStringLiteral("距中"),
                                                   QStringLiteral("右")});
    connect(m_horizontalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeFields(FieldAlignment, [&](Layer& l) { l.pHAlign = index; });
    });
    m_verticalBox = addList(addRow("垂直对齐："), {QStringLiteral("顶端"), QStringLiteral("距中"),
                                                 QStringLiteral("底部")});
    connect(m_verticalBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeFields(FieldAlignment, [&](Layer& l) { l.pVAlign = index; });
    });

    // Rounded corners (a radius of half the shorter side or more makes an ellipse) and a border
    // inside the picture's outline.
    m_radiusField =
        memberField("radiusField", 6, 0, kMaxPictureEdge, FieldFrame, &Layer::cornerRadius);
    m_radiusField->setGeometry(kControlLeft, addRow("圆角半径："), kNumberWidth, 22);
    m_borderWidthField =
        memberField("borderWidthField", 6, 0, kMaxPictureEdge, FieldFrame, &Layer::borderWidth);
    m_borderWidthField->setGeometry(kControlLeft, addRow("边框宽度："), kNumberWidth, 22);
    const int colorTop = addRow("边框颜色：");
    m_borderSwatch = new ColorSwatch(
        this,
        [this]() -> std::optional<std::uint32_t> {
            const Layer* target = layer();
            return target ? htmlToColor(target->borderColor) : std::nullopt;
        },
        [this] { chooseBorderColor(); });
    m_borderSwatch->setObjectName(QStringLiteral("borderSwatch"));
    m_borderSwatch->setGeometry(kControlLeft, colorTop + 1, 64, 19);
    addGeometryRows();
}

PictureLayerWindow::PathRow PictureLayerWindow::addPathRow(const char* label,
                                                           const char* objectName)
{
    const int top = addRow(label);
    PathRow row;
    row.field = readOnlyPathField(this, objectName);
    row.field->setGeometry(kControlLeft, top, kControlWidth - 2 * kButtonWidth - 8, 22);
    row.choose = new QPushButton(QStringLiteral("选择"), this);
    row.choose->setGeometry(kControlLeft + kControlWidth - 2 * kButtonWidth - 4, top - 1,
                            kButtonWidth, 24);
    row.clear = new QPushButton(QStringLiteral("清除"), this);
    row.clear->setGeometry(kControlLeft + kControlWidth - kButtonWidth, top - 1, kButtonWidth, 24);
    return row;
}

QWidget* PictureLayerWindow::borderSwatch() const
{
    return m_borderSwatch;
}

void PictureLayerWindow::fillOwnControls(const Layer& layer)
{
    showPath(m_pathField, layer.filePath);
    if (!layer.filePath.empty() &&
        !fileExists(resolveTemplatePath(layer.filePath, m_context.document().tpl().templatePath)))
        m_context.balloons().show(m_pathField, QStringLiteral("图片不存在"),
                                 QStringLiteral("请重新选择一个演示图片"));
    showPath(m_placeholderField, layer.placeholderPath);
    m_clearPlaceholderButton->setEnabled(!layer.placeholderPath.empty());
    showPath(m_folder.field, layer.pictureFolder);
    m_folder.clear->setEnabled(!layer.pictureFolder.empty());
    m_overflowBox->setCurrentIndex(overflowListIndex(layer.overflow_style));
    m_levelBox->setCurrentIndex(static_cast<int>(layer.layer_level));
    m_horizontalBox->setCurrentIndex(layer.pHAlign);
    m_verticalBox->setCurrentIndex(layer.pVAlign);
    m_radiusField->setText(QString::number(layer.cornerRadius));
    m_borderWidthField->setText(QString::number(layer.borderWidth));
    m_borderSwatch->update();
}

std::optional<std::string> PictureLayerWindow::askPicture()
{
    std::filesystem::path& folder = m_context.document()
                                        .settings()
                                        .dialogFolders[static_cast<int>(DialogFolder::ChooseTestPicture)];
    FileDialogRequest request{"选择一张图片", "图片格式 (*.PNG;*.JPG;*.GIF)",
                              "*.PNG;*.JPG;*.JPEG;*.GIF", folder.string(), "", {}};
    request.moreFilters = {{"PNG图片 (*.PNG)", "*.PNG"},
                           {"JPG图片 (*.JPG)", "*.JPG;*.JPEG"},
                           {"GIF图片 (*.GIF)", "*.GIF"}};
    while (const auto path = m_context.prompts().openFile(request)) {
        folder = std::filesystem::path(*path).parent_path();
        request.startFolder = folder.string();
        if (const auto problem = validatePictureFile(*path, PictureKind::Layer)) {
            m_context.prompts().message("提示", PromptIcon::Warning, *problem, PromptButtons::Ok);
            continue;
        }
        return *path;
    }
    return std::nullopt;
}

void PictureLayerWindow::choosePicture()
{
    if (const auto path = askPicture()) {
        writeFields(FieldDemo, [&](Layer& l) { l.filePath = *path; });
        showPath(m_pathField, *path);
    }
    m_context.focusCanvas();
}

void PictureLayerWindow::choosePlaceholder()
{
    if (const auto path = askPicture())
        setPlaceholder(*path);
    m_context.focusCanvas();
}

void PictureLayerWindow::setPlaceholder(const std::string& path)
{
    const Layer* target = layer();
    if (!target || target->placeholderPath == path)
        return;
    writeChoice(FieldFrame, [&](Layer& l) { l.placeholderPath = path; });
    showPath(m_placeholderField, path);
    m_clearPlaceholderButton->setEnabled(!path.empty());
}

void PictureLayerWindow::chooseFolder()
{
    const Layer* target = layer();
    const std::string start =
        target && !target->pictureFolder.empty()
            ? resolveTemplatePath(target->pictureFolder, m_context.document().tpl().templatePath)
            : std::string();
    if (const auto folder = m_context.prompts().browseFolder("选择图片文件夹", start))
        setFolder(*folder);
    m_context.focusCanvas();
}

void PictureLayerWindow::setFolder(const std::string& folder)
{
    const Layer* target = layer();
    if (!target || target->pictureFolder == folder)
        return;
    writeChoice(FieldBinding, [&](Layer& l) { l.pictureFolder = folder; });
    showPath(m_folder.field, folder);
    m_folder.clear->setEnabled(!folder.empty());
}

void PictureLayerWindow::chooseBorderColor()
{
    const Layer* target = layer();
    if (!target)
        return;
    const auto color =
        m_context.prompts().chooseColor(htmlToColor(target->borderColor).value_or(0), this);
    if (!color)
        return;
    const std::string html = colorToHtml(*color);
    if (html != target->borderColor)
        writeChoice(FieldFrame, [&](Layer& l) { l.borderColor = html; });
    m_borderSwatch->update();
}

} // namespace torvale
