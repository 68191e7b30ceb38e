#pragma once

#include "app/editor_document.h"
#include "common/signal.h"
#include "model/layer_fields.h"
#include "ui/balloon.h"
#include "ui/input_fields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QPushButton;

namespace torvale {

class EditorContext;

/// What the text, picture, code and shape layer windows share: one instance each for the
/// program's life, a tool window of the main window that edits the selected layer in place (no
/// OK/Cancel), with the bound column (none for shapes), the position and size fields and "应用".
/// It holds no copy of the layer: it reads the document's layer by id and writes through the
/// document.
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
    /// The column list; null in the shape window.
    QComboBox* columnBox() const { return m_columnBox; }
    /// The rule's column list ("(总是显示)" first), test list and value field.
    QComboBox* showIfColumnBox() const { return m_showIfColumnBox; }
    QComboBox* showIfOpBox() const { return control<QComboBox>("showIfOp"); }
    QLineEdit* showIfValueField() const { return control<QLineEdit>("showIfValue"); }
    /// The field of the layer's own content: what a fixed layer shows on every card (none for
    /// shapes).
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
    /// Makes the column list, the field rows the field table gives windows of type, and the
    /// position and size rows with "应用" at the bottom.
    LayerWindow(EditorContext& context, QWidget* owner, int clientHeight, const char* objectName,
                LayerType type);
    /// Tab stops on the edit fields and editable lists only; buttons, check boxes and fixed
    /// lists take the focus from a click.
    void showEvent(QShowEvent* event) override;

    const Layer* layer() const;
    /// The control of a field's row (of a kind, or the first), or null.
    QWidget* fieldControl(std::string_view member, ControlKind kind = ControlKind::None) const;
    template <typename W> W* control(std::string_view member) const
    {
        return static_cast<W*>(fieldControl(member));
    }
    /// The top of the row of a field's control.
    int rowTop(std::string_view member) const;
    /// Fills the window's own controls and what follows from the layer's values (change
    /// handling is suspended).
    virtual void fillOwnControls(const Layer& layer) = 0;
    /// A field row wrote a field of the layer.
    virtual void fieldWritten(const LayerFieldInfo& field) = 0;
    /// Writes a field of the layer (with others of its group) through the document. A typed
    /// edit joins the one before while the field keeps the focus; any other is a step of its own.
    void writeField(std::string_view member, const std::function<void(Layer&)>& change,
                    bool typed = false);
    /// A numeric field with the filter of these windows.
    FilteredField* numberField(QWidget* parent, int maxLength);
    /// A field left empty shows the layer's value again.
    void restoreField(QLineEdit* field, const std::function<std::int32_t(const Layer&)>& value);

    static constexpr int kControlLeft = 78;
    static constexpr int kControlWidth = 190;
    static constexpr int kGeometryFieldWidth = 58;

    EditorContext& m_context;
    Subscription m_subscription;
    Subscription m_draftSubscription;
    bool m_filling = false;
    LayerId m_layer = 0;

private:
    struct FieldRow {
        const LayerFieldInfo* field = nullptr;
        const FieldControl* control = nullptr;
        QWidget* widget = nullptr;
        int top = 0;
    };
    /// A label at a row's left and the row's top.
    int addRow(const char* label);
    void addFieldRows(LayerType type);
    QWidget* makeControl(const LayerFieldInfo& field, const FieldControl& control, int x, int top);
    void fillFieldRows(const Layer& layer);
    void chooseColor(const LayerFieldInfo& field, QWidget* swatch);
    void addGeometryRows();
    void addShowIfColumnBox();
    /// The test and its value take part only with a column; the value only in tests that
    /// compare.
    void enableShowIfControls(const Layer& layer);
    /// A position or size field left empty shows the layer's value again once the layer has its
    /// rectangle.
    void restoreField(QLineEdit* field);
    void fill();
    void write(LayerFieldSet fields, const std::function<void(Layer&)>& change,
               const std::string& stepKey);
    void geometryEdited(QLineEdit* field, bool size);
    void refuse(QLineEdit* field, const char* title, BalloonIcon icon);
    /// The key under which typed edits of a field of the layer are one step.
    std::string mergeKey(const LayerFieldInfo& field) const;

    std::vector<FieldRow> m_rows;
    QComboBox* m_columnBox = nullptr;
    QComboBox* m_showIfColumnBox = nullptr;
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

    QLineEdit* demoField() const { return control<QLineEdit>("text"); }
    QLineEdit* contentField() const override { return demoField(); }
    QComboBox* fontBox() const { return m_fontBox; }
    QComboBox* sizeBox() const { return m_sizeBox; }
    QLineEdit* spacingField() const { return control<QLineEdit>("characterSpacing"); }
    /// The size the text prints at on this card ("≈ 12.8 磅（打印）").
    QLabel* printedSizeLabel() const { return m_printedLabel; }
    QPushButton* boldButton() const { return m_boldButton; }
    QCheckBox* shrinkBox() const { return control<QCheckBox>("autoShrink"); }
    QLineEdit* minSizeField() const { return control<QLineEdit>("minFontSize"); }
    QLineEdit* maxLinesField() const { return control<QLineEdit>("maxLines"); }
    QCheckBox* verticalWritingBox() const { return control<QCheckBox>("isVertical"); }
    QWidget* swatch() const { return fieldControl("color"); }
    QComboBox* horizontalBox() const { return control<QComboBox>("tHAlign"); }
    QComboBox* verticalBox() const { return control<QComboBox>("tVAlign"); }

protected:
    void fillOwnControls(const Layer& layer) override;
    void fieldWritten(const LayerFieldInfo& field) override;

private:
    void fillFontList();
    void fontChosen();
    void sizeTyped();
    void showPrintedSize();
    void checkFont();
    void enableControls(const Layer& layer);
    void updateBoldButton(const std::string& family);

