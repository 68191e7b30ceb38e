#pragma once

#include "batch/batch_plan.h"
#include "batch/card_record.h"
#include "batch/print_sheet.h"
#include "batch/row_check.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

class QWidget;

namespace torvale {

class MainWindow;
class PrintSheetDialog;
class ProgressDialog;

/// Runs a batch from the window: the first problem of the batch check as a balloon at its
/// control, then the batch runner on a worker thread with the progress dialog, log lines to the
/// information log, and the completion question.
class BatchController : public QObject {
    Q_OBJECT

public:
    explicit BatchController(MainWindow& window);
    ~BatchController() override;

    /// Starts a thread running the given function; throws std::system_error when it cannot.
    using ThreadStarter = std::function<std::thread(std::function<void()>)>;

    /// "开始处理": checks, asks whether to make every row or to choose rows (the row picker),
    /// then runs the batch; returns when it has ended. When the worker thread cannot be
    /// started, says "启动线程失败", offers to save a modified template and ends the
    /// application with exit code -1 (unless the save question is cancelled).
    void start();

    /// "打印排版...": asks for the paper, the rows and the PDF file, checks as for a batch (then
    /// shows the row picker when rows are to be chosen), then makes the PDF file on a worker
    /// thread with the progress dialog; a failure is a message, a finished file is offered to
    /// be opened (when the completion question is on).
    void startSheet();

    /// "检查数据...": the checks of start(), then every data row walked on a worker thread
    /// with the progress dialog; returns when it has ended. Emits rowsChecked() with the result
    /// in lastRowCheck() unless a check stopped it first.
    void checkRows();
    const RowCheckResult& lastRowCheck() const { return m_rowCheck; }

    /// Replaces the way the worker thread is started (std::thread by default).
    void setThreadStarter(ThreadStarter starter) { m_startThread = std::move(starter); }

    /// The progress dialog (created hidden with the window).
    ProgressDialog* dialog() const { return m_dialog; }
    /// True while a batch runs.
    bool running() const { return m_running; }
    /// The summary of the last batch (of the cards of the last print sheet too).
    const BatchSummary& lastSummary() const { return m_summary; }
    /// The print sheet dialog (created hidden with the window) and the last sheet's result.
    PrintSheetDialog* sheetDialog() const { return m_sheetDialog; }
    const SheetSummary& lastSheet() const { return m_sheet; }

signals:
    /// A batch has started (the progress dialog is about to be shown).
    void batchStarted();
    /// checkRows() has walked the rows.
    void rowsChecked();

private:
    using Work = std::function<BatchSummary(BatchListener&, std::atomic<bool>&)>;
    /// Runs work on the worker thread with the progress dialog up; returns once it has ended,
    /// false when the thread could not be started.
    bool runWithProgress(Work work);
    // The batch's plan once its checks pass, its options holding the fonts it reads; the first
    // problem is shown and nothing given otherwise. With sheetFolder, the checks of a print
    // sheet whose PDF file goes into that folder.
    std::optional<BatchPlan> checkedPlan(const std::string* sheetFolder = nullptr);
    void showProblem(const BatchProblem& problem);
    QWidget* controlFor(BatchControl control) const;
    void finish();
    void threadFailed();
    // "全部" or "选择行…" before a batch; false when cancelled.
    bool askRows(BatchOptions& options, const CardRecord& record);
    // The row picker over the batch's data rows, offering the rows whose last card in the
    // record had a problem; the ticked rows go into options. False when cancelled or the rows
    // cannot be read (said in a message).
    bool pickRows(BatchOptions& options, const CardRecord& record);
    // The record of the output folder, its damaged lines told in the log window.
    CardRecord readRecord();
    // When the record names cards made before, whether to pass over those still there and
    // made from the same row and template; false when cancelled.
    bool askResume(BatchOptions& options, const CardRecord& record);

    MainWindow& m_window;
    ProgressDialog* m_dialog;
    PrintSheetDialog* m_sheetDialog;
    std::atomic<bool> m_stop{false};
    std::thread m_worker;
    std::atomic<bool> m_workerDone{true};
    ThreadStarter m_startThread;
    bool m_running = false;
    BatchSummary m_summary;
    SheetSummary m_sheet;
    RowCheckResult m_rowCheck;
};

} // namespace torvale
