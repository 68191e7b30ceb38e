#include "ui/row_preview.h"

#include "ui/editor_context.h"
#include "ui/qt_pixels.h"

#include <algorithm>

namespace torvale {

RowPreview::RowPreview(EditorContext& context) : m_context(context)
{
    m_documentSubscription = context.document().subscribe([this](const DocumentEvent& event) {
        if (event.change != DocumentChange::History)
            templateChanged();
    });
    m_fontSubscription = context.fontsChanged.subscribe([this](const FontChange&) {
        templateChanged();
    });
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { start(); });
}

RowPreview::~RowPreview()
{
    m_stop->store(true);
    if (m_worker.joinable())
        m_worker.join();
}

void RowPreview::show(bool on, int row)
{
    if (on != m_on || row != m_row)
        m_logPending = true;
    m_on = on;
    m_row = row;
    if (!on) {
        m_settle.stop();
        ++m_generation;
        m_card = QImage();
        emit cardChanged();
        return;
    }
    m_settle.start();
}

void RowPreview::step(int rows)
{
    if (!m_on)
        return;
    const int last = static_cast<int>(std::clamp<std::size_t>(m_rowCount, 1, 1000000));
    const int row = std::clamp(m_row + rows, 1, std::max(last, m_row));
    if (row == m_row)
        return;
    show(true, row);
    emit rowStepped(row);
}

void RowPreview::templateChanged()
{
    if (m_on)
        m_settle.start();
}

void RowPreview::start()
{
    if (!m_on)
        return;
    // One render at a time, and the window never waits for one: a change during a render
    // starts the next render when it is done.
    if (m_worker.joinable()) {
        m_restart = true;
        return;
    }
    const EditorDocument& document = m_context.document();
    PreviewRequest request;
    request.tpl = document.tpl();
    request.dpi = document.dpi();
    request.fonts = m_context.fontSnapshot();
    request.csvPath = document.resolve(document.tpl().csv_file_path);
    request.row = static_cast<std::size_t>(std::max(1, m_row));
    const std::uint64_t generation = ++m_generation;
    request.stop = m_stop;
    request.rows = m_rows;
    m_worker = std::thread([this, request = std::move(request), generation]() mutable {
        PreviewResult result = renderPreview(request);
        if (request.stop->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, result = std::move(result)]() mutable {
                finished(generation, std::move(result));
            },
            Qt::QueuedConnection);
    });
}

void RowPreview::finished(std::uint64_t generation, PreviewResult result)
{
    // The worker has posted its result and is ending.
    if (m_worker.joinable())
        m_worker.join();
    if (m_restart) {
        m_restart = false;
        start();
    }
    if (generation != m_generation || !m_on)
        return; // a later change made it stale
    m_rowCount = result.rowCount;
    m_card = toQImage(result.card);
    if (m_logPending) {
        m_logPending = false;
        if (result.problem)
            m_context.appendLog(*result.problem);
        for (const std::string& line : result.log)
            m_context.appendLog(line);
    }
    emit cardChanged();
}

} // namespace torvale
