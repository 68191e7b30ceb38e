#include "app/edit_history.h"

#include "model/template_file.h"

namespace torvale {

EditHistory::EditHistory(std::size_t maxSteps, std::size_t maxBytes)
    : m_maxSteps(std::max<std::size_t>(maxSteps, 2)), m_maxBytes(maxBytes)
{
}

void EditHistory::reset(const Template& current, std::int32_t dpi)
{
    m_steps.clear();
    m_steps.push_back({current, templateToJson(current, dpi)});
    m_current = 0;
    m_openKey.clear();
}

bool EditHistory::record(const Template& current, std::int32_t dpi, const std::string& key)
{
    if (m_steps.empty()) {
        reset(current, dpi);
        return false;
    }
    std::string bytes = templateToJson(current, dpi);
    const bool coalesce = !key.empty() && key == m_openKey && m_current > 0 &&
                          m_current + 1 == m_steps.size();
    m_openKey = key;
    if (bytes == m_steps[m_current].bytes)
        return false;
    // A new edit drops what could have been redone.
    m_steps.resize(m_current + 1);
    if (coalesce) {
        m_steps[m_current] = {current, std::move(bytes)};
        // A step that comes back to the state before it is no step.
        if (m_steps[m_current].bytes == m_steps[m_current - 1].bytes) {
            m_steps.pop_back();
            --m_current;
            m_openKey.clear();
        }
        return true;
    }
    m_steps.push_back({current, std::move(bytes)});
    ++m_current;
    trim();
    return true;
}

void EditHistory::trim()
{
    const auto total = [this] {
        std::size_t bytes = 0;
        for (const Step& step : m_steps)
            bytes += step.bytes.size();
        return bytes;
    };
    while (m_steps.size() > 1 && m_current > 0 &&
           (m_steps.size() > m_maxSteps || total() > m_maxBytes)) {
        m_steps.erase(m_steps.begin());
        --m_current;
    }
}

std::optional<Template> EditHistory::undo()
{
    if (!canUndo())
        return std::nullopt;
    m_openKey.clear();
    return m_steps[--m_current].tpl;
}

std::optional<Template> EditHistory::redo()
{
    if (!canRedo())
        return std::nullopt;
    m_openKey.clear();
    return m_steps[++m_current].tpl;
}

} // namespace torvale
