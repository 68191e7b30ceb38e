#pragma once

#include "app/card_sizes.h"
#include "app/edit_history.h"
#include "common/settings_store.h"
#include "common/signal.h"
#include "model/layer_fields.h"
#include "model/recent_files.h"
#include "model/settings.h"
#include "model/template.h"
#include "model/template_file.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvale {

/// What changed in the document, so views refresh what they show.
enum class DocumentChange {
    Everything,    // new or opened template
    FileLink,      // templatePath / templateName (title, recent files)
    Background,    // the background record
    DataSource,    // CSV path, trim switch, CSV columns
    LayersAdded,   // layers inserted; the rows from firstRow on moved
    LayersRemoved, // layers deleted; the rows from firstRow on moved
    LayerFields,   // fields of existing layers
    Output,        // output settings
    Dpi,           // the current DPI setting, and with it a blank canvas's size
    DisplaySwitches,
    History,       // the undo history: a step recorded, undone or redone
};

/// The editor's name for a layer while the program runs (Layer::id); 0 is no layer.
using LayerId = std::uint32_t;

/// One announced change: its kind, the layers concerned and, for layer fields, which fields.
struct DocumentEvent {
    DocumentChange change = DocumentChange::Everything;
    std::vector<LayerId> layers;
    LayerFieldSet fields = 0;
    /// LayersAdded / LayersRemoved: the first list position whose layer changed.
    std::size_t firstRow = 0;
};

/// A layer's rectangle, for geometry edits.
struct LayerRect {
    LayerId id = 0;
    std::int32_t x = -1;
    std::int32_t y = -1;
    std::int32_t width = -1;
    std::int32_t height = -1;

    friend bool operator==(const LayerRect&, const LayerRect&) = default;
};

class EditorDocument;

/// An edit step in progress (see EditorDocument::beginStep): the edits made while it lives
/// are one undo step, recorded when it ends.
class [[nodiscard]] EditStep {
public:
    EditStep(EditStep&& other) noexcept : m_document(std::exchange(other.m_document, nullptr)) {}
    EditStep& operator=(EditStep&&) = delete;
    ~EditStep();

private:
    friend class EditorDocument;
    explicit EditStep(EditorDocument* document) : m_document(document) {}
    EditorDocument* m_document;
};

/// The open template and the editor's process-wide values (current DPI, settings, recent
/// files, CSV columns). Every edit goes through it, is announced to the listeners and becomes
/// a step of the undo history.
class EditorDocument {
public:
    using Listener = std::function<void(const DocumentEvent&)>;

    explicit EditorDocument(const SettingsStore& store);

    const SettingsStore& store() const { return m_store; }
    const Template& tpl() const { return m_template; }
    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    RecentFileList& recentFiles() { return m_recent; }

    /// The current DPI setting (1..1200).
    std::int32_t dpi() const { return m_settings.dpi; }
    /// Sets and stores the current DPI; false for a value outside 1..1200. A blank canvas
    /// takes it too: sized in pixels it keeps its pixels, sized in another unit its pixels
    /// follow the size texts at the new DPI. A background picture keeps its pixels.
    bool setDpi(std::int32_t dpi);
    /// Sets and stores the completion alert ("completed_alert").
    void setCompletedAlert(bool on);
    /// Sets and stores whether dragging on the canvas snaps ("snap_to_guides").
    void setSnapping(bool on);
    /// Sets and stores whether start-up offers the desktop shortcut ("check_shortcut_status").
    void setCheckShortcutStatus(bool on);

    // ---- the template file

