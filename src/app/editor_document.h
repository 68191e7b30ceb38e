#pragma once

#include "common/settings_store.h"
#include "model/recent_files.h"
#include "model/settings.h"
#include "model/template.h"
#include "model/template_file.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// What changed in the document, so views refresh what they show.
enum class DocumentChange {
    Everything,  // new or opened template
    FileLink,    // templatePath / templateName (title, recent files)
    Background,  // the background record
    DataSource,  // CSV path, trim switch, CSV columns
    Layers,      // layers added, removed, reordered or re-typed
    LayerFields, // fields of existing layers (level, overflow style, geometry)
    Output,      // output settings
    Dpi,         // the current DPI setting
    DisplaySwitches,
};

/// The open template and the editor's process-wide values (current DPI, settings, recent
/// files, CSV columns). Every edit goes through it and is announced to the listeners.
class EditorDocument {
public:
    using Listener = std::function<void(DocumentChange)>;

    explicit EditorDocument(const SettingsStore& store);

    const SettingsStore& store() const { return m_store; }
    Template& tpl() { return m_template; }
    const Template& tpl() const { return m_template; }
    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    RecentFileList& recentFiles() { return m_recent; }

    /// The current DPI setting (1..1200).
    std::int32_t dpi() const { return m_settings.dpi; }
    /// Sets and stores the current DPI; false for a value outside 1..1200.
    bool setDpi(std::int32_t dpi);
    /// Sets and stores the completion alert ("completed_alert").
    void setCompletedAlert(bool on);
    /// Sets and stores whether start-up offers the desktop shortcut ("check_shortcut_status").
    void setCheckShortcutStatus(bool on);

    /// Column names of the current CSV file, in header order.
    const std::vector<std::string>& csvColumns() const { return m_csvColumns; }
    /// Loads the columns of a CSV file (resolved against the template's folder) with the trim
    /// switch; on failure the list is emptied and false returned. The file-name columns keep
    /// their choice when a column of the same text (case ignored) is still there.
    bool loadCsvColumns(const std::string& path);

    /// The new-template state (keeps output format settings, display switches and the DPI).
    void newTemplate();
    /// Reads a template file (see readTemplateFile); applies its dpi, loads the background
    /// picture and the CSV columns, adds it to the recent files on success.
    TemplateReadResult open(const std::string& path);
    /// Saves to path (atomic replace); on success links the template to it and adds it to the
    /// recent files.
    TemplateSaveResult save(const std::string& path);
    /// True when saving would change the file (never without layers).
    bool isModified() const;

    /// A path stored in the template, resolved against the template's folder.
    std::string resolve(const std::string& stored) const;

    /// Appends a new layer of a type; returns its index.
    std::size_t addLayer(LayerType type);
    /// Inserts a new layer at index; the following layers are renumbered.
    std::size_t insertLayer(LayerType type, std::size_t index);
    /// Appends a copy of every marked layer, in list order (copies not marked); returns the
    /// index of the first copy, or the layer count when nothing was copied.
    std::size_t copyMarkedLayers();
    /// Deletes the layers at the given indices; returns the lowest index removed.
    std::size_t deleteLayers(std::vector<std::size_t> indices);
    /// Sets the level of every marked picture layer.
    void setLevelOfMarked(LayerLevel level);
    /// Sets the overflow style of every marked layer.
    void setOverflowOfMarked(OverflowStyle style);
    /// Changes the type of one layer.
    void setLayerType(std::size_t index, LayerType type);

    /// Loads the background picture from background_path (placeholder when unusable).
    void reloadBackgroundPicture();

    /// Registers a listener for changes; returns the id unsubscribe takes.
    std::size_t subscribe(Listener listener);
    /// Removes a listener; a view that goes before the document must call it.
    void unsubscribe(std::size_t id);
    /// Tells every listener about a change (edits made directly on tpl() call this).
    void notify(DocumentChange change);

private:
    void addToRecentFiles(const std::string& path);

    const SettingsStore& m_store;
    Settings m_settings;
    RecentFileList m_recent;
    Template m_template;
    std::vector<std::string> m_csvColumns;
    std::vector<std::pair<std::size_t, Listener>> m_listeners;
    std::size_t m_nextListenerId = 1;
};

} // namespace torvale
