#pragma once

#include "app/editor_document.h"
#include "common/signal.h"
#include "ui/balloon.h"
#include "ui/input_fields.h"

#include <QWidget>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace torvale {

class ColorSwatch;
class EditorContext;

/// What the text, picture and code layer windows share: one instance each for the program's life, a
/// tool window of the main window that edits the selected layer in place (no OK/Cancel), with
/// the bound column, the position and size fields and "应用". It holds no copy of the layer:
/// it reads the document's layer by id and writes through the document.
class LayerWindow : public QWidget {
    Q_OBJECT

public:
    /// Targets a layer and fills the controls; shows the window without taking the focus,
    /// except while the layer is being placed on the canvas (it is shown after the rectangle).
    void showLayer(LayerId id);
    /// Hides the window and forgets the layer.
    void hideLayer();
    LayerId layerId() const { return m_layer; }

    /// Refills the column list from the CSV columns.
    void refreshColumnList();
    /// x and y from the layer; a field being typed in keeps its text.
    void updatePositionFields();
    /// Width and height from the layer; a field being typed in keeps its text.
    void updateSizeFields();
    /// Follows a change of the layer's fields made elsewhere.
    void layerChanged(LayerFieldSet fields);
    QComboBox* columnBox() const { return m_columnBox; }
    /// The field of the layer's own content: what a fixed layer shows on every card.
    virtual QLineEdit* contentField() const = 0;
    QLineEdit* xField() const { return m_xField; }
    QLineEdit* yField() const { return m_yField; }
    QLineEdit* widthField() const { return m_widthField; }
    QLineEdit* heightField() const { return m_heightField; }

public:
    /// The controls go silent first: deleting the focused one would report its edit to a
    /// window that is no longer whole.
    ~LayerWindow() override;

protected:
    LayerWindow(EditorContext& context, QWidget* owner, int clientHeight, const char* objectName);
    /// Tab stops on the edit fields and editable lists only; buttons, check boxes and fixed
    /// lists take the focus from a click.
    void showEvent(QShowEvent* event) override;

    const Layer* layer() const;
    /// Fills the controls of the window's own rows (change handling is suspended).
    virtual void fillOwnControls(const Layer& layer) = 0;
    /// Writes fields of the layer through the document; edits while one field keeps the focus
    /// are one undo step.
    void writeFields(LayerFieldSet fields, const std::function<void(Layer&)>& change);
    /// Writes fields of the layer chosen from a list or a dialog: an undo step of its own.
    void writeChoice(LayerFieldSet fields, const std::function<void(Layer&)>& change);
    /// A numeric field with the filter of these windows.
    FilteredField* numberField(QWidget* parent, int maxLength);
    /// A numeric field that edits a layer member in [minimum, maximum]: a value below the
    /// minimum empties the field, one above the maximum is stored as the maximum, and a field
    /// left empty gets the layer's value back.
    FilteredField* memberField(const char* objectName, int maxLength, std::int32_t minimum,
                               std::int32_t maximum, LayerFieldSet fields,
                               std::int32_t Layer::*member);
    /// A label at a row's left and the row's top.
    int addRow(const char* label);
    QComboBox* addList(int top, const QStringList& items, int x = kControlLeft,
                       int width = kControlWidth);
    /// The position and size rows and "应用", at the bottom.
    void addGeometryRows();
    /// A field left empty shows the layer's value again (a position or size field only once
    /// the layer has its rectangle).
    void restoreField(QLineEdit* field);
    void restoreField(QLineEdit* field, const std::function<std::int32_t(const Layer&)>& value);

    static constexpr int kControlLeft = 78;
    static constexpr int kControlWidth = 190;
    static constexpr int kRowHeight = 26;

    EditorContext& m_context;
    Subscription m_subscription;
    Subscription m_draftSubscription;
    bool m_filling = false;
    LayerId m_layer = 0;

private:
    void fill();
    void write(LayerFieldSet fields, const std::function<void(Layer&)>& change,
               const std::string& stepKey);
    void geometryEdited(QLineEdit* field, bool size);
    void refuse(QLineEdit* field, const char* title, BalloonIcon icon);

    QComboBox* m_columnBox = nullptr;
    FilteredField* m_xField = nullptr;
    FilteredField* m_yField = nullptr;
    FilteredField* m_widthField = nullptr;
    FilteredField* m_heightField = nullptr;
    QPushButton* m_applyButton = nullptr;
    bool m_tabStopsSet = false;
    int m_nextRow = 8;
};

/// The text layer window "图层#%d - 属性".
class TextLayerWindow : public LayerWindow {
    Q_OBJECT

public:
    TextLayerWindow(EditorContext& context, QWidget* owner);

    /// A font was added to or removed from the font list (font mapping); a removed font that
    /// was chosen gives way to the first font of the list.
    void fontAdded(const QString& name);
    void fontRemoved(const QString& name);

    QLineEdit* demoField() const { return m_demoField; }
    QLineEdit* contentField() const override { return m_demoField; }
    QComboBox* fontBox() const { return m_fontBox; }
    QComboBox* sizeBox() const { return m_sizeBox; }
    QLineEdit* spacingField() const { return m_spacingField; }
    /// The size the text prints at on this card ("≈ 12.8 磅（打印）").
    QLabel* printedSizeLabel() const { return m_printedLabel; }
    QPushButton* boldButton() const { return m_boldButton; }
    QCheckBox* shrinkBox() const { return m_shrinkBox; }
    QLineEdit* minSizeField() const { return m_minSizeField; }
    QLineEdit* maxLinesField() const { return m_maxLinesField; }
    QWidget* swatch() const;
    QComboBox* horizontalBox() const { return m_horizontalBox; }
    QComboBox* verticalBox() const { return m_verticalBox; }

protected:
    void fillOwnControls(const Layer& layer) override;

private:
    void fillFontList();
    void fontChosen();
    void sizeTyped();
    void showPrintedSize();
    void checkFont();
    void chooseColor();
    void updateBoldButton(const std::string& family);

