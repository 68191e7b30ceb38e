#include "ui/main/main_window.h"

#include "common/paths.h"
#include "common/text.h"
#include "render/picture_input.h"
#include "ui/balloon.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/data_source_panel.h"
#include "ui/panels/layer_panel.h"
#include "ui/windows/log_window.h"
#include "ui/main/main_window_parts.h"

#include <QCloseEvent>
#include <QLineEdit>

#include <filesystem>

namespace torvale {

namespace {

constexpr const char* kModifiedPrompt = "当前模版已更改，是否保存更改？";

} // namespace

void MainWindow::registerFileCommands()
{
    static_assert(kRecentFileCommands.size() == kRecentFilesShown);
    m_commands.addRange(kRecentFileCommands, [this](std::size_t i) { openRecentFile(i); });
    m_commands.add(CommandId::NewTemplate, [this] {
        // The layer property windows are hidden with the selection once they exist.
        if (confirmDiscard())
            m_document.newTemplate();
    });
    m_commands.add(CommandId::NewFromCardSize, [this] {
        const std::optional<CardSizeChoice> size = m_prompts.chooseCardSize();
        if (size && confirmDiscard())
            m_document.newTemplate(*size);
    });
    m_commands.add(CommandId::OpenTemplate, [this] { openTemplatePath(std::string()); });
    m_commands.add(CommandId::SaveTemplate, [this] { saveTemplate(false); });
    m_commands.add(CommandId::SaveTemplateAs, [this] { saveTemplate(true); });
    m_commands.add(CommandId::Exit, [this] { close(); });
}

void MainWindow::openRecentFile(std::size_t index)
{
    const auto& entries = m_document.recentFiles().entries();
    if (index >= entries.size())
        return;
    const std::string path = entries[index];
    if (fileExists(path)) {
        openTemplatePath(path);
        return;
    }
    m_prompts.message("提示", PromptIcon::Warning, "\"" + path + "\" 已不存在。",
                      PromptButtons::Ok);
    m_document.recentFiles().removeRecentFile(path, !m_document.tpl().templatePath.empty());
    rebuildRecentMenu();
}

bool MainWindow::confirmDiscard()
{
    if (!m_document.isModified())
        return true;
    switch (m_prompts.message("询问", PromptIcon::Question, kModifiedPrompt,
                              PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes:
        // Deliberate difference 7: a save that is cancelled or fails abandons the command.
        return saveTemplate(false);
    case PromptAnswer::No:
        return true;
    default:
        return false;
    }
}

std::string MainWindow::templateDialogFolder() const
{
    // The open template's folder, or the templates folder for a new one.
    const std::string& path = m_document.tpl().templatePath;
    return path.empty() ? m_templatesFolder : pathToUtf8(folderOf(path));
}

bool MainWindow::saveTemplate(bool saveAs)
{
    std::string path = saveAs ? std::string() : m_document.tpl().templatePath;
    if (path.empty()) {
        FileDialogRequest request;
        request.title = saveAs ? "模版另存为" : "模版保存到";
        request.filterName = "模版文件 (*.dat)";
        request.filterPattern = "*.dat";
        request.startFolder = templateDialogFolder();
        request.defaultSuffix = "dat";
        const auto chosen = m_prompts.saveFile(request);
        if (!chosen || chosen->empty())
            return false;
        path = *chosen;
        if (!endsWithIgnoreCase(path, ".dat"))
            path += ".dat";
    }
    const TemplateSaveResult result = m_document.save(path);
    if (!result.ok()) {
        for (const std::string& line : result.logLines)
            appendLog(line);
        m_prompts.message("错误", PromptIcon::Error, result.message, PromptButtons::Ok);
        return false;
    }
    updateTitle();
    return true;
}

void MainWindow::openTemplatePath(const std::string& requested)
{
    if (!confirmDiscard())
        return;
    std::string path = requested;
    if (path.empty()) {
        FileDialogRequest request;
        request.title = "打开模版";
        request.filterName = "模版文件 (*.dat)";
        request.filterPattern = "*.dat";
        request.startFolder = templateDialogFolder();
        const auto chosen = m_prompts.openFile(request);
        if (!chosen || chosen->empty())
            return;
        path = *chosen;
    }
    const TemplateReadResult result = m_document.open(path);
    if (!result.ok())
        m_prompts.message("提示", PromptIcon::Error, result.message, PromptButtons::Ok);
    if (result.csvUnreadable) {
        scrollSettingsToTop();
        balloons().show(m_dataSourcePanel->csvPathField(), QStringLiteral("csv文件无法访问"),
                         QStringLiteral("请检查文件是否存在或被别的软件【独占方式】打开"));
    }
    if (result.ok() && result.selectFirstLayer)
        selectLayerRows(m_state, m_document.tpl().layers, {0});
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_document.isModified()) {
        if (isMinimized())
            showNormal();
        if (!confirmDiscard()) {
            event->ignore();
            return;
        }
    }
    m_logWindow->hide();
    event->accept();
}

} // namespace torvale
