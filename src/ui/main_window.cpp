#include "ui/main_window.h"

#include "ui/background_panel.h"
#include "ui/balloon.h"
#include "ui/batch_controller.h"
#include "ui/canvas_view.h"
#include "ui/data_source_panel.h"
#include "ui/layer_panel.h"
#include "ui/layer_windows.h"
#include "ui/row_preview.h"
#include "ui/watermark_panel.h"
#include "ui/log_window.h"
#include "ui/output_panel.h"

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
// Right edges of the status-bar parts 0 to 4; the last part takes the rest.
constexpr int kStatusEdges[] = {200, 400, 600, 660, 720};
constexpr int kStatusIconSize = 16;

// The 16 x 16 icons of the status-bar parts 0 to 2: background size (a picture), pointer
// position (a cross hair), size of the current object (a selection frame); part 3 has the
// zoom icons.
QPixmap statusIcon(int part)
{
    if (part == 3)
        return zoomStatusIcon(0);
    QPixmap icon(kStatusIconSize, kStatusIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(60, 60, 60);
    painter.setPen(QPen(ink, 1));
    switch (part) {
    case 0:
        painter.setBrush(QColor(170, 210, 240));
        painter.drawRect(QRectF(1.5, 2.5, 13, 11));
        painter.setBrush(QColor(90, 160, 80));
        painter.drawPolygon(QPolygonF(
            {QPointF(2, 13), QPointF(6, 7), QPointF(9, 11), QPointF(11, 9), QPointF(14, 13)}));
        break;
    case 1:
        painter.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        painter.drawLine(QPointF(8, 1), QPointF(8, 15));
        painter.drawLine(QPointF(1, 8), QPointF(15, 8));
        break;
    case 2:
        painter.setPen(QPen(ink, 1, Qt::DashLine));
        painter.drawRect(QRectF(2.5, 3.5, 11, 9));
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        for (const QPointF corner :
             {QPointF(1, 2), QPointF(12, 2), QPointF(1, 11), QPointF(12, 11)})
            painter.drawRect(QRectF(corner, QSizeF(3, 3)));
        break;
    }
    return icon;
}

} // namespace

