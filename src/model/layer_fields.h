#pragma once

#include "model/template.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace torvale {

/// Groups of layer fields an edit may change (a flag set).
enum LayerField : unsigned {
    FieldGeometry = 1u << 0,  // x, y, width, height
    FieldType = 1u << 1,      // type
    FieldLevel = 1u << 2,     // layer_level
    FieldOverflow = 1u << 3,  // overflow_style
    FieldBinding = 1u << 4,   // bind_col_name, isFixed, pictureFolder
    FieldDemo = 1u << 5,      // text, filePath
    FieldFont = 1u << 6,      // fontName, fontSize, isBold, isUnderline, isItalic, spacing,
                              // autoShrink, minFontSize, maxLines, isVertical
    FieldColor = 1u << 7,     // color, htmlColor
    FieldAlignment = 1u << 8, // tHAlign, tVAlign, pHAlign, pVAlign
    FieldFrame = 1u << 9,     // placeholderPath, cornerRadius, borderWidth, borderColor
    FieldCode = 1u << 10,     // codeType, codeErrorLevel, codeShowText, codeBackground,
                              // codeQuietZone
    FieldShowIf = 1u << 11,   // showIfColumn, showIfOp, showIfValue
    FieldShape = 1u << 12,    // shapeKind, opacity
    FieldRotation = 1u << 13, // rotation
};
using LayerFieldSet = unsigned;

/// The layer member a field is kept in.
using LayerMember = std::variant<std::int32_t Layer::*, std::uint32_t Layer::*, bool Layer::*,
                                 std::string Layer::*, LayerType Layer::*, LayerLevel Layer::*,
                                 OverflowStyle Layer::*, ShowIfOp Layer::*, ShapeKind Layer::*>;

/// A field's value: numbers (flags, list codes and colour values too) or text.
using FieldValue = std::variant<std::int64_t, std::string>;

/// How a member is kept in the template file.
enum class FileRule {
    Required,      // always written; a layer object without it is refused
    UnlessDefault, // written only when not at its default; missing or unusable reads as it
    WithPrevious,  // written exactly when the member before it is; missing reads as the default
};

/// What a number outside the field's range reads as.
enum class RangeRule {
    Clamp,       // the nearest end of the range
    Default,     // the field's default
    NonZeroIsOn, // a flag: any number but 0 is on
};

/// The bit of a layer type in a set of layer types.
constexpr unsigned layerTypeBit(LayerType type)
{
    return 1u << static_cast<unsigned>(type);
}
inline constexpr unsigned kTextLayers = layerTypeBit(LayerType::Text);
inline constexpr unsigned kPictureLayers = layerTypeBit(LayerType::Picture);
inline constexpr unsigned kCodeLayers = layerTypeBit(LayerType::Code);
inline constexpr unsigned kShapeLayers = layerTypeBit(LayerType::Shape);
inline constexpr unsigned kAllLayers = kTextLayers | kPictureLayers | kCodeLayers | kShapeLayers;

/// How a property window edits a field.
enum class ControlKind {
    None,   // not one of the field rows
    Line,   // a text field; typing in it is one undo step until it is left
    Number, // a number field within the control's range; typing as in a text field
    List,   // a list of entries; each choice is an undo step
    Check,  // a check box; on a text member checked means empty (none)
    Swatch, // a colour swatch that opens the colour chooser
    Custom, // made by the window itself in the row given here
};

/// A field's control in the property windows of some layer types.
struct FieldControl {
    unsigned windows = 0; // the layer types whose windows show it
    int row = 0;          // rows go down in ascending order; equal rows share a line
    ControlKind kind = ControlKind::None;
    const char* caption = nullptr;             // the row's label, or the check box's text
    std::span<const char* const> entries = {}; // a list's entries
    std::span<const std::int32_t> codes = {};  // the value of each entry (none: its position)
    std::int32_t minimum = 0;                  // a number field's range
    std::int32_t maximum = 0;
    int maxLength = 0; // characters a text or number field takes
    int width = 0;     // a list's or text field's width (0: the rest of the row)
};

