#include "ui/main/main_window.h"

#include "ui/canvas/canvas_view.h"
#include "ui/main/main_window_parts.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>

namespace torvale {

namespace {

// Left edges of the status-bar parts 3 (zoom) and 4 (DPI): their menus open there.
constexpr int kZoomPartLeft = 600;
constexpr int kDpiPartLeft = 660;

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
    addCommand(m_fileMenu, QStringLiteral("按标准尺寸新建..."), CommandId::NewFromCardSize);
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
    addSeparator(settings);
    m_snappingAction = addCommand(settings, QStringLiteral("吸附对齐"), CommandId::Snapping);
    m_snappingAction->setCheckable(true);
    m_snappingAction->setChecked(m_document.settings().snapping);

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    addCommand(help, QStringLiteral("使用指南"), CommandId::UserGuide);
    addSeparator(help);
    addCommand(help, QStringLiteral("在桌面创建快捷启动方式"), CommandId::DesktopShortcut);
    addSeparator(help);
    addCommand(help, QStringLiteral("官方网站"), CommandId::WebSite);
    addCommand(help, QStringLiteral("关于(&A)..."), CommandId::About);

    // F2 has no menu item: an action carries it, for every window of the editor (the log
    // window and the layer windows too), so no second shortcut of its own makes it ambiguous.
    auto* toggleLog = new QAction(this);
    toggleLog->setShortcut(QKeySequence(Qt::Key_F2));
    toggleLog->setShortcutContext(Qt::ApplicationShortcut);
    toggleLog->setData(idOf(CommandId::ToggleLog));
    connect(toggleLog, &QAction::triggered, this, [this] { execute(CommandId::ToggleLog); });
    addAction(toggleLog);

    // Pop-up menus (the layer menus are built by buildLayerMenus).
    m_zoomMenu = new QMenu(this);
    for (std::size_t i = 0; i < kZoomCommands.size(); ++i) {
        QAction* item = addCommand(
            m_zoomMenu, QStringLiteral("%1%").arg(static_cast<int>(kZoomLevels[i] * 100)),
            kZoomCommands.at(i));
        item->setCheckable(true);
    }
    addSeparator(m_zoomMenu);
    QAction* fit = addCommand(m_zoomMenu, QStringLiteral("适合窗口\tCtrl+0"), CommandId::ZoomToFit);
    fit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    addAction(fit); // the window carries the shortcut while the menu is closed
    connect(m_zoomMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* item : m_zoomMenu->actions()) {
            if (const auto level =
                    kZoomCommands.indexOf(static_cast<CommandId>(item->data().toInt())))
                item->setChecked(m_canvas->zoom() == kZoomLevels[*level]);
        }
    });

    m_dpiMenu = new QMenu(this);
    addCommand(m_dpiMenu, QStringLiteral("自定义..."), CommandId::CustomDpi);
    addSeparator(m_dpiMenu);
    for (std::size_t i = 0; i < kDpiPresetCommands.size(); ++i) {
        QAction* item = addCommand(m_dpiMenu, QStringLiteral("%1 dpi").arg(kDpiPresets[i], 3),
                                   kDpiPresetCommands.at(i));
        item->setCheckable(true);
    }
    connect(m_dpiMenu, &QMenu::aboutToShow, this, [this] {
        for (QAction* item : m_dpiMenu->actions()) {
            const auto preset =
                kDpiPresetCommands.indexOf(static_cast<CommandId>(item->data().toInt()));
            if (preset)
                item->setChecked(kDpiPresets[*preset] == m_document.dpi());
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
    for (std::size_t i = 0; i < entries.size() && i < kRecentFileCommands.size(); ++i) {
        const CommandId id = kRecentFileCommands.at(i);
        auto* item =
            new QAction(QStringLiteral("%1 %2").arg(i + 1).arg(qs(entries[i])), m_fileMenu);
        item->setData(idOf(id));
        connect(item, &QAction::triggered, this, [this, id] { execute(id); });
        m_fileMenu->insertAction(exitSeparator, item);
    }
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

} // namespace torvale