    QLineEdit* m_demoField = nullptr;
    QComboBox* m_fontBox = nullptr;
    QComboBox* m_sizeBox = nullptr;
    FilteredField* m_sizeField = nullptr;
    FilteredField* m_spacingField = nullptr;
    QLabel* m_printedLabel = nullptr;
    QPushButton* m_boldButton = nullptr;
    QCheckBox* m_shrinkBox = nullptr;
    FilteredField* m_minSizeField = nullptr;
    FilteredField* m_maxLinesField = nullptr;
    ColorSwatch* m_swatch = nullptr;
    QComboBox* m_horizontalBox = nullptr;
    QComboBox* m_verticalBox = nullptr;
    Subscription m_fontSubscription;
};

/// The picture layer window "图层#%d - 属性".
class PictureLayerWindow : public LayerWindow {
    Q_OBJECT

public:
    PictureLayerWindow(EditorContext& context, QWidget* owner);

    QLineEdit* pathField() const { return m_pathField; }
    QLineEdit* contentField() const override { return m_pathField; }
    QPushButton* chooseButton() const { return m_chooseButton; }
    QLineEdit* placeholderField() const { return m_placeholderField; }
    QPushButton* choosePlaceholderButton() const { return m_choosePlaceholderButton; }
    QPushButton* clearPlaceholderButton() const { return m_clearPlaceholderButton; }
    QLineEdit* folderField() const { return m_folder.field; }
    QPushButton* chooseFolderButton() const { return m_folder.choose; }
    QPushButton* clearFolderButton() const { return m_folder.clear; }
    QComboBox* overflowBox() const { return m_overflowBox; }
    QComboBox* levelBox() const { return m_levelBox; }
    QComboBox* horizontalBox() const { return m_horizontalBox; }
    QComboBox* verticalBox() const { return m_verticalBox; }
    QLineEdit* radiusField() const { return m_radiusField; }
    QLineEdit* borderWidthField() const { return m_borderWidthField; }
    QWidget* borderSwatch() const;

protected:
    void fillOwnControls(const Layer& layer) override;

private:
    /// A read-only path with its 选择 and 清除 buttons.
    struct PathRow {
        QLineEdit* field = nullptr;
        QPushButton* choose = nullptr;
        QPushButton* clear = nullptr;
    };
    PathRow addPathRow(const char* label, const char* objectName);

    /// Asks for a picture file until a usable one is chosen; nothing when cancelled.
    std::optional<std::string> askPicture();
    void choosePicture();
    void choosePlaceholder();
    void setPlaceholder(const std::string& path);
    void chooseFolder();
    void setFolder(const std::string& folder);
    void chooseBorderColor();

    QLineEdit* m_pathField = nullptr;
    QPushButton* m_chooseButton = nullptr;
    QLineEdit* m_placeholderField = nullptr;
    QPushButton* m_choosePlaceholderButton = nullptr;
    QPushButton* m_clearPlaceholderButton = nullptr;
    PathRow m_folder;
    FilteredField* m_radiusField = nullptr;
    FilteredField* m_borderWidthField = nullptr;
    ColorSwatch* m_borderSwatch = nullptr;
    QComboBox* m_overflowBox = nullptr;
    QComboBox* m_levelBox = nullptr;
    QComboBox* m_horizontalBox = nullptr;
    QComboBox* m_verticalBox = nullptr;
};

/// The code layer window "图层#%d - 属性": the code's value, symbology and looks.
class CodeLayerWindow : public LayerWindow {
    Q_OBJECT

public:
    CodeLayerWindow(EditorContext& context, QWidget* owner);

    QLineEdit* demoField() const { return m_demoField; }
    QLineEdit* contentField() const override { return m_demoField; }
    QComboBox* typeBox() const { return m_typeBox; }
    QComboBox* errorLevelBox() const { return m_errorLevelBox; }
    QCheckBox* showTextBox() const { return m_showTextBox; }
    QWidget* colorSwatch() const;
    QWidget* backgroundSwatch() const;
    QCheckBox* noBackgroundBox() const { return m_noBackgroundBox; }
    QComboBox* horizontalBox() const { return m_horizontalBox; }
    QComboBox* verticalBox() const { return m_verticalBox; }

protected:
    void fillOwnControls(const Layer& layer) override;

private:
    void chooseColor();
    void chooseBackground();
    /// The controls that apply to only some symbologies.
    void enableTypeControls(const std::string& codeType);
    /// Points out a demo value the symbology cannot encode, or a code the layer cannot hold.
    void checkCode();

    QLineEdit* m_demoField = nullptr;
    QComboBox* m_typeBox = nullptr;
    QComboBox* m_errorLevelBox = nullptr;
    QCheckBox* m_showTextBox = nullptr;
    ColorSwatch* m_colorSwatch = nullptr;
    ColorSwatch* m_backgroundSwatch = nullptr;
    QCheckBox* m_noBackgroundBox = nullptr;
    QComboBox* m_horizontalBox = nullptr;
    QComboBox* m_verticalBox = nullptr;
};

} // namespace torvale
