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

constexpr int kPictureWindowHeight = 430;
constexpr int kButtonWidth = 46;

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
    : LayerWindow(context, owner, kPictureWindowHeight, "pictureLayerWindow", LayerType::Picture)
{
    const int pathTop = rowTop("filePath");
    m_pathField = readOnlyPathField(this, "pathField");
    m_pathField->setGeometry(kControlLeft, pathTop, kControlWidth - kButtonWidth - 4, 22);
    m_chooseButton = new QPushButton(QStringLiteral("选择"), this);
    m_chooseButton->setGeometry(kControlLeft + kControlWidth - kButtonWidth, pathTop - 1,
                                kButtonWidth, 24);
    connect(m_chooseButton, &QPushButton::clicked, this, [this] { choosePicture(); });

    // Drawn on the cards whose own picture is missing or cannot be read.
    m_placeholder = addPathRow("placeholderPath", "placeholderField");
    connect(m_placeholder.choose, &QPushButton::clicked, this, [this] {
        if (const auto path = askPicture())
            setPath("placeholderPath", m_placeholder, *path);
        m_context.focusCanvas();
    });
    connect(m_placeholder.clear, &QPushButton::clicked, this, [this] {
        setPath("placeholderPath", m_placeholder, {});
        m_context.focusCanvas();
    });

    m_folder = addPathRow("pictureFolder", "folderField");
    connect(m_folder.choose, &QPushButton::clicked, this, [this] { chooseFolder(); });
    connect(m_folder.clear, &QPushButton::clicked, this, [this] {
        setPath("pictureFolder", m_folder, {});
        m_context.focusCanvas();
    });
}

PictureLayerWindow::PathRow PictureLayerWindow::addPathRow(const char* member,
                                                           const char* objectName)
{
    const int top = rowTop(member);
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

void PictureLayerWindow::fillOwnControls(const Layer& layer)
{
    showPath(m_pathField, layer.filePath);
    if (!layer.filePath.empty() &&
        !fileExists(resolveTemplatePath(layer.filePath, m_context.document().tpl().templatePath)))
        m_context.balloons().show(m_pathField, QStringLiteral("图片不存在"),
                                 QStringLiteral("请重新选择一个演示图片"));
    showPath(m_placeholder.field, layer.placeholderPath);
    m_placeholder.clear->setEnabled(!layer.placeholderPath.empty());
    showPath(m_folder.field, layer.pictureFolder);
    m_folder.clear->setEnabled(!layer.pictureFolder.empty());
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
        writeField("filePath", [&](Layer& l) { l.filePath = *path; });
        showPath(m_pathField, *path);
    }
    m_context.focusCanvas();
}

void PictureLayerWindow::setPath(const char* member, PathRow& row, const std::string& path)
{
    const Layer* target = layer();
    const LayerFieldInfo* field = findLayerField(member);
    if (!target || !field || fieldText(*field, *target) == path)
        return;
    writeField(member, [&](Layer& l) { setFieldValue(*field, l, path); });
    showPath(row.field, path);
    row.clear->setEnabled(!path.empty());
}

void PictureLayerWindow::chooseFolder()
{
    const Layer* target = layer();
    const std::string start =
        target && !target->pictureFolder.empty()
            ? resolveTemplatePath(target->pictureFolder, m_context.document().tpl().templatePath)
            : std::string();
    if (const auto folder = m_context.prompts().browseFolder("选择图片文件夹", start))
        setPath("pictureFolder", m_folder, *folder);
    m_context.focusCanvas();
}

} // namespace torvale