    /// The new-template state (keeps output format settings, display switches, the DPI and the
    /// chosen colour).
    void newTemplate();
    /// A new template as newTemplate makes it, whose blank canvas has a chosen size, DPI (which
    /// becomes the current DPI) and colour; it counts as unchanged until edited.
    void newTemplate(const CardSizeChoice& size);
    /// Reads a template file (see readTemplateFile); applies its dpi, loads the background
    /// picture and the CSV columns, adds it to the recent files on success.
    TemplateReadResult open(const std::string& path);
    /// Saves to path (atomic replace); on success links the template to it and adds it to the
    /// recent files.
    TemplateSaveResult save(const std::string& path);
    /// Puts back an earlier state of the template (undo and redo); the link to its file stays.
    /// What differs from the current state is announced as the edits that would make it.
    void restore(Template state);
    /// True when closing would lose edits: saving would change the file, or a template without
    /// layers differs from what "新建" made.
    bool isModified() const;
    /// A path stored in the template, resolved against the template's folder.
    std::string resolve(const std::string& stored) const;

    // ---- background

    /// A picture background from a file the caller has checked; its picture is read.
    void setBackgroundPicture(const std::string& path);
    /// Switches to a picture background keeping its path: the picture is read again when
    /// readPicture, else the white placeholder stands in.
    void usePictureBackground(bool readPicture);
    /// Reads the background picture again from background_path (placeholder when unusable).
    void reloadBackgroundPicture();
    /// Switches to a custom canvas with the colour of a colour box entry.
    void useCustomBackground(BackgroundColorMode mode);
    /// The custom canvas size from the two size texts, at the current DPI.
    void setBackgroundSize(const std::string& width, const std::string& height);
    /// The unit of the size texts; the texts are rewritten from the unchanged pixel size.
    void setBackgroundUnit(SizeUnit unit);
    /// The canvas colour of a colour box entry.
    void setBackgroundColorMode(BackgroundColorMode mode);
    /// A colour picked in the colour dialog becomes the chosen and the drawing colour.
    void setChosenColor(std::uint32_t color);

    // ---- data source

    /// Column names of the current CSV file, in header order.
    const std::vector<std::string>& csvColumns() const { return m_csvColumns; }
    /// Uses a CSV file and loads its columns; false (the column list empty) when they cannot
    /// be read.
    bool setCsvFile(const std::string& path);
    /// Sets the trim switch and reads the CSV file's columns again when there is one; false
    /// when they cannot be read, and the columns and file-name columns then stay as they were.
    bool setTrimCsv(bool on);
    /// Loads the columns of a CSV file (resolved against the template's folder) with the trim
    /// switch; on failure the list is emptied and false returned. The file-name columns keep
    /// their choice when a column of the same text (case ignored) is still there.
    bool loadCsvColumns(const std::string& path);
    /// Columns the batch read from the CSV file as it started (the file-name columns keep their
    /// choice as with loadCsvColumns).
    void useCsvColumns(std::vector<std::string> columns);

    // ---- output and display switches

    /// The output settings; quality is kept in 10..100, an unknown palette size becomes 256 and
    /// the first serial is kept in its range.
    void setOutput(const OutputSettings& output);
    /// "显示选区"; ignored while "显示图片" is off (the outlines are the only view then).
    void setShowSelectArea(bool on);
    /// "显示图片"; switching it off turns "显示选区" on, so layers stay visible as outlines.
    void setShowPicture(bool on);

    // ---- layers

    /// The list position of a layer; nothing for an id that is not in the list.
    std::optional<std::size_t> indexOf(LayerId id) const;
    /// The layer of an id, or null.
    const Layer* layer(LayerId id) const;
    /// The ids of the layers at list positions (positions past the end are skipped).
    std::vector<LayerId> idsAt(const std::vector<std::size_t>& rows) const;
    /// The list positions of layers, ascending (ids not in the list are skipped).
    std::vector<std::size_t> rowsOf(const std::vector<LayerId>& ids) const;

