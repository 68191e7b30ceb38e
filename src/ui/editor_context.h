#pragma once

#include "app/editor_document.h"
#include "app/editor_state.h"
#include "common/signal.h"
#include "render/fonts.h"
#include "ui/command_id.h"
#include "ui/prompts.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QMenu;
class QPixmap;

namespace torvale {

class BalloonManager;
class RowPreview;

/// A mapped font family that was added or removed.
struct FontChange {
    bool added = false;
    std::string name;
};

/// What the editor's views share: the document, the selection, the dialogs, the fonts, the
/// balloons and the row preview, with the events of what drives the picture besides the
/// template. Each view subscribes to the events it draws from; the window builds the views,
/// and wires in the services it provides (commands, status bar, log, focus).
class EditorContext {
public:
    EditorContext(EditorDocument& document, const FontRegistry& fonts, Prompts& prompts);
    ~EditorContext();
    EditorContext(const EditorContext&) = delete;
    EditorContext& operator=(const EditorContext&) = delete;

    EditorDocument& document() { return m_document; }
    const EditorDocument& document() const { return m_document; }
    EditorState& state() { return m_state; }
    const EditorState& state() const { return m_state; }
    Prompts& prompts() { return m_prompts; }
    BalloonManager& balloons() { return *m_balloons; }
    RowPreview& preview() { return *m_preview; }

    /// The current font tables. The reference holds until the font mapping changes; whoever
    /// reads the fonts longer (a batch, a preview) keeps a snapshot instead.
    const FontRegistry& fonts() const { return *m_fontSnapshot; }
    /// The current font tables as a snapshot that stays unchanged while it is held.
    std::shared_ptr<const FontRegistry> fontSnapshot() const { return m_fontSnapshot; }
    /// Adds a font mapping (fonts and store) and announces it; false when the name is taken.
    bool addFontMapping(const std::string& name, const std::string& path);
    /// Deletes a font mapping (store and fonts) and announces the family that went.
    void removeFontMapping(const std::string& name);

    /// A mapped font was added or removed: texts are drawn again, the font list changes.
    Signal<FontChange> fontsChanged;
    /// Watermarks were added, removed, moved, replaced or switched on or off.
    Signal<> watermarksChanged;
    /// A layer's demo picture is to be made again from its file (which may have changed).
    Signal<LayerId> layerRedrawRequested;
    /// The rectangle of the layer being placed or drawn changed (not stored yet).
    Signal<std::optional<LayerRect>> draftChanged;

    // Services of the window, wired in when it is built.
    std::function<void(CommandId)> execute = [](CommandId) {};
    std::function<void(int part, const QString& text)> setStatusText = [](int, const QString&) {};
    std::function<void(int part, const QPixmap& icon)> setStatusIcon = [](int, const QPixmap&) {};
    std::function<void(const std::string& line)> appendLog = [](const std::string&) {};
    std::function<void()> focusCanvas = [] {};
    std::function<void()> scrollSettingsToTop = [] {};
    /// The layer menu's "层次" (level) or "溢出样式" submenu, prepared for the selection.
    std::function<QMenu*(bool level)> layerSubMenu = [](bool) { return nullptr; };

private:
    EditorDocument& m_document;
    Prompts& m_prompts;
    EditorState m_state;
    FontLibrary m_fontLibrary;
    std::shared_ptr<const FontRegistry> m_fontSnapshot;
    std::unique_ptr<BalloonManager> m_balloons;
    std::unique_ptr<RowPreview> m_preview;
};

} // namespace torvale