/// One layer field: its member in the file and the layer, its values, its change group, what
/// it means to the canvas and the undo history, and how the windows edit it.
struct LayerFieldInfo {
    const char* member; // the member name in the template file
    LayerMember field;
    FileRule rule;
    std::int32_t minimum = INT32_MIN; // numbers: the range kept, and outside it
    std::int32_t maximum = INT32_MAX;
    RangeRule range = RangeRule::Clamp;
    // Numbers: the values taken, any other read as the default (none: any in the range).
    std::span<const std::int32_t> values = {};
    std::span<const char* const> choices = {};   // text: the values taken (none: any)
    bool (*accepts)(std::string_view) = nullptr; // text: what else is taken (none: any)
    LayerFieldSet group = 0;
    unsigned thumbnail = 0;    // the layer types whose thumbnail it changes
    const char* stepName = ""; // the undo step of an edit of its group
    const char* mergeKey = ""; // typed edits under it are one step ("": each is a step)
    std::array<FieldControl, 2> controls = {};
};

/// Every layer field in the template file's order. The default of a field is the value a
/// default-made Layer holds.
std::span<const LayerFieldInfo> layerFields();

/// The field of a member name, or null.
const LayerFieldInfo* findLayerField(std::string_view member);

/// Puts another field table in place while it lives (tests describe a field the editor does
/// not have yet).
class ScopedLayerFields {
public:
    explicit ScopedLayerFields(std::span<const LayerFieldInfo> table);
    ~ScopedLayerFields();
    ScopedLayerFields(const ScopedLayerFields&) = delete;
    ScopedLayerFields& operator=(const ScopedLayerFields&) = delete;

private:
    std::span<const LayerFieldInfo> m_previous;
};

/// Whether a field is kept as text (otherwise as a number).
bool isTextField(const LayerFieldInfo& field);
/// Whether a field is a 32-bit colour value (0x00BBGGRR).
bool isColorValueField(const LayerFieldInfo& field);

/// A field's value in a layer.
FieldValue fieldValue(const LayerFieldInfo& field, const Layer& layer);
std::int64_t fieldNumber(const LayerFieldInfo& field, const Layer& layer);
std::string fieldText(const LayerFieldInfo& field, const Layer& layer);
/// Sets a field (a number of another type than the member's is converted).
void setFieldValue(const LayerFieldInfo& field, Layer& layer, const FieldValue& value);
/// Sets a colour field from a colour value: a colour value member and the htmlColor the
/// renderer draws it with, or a text member as its "#RRGGBB".
void setFieldColor(const LayerFieldInfo& field, Layer& layer, std::uint32_t color);
/// A colour field's colour value; nothing for a text that is no colour ("": none).
std::optional<std::uint32_t> fieldColor(const LayerFieldInfo& field, const Layer& layer);
/// The value a default-made Layer holds.
FieldValue defaultFieldValue(const LayerFieldInfo& field);
/// Whether a field holds the value a default-made Layer holds.
bool isDefaultField(const LayerFieldInfo& field, const Layer& layer);

/// The groups of fields in which two states of a layer differ.
LayerFieldSet changedFields(const Layer& a, const Layer& b);
/// Copies the fields of the groups named from one layer to another.
void copyFields(LayerFieldSet groups, Layer& to, const Layer& from);
/// The undo step name of an edit of these groups: the name of their fields when they are one
/// group, else "修改图层".
std::string fieldStepName(LayerFieldSet groups);

/// A list control's entry for a layer's value (-1: none), and the value of an entry.
int controlEntryIndex(const LayerFieldInfo& field, const FieldControl& control, const Layer& layer);
FieldValue controlEntryValue(const LayerFieldInfo& field, const FieldControl& control, int index);

} // namespace torvale
