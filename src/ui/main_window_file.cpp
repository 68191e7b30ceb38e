#include "ui/main_window.h"

#include "app/desktop_shortcut.h"
#include "app/font_mapping.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/picture_input.h"
#include "ui/balloon.h"
#include "ui/canvas_view.h"
#include "ui/data_source_panel.h"
#include "ui/font_mapping_dialog.h"
#include "ui/layer_panel.h"
#include "ui/log_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QUrl>

#include <charconv>
#include <filesystem>

namespace torvale {

namespace {

constexpr std::int32_t kDpiPresets[] = {350, 300, 150, 120, 96, 72};
// Left edges of the status-bar parts 3 (zoom) and 4 (DPI): their menus open there.
constexpr int kZoomPartLeft = 600;
constexpr int kDpiPartLeft = 660;

constexpr const char* kWebSite = "https://torvale.example.com";
constexpr const char* kUserGuide = "https://torvale.example.com/guide";
constexpr const char* kModifiedPrompt = "当前模版已更改，是否保存更改？";

int idOf(CommandId id)
{
    return static_cast<int>(id);
}

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Opens the zoom or DPI menu when status-bar part 3 or 4 is clicked. The parts are labels that
// leave mouse presses to the status bar, so one filter on the bar sees them.
class StatusPartClicks : public QObject {
public:
    StatusPartClicks(MainWindow& window, QStatusBar* bar)
        : QObject(bar), m_window(window), m_bar(bar)
    {
        bar->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_bar || event->type() != QEvent::MouseButtonPress)
            return false;
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() != Qt::LeftButton && press->button() != Qt::RightButton)
            return false;
        // The press may land on the icon or the text inside a part.
        QWidget* part = m_bar->childAt(press->position().toPoint());
        while (part && part->parentWidget() != m_bar &&
               !part->objectName().startsWith(QLatin1String("statusPart")))
            part = part->parentWidget();
        if (!part)
            return false;
        const bool zoom = part->objectName() == QLatin1String("statusPart3");
        const bool dpi = part->objectName() == QLatin1String("statusPart4");
        if (!zoom && !dpi)
            return false;
        QMenu* menu = m_window.popupMenu(zoom ? QStringLiteral("zoom") : QStringLiteral("dpi"));
        const QPoint corner = m_bar->mapToGlobal(QPoint(zoom ? kZoomPartLeft : kDpiPartLeft, 0));
        menu->popup(corner - QPoint(0, menu->sizeHint().height()));
        return true;
    }

private:
    MainWindow& m_window;
    QStatusBar* m_bar;
};

} // namespace

