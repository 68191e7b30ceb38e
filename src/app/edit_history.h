#pragma once

#include "model/template.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// The undo history of the template: one state per completed edit, with the edit's name. A
/// state is a copy of the template (the background picture's bytes are shared between copies,
/// never repeated); whether two states differ is decided by the bytes the template file would
/// hold. Edits made under the same coalescing key one after the other (a run of arrow keys,
/// typing in one field) make one step.
class EditHistory {
public:
    static constexpr std::size_t kMaxSteps = 100;
    static constexpr std::size_t kMaxBytes = 64u << 20;

    explicit EditHistory(std::size_t maxSteps = kMaxSteps, std::size_t maxBytes = kMaxBytes);

    /// Starts afresh from a template (a new or opened template).
    void reset(const Template& current, std::int32_t dpi);
    /// Records the template after an edit named name; false when it is the same as the current
    /// state. A non-empty key equal to the previous step's key replaces that step.
    bool record(const Template& current, std::int32_t dpi, const std::string& name,
                const std::string& key = {});
    /// Ends the step being coalesced: the next edit makes a step of its own.
    void endStep() { m_openKey.clear(); }
    /// Lets the next edit under key join the last step again when that step was recorded under
    /// key and is the newest (a new layer's drawing joins its adding, whatever ended it).
    void reopen(const std::string& key)
    {
        if (!key.empty() && key == m_lastKey && m_current > 0 && m_current + 1 == m_steps.size())
            m_openKey = key;
    }

    bool canUndo() const { return m_current > 0; }
    bool canRedo() const { return m_current + 1 < m_steps.size(); }
    /// The name of the edit undo takes back, and of the one redo makes again ("" when none).
    std::string undoName() const;
    std::string redoName() const;
    /// The state to go back to, or nothing.
    std::optional<Template> undo();
    /// The state to go forward to, or nothing.
    std::optional<Template> redo();

    /// Changes the template of every step (paths expressed for a template saved elsewhere); the
    /// steps' bytes are made again at dpi.
    void rewrite(const std::function<void(Template&)>& change, std::int32_t dpi);

    std::size_t stepCount() const { return m_steps.size(); }
    /// Memory the steps hold, as counted against the limit.
    std::size_t heldBytes() const;

private:
    struct Step {
        Template tpl;
        std::string bytes; // the template file's bytes of the state
        std::string name;  // the edit that led to the state
        std::size_t size = 0;
    };
    Step makeStep(const Template& current, std::string bytes, const std::string& name) const;
    void trim();

    std::vector<Step> m_steps;
    std::size_t m_current = 0;
    std::string m_openKey; // the key of the step that later edits may still replace
    std::string m_lastKey; // the key the newest step was recorded under
    std::size_t m_maxSteps;
    std::size_t m_maxBytes;
};

} // namespace torvale
