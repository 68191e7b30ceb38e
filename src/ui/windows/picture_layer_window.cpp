#include "ui/windows/layer_windows.h"

#include "app/layer_properties.h"
#include "model/template_file.h"
#include "render/picture_input.h"
#include "ui/editor_context.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

namespace torvale {

namespace {

constexpr int kPictureWindowHeight = 248;

} // namespace

PictureLayerWindow::PictureLayerWindow(EditorContext& context, QWidget* owner)
    : LayerWindow(context, owner, kPictureWindowHeight, "pictureLayerWindow")
{
    const int pathTop = addRow("演示图片：");
    m_pathField = new QLineEdit(this);
    m_pathField->setObjectName(QStringLiteral("pathField"));
    m_pathField->setReadOnly(true);
    m_pathField->setStyleSheet(QStringLiteral("QLineEdit { background: white; }"));
    m_pathField->setGeometry(kControlLeft, pathTop, kControlWidth - 50, 22);
    m_chooseButton = new QPushButton(QStringLiteral("选择"), this);
    m_chooseButton->setGeometry(kControlLeft + kControlWidth - 46, pathTop - 1, 46, 24);
    connect(m_chooseButton, &QPushButton::clicked, this, [this] { choosePicture(); });

    m_overflowBox = addList(addRow("溢出样式："),
                            {QStringLiteral("等比例缩小"), QStringLiteral("等比例缩放"),
                             QStringLiteral("填充式缩放"), QStringLiteral("裁剪左上角"),
                             QStringLiteral("裁剪正中间")});
    m_overflowBox->setObjectName(QStringLiteral("overflowBox"));
    connect(m_overflowBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            writeFields(FieldOverflow, [&](Layer& l) { l.overflow_style = overflowStyleAt(index); });
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
    addGeometryRows();
}

void PictureLayerWindow::fillOwnControls(const Layer& layer)
{
    m_pathField->setText(QString::fromStdString(layer.filePath));
    if (!layer.filePath.empty() &&
        !fileExists(resolveTemplatePath(layer.filePath, m_context.document().tpl().templatePath)))
        m_context.balloons().show(m_pathField, QStringLiteral("图片不存在"),
                                 QStringLiteral("请重新选择一个演示图片"));
    m_overflowBox->setCurrentIndex(overflowListIndex(layer.overflow_style));
    m_levelBox->setCurrentIndex(static_cast<int>(layer.layer_level));
    m_horizontalBox->setCurrentIndex(layer.pHAlign);
    m_verticalBox->setCurrentIndex(layer.pVAlign);
}

void PictureLayerWindow::choosePicture()
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
        writeFields(FieldDemo, [&](Layer& l) { l.filePath = *path; });
        m_pathField->setText(QString::fromStdString(*path));
        m_pathField->end(false);
        break;
    }
    m_context.focusCanvas();
}

} // namespace torvale
