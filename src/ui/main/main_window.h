#pragma once

#include "app/commands.h"
#include "app/editor_document.h"
#include "app/editor_state.h"
#include "render/fonts.h"
#include "ui/command_id.h"
#include "ui/editor_context.h"
#include "ui/prompts.h"

#include <QMainWindow>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;

namespace torvale {

class BackgroundPanel;
class BalloonManager;
class CanvasView;
class CodeLayerWindow;
class ShapeLayerWindow;
class DataSourcePanel;
class FontMappingDialog;
class RowCheckWindow;
class LayerPanel;
class LayerWindow;
class PictureLayerWindow;
class TextLayerWindow;
class WatermarkPanel;
class RowPreview;
class WatermarkPositionDialog;
class LogWindow;
class OutputPanel;
class BatchController;
class StatusLine;

/// The editor's one top-level window: menus, the design canvas on the left, the settings
/// column on the right, the status bar. It builds the views over one editor context and wires
/// in its services; the views follow the document and the selection themselves. Every command
/// ends in execute().
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(EditorDocument& document, const FontRegistry& fonts, Prompts& prompts,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Carries out one command (menus, context menus, keys, the start button, canvas) through
    /// the command table. An id nobody registered is a programming error: it is reported on
    /// stderr, and aborts when strict (tests, debug builds).
    void execute(CommandId id);
    /// Whether execute aborts on an unknown id.
    static void setStrictCommands(bool strict);

    EditorContext& context() { return *m_context; }
    EditorDocument& document() { return m_document; }
    EditorState& state() { return m_context->state(); }
    Prompts& prompts() { return m_prompts; }
    std::shared_ptr<const FontRegistry> fontSnapshot() const { return m_context->fontSnapshot(); }
    /// The font mapping dialog, once it has been opened.
    FontMappingDialog* fontMappingDialog() const { return m_fontMappingDialog; }
    /// The report of "检查数据..." (null until a check has run).
    RowCheckWindow* rowCheckWindow() const { return m_rowCheckWindow; }
    RowPreview& preview() { return m_context->preview(); }

    BackgroundPanel* backgroundPanel() const { return m_backgroundPanel; }
    DataSourcePanel* dataSourcePanel() const { return m_dataSourcePanel; }
    LayerPanel* layerPanel() const { return m_layerPanel; }
    OutputPanel* outputPanel() const { return m_outputPanel; }
    QPushButton* startButton() const { return m_startButton; }
    CanvasView* canvas() const { return m_canvas; }
    LogWindow* logWindow() const { return m_logWindow; }
    BalloonManager& balloons() { return m_context->balloons(); }
    BatchController& batch() { return *m_batch; }
    QScrollArea* settingsColumn() const { return m_settingsColumn; }
    TextLayerWindow* textLayerWindow() const { return m_textWindow; }
    WatermarkPanel* watermarkPanel() const { return m_watermarkPanel; }
    WatermarkPositionDialog* watermarkDialog() const { return m_watermarkDialog; }
    PictureLayerWindow* pictureLayerWindow() const { return m_pictureWindow; }
    CodeLayerWindow* codeLayerWindow() const { return m_codeWindow; }
    ShapeLayerWindow* shapeLayerWindow() const { return m_shapeWindow; }
    /// The property windows of the four layer types.
    std::array<LayerWindow*, 4> layerWindows() const;
    /// The property window showing a layer, when one is open.
    LayerWindow* openLayerWindow() const;

    /// Text of a status-bar part (0..5).
    void setStatusText(int part, const QString& text);
    /// Icon of a status-bar part (0..3).
    void setStatusIcon(int part, const QPixmap& icon);
    QString statusText(int part) const;
    /// Appends a time-stamped line to the information log (and shows it).
    void appendLog(const std::string& message);
    /// Scrolls the settings column to its top.
    void scrollSettingsToTop();
    /// Stacks the panels of the settings column again (after a panel changed its height).
    void stackPanels();
    /// Rewrites the title from the template's name.
    void updateTitle();
    /// Opens a template file (with the modified prompt), as a recent-file entry does; an empty
    /// path asks for the file with the open dialog ("打开").
    void openTemplatePath(const std::string& path);
    /// The default folder of the template dialogs ("我的模版", set at start-up).
    void setTemplatesFolder(const std::string& folder) { m_templatesFolder = folder; }
    const std::string& templatesFolder() const { return m_templatesFolder; }
    /// Where the template dialogs start: the open template's folder, else templatesFolder.
    std::string templateDialogFolder() const;
    /// The shortcut offer shown once after start-up.
    void offerDesktopShortcut();
    /// The menu of a name ("layer", "zoom", "dpi", "layerType") for tests and the canvas.
    QMenu* popupMenu(const QString& name) const;
    /// The layer menu's "层次" and "溢出样式" submenus (the canvas's context menu shows them too).
    QMenu* levelMenu() const { return m_levelMenu; }
    QMenu* overflowMenu() const { return m_overflowMenu; }
    /// The modified prompt; false when the user cancelled (or a chosen save did not happen).
    bool confirmDiscard();
    /// Opens a file or folder with the desktop's program for it; where there is none, a message
    /// names what to open by hand.
    void openExternally(const QString& path, const QUrl& url);
    /// What openExternally uses (the desktop's opener; tests put their own).
    void setExternalOpener(std::function<bool(const QUrl&)> opener)
    {
        m_externalOpener = std::move(opener);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildSettingsColumn();
    void buildCommandTable();
    /// Gives the context the window's services.
    void wireContext();
    /// The window's own parts that follow the document: title, status bar, recent files, the
    /// undo entries.
    void onDocumentChanged(const DocumentEvent& event);
    /// The window's own parts that follow the selection: status part 2, balloons, the
    /// property windows.
    void onSelectionChanged(const SelectionEffects& effects);
    /// The 编辑 menu's entries after the history: enabled, with the name of the step.
    void showHistory();
    /// Shows the property window of the current layer's type (or hides both).
    void showPropertyWindow(PropertyWindow which);
    void showBackgroundSize();
    void rebuildRecentMenu();

    // File commands (main_window_file.cpp); settings, help, zoom and DPI commands
    // (main_window_settings.cpp).
    /// New, open, save, the recent files.
    void registerFileCommands();
    /// Zoom, DPI, font mapping, the completion alert, the desktop shortcut and the help links.
    void registerSettingsCommands();
    void openRecentFile(std::size_t index);
    void runCustomDpi();
    /// Opens the user guide (at a section when one is named) in the browser, or says that it
    /// is not installed.
    void openUserGuide(const QString& section);
    // Layer commands and menus (main_window_layers.cpp).
    void registerLayerCommands();
    void buildLayerMenus();
    // Watermark commands (main_window_watermarks.cpp).
    void registerWatermarkCommands();
    /// The watermark picture chooser with its checks; nothing when cancelled.
    std::optional<std::pair<std::string, WatermarkPicture>> chooseWatermarkPicture();
    void addWatermark(bool insert);
    void editWatermark();
    void replaceWatermarkPicture();
    void deleteWatermark();
    // "开始处理" (main_window_batch.cpp).
    void startBatch();
    void showRowCheck();

    bool saveTemplate(bool saveAs);

    EditorDocument& m_document;
    Prompts& m_prompts;
    std::function<bool(const QUrl&)> m_externalOpener;
    std::unique_ptr<EditorContext> m_context;
    EditorState& m_state;
    std::unique_ptr<StatusLine> m_status;

    CanvasView* m_canvas = nullptr;
    QScrollArea* m_settingsColumn = nullptr;
    QWidget* m_settingsContent = nullptr;
    BackgroundPanel* m_backgroundPanel = nullptr;
    DataSourcePanel* m_dataSourcePanel = nullptr;
    LayerPanel* m_layerPanel = nullptr;
    OutputPanel* m_outputPanel = nullptr;
    QPushButton* m_startButton = nullptr;
    LogWindow* m_logWindow = nullptr;
    TextLayerWindow* m_textWindow = nullptr;
    WatermarkPanel* m_watermarkPanel = nullptr;
    WatermarkPositionDialog* m_watermarkDialog = nullptr;
    QAction* m_watermarkPanelAction = nullptr;
    bool m_watermarkPanelShown = false;
    PictureLayerWindow* m_pictureWindow = nullptr;
    CodeLayerWindow* m_codeWindow = nullptr;
    ShapeLayerWindow* m_shapeWindow = nullptr;
    FontMappingDialog* m_fontMappingDialog = nullptr;
    RowCheckWindow* m_rowCheckWindow = nullptr;
    std::unique_ptr<BatchController> m_batch;

    QMenu* m_fileMenu = nullptr;
    QMenu* m_layerMenu = nullptr;
    QMenu* m_zoomMenu = nullptr;
    QMenu* m_dpiMenu = nullptr;
    QMenu* m_layerTypeMenu = nullptr;
    QMenu* m_levelMenu = nullptr;
    QMenu* m_overflowMenu = nullptr;
    QAction* m_completedAlertAction = nullptr;
    QAction* m_snappingAction = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    std::string m_templatesFolder;
    std::vector<Subscription> m_subscriptions;
    CommandTable m_commands;
};

} // namespace torvale
