#include "ui/main_window.h"

#include "ui/background_panel.h"
#include "ui/balloon.h"
#include "ui/batch_controller.h"
#include "ui/canvas_view.h"
#include "ui/data_source_panel.h"
#include "ui/layer_panel.h"
#include "ui/log_window.h"
#include "ui/output_panel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

namespace torvale {

namespace {

constexpr int kColumnWidth = 406;
constexpr int kPanelWidth = 400;
constexpr int kPanelGap = 16;
constexpr int kColumnLineStep = 21;
// Right edges of the status-bar parts 0 to 4; the last part takes the rest.
constexpr int kStatusEdges[] = {200, 400, 600, 660, 720};

} // namespace

MainWindow::MainWindow(EditorDocument& document, const FontRegistry& fonts, Prompts& prompts,
                       QWidget* parent)
    : QMainWindow(parent), m_document(document), m_fonts(fonts), m_prompts(prompts),
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
    layout->addWidget(m_settingsColumn, 0);
    setCentralWidget(central);

    m_logWindow = new LogWindow(this);
    m_batch = std::make_unique<BatchController>(*this);
    buildMenus();
    buildLayerMenus();
    buildStatusBar();
    setStatusText(3, QStringLiteral("100%"));
    setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));

    m_document.subscribe([this](DocumentChange change) { onDocumentChanged(change); });
    onDocumentChanged(DocumentChange::Everything);
}

MainWindow::~MainWindow() = default;

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
    m_outputPanel = new OutputPanel(*this, m_settingsContent);
    m_startButton = new QPushButton(QStringLiteral("开始处理"), m_settingsContent);
    m_startButton->setFixedHeight(27);
    connect(m_startButton, &QPushButton::clicked, this,
            [this] { execute(CommandId::StartBatch); });
    m_settingsColumn->setWidget(m_settingsContent);
    stackPanels();
}

void MainWindow::stackPanels()
{
    QWidget* panels[] = {m_backgroundPanel, m_dataSourcePanel, m_layerPanel, m_outputPanel,
                         m_startButton};
    int top = 0;
    for (QWidget* panel : panels) {
        const int height = panel->height() > 0 ? panel->height() : panel->sizeHint().height();
        panel->setGeometry(0, top, kPanelWidth, height);
        top += height + kPanelGap;
    }
    // The last panel gets 2 more pixels below it.
    const int total = top - kPanelGap + 2;
    m_settingsContent->setFixedSize(kPanelWidth, total);
    // The column is wider by a scroll bar when the stack does not fit.
    const bool needsBar = total > m_settingsColumn->viewport()->height();
    m_settingsColumn->setFixedWidth(
        kColumnWidth + (needsBar ? m_settingsColumn->verticalScrollBar()->sizeHint().width() : 0));
}

void MainWindow::buildStatusBar()
{
    int left = 0;
    for (int part = 0; part < 6; ++part) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("statusPart%1").arg(part));
        if (part < 5) {
            label->setFixedWidth(kStatusEdges[part] - left);
            left = kStatusEdges[part];
            statusBar()->addWidget(label);
        } else {
            statusBar()->addWidget(label, 1);
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
    setStatusText(0, QStringLiteral("%1 x %2 像素").arg(background.width).arg(background.height));
}

void MainWindow::onDocumentChanged(DocumentChange change)
{
    switch (change) {
    case DocumentChange::Everything:
        m_backgroundPanel->refreshFromDocument();
        m_dataSourcePanel->refreshFromDocument();
        m_layerPanel->refreshFromDocument();
        m_outputPanel->refreshFromDocument();
        m_canvas->refreshBackground();
        showBackgroundSize();
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        updateTitle();
        rebuildRecentMenu();
        break;
    case DocumentChange::FileLink:
        updateTitle();
        rebuildRecentMenu();
        break;
    case DocumentChange::Background:
        m_canvas->refreshBackground();
        showBackgroundSize();
        break;
    case DocumentChange::Dpi:
        setStatusText(4, QStringLiteral("\t%1 dpi").arg(m_document.dpi()));
        break;
    case DocumentChange::DataSource:
    case DocumentChange::Layers:
    case DocumentChange::LayerFields:
    case DocumentChange::Output:
    case DocumentChange::DisplaySwitches:
        m_canvas->update();
        break;
    }
}

void MainWindow::execute(CommandId id)
{
    const int value = static_cast<int>(id);
    if (id == CommandId::ToggleLog) {
        m_logWindow->toggle();
        return;
    }
    if (id == CommandId::StartBatch) {
        startBatch();
        return;
    }
    if (value >= static_cast<int>(CommandId::BackgroundPath) &&
        value <= static_cast<int>(CommandId::BackgroundCustom)) {
        m_backgroundPanel->handleCommand(id);
        return;
    }
    if (value >= static_cast<int>(CommandId::CsvPath) &&
        value <= static_cast<int>(CommandId::TrimCsv)) {
        m_dataSourcePanel->handleCommand(id);
        return;
    }
    if (id == CommandId::LayerList || id == CommandId::ShowSelectArea ||
        id == CommandId::ShowPicture) {
        m_layerPanel->handleCommand(id);
        return;
    }
    if (value >= static_cast<int>(CommandId::OutputFormat) &&
        value <= static_cast<int>(CommandId::FileNameColumn2)) {
        m_outputPanel->handleCommand(id);
        return;
    }
    if (handleLayerCommand(id))
        return;
    handleFileCommand(id);
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_balloons->dismissAll();
    QMainWindow::changeEvent(event);
}

} // namespace torvale
