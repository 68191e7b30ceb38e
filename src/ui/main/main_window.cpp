#include "ui/main/main_window.h"

#include "ui/panels/background_panel.h"
#include "ui/balloon.h"
#include "ui/main/batch_controller.h"
#include "ui/canvas/canvas_view.h"
#include "ui/panels/data_source_panel.h"
#include "ui/panels/layer_panel.h"
#include "ui/windows/layer_windows.h"
#include "ui/row_preview.h"
#include "ui/panels/watermark_panel.h"
#include "ui/windows/log_window.h"
#include "ui/panels/output_panel.h"
#include "ui/main/status_line.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdlib>
#include <iterator>

namespace torvale {

namespace {

constexpr int kColumnWidth = 406;
constexpr int kPanelWidth = 400;
constexpr int kPanelGap = 16;
// The last panel (the start button) sits this much lower still.
constexpr int kLastPanelExtraGap = 2;
// The column scrolls this far past the bottom of the stack.
constexpr int kColumnScrollExtra = 7;
constexpr int kColumnLineStep = 21;
constexpr int kColumnTop = 7;
// The smallest client area the window can be sized to, menu bar not counted.
constexpr int kMinimumWidth = 780;
constexpr int kMinimumHeight = 500;

} // namespace

MainWindow::MainWindow(EditorDocument& document, const FontRegistry& fonts, Prompts& prompts,
                       QWidget* parent)
    : QMainWindow(parent), m_document(document), m_prompts(prompts),
      m_externalOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_context(std::make_unique<EditorContext>(document, fonts, prompts)),
      m_state(m_context->state())
{
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(1, 1, 0, 0);
    layout->setSpacing(6);
    m_canvas = new CanvasView(*m_context, central);
    layout->addWidget(m_canvas, 1);
    buildSettingsColumn();
    m_settingsColumn->setParent(central);
    // The column starts a few pixels below the canvas and reaches down to the status bar.
    auto* columnBox = new QVBoxLayout;
    columnBox->setContentsMargins(0, kColumnTop - 1, 0, 0);
    columnBox->addWidget(m_settingsColumn);
    layout->addLayout(columnBox, 0);
    setCentralWidget(central);

    m_logWindow = new LogWindow(this);
    m_textWindow = new TextLayerWindow(*m_context, this);
    m_pictureWindow = new PictureLayerWindow(*m_context, this);
    m_codeWindow = new CodeLayerWindow(*m_context, this);
    m_shapeWindow = new ShapeLayerWindow(*m_context, this);
    m_watermarkDialog = new WatermarkPositionDialog(*m_context, this);
    // A new layer's window appears once its rectangle is drawn.
    connect(m_canvas, &CanvasView::rectangleFinished, this, [this] {
        const Layer* layer =
            m_state.currentLayer() ? m_document.layer(*m_state.currentLayer()) : nullptr;
        if (layer)
            showPropertyWindow(propertyWindowOf(layer->type));
    });
    m_batch = std::make_unique<BatchController>(*this);
    connect(m_batch.get(), &BatchController::rowsChecked, this, [this] { showRowCheck(); });
    buildMenus();
    buildLayerMenus();
    m_status = std::make_unique<StatusLine>(*statusBar());
    setStatusText(3, QStringLiteral("100%"));
    setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));

    setMinimumSize(kMinimumWidth, menuBar()->sizeHint().height() + kMinimumHeight);

    buildCommandTable();
    wireContext();
    m_subscriptions.push_back(
        m_document.subscribe([this](const DocumentEvent& event) { onDocumentChanged(event); }));
    m_subscriptions.push_back(m_state.subscribe(
        [this](const SelectionEffects& effects) { onSelectionChanged(effects); }));
    // After the views: the layer list has its new rows when the selection follows.
    m_subscriptions.push_back(followDocument(m_state, m_document));
    onDocumentChanged(DocumentEvent{DocumentChange::Everything, {}, 0, 0});
    // Start-up chooses "自定义" as a click on it does.
    m_backgroundPanel->customRadio()->setChecked(true);
    m_backgroundPanel->handleControl(ControlId::BackgroundCustom);
}

MainWindow::~MainWindow()
{
    // The document outlives the window: it must not call into the widgets once they are gone.
    m_subscriptions.clear();
    // The widgets whose last events (a field losing the focus) call back into the context go
    // while it is still there.
    delete m_textWindow;
    delete m_pictureWindow;
    delete m_codeWindow;
    delete m_shapeWindow;
    delete takeCentralWidget();
}

