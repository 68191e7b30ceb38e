#include "ui/main/batch_controller.h"

#include "batch/card_record.h"
#include "batch/row_choice.h"
#include "common/paths.h"
#include "common/text.h"
#include "ui/panels/background_panel.h"
#include "ui/balloon.h"
#include "ui/panels/data_source_panel.h"
#include "ui/panels/layer_panel.h"
#include "ui/windows/layer_windows.h"
#include "ui/main/main_window.h"
#include "ui/panels/output_panel.h"
#include "ui/dialogs/print_sheet_dialog.h"
#include "ui/dialogs/progress_dialog.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <system_error>
#include <thread>

namespace torvale {

namespace {

constexpr const char* kCompletedQuestion = "图片已制作完成，是否查看图片？";
constexpr const char* kCompleted = "图片已制作完成";
constexpr const char* kViewQuestion = "是否查看图片？";
constexpr const char* kCardsWithProblems = "其中 %zu 张有问题，详见信息窗口 (F2)";
constexpr const char* kCardsNumbered = "其中 %zu 张因同名文件已存在而加了编号";
constexpr const char* kSheetCompletedQuestion = "打印排版文件 '%1' 已制作完成，是否查看？";
constexpr const char* kSheetCompleted = "打印排版文件 '%1' 已制作完成";
constexpr const char* kSheetViewQuestion = "是否查看？";
constexpr const char* kThreadFailed = "启动线程失败";
constexpr const char* kRowsQuestion = "为全部行制作图片，还是选择要制作的行？";
constexpr const char* kRowsCompleted = "所选行的图片已制作完成，共 %zu 张";
constexpr const char* kResumeQuestion =
    "输出文件夹的制作记录中已有做过的卡片。\n跳过记录中已经做过、数据和模版都没有改过的卡片吗？";
constexpr const char* kCardsAlreadyMade = "%zu 张卡片按制作记录已经做过，没有再做";
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

// The completion question; cards that logged problems, had to take a numbered name or were
// passed over as already made are told first, on lines of their own. After a batch of chosen rows it says how many cards were made.
std::string completedQuestion(const BatchSummary& summary, bool someRows)
{
    std::string notes;
    if (someRows)
        notes += formatText(kRowsCompleted, summary.written) + "\n";
    if (summary.withProblems > 0)
        notes += formatText(kCardsWithProblems, summary.withProblems) + "\n";
    if (summary.numbered > 0)
        notes += formatText(kCardsNumbered, summary.numbered) + "\n";
    if (summary.alreadyMade > 0)
        notes += formatText(kCardsAlreadyMade, summary.alreadyMade) + "\n";
    if (notes.empty())
        return kCompletedQuestion;
    return (someRows ? std::string() : std::string(kCompleted) + "\n") + notes + kViewQuestion;
}

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
    case BatchControl::LayerContentField:
    case BatchControl::LayerPlaceholderField:
    case BatchControl::LayerShowIfColumn:
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
      m_sheetDialog(new PrintSheetDialog(window.context(), &window)),
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
    // The property window of the layer, when it is open, holds the layer's column, rule,
    // font, content and placeholder (the code window only column, rule and content).
    if (LayerWindow* window = m_window.openLayerWindow()) {
        // A shape's window has neither.
        if (control == BatchControl::LayerColumnSelector && window->columnBox())
            return window->columnBox();
        if (control == BatchControl::LayerContentField && window->contentField())
            return window->contentField();
        if (control == BatchControl::LayerShowIfColumn)
            return window->showIfColumnBox();
        if (control == BatchControl::LayerFontSelector && window == m_window.textLayerWindow())
            return m_window.textLayerWindow()->fontBox();
        if (control == BatchControl::LayerPlaceholderField &&
            window == m_window.pictureLayerWindow())
            return m_window.pictureLayerWindow()->placeholderField();
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
    // The layer's window may have pointed out the same fault while it filled its fields: only
    // the problem's own balloon stays.
    m_window.balloons().dismissAll();
    QWidget* control = controlFor(problem.control);
    if (!problem.detail.empty())
        m_window.appendLog(problem.detail);
    if (problem.control == BatchControl::OutputFolderMessage) {
        m_window.prompts().message("提示", PromptIcon::Error, problem.text, PromptButtons::Ok);
    } else {
        m_window.balloons().show(control, QString::fromStdString(problem.title),
                                 QString::fromStdString(problem.text));
    }
    if (problem.focus != BatchControl::None) {
        if (QWidget* focus = controlFor(problem.focus))
            focus->setFocus();
    }
}

std::optional<BatchPlan> BatchController::checkedPlan(const std::string* sheetFolder)
{
    EditorDocument& document = m_window.document();
    const Template& tpl = document.tpl();

    BatchPlan plan = planBatch(tpl, document.dpi());
    if (sheetFolder)
        plan.inputs.outputFolder = *sheetFolder;
    std::optional<std::vector<std::string>> columns;
    // The batch reads the fonts on its worker thread: it keeps the tables of its start even if
    // the font mapping changes meanwhile.
    plan.options.fonts = m_window.fontSnapshot();
    const FontRegistry& fonts = *plan.options.fonts;
    const BatchProblem problem = sheetFolder ? validateSheet(tpl, plan.inputs, fonts, &columns)
                                             : validateBatch(tpl, plan.inputs, fonts, &columns);
    // The checks read the CSV file again: the lists that show its columns follow.
    if (columns && *columns != document.csvColumns())
        document.useCsvColumns(std::move(*columns));
    if (!problem.ok()) {
        showProblem(problem);
        return std::nullopt;
    }
    return plan;
}

void BatchController::start()
{
    if (m_running)
        return;
    EditorDocument& document = m_window.document();
    const Template& tpl = document.tpl();
    std::optional<BatchPlan> plan = checkedPlan();
    if (!plan)
        return;
    BatchOptions& options = plan->options;
    const CardRecord record = readRecord();
    if (!askRows(options, record) || !askResume(options, record))
        return;
    const bool someRows = !options.selection.all();
    options.jobs = defaultJobs();
    const bool ran = runWithProgress(
        [options = std::move(options)](BatchListener& listener, std::atomic<bool>& stop) {
            return runBatch(options, listener, stop);
        });
    if (!ran)
        return;

    if (!m_summary.stopped && document.settings().completed_alert) {
        const PromptAnswer answer = m_window.prompts().message(
            "完成", PromptIcon::Information, completedQuestion(m_summary, someRows),
            PromptButtons::YesNo);
        if (answer == PromptAnswer::Yes) {
            const QString folder = QString::fromStdString(tpl.output.outputFolder);
            m_window.openExternally(folder, QUrl::fromLocalFile(folder));
        }
    }
}

bool BatchController::runWithProgress(Work work)
{
    m_running = true;
    m_summary = {};
    m_stop.store(false);
    m_dialog->start(m_stop, 0);
    m_workerDone.store(false);
    try {
        m_worker = m_startThread([this, work = std::move(work)] {
            WindowListener listener(this, m_window, *m_dialog);
            m_summary = work(listener, m_stop);
            QMetaObject::invokeMethod(
                this, [this] { finish(); }, Qt::QueuedConnection);
            m_workerDone.store(true);
        });
    } catch (const std::system_error&) {
        m_workerDone.store(true);
        threadFailed();
        return false;
    }
    // The open layer window steps aside while the work runs and comes back after it.
    std::vector<LayerWindow*> hidden;
    for (LayerWindow* window : m_window.layerWindows()) {
        if (window && window->isVisible()) {
            window->hide();
            hidden.push_back(window);
        }
    }
    emit batchStarted();
    m_dialog->exec();
    for (LayerWindow* window : hidden)
        window->show();
    return true;
}

void BatchController::checkRows()
{
    if (m_running)
        return;
    std::optional<BatchPlan> plan = checkedPlan();
    if (!plan)
        return;
    m_rowCheck = {};
    const bool ran = runWithProgress(
        [this, plan = std::move(*plan)](BatchListener& listener, std::atomic<bool>& stop) {
            const auto progress = [&listener](std::size_t done, std::size_t total) {
                listener.batchTotal(total);
                listener.batchStep(std::min(done + 1, total));
            };
            m_rowCheck = torvale::checkRows(plan.options.tpl, plan.inputs, *plan.options.fonts,
                                            &stop, progress);
            BatchSummary summary;
            summary.stopped = m_rowCheck.stopped;
            return summary;
        });
    if (ran)
        emit rowsChecked();
}

void BatchController::startSheet()
{
    if (m_running)
        return;
    EditorDocument& document = m_window.document();
    const Template& tpl = document.tpl();
    const auto [cardWidth, cardHeight] = cardSizeMm(tpl, document.dpi());
    std::string suggested;
    if (!tpl.output.outputFolder.empty()) {
        // The template's name without its ".dat".
        const std::string name = pathToUtf8(pathFromUtf8(tpl.templateName).stem());
        suggested = tpl.output.outputFolder + "/" + sanitizeFileName(name) + ".pdf";
    }
    const auto request = m_sheetDialog->ask(cardWidth, cardHeight, suggested);
    if (!request)
        return;

    const std::string folder =
        QFileInfo(QString::fromStdString(request->pdfPath)).absolutePath().toStdString();
    std::optional<BatchPlan> plan = checkedPlan(&folder);
    if (!plan)
        return;
    BatchOptions& options = plan->options;
    if (request->chooseRows && !pickRows(options, readRecord()))
        return;
    options.jobs = defaultJobs();
    m_sheet = {};
    const bool ran = runWithProgress(
        [this, options = std::move(options), layout = request->layout,
         path = request->pdfPath](BatchListener& listener, std::atomic<bool>& stop) {
            m_sheet = runSheet(options, layout, path, listener, stop);
            return m_sheet.batch;
        });
    if (!ran)
        return;

    if (!m_sheet.error.empty()) {
        m_window.prompts().message("提示", PromptIcon::Error, m_sheet.error, PromptButtons::Ok);
    } else if (!m_sheet.path.empty() && document.settings().completed_alert) {
        const QString path = QString::fromStdString(m_sheet.path);
        // Cards that logged problems are told first, as after a batch.
        const std::size_t problems = m_sheet.batch.withProblems;
        const std::string question =
            problems == 0 ? QString::fromUtf8(kSheetCompletedQuestion).arg(path).toStdString()
                          : QString::fromUtf8(kSheetCompleted).arg(path).toStdString() + "\n" +
                                formatText(kCardsWithProblems, problems) + "\n" +
                                kSheetViewQuestion;
        const PromptAnswer answer = m_window.prompts().message(
            "完成", PromptIcon::Information, question, PromptButtons::YesNo);
        if (answer == PromptAnswer::Yes)
            m_window.openExternally(path, QUrl::fromLocalFile(path));
    }
}

bool BatchController::askRows(BatchOptions& options, const CardRecord& record)
{
    switch (m_window.prompts().choice("询问", PromptIcon::Question, kRowsQuestion,
                                      {"全部", "选择行…", "取消"})) {
    case 0:
        return true;
    case 1:
        return pickRows(options, record);
    default:
        return false;
    }
}

bool BatchController::pickRows(BatchOptions& options, const CardRecord& record)
{
    // The record of the card folder (also when the cards go onto a sheet elsewhere) tells the
    // rows whose last card had a problem.
    RowPickerRequest request;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    request.problemRows = record.problemRows();
    const CsvStatus status = readRowChoices(options.csvPath, options.tpl.is_trim_csv_cell_value,
                                            rowChoiceColumns(options.tpl), request.rows);
    QGuiApplication::restoreOverrideCursor();
    if (status != CsvStatus::Ok) {
        m_window.prompts().message("提示", PromptIcon::Error,
                                   csvStatusMessage(options.csvPath, status), PromptButtons::Ok);
        return false;
    }
    const std::optional<std::vector<std::size_t>> rows = m_window.prompts().chooseRows(request);
    if (!rows || rows->empty())
        return false;
    options.selection.ranges = rowRanges(*rows);
    return true;
}

void BatchController::threadFailed()
{
    m_running = false;
    m_dialog->allowClose();
    m_window.prompts().message("提示", PromptIcon::Error, kThreadFailed, PromptButtons::Ok);
    // The application ends here, but not with the user's unsaved edits: the save question
    // comes first, and cancelling it keeps the editor open.
    if (!m_window.confirmDiscard())
        return;
    QCoreApplication::exit(kThreadFailedExitCode);
}

void BatchController::finish()
{
    if (m_worker.joinable())
        m_worker.join();
    m_running = false;
    m_dialog->finish(m_summary.stopped);
}

CardRecord BatchController::readRecord()
{
    // Damaged lines of the record are told in the log window.
    struct WindowLog : LogSink {
        explicit WindowLog(MainWindow& target) : window(target) {}
        void log(const std::string& message) override { window.appendLog(message); }
        MainWindow& window;
    } log(m_window);
    const std::string& folder = m_window.document().tpl().output.outputFolder;
    return folder.empty() ? CardRecord() : readCardRecord(folder, log);
}

bool BatchController::askResume(BatchOptions& options, const CardRecord& record)
{
    if (record.empty())
        return true;
    switch (m_window.prompts().message("询问", PromptIcon::Question, kResumeQuestion,
                                       PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes:
        options.resume = true;
        return true;
    case PromptAnswer::No:
        return true;
    default:
        return false;
    }
}

} // namespace torvale