void MainWindow::buildMenus()
{
    const auto addCommand = [this](QMenu* menu, const QString& text, CommandId id) {
        QAction* action = menu->addAction(text);
        action->setData(idOf(id));
        connect(action, &QAction::triggered, this, [this, id] { execute(id); });
        return action;
    };
    const auto addSeparator = [](QMenu* menu, int id = 0) {
        QAction* separator = menu->addSeparator();
        if (id != 0)
            separator->setData(id);
        return separator;
    };

    // Ctrl+N, Ctrl+O and Ctrl+S work in every window of the program (the log window too), but
    // not while a modal dialog is up.
    const auto withShortcut = [](QAction* action, QKeySequence keys) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::ApplicationShortcut);
    };
    m_fileMenu = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    withShortcut(addCommand(m_fileMenu, QStringLiteral("新建(&N)\tCtrl+N"), CommandId::NewTemplate),
                 QKeySequence(Qt::CTRL | Qt::Key_N));
    withShortcut(
        addCommand(m_fileMenu, QStringLiteral("打开(&O)...\tCtrl+O"), CommandId::OpenTemplate),
        QKeySequence(Qt::CTRL | Qt::Key_O));
    addSeparator(m_fileMenu);
    withShortcut(
        addCommand(m_fileMenu, QStringLiteral("保存(&S)...\tCtrl+S"), CommandId::SaveTemplate),
        QKeySequence(Qt::CTRL | Qt::Key_S));
    addCommand(m_fileMenu, QStringLiteral("另存为(&A)..."), CommandId::SaveTemplateAs);
    addSeparator(m_fileMenu);
    addCommand(m_fileMenu, QStringLiteral("检查数据(&C)..."), CommandId::CheckRows);
    addCommand(m_fileMenu, QStringLiteral("打印排版(&P)..."), CommandId::PrintSheet);
    addSeparator(m_fileMenu, idOf(CommandId::ExitSeparator));
    addCommand(m_fileMenu, QStringLiteral("退出(&X)"), CommandId::Exit);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    m_undoAction = addCommand(edit, QStringLiteral("撤销\tCtrl+Z"), CommandId::Undo);
    m_undoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redoAction = addCommand(edit, QStringLiteral("重做\tCtrl+Y"), CommandId::Redo);
    m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y),
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    m_undoAction->setEnabled(false);
    m_redoAction->setEnabled(false);

    QMenu* settings = menuBar()->addMenu(QStringLiteral("设置(&O)"));
    addCommand(settings, QStringLiteral("字体文件映射..."), CommandId::FontMapping);
    m_watermarkPanelAction = addCommand(settings, QStringLiteral("水印面板"), CommandId::WatermarkPanel);
    m_watermarkPanelAction->setCheckable(true);
    addSeparator(settings);
    m_completedAlertAction =
        addCommand(settings, QStringLiteral("处理完成后弹出提示对话框"), CommandId::CompletedAlert);
    m_completedAlertAction->setCheckable(true);
    m_completedAlertAction->setChecked(m_document.settings().completed_alert);

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    addCommand(help, QStringLiteral("使用指南"), CommandId::UserGuide);
    addSeparator(help);
    addCommand(help, QStringLiteral("在桌面创建快捷启动方式"), CommandId::DesktopShortcut);
    addSeparator(help);
    addCommand(help, QStringLiteral("官方网站"), CommandId::WebSite);
    addCommand(help, QStringLiteral("关于(&A)..."), CommandId::About);

    // F2 has no menu item: a window action carries it.
    auto* toggleLog = new QAction(this);
    toggleLog->setShortcut(QKeySequence(Qt::Key_F2));
    toggleLog->setData(idOf(CommandId::ToggleLog));
    connect(toggleLog, &QAction::triggered, this, [this] { execute(CommandId::ToggleLog); });
    addAction(toggleLog);

    // Pop-up menus (the layer menus are built by buildLayerMenus).
    m_zoomMenu = new QMenu(this);
    for (int i = 0; i < static_cast<int>(std::size(kZoomLevels)); ++i) {
        QAction* item = addCommand(
            m_zoomMenu, QStringLiteral("%1%").arg(static_cast<int>(kZoomLevels[i] * 100)),
            static_cast<CommandId>(idOf(CommandId::Zoom25) + i));
        item->setCheckable(true);
    }
    connect(m_zoomMenu, &QMenu::aboutToShow, this, [this] {
        const auto items = m_zoomMenu->actions();
        for (int i = 0; i < items.size(); ++i)
            items[i]->setChecked(m_canvas->zoom() == kZoomLevels[i]);
    });

    m_dpiMenu = new QMenu(this);
    addCommand(m_dpiMenu, QStringLiteral("自定义..."), CommandId::CustomDpi);
    addSeparator(m_dpiMenu);
    for (int i = 0; i < static_cast<int>(std::size(kDpiPresets)); ++i) {
        QAction* item = addCommand(m_dpiMenu, QStringLiteral("%1 dpi").arg(kDpiPresets[i], 3),
                                   static_cast<CommandId>(idOf(CommandId::Dpi350) + i));
        item->setCheckable(true);
    }
    connect(m_dpiMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* item : m_dpiMenu->actions()) {
            const int id = item->data().toInt();
            if (id >= idOf(CommandId::Dpi350) && id <= idOf(CommandId::Dpi72))
                item->setChecked(kDpiPresets[id - idOf(CommandId::Dpi350)] == m_document.dpi());
        }
    });

    new StatusPartClicks(*this, statusBar());

    // The remembered dialog folders are written when the window goes (the document outlives it).
    connect(this, &QObject::destroyed, [&document = m_document] {
        writeDialogFolders(document.store(), document.settings());
    });
}

void MainWindow::rebuildRecentMenu()
{
    if (!m_fileMenu)
        return;
    QAction* exitSeparator = nullptr;
    std::vector<QAction*> section;
    bool inSection = false;
    for (QAction* item : m_fileMenu->actions()) {
        const int id = item->data().toInt();
        if (id == idOf(CommandId::ExitSeparator)) {
            exitSeparator = item;
            break;
        }
        if (id == idOf(CommandId::RecentSeparator))
            inSection = true;
        if (inSection)
            section.push_back(item);
    }
    for (QAction* item : section) {
        m_fileMenu->removeAction(item);
        item->deleteLater();
    }
    const auto& entries = m_document.recentFiles().entries();
    if (entries.empty() || !exitSeparator)
        return;
    auto* separator = new QAction(m_fileMenu);
    separator->setSeparator(true);
    separator->setData(idOf(CommandId::RecentSeparator));
    m_fileMenu->insertAction(exitSeparator, separator);
    for (std::size_t i = 0; i < entries.size() && i < kRecentFilesShown; ++i) {
        const auto id = static_cast<CommandId>(idOf(CommandId::RecentFirst) + static_cast<int>(i));
        auto* item =
            new QAction(QStringLiteral("%1 %2").arg(i + 1).arg(qs(entries[i])), m_fileMenu);
        item->setData(idOf(id));
        connect(item, &QAction::triggered, this, [this, id] { execute(id); });
        m_fileMenu->insertAction(exitSeparator, item);
    }
}