QPixmap zoomStatusIcon(int sign)
{
    QPixmap icon(kStatusIconSize, kStatusIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(60, 60, 60);
    painter.setPen(QPen(ink, 1.5));
    painter.setBrush(QColor(220, 235, 250));
    painter.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    painter.setPen(QPen(ink, 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    painter.setPen(QPen(ink, 1.2));
    if (sign != 0)
        painter.drawLine(QPointF(4, 6), QPointF(8, 6));
    if (sign > 0)
        painter.drawLine(QPointF(6, 4), QPointF(6, 8));
    return icon;
}

MainWindow::MainWindow(EditorDocument& document, const FontRegistry& fonts, Prompts& prompts,
                       QWidget* parent)
    : QMainWindow(parent), m_document(document), m_fontLibrary(FontRegistry(fonts)), m_prompts(prompts),
      m_balloons(std::make_unique<BalloonManager>())
{
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(1, 1, 0, 0);
    layout->setSpacing(6);
    m_canvas = new CanvasView(*this, central);
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
    m_textWindow = new TextLayerWindow(*this);
    m_pictureWindow = new PictureLayerWindow(*this);
    // A font mapped or unmapped while the program runs is offered or withdrawn at once, and
    // the texts set in it are drawn again.
    connect(this, &MainWindow::fontMappingAdded, m_textWindow, &TextLayerWindow::fontAdded);
    connect(this, &MainWindow::fontMappingRemoved, m_textWindow, &TextLayerWindow::fontRemoved);
    m_watermarkDialog = new WatermarkPositionDialog(*this);
    m_preview = new RowPreview(*this);
    for (const auto signal : {&MainWindow::fontMappingAdded, &MainWindow::fontMappingRemoved}) {
        connect(this, signal, this, [this] {
            m_canvas->refreshThumbnails();
            m_preview->templateChanged();
        });
    }
    connect(m_preview, &RowPreview::cardChanged, this, [this] {
        m_dataSourcePanel->showPreviewRows(m_preview->rowCount());
        m_canvas->viewport()->update();
    });
    // A new layer's window appears once its rectangle is drawn.
    connect(m_canvas, &CanvasView::rectangleFinished, this, [this] {
        const Layer* layer =
            m_state.currentLayer ? m_document.layer(*m_state.currentLayer) : nullptr;
        if (layer)
            showPropertyWindow(layer->type == LayerType::Text ? PropertyWindow::Text
                                                              : PropertyWindow::Picture);
    });
    m_batch = std::make_unique<BatchController>(*this);
    connect(m_batch.get(), &BatchController::rowsChecked, this, [this] { showRowCheck(); });
    buildMenus();
    buildLayerMenus();
    buildStatusBar();
    setStatusText(3, QStringLiteral("100%"));
    setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));

    setMinimumSize(kMinimumWidth, menuBar()->sizeHint().height() + kMinimumHeight);

    buildCommandTable();
    m_subscription =
        m_document.subscribe([this](const DocumentEvent& event) { onDocumentChanged(event); });
    m_selectionSubscription =
        m_state.subscribe([this](const SelectionEffects& effects) { onSelectionChanged(effects); });
    onDocumentChanged(DocumentEvent{DocumentChange::Everything, {}, 0, 0});
    // Start-up chooses "自定义" as a click on it does.
    m_backgroundPanel->customRadio()->setChecked(true);
    m_backgroundPanel->handleControl(ControlId::BackgroundCustom);
}

MainWindow::~MainWindow()
{
    // The document outlives the window: it must not call into the widgets once they are gone.
    m_document.unsubscribe(m_subscription);
    m_state.unsubscribe(m_selectionSubscription);
    // The widgets whose last events (a field losing the focus) call back into the window go
    // while its members are still there.
    delete m_textWindow;
    delete m_pictureWindow;
    delete takeCentralWidget();
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
    m_backgroundPanel = new BackgroundPanel(*this, m_settingsContent);
    m_dataSourcePanel = new DataSourcePanel(*this, m_settingsContent);
    m_layerPanel = new LayerPanel(*this, m_settingsContent);
    m_watermarkPanel = new WatermarkPanel(*this, m_settingsContent);
    m_outputPanel = new OutputPanel(*this, m_settingsContent);
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

void MainWindow::buildStatusBar()
{
    int left = 0;
    for (int part = 0; part < 6; ++part) {
        auto* box = new QWidget(this);
        box->setObjectName(QStringLiteral("statusPart%1").arg(part));
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(2, 0, 2, 0);
        row->setSpacing(4);
        if (part < 4) {
            auto* icon = new QLabel(box);
            icon->setObjectName(QStringLiteral("statusIcon%1").arg(part));
            icon->setPixmap(statusIcon(part));
            icon->setFixedSize(kStatusIconSize, kStatusIconSize);
            row->addWidget(icon);
        }
        auto* label = new QLabel(box);
        row->addWidget(label, 1);
        if (part < 5) {
            box->setFixedWidth(kStatusEdges[part] - left);
            left = kStatusEdges[part];
            statusBar()->addWidget(box);
        } else {
            statusBar()->addWidget(box, 1);
        }
        m_statusParts[static_cast<std::size_t>(part)] = label;
    }
}

void MainWindow::setStatusText(int part, const QString& text)
{
    if (part < 0 || part >= 6 || !m_statusParts[static_cast<std::size_t>(part)])
        return;
    // A leading tab centres the text in its part, as in a classic status bar.
    QLabel* label = m_statusParts[static_cast<std::size_t>(part)];
    const bool centred = text.startsWith(QLatin1Char('\t'));
    label->setAlignment(centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    label->setText(centred ? text.mid(1) : text);
    label->setProperty("statusText", text);
}

void MainWindow::setStatusIcon(int part, const QPixmap& icon)
{
    if (auto* label = findChild<QLabel*>(QStringLiteral("statusIcon%1").arg(part)))
        label->setPixmap(icon);
}

QString MainWindow::statusText(int part) const
{
    if (part < 0 || part >= 6 || !m_statusParts[static_cast<std::size_t>(part)])
        return {};
    return m_statusParts[static_cast<std::size_t>(part)]->property("statusText").toString();
}

void MainWindow::appendLog(const std::string& message)
{
    m_logWindow->appendLine(message);
}

void MainWindow::scrollSettingsToTop()
{
    m_settingsColumn->verticalScrollBar()->setValue(0);
}

void MainWindow::updateTitle()
{
    setWindowTitle(QStringLiteral("Torvale - ") +
                   QString::fromStdString(m_document.tpl().templateName));
}

void MainWindow::showBackgroundSize()
{
    const BackgroundLayer& background = m_document.tpl().background;
    setStatusText(0, QString::fromStdString(sizeStatusText(background.width, background.height)));
}

void MainWindow::onDocumentChanged(const DocumentEvent& event)
{
    if (m_preview && event.change != DocumentChange::History)
        m_preview->templateChanged();
    switch (event.change) {
    case DocumentChange::Everything:
    case DocumentChange::Restored: {
        const std::vector<LayerId> marked = m_state.marked;
        m_backgroundPanel->refreshFromDocument();
        m_dataSourcePanel->refreshFromDocument();
        m_layerPanel->refreshFromDocument();
        m_outputPanel->refreshFromDocument();
        m_canvas->refreshBackground();
        // An earlier state keeps the pictures of the layers it did not change.
        m_canvas->refreshThumbnails({}, event.change == DocumentChange::Everything);
        showBackgroundSize();
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        updateTitle();
        rebuildRecentMenu();
        // A new list of layers: nothing is selected; an earlier state of the same list keeps
        // the selection of the layers it still has.
        clearLayerSelection(m_state);
        if (event.change == DocumentChange::Restored)
            selectLayerRows(m_state, m_document.tpl().layers, m_document.rowsOf(marked));
        break;
    }
    case DocumentChange::FileLink:
        updateTitle();
        rebuildRecentMenu();
        // Relative demo pictures are found from the template's folder.
        m_canvas->refreshThumbnails();
        break;
    case DocumentChange::Dpi:
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        [[fallthrough]];
    case DocumentChange::Background:
        m_backgroundPanel->refreshFromDocument();
        m_canvas->refreshBackground();
        showBackgroundSize();
        break;
    case DocumentChange::DataSource:
        m_dataSourcePanel->refreshFromDocument();
        m_outputPanel->fillFileNameBoxes();
        m_textWindow->refreshColumnList();
        m_pictureWindow->refreshColumnList();
        break;
    case DocumentChange::LayersAdded:
    case DocumentChange::LayersRemoved:
        m_layerPanel->showLayerChange(event);
        m_canvas->refreshThumbnails(event.layers);
        for (LayerWindow* window : {static_cast<LayerWindow*>(m_textWindow),
                                    static_cast<LayerWindow*>(m_pictureWindow)}) {
            if (window->layerId() && !m_document.layer(window->layerId()))
                window->hideLayer();
        }
        break;
    case DocumentChange::LayerFields:
        m_layerPanel->showLayerChange(event);
        m_canvas->layersChanged(event);
        for (LayerWindow* window : {static_cast<LayerWindow*>(m_textWindow),
                                    static_cast<LayerWindow*>(m_pictureWindow)}) {
            if (std::find(event.layers.begin(), event.layers.end(), window->layerId()) !=
                event.layers.end())
                window->layerChanged(event.fields);
        }
        break;
    case DocumentChange::Output:
        m_outputPanel->refreshFromDocument();
        break;
    case DocumentChange::DisplaySwitches:
        m_layerPanel->showSwitches();
        m_canvas->viewport()->update();
        break;
    case DocumentChange::History:
        showHistory();
        break;
    }
    if (event.change == DocumentChange::Everything)
        showHistory();
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
    m_layerPanel->mirrorSelection(effects);
    m_watermarkPanel->mirrorSelection();
    if (effects.statusPart2)
        setStatusText(2, QString::fromStdString(*effects.statusPart2));
    if (effects.dismissBalloons)
        m_balloons->dismissAll();
    showPropertyWindow(effects.propertyWindow);
    if (effects.scrollCanvasToLayer || effects.scrollCanvasToWatermark)
        m_canvas->scrollIntoView();
    if (effects.repaintCanvas)
        m_canvas->viewport()->update();
}

void MainWindow::showPropertyWindow(PropertyWindow which)
{
    const bool text = which == PropertyWindow::Text;
    switch (which) {
    case PropertyWindow::Unchanged:
        return;
    case PropertyWindow::Hidden:
        m_textWindow->hideLayer();
        m_pictureWindow->hideLayer();
        return;
    case PropertyWindow::Text:
    case PropertyWindow::Picture:
        break;
    }
    LayerWindow* shown = text ? static_cast<LayerWindow*>(m_textWindow) : m_pictureWindow;
    LayerWindow* other = text ? static_cast<LayerWindow*>(m_pictureWindow) : m_textWindow;
    other->hideLayer();
    if (m_state.currentKind == CurrentKind::Layer && m_state.currentLayer)
        shown->showLayer(*m_state.currentLayer);
    else
        shown->hideLayer();
}

LayerWindow* MainWindow::openLayerWindow() const
{
    for (LayerWindow* window : {static_cast<LayerWindow*>(m_textWindow),
                                static_cast<LayerWindow*>(m_pictureWindow)}) {
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
        m_balloons->dismissAll();
    QMainWindow::changeEvent(event);
}

} // namespace torvale
