#include "ui/batch_controller.h"

#include "ui/background_panel.h"
#include "ui/balloon.h"
#include "ui/data_source_panel.h"
#include "ui/layer_panel.h"
#include "ui/layer_windows.h"
#include "ui/main_window.h"
#include "ui/output_panel.h"
#include "ui/progress_dialog.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <system_error>
#include <thread>

namespace torvale {

namespace {

constexpr const char* kCompletedQuestion = "图片已制作完成，是否查看图片？";
constexpr const char* kThreadFailed = "启动线程失败";
constexpr int kThreadFailedExitCode = -1;

// Forwards the worker's progress to the user-interface thread; queued calls keep their order,
// so the total arrives before the first step and the end after the last log line.
class WindowListener : public BatchListener {
public:
    WindowListener(QObject* receiver, MainWindow& window, ProgressDialog& dialog)
        : m_receiver(receiver), m_window(window), m_dialog(dialog)
    {
    }

    // The listener goes with the worker thread, before its queued calls run: they capture the
    // window and the dialog, never the listener.
    void log(const std::string& message) override
    {
        post([window = &m_window, message] { window->appendLog(message); });
    }
    void batchTotal(std::size_t total) override
    {
        post([dialog = &m_dialog, total] { dialog->setTotal(static_cast<int>(total)); });
    }
    void batchStep(std::size_t n) override
    {
        post([dialog = &m_dialog, n] { dialog->setStep(static_cast<int>(n)); });
    }
    // The message belongs to the running batch: it is shown over the progress dialog while
    // the dialog is still up, and the worker waits for it to be answered before it ends.
    void csvUnreadable(const std::string&) override
    {
        QMetaObject::invokeMethod(
            m_receiver,
            [window = &m_window, dialog = &m_dialog] {
                window->prompts().messageOver(dialog, "提示", PromptIcon::Error,
                                              kMsgBatchCsvUnreadable, PromptButtons::Ok);
            },
            Qt::BlockingQueuedConnection);
    }

private:
    template <typename F> void post(F function)
    {
        QMetaObject::invokeMethod(m_receiver, std::move(function), Qt::QueuedConnection);
    }

