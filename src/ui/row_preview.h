#pragma once

#include "batch/card_preview.h"
#include "common/signal.h"

#include <QImage>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace torvale {

class EditorContext;

/// The card of a data row on the canvas: rendered by the card renderer on a worker thread
/// once a change has settled for 150 ms; a result that a later change made stale is dropped.
/// The card's problems go to the information log once per change of row. It follows the
/// document and the font mapping itself.
class RowPreview : public QObject {
    Q_OBJECT

public:
    static constexpr int kSettleMs = 150;

    explicit RowPreview(EditorContext& context);
    ~RowPreview() override;

    /// Switches the preview on or off, for a 1-based data row.
    void show(bool on, int row);
    int row() const { return m_row; }
    /// Moves a shown preview by a number of rows, within the rows of the last render.
    void step(int rows);
    /// The template changed: the card is drawn again once the change settles.
    void templateChanged();
    /// The card shown (null while there is none).
    const QImage& card() const { return m_card; }
    /// Number of data rows of the CSV file at the last render.
    std::size_t rowCount() const { return m_rowCount; }

signals:
    /// A new card (or none) is ready to be shown.
    void cardChanged();
    /// step() moved the preview to a row.
    void rowStepped(int row);

private:
    void start();
    void finished(std::uint64_t generation, PreviewResult result);

    EditorContext& m_context;
    Subscription m_documentSubscription;
    Subscription m_fontSubscription;
    QTimer m_settle;
    bool m_on = false;
    int m_row = 1;
    bool m_logPending = false;
    QImage m_card;
    std::size_t m_rowCount = 0;
    std::uint64_t m_generation = 0;
    bool m_restart = false; // a change came during it: render again when it is done
    std::thread m_worker;
    /// The data file's rows, read again only when the file changes.
    std::shared_ptr<RowSourceCache> m_rows = std::make_shared<RowSourceCache>();
    /// Set when the preview goes: a running render stops and posts nothing.
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
};

} // namespace torvale
