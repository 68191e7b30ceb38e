#include "app/edit_history.h"

#include "model/template_file.h"

#include <numeric>

namespace torvale {

namespace {

// What a copy of the template holds besides the shared background picture.
std::size_t templateBytes(const Template& tpl)
{
    std::size_t size =
        sizeof(Template) + tpl.csv_file_path.capacity() + tpl.background.background_path.capacity();
    for (const Layer& layer : tpl.layers) {
        size += sizeof(Layer) + layer.bind_col_name.capacity() + layer.text.capacity() +
                layer.fontName.capacity() + layer.htmlColor.capacity() + layer.filePath.capacity() +
                layer.placeholderPath.capacity() + layer.pictureFolder.capacity() +
                layer.borderColor.capacity() + layer.showIfColumn.capacity() +
                layer.showIfValue.capacity();
    }
    return size;
}

} // namespace

EditHistory::EditHistory(std::size_t maxSteps, std::size_t maxBytes)
    : m_maxSteps(std::max<std::size_t>(maxSteps, 2)), m_maxBytes(maxBytes)
{
}

EditHistory::Step EditHistory::makeStep(const Template& current, std::string bytes,
                                        const std::string& name) const
{
    Step step{current, std::move(bytes), name, 0};
    step.size = templateBytes(step.tpl) + step.bytes.capacity() + step.name.capacity();
    return step;
}

void EditHistory::rewrite(const std::function<void(Template&)>& change, std::int32_t dpi)
{
    for (Step& step : m_steps) {
        change(step.tpl);
        step = makeStep(step.tpl, templateToJson(step.tpl, dpi), step.name);
    }
}

void EditHistory::reset(const Template& current, std::int32_t dpi)
{
    m_steps.clear();
    m_steps.push_back(makeStep(current, templateToJson(current, dpi), {}));
    m_current = 0;
    m_openKey.clear();
    m_lastKey.clear();
}

bool EditHistory::record(const Template& current, std::int32_t dpi, const std::string& name,
                         const std::string& key)
{
    if (m_steps.empty()) {
        reset(current, dpi);
        return false;
    }
    std::string bytes = templateToJson(current, dpi);
    const bool coalesce =
        !key.empty() && key == m_openKey && m_current > 0 && m_current + 1 == m_steps.size();
    m_openKey = key;
    if (bytes == m_steps[m_current].bytes)
        return false;
    m_lastKey = key;
    // A new edit drops what could have been redone.
    m_steps.resize(m_current + 1);
    if (coalesce) {
        // The coalesced step keeps the name of its first edit.
        m_steps[m_current] = makeStep(current, std::move(bytes), m_steps[m_current].name);
        // A step that comes back to the state before it is no step.
        if (m_steps[m_current].bytes == m_steps[m_current - 1].bytes) {
            m_steps.pop_back();
            --m_current;
            m_openKey.clear();
            m_lastKey.clear();
        }
        return true;
    }
    m_steps.push_back(makeStep(current, std::move(bytes), name));
    ++m_current;
    trim();
    return true;
}

std::size_t EditHistory::heldBytes() const
{
    return std::accumulate(m_steps.begin(), m_steps.end(), std::size_t{0},
                           [](std::size_t sum, const Step& step) { return sum + step.size; });
}

void EditHistory::trim()
{
    while (m_steps.size() > 1 && m_current > 0 &&
           (m_steps.size() > m_maxSteps || heldBytes() > m_maxBytes)) {
        m_steps.erase(m_steps.begin());
        --m_current;
    }
}

std::string EditHistory::undoName() const
{
    return canUndo() ? m_steps[m_current].name : std::string();
}

std::string EditHistory::redoName() const
{
    return canRedo() ? m_steps[m_current + 1].name : std::string();
}

std::optional<Template> EditHistory::undo()
{
    if (!canUndo())
        return std::nullopt;
    m_openKey.clear();
    m_lastKey.clear();
    return m_steps[--m_current].tpl;
}

std::optional<Template> EditHistory::redo()
{
    if (!canRedo())
        return std::nullopt;
    m_openKey.clear();
    m_lastKey.clear();
    return m_steps[++m_current].tpl;
}

} // namespace torvale
