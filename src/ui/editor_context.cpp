#include "ui/editor_context.h"

#include "app/font_mapping.h"
#include "app/layer_properties.h"
#include "ui/balloon.h"
#include "ui/row_preview.h"

namespace torvale {

EditorContext::EditorContext(EditorDocument& document, const FontRegistry& fonts,
                             Prompts& prompts)
    : m_document(document), m_prompts(prompts), m_fontLibrary(FontRegistry(fonts)),
      m_fontSnapshot(m_fontLibrary.current()), m_balloons(std::make_unique<BalloonManager>()),
      m_preview(std::make_unique<RowPreview>(*this))
{
    m_document.setNewLayerFont(newLayerFont(*m_fontSnapshot));
}

EditorContext::~EditorContext() = default;

bool EditorContext::addFontMapping(const std::string& name, const std::string& path)
{
    if (!torvale::addFontMapping(m_fontLibrary, m_document.store(), name, path))
        return false;
    m_fontSnapshot = m_fontLibrary.current();
    m_document.setNewLayerFont(newLayerFont(*m_fontSnapshot));
    fontsChanged.notify(FontChange{true, name});
    return true;
}

void EditorContext::removeFontMapping(const std::string& name)
{
    if (!torvale::removeFontMapping(m_fontLibrary, m_document.store(), name))
        return;
    m_fontSnapshot = m_fontLibrary.current();
    m_document.setNewLayerFont(newLayerFont(*m_fontSnapshot));
    fontsChanged.notify(FontChange{false, name});
}

} // namespace torvale