void MainWindow::registerFileCommands()
{
    for (int i = 0; i <= idOf(CommandId::RecentLast) - idOf(CommandId::RecentFirst); ++i)
        registerCommand(static_cast<CommandId>(idOf(CommandId::RecentFirst) + i),
                        [this, i] { openRecentFile(static_cast<std::size_t>(i)); });
    for (int i = 0; i <= idOf(CommandId::Zoom800) - idOf(CommandId::Zoom25); ++i)
        registerCommand(static_cast<CommandId>(idOf(CommandId::Zoom25) + i),
                        [this, i] { m_canvas->setZoom(kZoomLevels[i]); });
    for (int i = 0; i <= idOf(CommandId::Dpi72) - idOf(CommandId::Dpi350); ++i)
        registerCommand(static_cast<CommandId>(idOf(CommandId::Dpi350) + i),
                        [this, i] { m_document.setDpi(kDpiPresets[i]); });

    registerCommand(CommandId::NewTemplate, [this] {
        // The layer property windows are hidden with the selection once they exist.
        if (confirmDiscard())
            m_document.newTemplate();
    });
    registerCommand(CommandId::OpenTemplate, [this] { openTemplatePath(std::string()); });
    registerCommand(CommandId::SaveTemplate, [this] { saveTemplate(false); });
    registerCommand(CommandId::SaveTemplateAs, [this] { saveTemplate(true); });
    registerCommand(CommandId::Exit, [this] { close(); });
    registerCommand(CommandId::UserGuide,
                    [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kUserGuide))); });
    registerCommand(CommandId::WebSite,
                    [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebSite))); });
    registerCommand(CommandId::DesktopShortcut, [this] {
        const std::filesystem::path exe =
            pathFromUtf8(QCoreApplication::applicationFilePath().toStdString());
        if (writeDesktopLauncher(desktopFolder(), exe))
            m_prompts.message("提示", PromptIcon::Information,
                              "在桌面上成功创建了一个【快捷启动方式】", PromptButtons::Ok);
        else
            m_prompts.message("提示", PromptIcon::Error, "在桌面上创建【快捷启动方式】失败",
                              PromptButtons::Ok);
    });
    registerCommand(CommandId::About, [this] {
        const int bits = static_cast<int>(sizeof(void*) * 8);
        const std::string text = "Torvale V1.0 (" + std::to_string(bits) +
                                 "位)\n\n\n设计图片模版，批量制作工牌、工作证、胸牌图片。\n" +
                                 kWebSite;
        m_prompts.message("关于", PromptIcon::Information, text, PromptButtons::Ok);
    });
    registerCommand(CommandId::CompletedAlert, [this] {
        m_document.setCompletedAlert(!m_document.settings().completed_alert);
        m_completedAlertAction->setChecked(m_document.settings().completed_alert);
    });
    registerCommand(CommandId::FontMapping, [this] {
        if (!m_fontMappingDialog)
            m_fontMappingDialog = new FontMappingDialog(*this);
        m_fontMappingDialog->run();
    });
    registerCommand(CommandId::CustomDpi, [this] { runCustomDpi(); });
}

bool MainWindow::addFontMapping(const std::string& name, const std::string& path)
{
    if (!torvale::addFontMapping(m_fontLibrary, m_document.store(), name, path))
        return false;
    emit fontMappingAdded(qs(name));
    return true;
}

void MainWindow::removeFontMapping(const std::string& name)
{
    if (torvale::removeFontMapping(m_fontLibrary, m_document.store(), name))
        emit fontMappingRemoved(qs(name));
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

bool MainWindow::saveTemplate(bool saveAs)
{
    std::string path = saveAs ? std::string() : m_document.tpl().templatePath;
    if (path.empty()) {
        FileDialogRequest request;
        request.title = saveAs ? "模版另存为" : "模版保存到";
        request.filterName = "模版文件 (*.dat)";
        request.filterPattern = "*.dat";
        request.startFolder = m_templatesFolder;
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
        request.startFolder = m_templatesFolder;
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
        m_balloons->show(m_dataSourcePanel->csvPathField(), QStringLiteral("csv文件无法访问"),
                         QStringLiteral("请检查文件是否存在或被别的软件【独占方式】打开"));
    }
    if (result.ok() && result.selectFirstLayer)
        selectLayerRows(m_state, m_document.tpl().layers, {0});
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

QMenu* MainWindow::popupMenu(const QString& name) const
{
    if (name == QLatin1String("layer"))
        return m_layerMenu;
    if (name == QLatin1String("zoom"))
        return m_zoomMenu;
    if (name == QLatin1String("dpi"))
        return m_dpiMenu;
    if (name == QLatin1String("layerType"))
        return m_layerTypeMenu;
    return nullptr;
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