    QComboBox* m_fontBox = nullptr;
    QComboBox* m_sizeBox = nullptr;
    FilteredField* m_sizeField = nullptr;
    QLabel* m_printedLabel = nullptr;
    QPushButton* m_boldButton = nullptr;
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
    QLineEdit* placeholderField() const { return m_placeholder.field; }
    QPushButton* choosePlaceholderButton() const { return m_placeholder.choose; }
    QPushButton* clearPlaceholderButton() const { return m_placeholder.clear; }
    QLineEdit* folderField() const { return m_folder.field; }
    QPushButton* chooseFolderButton() const { return m_folder.choose; }
    QPushButton* clearFolderButton() const { return m_folder.clear; }
    QComboBox* overflowBox() const { return control<QComboBox>("overflow_style"); }
    QComboBox* levelBox() const { return control<QComboBox>("layer_level"); }
    QComboBox* horizontalBox() const { return control<QComboBox>("pHAlign"); }
    QComboBox* verticalBox() const { return control<QComboBox>("pVAlign"); }
    QLineEdit* radiusField() const { return control<QLineEdit>("cornerRadius"); }
    QLineEdit* borderWidthField() const { return control<QLineEdit>("borderWidth"); }
    QWidget* borderSwatch() const { return fieldControl("borderColor"); }

protected:
    void fillOwnControls(const Layer& layer) override;
    void fieldWritten(const LayerFieldInfo&) override {}

private:
    /// A read-only path with its 选择 and 清除 buttons.
    struct PathRow {
        QLineEdit* field = nullptr;
        QPushButton* choose = nullptr;
        QPushButton* clear = nullptr;
    };
    PathRow addPathRow(const char* member, const char* objectName);

    /// Asks for a picture file until a usable one is chosen; nothing when cancelled.
    std::optional<std::string> askPicture();
    void choosePicture();
    /// Sets a path member and shows it in its row.
    void setPath(const char* member, PathRow& row, const std::string& path);
    void chooseFolder();

    QLineEdit* m_pathField = nullptr;
    QPushButton* m_chooseButton = nullptr;
    PathRow m_placeholder;
    PathRow m_folder;
};

/// The code layer window "图层#%d - 属性": the code's value, symbology and looks.
class CodeLayerWindow : public LayerWindow {
    Q_OBJECT

public:
    CodeLayerWindow(EditorContext& context, QWidget* owner);

    QLineEdit* demoField() const { return control<QLineEdit>("text"); }
    QLineEdit* contentField() const override { return demoField(); }
    QComboBox* typeBox() const { return control<QComboBox>("codeType"); }
    QComboBox* errorLevelBox() const { return control<QComboBox>("codeErrorLevel"); }
    QCheckBox* showTextBox() const { return control<QCheckBox>("codeShowText"); }
    QWidget* colorSwatch() const { return fieldControl("color"); }
    QWidget* backgroundSwatch() const
    {
        return fieldControl("codeBackground", ControlKind::Swatch);
    }
    QCheckBox* noBackgroundBox() const;
    QComboBox* horizontalBox() const { return control<QComboBox>("pHAlign"); }
    QComboBox* verticalBox() const { return control<QComboBox>("pVAlign"); }

protected:
    void fillOwnControls(const Layer& layer) override;
    void fieldWritten(const LayerFieldInfo& field) override;

private:
    /// The controls that apply to only some symbologies, and the swatch of a background.
    void enableControls(const Layer& layer);
    /// Points out a demo value the symbology cannot encode, or a code the layer cannot hold.
    void checkCode();
};

/// The shape layer window "图层#%d - 属性": the outline, fill, border and opacity of a shape.
class ShapeLayerWindow : public LayerWindow {
    Q_OBJECT

public:
    ShapeLayerWindow(EditorContext& context, QWidget* owner);

    QLineEdit* contentField() const override { return nullptr; }
    QComboBox* kindBox() const { return control<QComboBox>("shapeKind"); }
    QWidget* fillSwatch() const { return fieldControl("htmlColor", ControlKind::Swatch); }
    QCheckBox* noFillBox() const;
    QLineEdit* borderWidthField() const { return control<QLineEdit>("borderWidth"); }
    QWidget* borderSwatch() const { return fieldControl("borderColor"); }
    QLineEdit* radiusField() const { return control<QLineEdit>("cornerRadius"); }
    QLineEdit* opacityField() const { return control<QLineEdit>("opacity"); }
    QComboBox* levelBox() const { return control<QComboBox>("layer_level"); }

protected:
    void fillOwnControls(const Layer& layer) override;
    void fieldWritten(const LayerFieldInfo& field) override;

private:
    /// The radius is for rectangles, the fill colour for a shape that has a fill.
    void enableControls(const Layer& layer);
};

} // namespace torvale