void MainWindow::wireContext()
{
    EditorContext& context = *m_context;
    context.execute = [this](CommandId id) { execute(id); };
    context.setStatusText = [this](int part, const QString& text) { setStatusText(part, text); };
    context.setStatusIcon = [this](int part, const QPixmap& icon) { setStatusIcon(part, icon); };
    context.appendLog = [this](const std::string& line) { appendLog(line); };
    context.focusCanvas = [this] { m_canvas->setFocus(); };
    context.scrollSettingsToTop = [this] { scrollSettingsToTop(); };
    context.layerSubMenu = [this](bool level) {
        QMenu* menu = level ? m_levelMenu : m_overflowMenu;
        m_layerPanel->prepareLayerMenu(*menu);
        return menu;
    };
}

void MainWindow::buildSettingsColumn()
{
    m_settingsColumn = new QScrollArea(this);
    m_settingsColumn->setObjectName(QStringLiteral("settingsColumn"));
    m_settingsColumn->setFrameShape(QFrame::NoFrame);
    m_settingsColumn->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_settingsColumn->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_settingsColumn->verticalScrollBar()->setSingleStep(kColumnLineStep);
    m_settingsColumn->setFixedWidth(kColumnWidth);

    m_settingsContent = new QWidget;
    m_backgroundPanel = new BackgroundPanel(*m_context, m_settingsContent);
    m_dataSourcePanel = new DataSourcePanel(*m_context, m_settingsContent);
    m_layerPanel = new LayerPanel(*m_context, m_settingsContent);
    m_watermarkPanel = new WatermarkPanel(*m_context, m_settingsContent);
    m_outputPanel = new OutputPanel(*m_context, m_settingsContent);
    m_startButton = new QPushButton(QStringLiteral("开始处理"), m_settingsContent);
    m_startButton->setFixedHeight(27);
    connect(m_startButton, &QPushButton::clicked, this, [this] { execute(CommandId::StartBatch); });
    m_settingsColumn->setWidget(m_settingsContent);
    // Whether the column needs its scroll bar depends on its height: decide again on resizes.
    m_settingsColumn->installEventFilter(this);
    stackPanels();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_settingsColumn && event->type() == QEvent::Resize)
        stackPanels();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::stackPanels()
{
    // The watermark panel stands below the layer panel while the 设置 menu shows it.
    m_watermarkPanel->setVisible(m_watermarkPanelShown);
    std::vector<QWidget*> panels = {m_backgroundPanel, m_dataSourcePanel, m_layerPanel};
    if (m_watermarkPanelShown)
        panels.push_back(m_watermarkPanel);
    panels.insert(panels.end(), {m_outputPanel, m_startButton});
    int top = 0;
    for (QWidget* panel : panels) {
        if (panel == panels.back())
            top += kLastPanelExtraGap;
        const int height = panel->height() > 0 ? panel->height() : panel->sizeHint().height();
        panel->setGeometry(0, top, kPanelWidth, height);
        top += height + kPanelGap;
    }
    const int total = top - kPanelGap;
    // The column's own height: during its resize event the viewport still has the old one.
    const bool needsBar = total > m_settingsColumn->contentsRect().height();
    m_settingsContent->setFixedSize(kPanelWidth, needsBar ? total + kColumnScrollExtra : total);
    // The column is wider by a scroll bar when the stack does not fit.
    m_settingsColumn->setFixedWidth(
        kColumnWidth + (needsBar ? m_settingsColumn->verticalScrollBar()->sizeHint().width() : 0));
}

void MainWindow::appendLog(const std::string& message)
{
    m_logWindow->appendLine(message);
}

void MainWindow::openExternally(const QString& path, const QUrl& url)
{
    if (m_externalOpener(url))
        return;
    m_prompts.message("提示", PromptIcon::Information,
                      "没有找到可以打开它的程序，请手动打开：\n" + path.toStdString(),
                      PromptButtons::Ok);
}

void MainWindow::scrollSettingsToTop()
{
    m_settingsColumn->verticalScrollBar()->setValue(0);
}

void MainWindow::updateTitle()
{
    // "[*]" is where Qt shows the mark of unsaved changes ("*").
    setWindowTitle(QStringLiteral("Torvale - ") +
                   QString::fromStdString(m_document.tpl().templateName) + QStringLiteral("[*]"));
    setWindowModified(m_document.isModified());
}

void MainWindow::showBackgroundSize()
{
    const BackgroundLayer& background = m_document.tpl().background;
    setStatusText(0, QString::fromStdString(sizeStatusText(background.width, background.height)));
}

void MainWindow::setStatusText(int part, const QString& text)
{
    if (m_status)
        m_status->setText(part, text);
}

void MainWindow::setStatusIcon(int part, const QPixmap& icon)
{
    if (m_status)
        m_status->setIcon(part, icon);
}

