#include "ui/main/main_window.h"

#include "app/desktop_shortcut.h"
#include "app/font_mapping.h"
#include "app/installed_files.h"
#include "common/build_info.h"
#include "common/paths.h"
#include "ui/canvas/canvas_view.h"
#include "ui/dialogs/font_mapping_dialog.h"
#include "ui/main/main_window_parts.h"
#include "ui/user_guide.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include <charconv>
#include <filesystem>

namespace torvale {

namespace {

static_assert(kZoomCommands.size() == std::size(kZoomLevels));
static_assert(kDpiPresetCommands.size() == std::size(kDpiPresets));

} // namespace

void MainWindow::registerSettingsCommands()
{
    m_commands.addRange(kZoomCommands,
                        [this](std::size_t i) { m_canvas->setZoom(kZoomLevels[i]); });
    m_commands.add(CommandId::ZoomToFit, [this] { m_canvas->zoomToFit(); });
    m_commands.addRange(kDpiPresetCommands,
                        [this](std::size_t i) { m_document.setDpi(kDpiPresets[i]); });
    m_commands.add(CommandId::CustomDpi, [this] { runCustomDpi(); });
    m_commands.add(CommandId::FontMapping, [this] {
        if (!m_fontMappingDialog)
            m_fontMappingDialog = new FontMappingDialog(*m_context, this);
        m_fontMappingDialog->run();
    });
    m_commands.add(CommandId::CompletedAlert, [this] {
        m_document.setCompletedAlert(!m_document.settings().completed_alert);
        m_completedAlertAction->setChecked(m_document.settings().completed_alert);
    });
    m_commands.add(CommandId::Snapping, [this] {
        m_document.setSnapping(!m_document.settings().snapping);
        m_snappingAction->setChecked(m_document.settings().snapping);
    });
    m_commands.add(CommandId::DesktopShortcut, [this] {
        const std::filesystem::path exe =
            pathFromUtf8(QCoreApplication::applicationFilePath().toStdString());
        const auto icon = findApplicationIcon(programFolder());
        if (writeDesktopLauncher(desktopFolder(), exe,
                                 icon ? pathToUtf8(*icon) : "applications-graphics"))
            m_prompts.message("提示", PromptIcon::Information,
                              "在桌面上成功创建了一个【快捷启动方式】", PromptButtons::Ok);
        else
            m_prompts.message("提示", PromptIcon::Error, "在桌面上创建【快捷启动方式】失败",
                              PromptButtons::Ok);
    });
    // There is no web site: the guide installed with the program stands in for it, its last
    // part ("关于 Torvale") for the product's page.
    m_commands.add(CommandId::UserGuide, [this] { openUserGuide({}); });
    m_commands.add(CommandId::WebSite, [this] { openUserGuide(QStringLiteral("about")); });
    m_commands.add(CommandId::About, [this] {
        // "%s V%0.1f (%d位)", with the point whatever the locale says.
        char version[32];
        const auto written = std::to_chars(version, version + sizeof version, kVersionNumber,
                                           std::chars_format::fixed, 1);
        const std::string text =
            "Torvale V" + std::string(version, written.ptr) + " (" +
            std::to_string(sizeof(void*) * 8) +
            "位)\n\n\n设计图片模版，批量制作工牌、工作证、胸牌图片。\n" +
            userGuideUrl(QStringLiteral("about")).toString().toStdString();
        m_prompts.message("关于", PromptIcon::Information, text, PromptButtons::Ok);
    });
}

void MainWindow::openUserGuide(const QString& section)
{
    if (!findUserGuide(programFolder())) {
        m_prompts.message("提示", PromptIcon::Warning,
                          "找不到使用指南：" + pathToUtf8(installedUserGuide(programFolder())),
                          PromptButtons::Ok);
        return;
    }
    openExternally(QString::fromStdString(pathToUtf8(installedUserGuide(programFolder()))),
                   userGuideUrl(section));
}

void MainWindow::runCustomDpi()
{
    const auto answer = m_prompts.input("DPI 自定义", "输入一个自定义的 DPI：", InputMode::Integer,
                                        std::to_string(m_document.dpi()));
    if (!answer)
        return;
    long long dpi = 0;
    const char* first = answer->data();
    const char* last = first + answer->size();
    const auto [end, error] = std::from_chars(first, last, dpi);
    if (end == first) // not a number: the input dialog does not let this through
        return;
    if (error == std::errc::result_out_of_range)
        dpi = answer->front() == '-' ? -1 : kMaxDpi + 1;
    if (dpi < kMinDpi)
        m_prompts.message("提示", PromptIcon::Warning, "DPI 不能小于 1", PromptButtons::Ok);
    else if (dpi > kMaxDpi)
        m_prompts.message("提示", PromptIcon::Warning, "DPI 不能大于 1200", PromptButtons::Ok);
    else
        m_document.setDpi(static_cast<std::int32_t>(dpi));
}

void MainWindow::offerDesktopShortcut()
{
    if (!shouldOfferDesktopLauncher(m_document.settings().check_shortcut_status, programFolder(),
                                    desktopFolder()))
        return;
    const int answer =
        m_prompts.choice("询问", PromptIcon::Question, "需要在桌面上创建一个软件打开的快捷方式吗？",
                         {"是(&Y)", "不再提示", "否(&N)"});
    if (answer == 0)
        execute(CommandId::DesktopShortcut);
    else if (answer == 1)
        m_document.setCheckShortcutStatus(false);
}

} // namespace torvale