    /// The font name new layers get (the template's default until set).
    void setNewLayerFont(std::string name) { m_newLayerFont = std::move(name); }
    /// Appends a new layer of a type; returns its id.
    LayerId addLayer(LayerType type);
    /// Inserts a new layer at a list position; the following layers are renumbered.
    LayerId insertLayer(LayerType type, std::size_t index);
    /// Appends a copy of each layer named, in list order; returns the copies' ids.
    std::vector<LayerId> copyLayers(const std::vector<LayerId>& ids);
    /// Deletes the layers named.
    void deleteLayers(const std::vector<LayerId>& ids);
    /// Changes the type of one layer.
    void setLayerType(LayerId id, LayerType type);
    /// Sets the level of the picture, code and shape layers named (text layers have none).
    void setLayerLevel(const std::vector<LayerId>& ids, LayerLevel level);
    /// Sets the overflow style of the layers named.
    void setLayerOverflow(const std::vector<LayerId>& ids, OverflowStyle style);
    /// Copies the fields of the groups named from values into each layer named. The groups
    /// owned by other operations (type, geometry) are not taken here.
    void setLayerFields(const std::vector<LayerId>& ids, LayerFieldSet fields, const Layer& values);
    /// Moves or resizes layers; a rectangle must be wholly set (width and height at least 1)
    /// or wholly unset (-1), anything else is ignored.
    void setLayerGeometry(const std::vector<LayerRect>& rects);

    // ---- undo

    /// Opens an edit step: every edit until the returned step ends is one undo step, recorded
    /// once at its end under name (or, when empty, a name after the first change). A step
    /// with the same non-empty key as the step before it joins that step (the moves of a run
    /// of arrow keys, the keystrokes of one field). Steps opened inside a step are part of it.
    /// An edit made outside any step is a step of its own.
    EditStep beginStep(std::string name = {}, std::string key = {});
    /// beginStep whose edits join the newest step when it was recorded under the same key,
    /// even after endMerging (see EditHistory::reopen).
    EditStep continueStep(std::string name, std::string key);
    /// The key of the steps of a new layer: adding it and drawing its rectangle are one step.
    static constexpr const char* kNewLayerStepKey = "new-layer";
    /// The next step does not join the one before, whatever its key (a field lost the focus).
    void endMerging() { m_history.endStep(); }
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    /// The name of the step undo takes back, and of the one redo makes again.
    std::string undoName() const { return m_history.undoName(); }
    std::string redoName() const { return m_history.redoName(); }
    /// Puts back the state before the last step (after the undone one); false when none.
    bool undo();
    bool redo();
    const EditHistory& history() const { return m_history; }

    /// Registers a listener for changes, told until the subscription ends.
    Subscription subscribe(Listener listener);

private:
    friend class EditStep;
    /// The new-template state, with the canvas of a size when one is given.
    void resetToNewTemplate(const CardSizeChoice* size);
    void endStep();
    /// Puts back a state of the history (nothing: there was none to go to).
    bool goTo(std::optional<Template> state);
    /// Records the template in the history after an event outside a step, or marks the open
    /// step as changed.
    void recordEdit(const DocumentEvent& event);
    void addToRecentFiles(const std::string& path);
    /// Announces how the template differs from before (a restored state).
    void announceDifferences(const Template& before, bool sourceChanged);
    /// A blank canvas takes the current DPI (see setDpi).
    void canvasTakesDpi();
    void announce(DocumentEvent event);
    void announce(DocumentChange change) { announce(DocumentEvent{change, {}, 0, 0}); }
    Layer* findLayer(LayerId id);
    /// Gives every layer without an id a new one.
    void nameLayers();
    /// Fields of a set of layers through a setter; announces the layers it changed.
    template <typename Apply>
    void editLayers(const std::vector<LayerId>& ids, LayerFieldSet fields, Apply apply);

    const SettingsStore& m_store;
    Settings m_settings;
    RecentFileList m_recent;
    Template m_template;
    /// The file bytes of the template "新建" (or the start) made last.
    std::string m_untouchedBytes;
    std::vector<std::string> m_csvColumns;
    Signal<DocumentEvent> m_changed;
    EditHistory m_history;
    int m_stepDepth = 0;
    std::string m_stepName;
    std::string m_stepKey;
    bool m_stepChanged = false;
    /// Set while a restored state is announced: those events are not edits.
    bool m_restoring = false;
    LayerId m_nextLayerId = 1;
    std::string m_newLayerFont = Layer{}.fontName;
};

} // namespace torvale