QString MainWindow::statusText(int part) const
{
    return m_status ? m_status->text(part) : QString();
}

void MainWindow::onDocumentChanged(const DocumentEvent& event)
{
    switch (event.change) {
    case DocumentChange::Everything:
        showBackgroundSize();
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        updateTitle();
        rebuildRecentMenu();
        showHistory();
        break;
    case DocumentChange::FileLink:
        updateTitle();
        rebuildRecentMenu();
        break;
    case DocumentChange::Dpi:
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        showBackgroundSize();
        break;
    case DocumentChange::Background:
        showBackgroundSize();
        break;
    case DocumentChange::History:
        showHistory();
        updateTitle();
        break;
    case DocumentChange::LayerFields: {
        // Status part 2 follows the current layer's size, whoever changed it.
        const auto& current = m_state.currentLayer();
        if (!current || !(event.fields & FieldGeometry) ||
            std::find(event.layers.begin(), event.layers.end(), *current) == event.layers.end())
            break;
        if (const Layer* layer = m_document.layer(*current); layer && layer->hasRect())
            setStatusText(2, QString::fromStdString(sizeStatusText(layer->width, layer->height)));
        break;
    }
    default:
        break;
    }
}

void MainWindow::showHistory()
{
    const auto show = [](QAction* action, const char* verb, bool enabled, const std::string& name,
                         const char* keys) {
        action->setEnabled(enabled);
        action->setText(QString::fromUtf8(verb) +
                         (name.empty() ? QString() : QStringLiteral(" ") + QString::fromStdString(name)) +
                         QStringLiteral("\t") + QString::fromUtf8(keys));
    };
    show(m_undoAction, "撤销", m_document.canUndo(), m_document.undoName(), "Ctrl+Z");
    show(m_redoAction, "重做", m_document.canRedo(), m_document.redoName(), "Ctrl+Y");
}


void MainWindow::onSelectionChanged(const SelectionEffects& effects)
{
    if (effects.statusPart2)
        setStatusText(2, QString::fromStdString(*effects.statusPart2));
    if (effects.dismissBalloons)
        balloons().dismissAll();
    showPropertyWindow(effects.propertyWindow);
}

void MainWindow::showPropertyWindow(PropertyWindow which)
{
    LayerWindow* shown = nullptr;
    switch (which) {
    case PropertyWindow::Unchanged:
        return;
    case PropertyWindow::Hidden:
        break;
    case PropertyWindow::Text:
        shown = m_textWindow;
        break;
    case PropertyWindow::Picture:
        shown = m_pictureWindow;
        break;
    case PropertyWindow::Code:
        shown = m_codeWindow;
        break;
    case PropertyWindow::Shape:
        shown = m_shapeWindow;
        break;
    }
    for (LayerWindow* window : layerWindows()) {
        if (window != shown)
            window->hideLayer();
    }
    if (!shown)
        return;
    if (m_state.currentKind() == CurrentKind::Layer && m_state.currentLayer())
        shown->showLayer(*m_state.currentLayer());
    else
        shown->hideLayer();
}

std::array<LayerWindow*, 4> MainWindow::layerWindows() const
{
    return {m_textWindow, m_pictureWindow, m_codeWindow, m_shapeWindow};
}

LayerWindow* MainWindow::openLayerWindow() const
{
    for (LayerWindow* window : layerWindows()) {
        if (window->isVisible() && window->layerId())
            return window;
    }
    return nullptr;
}

namespace {

#ifdef NDEBUG
bool g_strictCommands = false;
#else
bool g_strictCommands = true;
#endif

} // namespace

void MainWindow::setStrictCommands(bool strict)
{
    g_strictCommands = strict;
}

void MainWindow::buildCommandTable()
{
    m_commands.add(CommandId::ToggleLog, [this] { m_logWindow->toggle(); });
    m_commands.add(CommandId::StartBatch, [this] { startBatch(); });
    m_commands.add(CommandId::CheckRows, [this] { m_batch->checkRows(); });
    m_commands.add(CommandId::PrintSheet, [this] { m_batch->startSheet(); });
    m_commands.add(CommandId::Refresh, [this] { m_backgroundPanel->refresh(); });
    m_commands.add(CommandId::Undo, [this] { m_document.undo(); });
    m_commands.add(CommandId::Redo, [this] { m_document.redo(); });
    registerFileCommands();
    registerSettingsCommands();
    registerLayerCommands();
    registerWatermarkCommands();
}

void MainWindow::execute(CommandId id)
{
    if (!m_commands.run(id) && g_strictCommands)
        std::abort();
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        balloons().dismissAll();
    QMainWindow::changeEvent(event);
}

} // namespace torvale
