#include "app/editor_document.h"

#include "batch/csv_source.h"
#include "app/panel_rules.h"
#include "common/paths.h"
#include "common/text.h"
#include "render/picture_input.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace torvale {

namespace {

/// True when two layers differ in a field that is saved.
bool layerFieldsDiffer(const Layer& a, const Layer& b)
{
    return a.number != b.number || changedFields(a, b) != 0;
}

std::vector<LayerId> layerIds(const std::vector<Layer>& layers)
{
    std::vector<LayerId> ids;
    ids.reserve(layers.size());
    for (const Layer& layer : layers)
        ids.push_back(layer.id);
    return ids;
}

bool holds(const std::vector<LayerId>& ids, LayerId id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The column names of a CSV file for the editor's lists; nothing when the file cannot be read.
std::optional<std::vector<std::string>> csvColumnNames(const std::string& path, bool trim)
{
    const auto columns = loadCsvColumns(path, trim);
    if (!columns)
        return std::nullopt;
    try {
        return columns->toVector();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace

EditorDocument::EditorDocument(const SettingsStore& store)
    : m_store(store), m_settings(readSettings(store)), m_recent(store)
{
    m_template.background.dpi = m_settings.dpi;
    m_untouchedBytes = templateToJson(m_template, m_settings.dpi);
    m_history.reset(m_template, m_settings.dpi);
    m_recent.reload();
}

bool EditorDocument::setDpi(std::int32_t dpi)
{
    if (dpi < kMinDpi || dpi > kMaxDpi)
        return false;
    // A template still as "新建" made it stays so: the next new template takes this DPI too.
    const bool untouched = templateToJson(m_template, m_settings.dpi) == m_untouchedBytes;
    m_settings.dpi = dpi;
    writeDpi(m_store, dpi);
    canvasTakesDpi();
    if (untouched)
        m_untouchedBytes = templateToJson(m_template, m_settings.dpi);
    announce(DocumentChange::Dpi);
    return true;
}

void EditorDocument::canvasTakesDpi()
{
    // The size fields must keep telling the card's true size: a card of 54 mm stays 54 mm.
    BackgroundLayer& background = m_template.background;
    if (background.kind != BackgroundKind::Custom || background.dpi == m_settings.dpi)
        return;
    if (background.unit == SizeUnit::Pixel)
        background.dpi = m_settings.dpi;
    else
        setBackgroundSizeTexts(background, background.szWidth, background.szHeight,
                               m_settings.dpi);
}

void EditorDocument::setCompletedAlert(bool on)
{
    m_settings.completed_alert = on;
    writeNumberSetting(m_store, Setting::CompletedAlert, on ? 1 : 0);
}

void EditorDocument::setSnapping(bool on)
{
    m_settings.snapping = on;
    writeNumberSetting(m_store, Setting::Snapping, on ? 1 : 0);
}

void EditorDocument::setCheckShortcutStatus(bool on)
{
    m_settings.check_shortcut_status = on;
    writeNumberSetting(m_store, Setting::CheckShortcutStatus, on ? 1 : 0);
}

bool EditorDocument::loadCsvColumns(const std::string& path)
{
    auto columns = csvColumnNames(resolve(path), m_template.is_trim_csv_cell_value);
    const bool ok = columns.has_value();
    useCsvColumns(ok ? std::move(*columns) : std::vector<std::string>());
    return ok;
}

void EditorDocument::useCsvColumns(std::vector<std::string> columns)
{
    m_csvColumns = std::move(columns);
    // A file-name column keeps its choice when the new file has a column of the same text.
    for (std::string* name :
         {&m_template.output.file_name_bind_col_name, &m_template.output.file_name_bind_col_name2})
        *name = matchColumn(m_csvColumns, *name);
    announce(DocumentChange::DataSource);
}

bool EditorDocument::setCsvFile(const std::string& path)
{
    m_template.csv_file_path = path;
    return loadCsvColumns(path);
}

bool EditorDocument::setTrimCsv(bool on)
{
    m_template.is_trim_csv_cell_value = on;
    auto columns = m_template.csv_file_path.empty()
                       ? std::nullopt
                       : csvColumnNames(resolve(m_template.csv_file_path), on);
    if (columns) {
        useCsvColumns(std::move(*columns));
        return true;
    }
    // The lists keep what they showed (a file that is back later is read as before).
    announce(DocumentChange::DataSource);
    return m_template.csv_file_path.empty();
}

void EditorDocument::newTemplate()
{
    resetToNewTemplate(nullptr);
}

void EditorDocument::newTemplate(const CardSizeChoice& size)
{
    setDpi(size.dpi);
    resetToNewTemplate(&size);
}

void EditorDocument::resetToNewTemplate(const CardSizeChoice* size)
{
    resetTemplate(m_template);
    m_template.background.dpi = m_settings.dpi;
    if (size)
        makeCardCanvas(m_template.background, *size);
    m_template.templatePath.clear();
    m_template.templateName = kNewTemplateName;
    m_csvColumns.clear();
    m_recent.reload();
    m_untouchedBytes = templateToJson(m_template, m_settings.dpi);
    announce(DocumentChange::Everything);
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
    m_csvColumns = result.csvColumns.toVector();
    if (result.ok()) {
        addToRecentFiles(path);
        if (auto folder = rememberedOutputFolder(m_store, path))
            m_template.output.outputFolder = std::move(*folder);
    }
    nameLayers();
    announce(DocumentChange::Everything);
    return result;
}

TemplateSaveResult EditorDocument::save(const std::string& path)
{
    const std::string before = m_template.templatePath;
    TemplateSaveResult result = saveTemplateFile(path, m_template, m_settings.dpi);
    if (result.ok()) {
        // Saved into another folder, the steps to undo name their files as the saved template
        // does, so that relative paths still find them from there.
        if (!before.empty() && folderOf(before) != folderOf(path))
            m_history.rewrite(
                [&](Template& state) {
                    state.templatePath = before;
                    storePathsFor(state, path);
                    state.templatePath = path;
                },
                m_settings.dpi);
        addToRecentFiles(path);
        if (!m_template.output.outputFolder.empty())
            rememberOutputFolder(m_store, path, m_template.output.outputFolder);
        announce(DocumentChange::FileLink);
    }
    return result;
}

void EditorDocument::restore(Template state)
{
    state.templatePath = m_template.templatePath;
    state.templateName = m_template.templateName;
    const bool sameSource = state.csv_file_path == m_template.csv_file_path &&
                            state.is_trim_csv_cell_value == m_template.is_trim_csv_cell_value;
    const Template before = std::exchange(m_template, std::move(state));
    // The DPI is a setting, not a step of the history: an earlier canvas takes today's.
    canvasTakesDpi();
    nameLayers();
    if (!sameSource) {
        auto columns = m_template.csv_file_path.empty()
                           ? std::nullopt
                           : csvColumnNames(resolve(m_template.csv_file_path),
                                            m_template.is_trim_csv_cell_value);
        m_csvColumns = columns ? std::move(*columns) : std::vector<std::string>();
    }
    const bool restoring = std::exchange(m_restoring, true);
    announceDifferences(before, !sameSource);
    m_restoring = restoring;
}

void EditorDocument::announceDifferences(const Template& before, bool sourceChanged)
{
    const Template& after = m_template;
    if (!(before.background == after.background))
        announce(DocumentChange::Background);
    if (sourceChanged)
        announce(DocumentChange::DataSource);

    const std::vector<LayerId> was = layerIds(before.layers);
    const std::vector<LayerId> is = layerIds(after.layers);
    std::vector<LayerId> removed;
    std::vector<LayerId> kept;
    for (LayerId id : was)
        (holds(is, id) ? kept : removed).push_back(id);
    std::vector<LayerId> added;
    std::vector<LayerId> keptNow;
    for (LayerId id : is)
        (holds(was, id) ? keptNow : added).push_back(id);
    if (kept != keptNow) {
        // The layers kept changed places: every row is new.
        removed = was;
        added = is;
        keptNow.clear();
    }
    const auto firstMoved = static_cast<std::size_t>(
        std::mismatch(was.begin(), was.end(), is.begin(), is.end()).first - was.begin());
    if (!removed.empty())
        announce(DocumentEvent{DocumentChange::LayersRemoved, removed, 0, firstMoved});
    if (!added.empty())
        announce(DocumentEvent{DocumentChange::LayersAdded, added, 0, firstMoved});
    // The layers in both states, grouped by the fields that differ.
    std::vector<std::pair<LayerFieldSet, std::vector<LayerId>>> changes;
    for (LayerId id : keptNow) {
        const Layer& old = *std::find_if(before.layers.begin(), before.layers.end(),
                                         [id](const Layer& l) { return l.id == id; });
        const LayerFieldSet fields = changedFields(old, *layer(id));
        if (fields == 0)
            continue;
        auto group = std::find_if(changes.begin(), changes.end(),
                                  [fields](const auto& change) { return change.first == fields; });
        if (group == changes.end())
            group = changes.insert(changes.end(), {fields, {}});
        group->second.push_back(id);
    }
    for (auto& [fields, ids] : changes)
        announce(DocumentEvent{DocumentChange::LayerFields, std::move(ids), fields, 0});

    if (!(before.output == after.output))
        announce(DocumentChange::Output);
    if (before.pictures_show_picture != after.pictures_show_picture ||
        before.pictures_show_select_area != after.pictures_show_select_area)
        announce(DocumentChange::DisplaySwitches);
}

bool EditorDocument::isModified() const
{
    return isTemplateModified(m_template, m_settings.dpi, m_untouchedBytes);
}

std::string EditorDocument::resolve(const std::string& stored) const
{
    return resolveTemplatePath(stored, m_template.templatePath);
}

void EditorDocument::addToRecentFiles(const std::string& path)
{
    m_recent.addRecentFile(path, !m_template.templatePath.empty());
}

void EditorDocument::setBackgroundPicture(const std::string& path)
{
    m_template.background.kind = BackgroundKind::Picture;
    m_template.background.background_path = path;
    reloadBackgroundPicture();
}

void EditorDocument::usePictureBackground(bool readPicture)
{
    BackgroundLayer& background = m_template.background;
    background.kind = BackgroundKind::Picture;
    background.picture.reset();
    if (readPicture) {
        reloadBackgroundPicture();
        return;
    }
    usePlaceholderPicture(background);
    announce(DocumentChange::Background);
}

void EditorDocument::reloadBackgroundPicture()
{
    loadBackgroundPicture(resolve(m_template.background.background_path), m_template.background);
    announce(DocumentChange::Background);
}

void EditorDocument::useCustomBackground(BackgroundColorMode mode)
{
    makeCustomCanvas(m_template.background, mode);
    announce(DocumentChange::Background);
}

void EditorDocument::setBackgroundSize(const std::string& width, const std::string& height)
{
    setBackgroundSizeTexts(m_template.background, width, height, m_settings.dpi);
    announce(DocumentChange::Background);
}

void EditorDocument::setBackgroundUnit(SizeUnit unit)
{
    if (unit == m_template.background.unit)
        return;
    switchBackgroundUnit(m_template.background, unit);
    announce(DocumentChange::Background);
}

void EditorDocument::setBackgroundColorMode(BackgroundColorMode mode)
{
    torvale::setBackgroundColorMode(m_template.background, mode);
    announce(DocumentChange::Background);
}

void EditorDocument::setChosenColor(std::uint32_t color)
{
    applyChosenColor(m_template.background, color);
    announce(DocumentChange::Background);
}

void EditorDocument::setOutput(const OutputSettings& output)
{
    if (output.outputFolder != m_template.output.outputFolder)
        rememberOutputFolder(m_store, m_template.templatePath, output.outputFolder);
    m_template.output = output;
    OutputSettings& stored = m_template.output;
    stored.quality = std::clamp(stored.quality, kMinQuality, kMaxQuality);
    if (std::find(std::begin(kPaletteSizes), std::end(kPaletteSizes), stored.colorCount) ==
        std::end(kPaletteSizes))
        stored.colorCount = 256;
    stored.serialStart = std::clamp(stored.serialStart, kMinSerialStart, kMaxSerialStart);
    announce(DocumentChange::Output);
}

void EditorDocument::setShowSelectArea(bool on)
{
    if (!m_template.pictures_show_picture)
        return;
    m_template.pictures_show_select_area = on;
    announce(DocumentChange::DisplaySwitches);
}

void EditorDocument::setShowPicture(bool on)
{
    m_template.pictures_show_picture = on;
    if (!on)
        m_template.pictures_show_select_area = true;
    announce(DocumentChange::DisplaySwitches);
}

std::optional<std::size_t> EditorDocument::indexOf(LayerId id) const
{
    const auto& layers = m_template.layers;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (layers[i].id == id && id != 0)
            return i;
    }
    return std::nullopt;
}

const Layer* EditorDocument::layer(LayerId id) const
{
    const auto index = indexOf(id);
    return index ? &m_template.layers[*index] : nullptr;
}

Layer* EditorDocument::findLayer(LayerId id)
{
    const auto index = indexOf(id);
    return index ? &m_template.layers[*index] : nullptr;
}

std::vector<LayerId> EditorDocument::idsAt(const std::vector<std::size_t>& rows) const
{
    std::vector<LayerId> ids;
    for (std::size_t row : rows) {
        if (row < m_template.layers.size())
            ids.push_back(m_template.layers[row].id);
    }
    return ids;
}

std::vector<std::size_t> EditorDocument::rowsOf(const std::vector<LayerId>& ids) const
{
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < m_template.layers.size(); ++i) {
        if (std::find(ids.begin(), ids.end(), m_template.layers[i].id) != ids.end())
            rows.push_back(i);
    }
    return rows;
}

void EditorDocument::nameLayers()
{
    for (Layer& layer : m_template.layers) {
        if (layer.id == 0)
            layer.id = m_nextLayerId++;
    }
}

LayerId EditorDocument::addLayer(LayerType type)
{
    return insertLayer(type, m_template.layers.size());
}

LayerId EditorDocument::insertLayer(LayerType type, std::size_t index)
{
    auto& layers = m_template.layers;
    index = std::min(index, layers.size());
    Layer layer = makeLayer(type, m_settings.default_pictures_layer_level,
                            m_settings.default_pictures_overflow_style);
    layer.fontName = m_newLayerFont;
    layer.id = m_nextLayerId++;
    const LayerId id = layer.id;
    layers.insert(layers.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    renumberLayers(layers);
    announce(DocumentEvent{DocumentChange::LayersAdded, {id}, 0, index});
    return id;
}

std::vector<LayerId> EditorDocument::copyLayers(const std::vector<LayerId>& ids)
{
    auto& layers = m_template.layers;
    const std::size_t first = layers.size();
    for (std::size_t row : rowsOf(ids)) {
        Layer copy = layers[row];
        copy.id = m_nextLayerId++;
        layers.push_back(std::move(copy));
    }
    renumberLayers(layers);
    std::vector<LayerId> copies;
    for (std::size_t i = first; i < layers.size(); ++i)
        copies.push_back(layers[i].id);
    if (!copies.empty())
        announce(DocumentEvent{DocumentChange::LayersAdded, copies, 0, first});
    return copies;
}

void EditorDocument::deleteLayers(const std::vector<LayerId>& ids)
{
    auto& layers = m_template.layers;
    const std::vector<std::size_t> rows = rowsOf(ids);
    if (rows.empty())
        return;
    std::vector<LayerId> removed;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        removed.insert(removed.begin(), layers[*it].id);
        layers.erase(layers.begin() + static_cast<std::ptrdiff_t>(*it));
    }
    renumberLayers(layers);
    announce(DocumentEvent{DocumentChange::LayersRemoved, removed, 0, rows.front()});
}

template <typename Apply>
void EditorDocument::editLayers(const std::vector<LayerId>& ids, LayerFieldSet fields, Apply apply)
{
    std::vector<LayerId> changed;
    for (LayerId id : ids) {
        Layer* layer = findLayer(id);
        if (layer && apply(*layer))
            changed.push_back(id);
    }
    if (!changed.empty())
        announce(DocumentEvent{DocumentChange::LayerFields, changed, fields, 0});
}

void EditorDocument::setLayerType(LayerId id, LayerType type)
{
    editLayers({id}, FieldType, [type](Layer& layer) {
        if (layer.type == type)
            return false;
        layer.type = type;
        return true;
    });
}

void EditorDocument::setLayerLevel(const std::vector<LayerId>& ids, LayerLevel level)
{
    editLayers(ids, FieldLevel, [level](Layer& layer) {
        if (!followsLayerLevel(layer.type) || layer.layer_level == level)
            return false;
        layer.layer_level = level;
        return true;
    });
}

void EditorDocument::setLayerOverflow(const std::vector<LayerId>& ids, OverflowStyle style)
{
    editLayers(ids, FieldOverflow, [style](Layer& layer) {
        if (layer.overflow_style == style)
            return false;
        layer.overflow_style = style;
        return true;
    });
}

void EditorDocument::setLayerFields(const std::vector<LayerId>& ids, LayerFieldSet fields,
                                    const Layer& values)
{
    fields &= ~(FieldType | FieldGeometry);
    editLayers(ids, fields, [fields, &values](Layer& layer) {
        const Layer before = layer;
        copyFields(fields, layer, values);
        return layerFieldsDiffer(before, layer);
    });
}

void EditorDocument::setLayerGeometry(const std::vector<LayerRect>& rects)
{
    std::vector<LayerId> changed;
    for (LayerRect rect : rects) {
        const bool unset = rect.x == -1 && rect.y == -1 && rect.width == -1 && rect.height == -1;
        const bool set = rect.width >= 1 && rect.height >= 1;
        // x = -1 marks a layer without a rectangle (in the file too): a rectangle that would
        // start there, one pixel left of the card (centred on a card a little narrower than
        // the layer, say), starts one pixel further left instead of being dropped.
        if (set && rect.x == -1)
            rect.x = -2;
        Layer* layer = findLayer(rect.id);
        if (!layer || (!set && !unset))
            continue;
        if (layer->x == rect.x && layer->y == rect.y && layer->width == rect.width &&
            layer->height == rect.height)
            continue;
        layer->x = rect.x;
        layer->y = rect.y;
        layer->width = rect.width;
        layer->height = rect.height;
        changed.push_back(rect.id);
    }
    if (!changed.empty())
        announce(DocumentEvent{DocumentChange::LayerFields, changed, FieldGeometry, 0});
}

Subscription EditorDocument::subscribe(Listener listener)
{
    return m_changed.subscribe(std::move(listener));
}

namespace {

// The name of an edit after what it changed: the step names the 编辑 menu shows.
std::string stepName(const DocumentEvent& event)
{
    switch (event.change) {
    case DocumentChange::Background:
        return "修改背景";
    case DocumentChange::DataSource:
        return "修改数据源";
    case DocumentChange::LayersAdded:
        return "添加图层";
    case DocumentChange::LayersRemoved:
        return "删除图层";
    case DocumentChange::Output:
        return "修改输出设置";
    case DocumentChange::DisplaySwitches:
        return "修改显示方式";
    case DocumentChange::LayerFields:
        break;
    default:
        return {};
    }
    return fieldStepName(event.fields);
}

} // namespace

EditStep::~EditStep()
{
    if (m_document)
        m_document->endStep();
}

EditStep EditorDocument::beginStep(std::string name, std::string key)
{
    if (m_stepDepth++ == 0) {
        m_stepName = std::move(name);
        m_stepKey = std::move(key);
        m_stepChanged = false;
    }
    return EditStep(this);
}

EditStep EditorDocument::continueStep(std::string name, std::string key)
{
    if (m_stepDepth == 0)
        m_history.reopen(key);
    return beginStep(std::move(name), std::move(key));
}

void EditorDocument::endStep()
{
    if (--m_stepDepth > 0 || !m_stepChanged)
        return;
    m_stepChanged = false;
    if (m_history.record(m_template, m_settings.dpi, m_stepName, m_stepKey))
        announce(DocumentChange::History);
}

void EditorDocument::recordEdit(const DocumentEvent& event)
{
    if (m_restoring)
        return;
    switch (event.change) {
    case DocumentChange::Everything:
        m_history.reset(m_template, m_settings.dpi);
        return;
    case DocumentChange::FileLink:
    case DocumentChange::Dpi:
    case DocumentChange::History:
        return;
    default:
        break;
    }
    if (m_stepDepth > 0) {
        if (!m_stepChanged && m_stepName.empty())
            m_stepName = stepName(event);
        m_stepChanged = true;
        return;
    }
    if (m_history.record(m_template, m_settings.dpi, stepName(event)))
        announce(DocumentChange::History);
}

bool EditorDocument::undo()
{
    return goTo(m_history.undo());
}

bool EditorDocument::redo()
{
    return goTo(m_history.redo());
}

bool EditorDocument::goTo(std::optional<Template> state)
{
    const bool found = state.has_value();
    if (found)
        restore(std::move(*state));
    announce(DocumentChange::History);
    return found;
}

void EditorDocument::announce(DocumentEvent event)
{
    recordEdit(event);
    m_changed.notify(event);
}

} // namespace torvale
