#include "app/editor_document.h"

#include "batch/csv_source.h"
#include "common/text.h"
#include "render/picture_input.h"

#include <algorithm>

namespace torvale {

EditorDocument::EditorDocument(const SettingsStore& store)
    : m_store(store), m_settings(readSettings(store)), m_recent(store)
{
    m_template.background.dpi = m_settings.dpi;
    m_recent.reload();
}

bool EditorDocument::setDpi(std::int32_t dpi)
{
    if (dpi < kMinDpi || dpi > kMaxDpi)
        return false;
    m_settings.dpi = dpi;
    writeDpi(m_store, dpi);
    notify(DocumentChange::Dpi);
    return true;
}

void EditorDocument::setCompletedAlert(bool on)
{
    m_settings.completed_alert = on;
    writeNumberSetting(m_store, Setting::CompletedAlert, on ? 1 : 0);
}

void EditorDocument::setCheckShortcutStatus(bool on)
{
    m_settings.check_shortcut_status = on;
    writeNumberSetting(m_store, Setting::CheckShortcutStatus, on ? 1 : 0);
}

bool EditorDocument::loadCsvColumns(const std::string& path)
{
    m_csvColumns.clear();
    auto columns = torvale::loadCsvColumns(resolve(path), m_template.is_trim_csv_cell_value);
    const bool ok = columns.has_value();
    if (ok)
        m_csvColumns = std::move(*columns);
    // A file-name column keeps its choice when the new file has a column of the same text.
    for (std::string* name :
         {&m_template.output.file_name_bind_col_name, &m_template.output.file_name_bind_col_name2})
        *name = matchColumn(m_csvColumns, *name);
    notify(DocumentChange::DataSource);
    return ok;
}

void EditorDocument::newTemplate()
{
    resetTemplate(m_template);
    m_template.background.dpi = m_settings.dpi;
    m_template.templatePath.clear();
    m_template.templateName = kNewTemplateName;
    m_csvColumns.clear();
    m_recent.reload();
    notify(DocumentChange::Everything);
}

TemplateReadResult EditorDocument::open(const std::string& path)
{
    m_csvColumns.clear();
    TemplateReadResult result = readTemplateFile(path, m_template, m_settings.dpi,
                                                 [](const std::string& csvPath, bool trim) {
                                                     return torvale::loadCsvColumns(csvPath, trim);
                                                 });
    if (result.dpi && *result.dpi >= kMinDpi && *result.dpi <= kMaxDpi) {
        m_settings.dpi = *result.dpi;
        writeDpi(m_store, *result.dpi);
    }
    if (result.loadBackgroundPicture)
        loadBackgroundPicture(resolveTemplatePath(m_template.background.background_path, path),
                              m_template.background);
    m_csvColumns = result.csvColumns;
    if (result.ok())
        addToRecentFiles(path);
    notify(DocumentChange::Everything);
    return result;
}

TemplateSaveResult EditorDocument::save(const std::string& path)
{
    TemplateSaveResult result = saveTemplateFile(path, m_template, m_settings.dpi);
    if (result.ok()) {
        addToRecentFiles(path);
        notify(DocumentChange::FileLink);
    }
    return result;
}

bool EditorDocument::isModified() const
{
    return isTemplateModified(m_template, m_settings.dpi);
}

std::string EditorDocument::resolve(const std::string& stored) const
{
    return resolveTemplatePath(stored, m_template.templatePath);
}

void EditorDocument::addToRecentFiles(const std::string& path)
{
    m_recent.addRecentFile(path, !m_template.templatePath.empty());
}

std::size_t EditorDocument::addLayer(LayerType type)
{
    return insertLayer(type, m_template.layers.size());
}

std::size_t EditorDocument::insertLayer(LayerType type, std::size_t index)
{
    auto& layers = m_template.layers;
    index = std::min(index, layers.size());
    layers.insert(layers.begin() + static_cast<std::ptrdiff_t>(index),
                  makeLayer(type, m_settings.default_pictures_layer_level,
                            m_settings.default_pictures_overflow_style));
    renumberLayers(layers);
    notify(DocumentChange::Layers);
    return index;
}

std::size_t EditorDocument::copyMarkedLayers()
{
    auto& layers = m_template.layers;
    const std::size_t first = layers.size();
    const std::size_t count = layers.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (!layers[i].marked)
            continue;
        Layer copy = layers[i];
        copy.marked = false;
        layers.push_back(std::move(copy));
    }
    renumberLayers(layers);
    if (layers.size() != first)
        notify(DocumentChange::Layers);
    return first;
}

std::size_t EditorDocument::deleteLayers(std::vector<std::size_t> indices)
{
    auto& layers = m_template.layers;
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::size_t lowest = layers.size();
    for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
        if (*it >= layers.size())
            continue;
        layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(*it));
        lowest = *it;
    }
    renumberLayers(layers);
    notify(DocumentChange::Layers);
    return lowest;
}

void EditorDocument::setLevelOfMarked(LayerLevel level)
{
    for (Layer& layer : m_template.layers) {
        if (layer.marked && layer.type == LayerType::Picture && layer.layer_level != level)
            layer.layer_level = level;
    }
    notify(DocumentChange::LayerFields);
}

void EditorDocument::setOverflowOfMarked(OverflowStyle style)
{
    for (Layer& layer : m_template.layers) {
        if (layer.marked && layer.overflow_style != style)
            layer.overflow_style = style;
    }
    notify(DocumentChange::LayerFields);
}

void EditorDocument::setLayerType(std::size_t index, LayerType type)
{
    if (index >= m_template.layers.size() || m_template.layers[index].type == type)
        return;
    m_template.layers[index].type = type;
    notify(DocumentChange::Layers);
}

void EditorDocument::reloadBackgroundPicture()
{
    loadBackgroundPicture(resolve(m_template.background.background_path), m_template.background);
    notify(DocumentChange::Background);
}

std::size_t EditorDocument::subscribe(Listener listener)
{
    const std::size_t id = m_nextListenerId++;
    m_listeners.emplace_back(id, std::move(listener));
    return id;
}

void EditorDocument::unsubscribe(std::size_t id)
{
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void EditorDocument::notify(DocumentChange change)
{
    // By index and on a copy: a listener may subscribe or unsubscribe while it is told.
    for (std::size_t i = 0; i < m_listeners.size(); ++i) {
        const Listener listener = m_listeners[i].second;
        listener(change);
    }
}

} // namespace torvale