    QObject* m_receiver;
    MainWindow& m_window;
    ProgressDialog& m_dialog;
};

// Object names of the controls a batch problem points at.
const char* controlName(BatchControl control)
{
    switch (control) {
    case BatchControl::BackgroundWidth:
        return "backgroundWidth";
    case BatchControl::BackgroundHeight:
        return "backgroundHeight";
    case BatchControl::BackgroundPictureButton:
        return "chooseBackground";
    case BatchControl::CsvChooseButton:
        return "chooseCsv";
    case BatchControl::CsvPathBox:
        return "csvPath";
    case BatchControl::LayerList:
    case BatchControl::LayerColumnSelector:
    case BatchControl::LayerFontSelector:
        return "layerList";
    case BatchControl::OutputFolderButton:
    case BatchControl::OutputFolderMessage:
        return "chooseOutputFolder";
    case BatchControl::FileNameColumn:
        return "fileNameColumn1";
    case BatchControl::None:
        break;
    }
    return "";
}

} // namespace

BatchController::BatchController(MainWindow& window)
    : QObject(&window), m_window(window), m_dialog(new ProgressDialog(&window)),
      m_startThread([](std::function<void()> body) { return std::thread(std::move(body)); })
{
    m_dialog->setWindowModality(Qt::ApplicationModal);
}

BatchController::~BatchController()
{
    if (m_worker.joinable()) {
        m_stop.store(true);
        // The worker may be waiting for a blocking call to this object; dropping the posted
        // calls releases it, so the join cannot wait for the thread that is joining.
        while (!m_workerDone.load()) {
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
            std::this_thread::yield();
        }
        m_worker.join();
    }
}

QWidget* BatchController::controlFor(BatchControl control) const
{
    // The property window of the layer, when it is open, holds the layer's column and font.
    if (LayerWindow* window = m_window.openLayerWindow()) {
        if (control == BatchControl::LayerColumnSelector)
            return window->columnBox();
        if (control == BatchControl::LayerFontSelector && window == m_window.textLayerWindow())
            return m_window.textLayerWindow()->fontBox();
    }
    const QString name = QString::fromLatin1(controlName(control));
    if (auto* widget = m_window.findChild<QWidget*>(name))
        return widget;
    switch (control) {
    case BatchControl::BackgroundWidth:
    case BatchControl::BackgroundHeight:
    case BatchControl::BackgroundPictureButton:
        return m_window.backgroundPanel();
    case BatchControl::CsvChooseButton:
    case BatchControl::CsvPathBox:
        return m_window.dataSourcePanel();
    case BatchControl::OutputFolderButton:
    case BatchControl::OutputFolderMessage:
    case BatchControl::FileNameColumn:
        return m_window.outputPanel();
    default:
        return m_window.layerPanel();
    }
}

void BatchController::showProblem(const BatchProblem& problem)
{
    if (problem.layerNumber > 0)
        selectLayerRows(m_window.state(), m_window.document().tpl().layers,
                        {static_cast<std::size_t>(problem.layerNumber - 1)});
    if (problem.scrollToTop)
        m_window.scrollSettingsToTop();
    QWidget* control = controlFor(problem.control);
    if (problem.control == BatchControl::OutputFolderMessage) {
        m_window.prompts().message("提示", PromptIcon::Error, problem.text, PromptButtons::Ok);
    } else {
        m_window.balloons().show(control, QString::fromStdString(problem.title),
                                 QString::fromStdString(problem.text));
    }
    // An unbound layer is pointed out again on its window's column list.
    if (problem.control == BatchControl::LayerList && problem.layerNumber > 0) {
        if (LayerWindow* window = m_window.openLayerWindow())
            window->showColumnHint(QString::fromStdString(problem.text),
                                   QString::fromStdString(problem.title));
    }
    if (problem.focus != BatchControl::None) {
        if (QWidget* focus = controlFor(problem.focus))
            focus->setFocus();
    }
}

std::optional<BatchPlan> BatchController::checkedPlan(std::shared_ptr<const FontRegistry>& fonts)
{
    EditorDocument& document = m_window.document();
    const Template& tpl = document.tpl();

    BatchPlan plan = planBatch(tpl, document.dpi());
    std::optional<std::vector<std::string>> columns;
    // The batch reads the fonts on its worker thread: it keeps the tables of its start even if
    // the font mapping changes meanwhile.
    fonts = m_window.fontSnapshot();
    const BatchProblem problem = validateBatch(tpl, plan.inputs, *fonts, &columns);
    // The checks read the CSV file again: the lists that show its columns follow.
    if (columns && *columns != document.csvColumns())
        document.useCsvColumns(std::move(*columns));
    if (!problem.ok()) {
        showProblem(problem);
        return std::nullopt;
    }
    return plan;
}

bool BatchController::startWorker(std::function<void()> body)
{
    m_running = true;
    m_dialog->m_allowClose = false;
    m_stop.store(false);
    m_dialog->start(m_stop, 0);
    m_workerDone.store(false);
    try {
        m_worker = m_startThread([this, body = std::move(body)] {
            body();
            m_workerDone.store(true);
        });
    } catch (const std::system_error&) {
        m_workerDone.store(true);
        threadFailed();
        return false;
    }
    return true;
}

void BatchController::checkRows()
{
    if (m_running)
        return;
    std::shared_ptr<const FontRegistry> fonts;
    std::optional<BatchPlan> plan = checkedPlan(fonts);
    if (!plan)
        return;
    m_rowCheck = {};
    const bool started = startWorker([this, plan = std::move(*plan), fonts = std::move(fonts)] {
        const auto progress = [this](std::size_t done, std::size_t total) {
            QMetaObject::invokeMethod(
                this,
                [dialog = m_dialog, done, total] {
                    dialog->setTotal(static_cast<int>(total));
                    dialog->setStep(static_cast<int>(std::min(done + 1, total)));
                },
                Qt::QueuedConnection);
        };
        m_rowCheck = torvale::checkRows(plan.options.tpl, plan.inputs, *fonts, &m_stop, progress);
        QMetaObject::invokeMethod(
            this, [this, stopped = m_rowCheck.stopped] { finish(stopped); },
            Qt::QueuedConnection);
    });
    if (!started)
        return;
    m_dialog->exec();
    emit rowsChecked();
}

void BatchController::start()
{
    if (m_running)
        return;
    EditorDocument& document = m_window.document();
    const Template& tpl = document.tpl();
    std::shared_ptr<const FontRegistry> fonts;
    std::optional<BatchPlan> plan = checkedPlan(fonts);
    if (!plan)
        return;
    BatchOptions& options = plan->options;
    options.fonts = fonts.get();
    options.jobs = defaultJobs();

    m_summary = {};
    const bool started =
        startWorker([this, options = std::move(options), fonts = std::move(fonts)] {
            WindowListener listener(this, m_window, *m_dialog);
            m_summary = runBatch(options, listener, m_stop);
            QMetaObject::invokeMethod(
                this, [this, stopped = m_summary.stopped] { finish(stopped); },
                Qt::QueuedConnection);
        });
    if (!started)
        return;
    emit batchStarted();
    m_dialog->exec();

    if (!m_summary.stopped && document.settings().completed_alert) {
        const PromptAnswer answer = m_window.prompts().message(
            "完成", PromptIcon::Information, kCompletedQuestion, PromptButtons::YesNo);
        if (answer == PromptAnswer::Yes) {
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(QString::fromStdString(tpl.output.outputFolder)));
        }
    }
}

void BatchController::threadFailed()
{
    m_running = false;
    m_dialog->m_allowClose = true;
    m_window.prompts().message("提示", PromptIcon::Error, kThreadFailed, PromptButtons::Ok);
    // The application ends here, but not with the user's unsaved edits: the save question
    // comes first, and cancelling it keeps the editor open.
    if (!m_window.confirmDiscard())
        return;
    QCoreApplication::exit(kThreadFailedExitCode);
}

void BatchController::finish(bool stopped)
{
    if (m_worker.joinable())
        m_worker.join();
    m_running = false;
    if (stopped)
        m_dialog->stopped();
    m_dialog->m_allowClose = true;
    m_dialog->accept();
}

} // namespace torvale
