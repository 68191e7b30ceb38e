#include "model/layer_fields.h"

#include "common/text.h"

#include <algorithm>
#include <type_traits>

namespace torvale {

namespace {

bool isColorOrNone(std::string_view text)
{
    return text.empty() || isHtmlColor(text);
}

constexpr unsigned kDrawnLayers = kTextLayers | kCodeLayers;
constexpr unsigned kPictureWindows = kPictureLayers | kCodeLayers;
// The layers drawn at their rectangle's size, whose pictures a new size makes again.
constexpr unsigned kSizedLayers = kDrawnLayers | kShapeLayers;

constexpr const char* kTextAlignments[] = {"左", "距中", "右", "两端"};
constexpr const char* kPictureAlignments[] = {"左", "距中", "右"};
constexpr const char* kVerticalAlignments[] = {"顶端", "距中", "底部"};
constexpr const char* kLevels[] = {"背景上方", "背景下方"};
// The overflow list in menu order, with the style of each entry.
constexpr const char* kOverflowEntries[] = {"等比例缩小", "等比例缩放", "填充式缩放",
                                            "裁剪左上角", "裁剪正中间", "等比例填满"};
constexpr std::int32_t kOverflowCodes[] = {0, 4, 1, 2, 3, 5};
// In the order of ShowIfOp.
constexpr const char* kShowIfOps[] = {"等于", "不等于", "为空", "不为空", "包含"};
// In the order of ShapeKind.
constexpr const char* kShapeKinds[] = {"矩形", "椭圆"};
// In the order of kRotations.
constexpr const char* kRotationEntries[] = {"0°", "90°", "180°", "270°"};

constexpr const char* kGeometry = "移动图层";
constexpr const char* kBinding = "修改绑定列";
constexpr const char* kDemo = "修改演示内容";
constexpr const char* kFont = "修改字体";
constexpr const char* kColor = "修改颜色";
constexpr const char* kAlignment = "修改对齐方式";
constexpr const char* kFrame = "修改图片边框";
constexpr const char* kCode = "修改条码";
constexpr const char* kShowIf = "修改显示条件";
constexpr const char* kShape = "修改形状";

constexpr FileRule kRequired = FileRule::Required;
constexpr FileRule kUnlessDefault = FileRule::UnlessDefault;

// The template file's order: the first format's members, then those added later.
// clang-format off
const LayerFieldInfo kLayerFields[] = {
    {.member = "x", .field = &Layer::x, .rule = kRequired, .group = FieldGeometry,
     .stepName = kGeometry, .mergeKey = "x"},
    {.member = "y", .field = &Layer::y, .rule = kRequired, .group = FieldGeometry,
     .stepName = kGeometry, .mergeKey = "y"},
    {.member = "width", .field = &Layer::width, .rule = kRequired, .group = FieldGeometry,
     .thumbnail = kSizedLayers, .stepName = kGeometry, .mergeKey = "width"},
    {.member = "height", .field = &Layer::height, .rule = kRequired, .group = FieldGeometry,
     .thumbnail = kSizedLayers, .stepName = kGeometry, .mergeKey = "height"},
    {.member = "type", .field = &Layer::type, .rule = kRequired, .minimum = 0, .maximum = 3,
     .range = RangeRule::Default, .group = FieldType, .stepName = "修改图层类型"},
    {.member = "bind_col_name", .field = &Layer::bind_col_name, .rule = kRequired,
     .group = FieldBinding, .stepName = kBinding},
    {.member = "text", .field = &Layer::text, .rule = kRequired, .group = FieldDemo,
     .thumbnail = kDrawnLayers, .stepName = kDemo, .mergeKey = "text",
     .controls = {{{.windows = kTextLayers, .row = 10, .kind = ControlKind::Line,
                    .caption = "演示文本：", .maxLength = 256},
                   {.windows = kCodeLayers, .row = 10, .kind = ControlKind::Line,
                    .caption = "演示内容：", .maxLength = 256}}}},
    {.member = "fontName", .field = &Layer::fontName, .rule = kRequired, .group = FieldFont,
     .thumbnail = kDrawnLayers, .stepName = kFont,
     .controls = {{{.windows = kTextLayers, .row = 20, .kind = ControlKind::Custom,
                    .caption = "字体："}}}},
    {.member = "fontSize", .field = &Layer::fontSize, .rule = kRequired, .group = FieldFont,
     .thumbnail = kDrawnLayers, .stepName = kFont, .mergeKey = "fontSize",
     .controls = {{{.windows = kTextLayers, .row = 20, .kind = ControlKind::Custom}}}},
    {.member = "isBold", .field = &Layer::isBold, .rule = kRequired, .group = FieldFont,
     .thumbnail = kDrawnLayers, .stepName = kFont,
     .controls = {{{.windows = kTextLayers, .row = 30, .kind = ControlKind::Custom}}}},
    {.member = "isUnderline", .field = &Layer::isUnderline, .rule = kRequired,
     .group = FieldFont, .stepName = kFont},
    {.member = "isItalic", .field = &Layer::isItalic, .rule = kRequired, .group = FieldFont,
     .thumbnail = kTextLayers, .stepName = kFont},
    // The renderer draws htmlColor; color is the chooser's value it was made from.
    {.member = "color", .field = &Layer::color, .rule = kRequired, .group = FieldColor,
     .stepName = kColor,
     .controls = {{{.windows = kTextLayers, .row = 60, .kind = ControlKind::Swatch,
                    .caption = "颜色："},
                   {.windows = kCodeLayers, .row = 50, .kind = ControlKind::Swatch,
                    .caption = "颜色："}}}},
    // A shape's fill; "" (无) leaves it unfilled.
    {.member = "htmlColor", .field = &Layer::htmlColor, .rule = kRequired, .group = FieldColor,
     .thumbnail = kSizedLayers, .stepName = kColor,
     .controls = {{{.windows = kShapeLayers, .row = 20, .kind = ControlKind::Swatch,
                    .caption = "填充："},
                   {.windows = kShapeLayers, .row = 20, .kind = ControlKind::Check,
                    .caption = "无"}}}},
    {.member = "tHAlign", .field = &Layer::tHAlign, .rule = kRequired, .group = FieldAlignment,
     .thumbnail = kTextLayers, .stepName = kAlignment,
     .controls = {{{.windows = kTextLayers, .row = 70, .kind = ControlKind::List,
                    .caption = "水平对齐：", .entries = kTextAlignments}}}},
    {.member = "tVAlign", .field = &Layer::tVAlign, .rule = kRequired, .group = FieldAlignment,
     .thumbnail = kTextLayers, .stepName = kAlignment,
     .controls = {{{.windows = kTextLayers, .row = 80, .kind = ControlKind::List,
                    .caption = "垂直对齐：", .entries = kVerticalAlignments}}}},
    // The image library places no glyph past 32767 pixels from the start of a text.
    {.member = "characterSpacing", .field = &Layer::characterSpacing, .rule = kRequired,
     .minimum = -kMaxCharacterSpacing, .maximum = kMaxCharacterSpacing, .group = FieldFont,
     .thumbnail = kTextLayers, .stepName = kFont, .mergeKey = "characterSpacing",
     // The arrow keys step the field from 0 to 999; a file may hold any spacing in the range.
     .controls = {{{.windows = kTextLayers, .row = 30, .kind = ControlKind::Number,
                    .caption = "字间距：", .minimum = 0, .maximum = 999, .maxLength = 3}}}},
    {.member = "filePath", .field = &Layer::filePath, .rule = kRequired, .group = FieldDemo,
     .thumbnail = kPictureLayers, .stepName = kDemo,
     .controls = {{{.windows = kPictureLayers, .row = 10, .kind = ControlKind::Custom,
                    .caption = "演示图片："}}}},
    {.member = "pHAlign", .field = &Layer::pHAlign, .rule = kRequired, .group = FieldAlignment,
     .thumbnail = kCodeLayers, .stepName = kAlignment,
     .controls = {{{.windows = kPictureWindows, .row = 65, .kind = ControlKind::List,
                    .caption = "水平对齐：", .entries = kPictureAlignments}}}},
    {.member = "pVAlign", .field = &Layer::pVAlign, .rule = kRequired, .group = FieldAlignment,
     .thumbnail = kCodeLayers, .stepName = kAlignment,
     .controls = {{{.windows = kPictureWindows, .row = 75, .kind = ControlKind::List,
                    .caption = "垂直对齐：", .entries = kVerticalAlignments}}}},
    {.member = "layer_level", .field = &Layer::layer_level, .rule = kRequired, .minimum = 0,
     .maximum = 1, .range = RangeRule::Default, .group = FieldLevel, .stepName = "修改图层层级",
     .controls = {{{.windows = kPictureLayers, .row = 50, .kind = ControlKind::List,
                    .caption = "层次：", .entries = kLevels},
                   {.windows = kCodeLayers | kShapeLayers, .row = 190, .kind = ControlKind::List,
                    .caption = "层次：", .entries = kLevels}}}},
    {.member = "overflow_style", .field = &Layer::overflow_style, .rule = kRequired,
     .minimum = 0, .maximum = 5, .range = RangeRule::Default, .group = FieldOverflow,
     .stepName = "修改超出部分处理方式",
     .controls = {{{.windows = kPictureLayers, .row = 40, .kind = ControlKind::List,
                    .caption = "溢出样式：", .entries = kOverflowEntries,
                    .codes = kOverflowCodes}}}},
    {.member = "autoShrink", .field = &Layer::autoShrink, .rule = kUnlessDefault,
     .range = RangeRule::NonZeroIsOn, .group = FieldFont, .thumbnail = kTextLayers,
     .stepName = kFont,
     .controls = {{{.windows = kTextLayers, .row = 40, .kind = ControlKind::Check,
                    .caption = "自动缩小"}}}},
    {.member = "minFontSize", .field = &Layer::minFontSize, .rule = FileRule::WithPrevious,
     .minimum = 1, .maximum = kMaxMinFontSize, .group = FieldFont, .thumbnail = kTextLayers,
     .stepName = kFont, .mergeKey = "minFontSize",
     .controls = {{{.windows = kTextLayers, .row = 40, .kind = ControlKind::Number,
                    .caption = "最小字号：", .minimum = 1, .maximum = kMaxMinFontSize,
                    .maxLength = 4}}}},
    {.member = "isFixed", .field = &Layer::isFixed, .rule = kUnlessDefault, .minimum = 0,
     .maximum = 1, .range = RangeRule::Default, .group = FieldBinding, .stepName = kBinding},
    {.member = "maxLines", .field = &Layer::maxLines, .rule = kUnlessDefault, .minimum = 1,
     .maximum = kMaxTextLines, .range = RangeRule::Default, .group = FieldFont,
     .thumbnail = kTextLayers, .stepName = kFont, .mergeKey = "maxLines",
     .controls = {{{.windows = kTextLayers, .row = 50, .kind = ControlKind::Number,
                    .caption = "最多行数：", .minimum = 1, .maximum = kMaxTextLines,
                    .maxLength = 3}}}},
    {.member = "placeholderPath", .field = &Layer::placeholderPath, .rule = kUnlessDefault,
     .group = FieldFrame, .stepName = kFrame,
     .controls = {{{.windows = kPictureLayers, .row = 20, .kind = ControlKind::Custom,
                    .caption = "占位图片："}}}},
    {.member = "cornerRadius", .field = &Layer::cornerRadius, .rule = kUnlessDefault,
     .minimum = 0, .maximum = kMaxPictureEdge, .range = RangeRule::Default, .group = FieldFrame,
     .thumbnail = kShapeLayers, .stepName = kFrame, .mergeKey = "cornerRadius",
     .controls = {{{.windows = kPictureLayers, .row = 80, .kind = ControlKind::Number,
                    .caption = "圆角半径：", .minimum = 0, .maximum = kMaxPictureEdge,
                    .maxLength = 6},
                   {.windows = kShapeLayers, .row = 50, .kind = ControlKind::Number,
                    .caption = "圆角半径：", .minimum = 0, .maximum = kMaxPictureEdge,
                    .maxLength = 6}}}},
    {.member = "borderWidth", .field = &Layer::borderWidth, .rule = kUnlessDefault,
     .minimum = 0, .maximum = kMaxPictureEdge, .range = RangeRule::Default, .group = FieldFrame,
     .thumbnail = kShapeLayers, .stepName = kFrame, .mergeKey = "borderWidth",
     .controls = {{{.windows = kPictureLayers, .row = 90, .kind = ControlKind::Number,
                    .caption = "边框宽度：", .minimum = 0, .maximum = kMaxPictureEdge,
                    .maxLength = 6},
                   {.windows = kShapeLayers, .row = 30, .kind = ControlKind::Number,
                    .caption = "边框宽度：", .minimum = 0, .maximum = kMaxPictureEdge,
                    .maxLength = 6}}}},
    {.member = "borderColor", .field = &Layer::borderColor, .rule = kUnlessDefault,
     .accepts = isHtmlColor, .group = FieldFrame, .thumbnail = kShapeLayers, .stepName = kFrame,
     .controls = {{{.windows = kPictureLayers, .row = 100, .kind = ControlKind::Swatch,
                    .caption = "边框颜色："},
                   {.windows = kShapeLayers, .row = 40, .kind = ControlKind::Swatch,
                    .caption = "边框颜色："}}}},
    {.member = "codeType", .field = &Layer::codeType, .rule = kUnlessDefault,
     .choices = kCodeTypes, .group = FieldCode, .thumbnail = kCodeLayers, .stepName = kCode,
     .controls = {{{.windows = kCodeLayers, .row = 20, .kind = ControlKind::List,
                    .caption = "码制：", .entries = kCodeTypes}}}},
    {.member = "codeErrorLevel", .field = &Layer::codeErrorLevel, .rule = kUnlessDefault,
     .choices = kCodeErrorLevels, .group = FieldCode, .thumbnail = kCodeLayers,
     .stepName = kCode,
     .controls = {{{.windows = kCodeLayers, .row = 30, .kind = ControlKind::List,
                    .caption = "纠错等级：", .entries = kCodeErrorLevels}}}},
    {.member = "codeShowText", .field = &Layer::codeShowText, .rule = kUnlessDefault,
     .minimum = 0, .maximum = 1, .range = RangeRule::Default, .group = FieldCode,
     .thumbnail = kCodeLayers, .stepName = kCode,
     .controls = {{{.windows = kCodeLayers, .row = 40, .kind = ControlKind::Check,
                    .caption = "显示文字"}}}},
    // Without a background the card shows between the bars.
    {.member = "codeBackground", .field = &Layer::codeBackground, .rule = kUnlessDefault,
     .accepts = isColorOrNone, .group = FieldCode, .thumbnail = kCodeLayers, .stepName = kCode,
     .controls = {{{.windows = kCodeLayers, .row = 60, .kind = ControlKind::Swatch,
                    .caption = "背景："},
                   {.windows = kCodeLayers, .row = 60, .kind = ControlKind::Check,
                    .caption = "无"}}}},
    {.member = "codeQuietZone", .field = &Layer::codeQuietZone, .rule = kUnlessDefault,
     .minimum = 0, .maximum = kMaxQuietZone, .range = RangeRule::Default, .group = FieldCode,
     .thumbnail = kCodeLayers, .stepName = kCode},
    // With a folder, a cell names the person's picture in it (A0001 finds A0001.jpg).
    {.member = "pictureFolder", .field = &Layer::pictureFolder, .rule = kUnlessDefault,
     .group = FieldBinding, .stepName = kBinding,
     .controls = {{{.windows = kPictureLayers, .row = 30, .kind = ControlKind::Custom,
                    .caption = "图片目录："}}}},
    // The rule a row must pass for the layer to be drawn on its card; the column list is the
    // windows' own (the data file's columns after "(总是显示)").
    {.member = "showIfColumn", .field = &Layer::showIfColumn, .rule = kUnlessDefault,
     .group = FieldShowIf, .stepName = kShowIf,
     .controls = {{{.windows = kAllLayers, .row = 200, .kind = ControlKind::Custom,
                    .caption = "显示条件："}}}},
    {.member = "showIfOp", .field = &Layer::showIfOp, .rule = kUnlessDefault, .minimum = 0,
     .maximum = 4, .range = RangeRule::Default, .group = FieldShowIf, .stepName = kShowIf,
     .controls = {{{.windows = kAllLayers, .row = 210, .kind = ControlKind::List,
                    .entries = kShowIfOps, .width = 80}}}},
    {.member = "showIfValue", .field = &Layer::showIfValue, .rule = kUnlessDefault,
     .group = FieldShowIf, .stepName = kShowIf, .mergeKey = "showIfValue",
     .controls = {{{.windows = kAllLayers, .row = 210, .kind = ControlKind::Line,
                    .maxLength = 256}}}},
    {.member = "shapeKind", .field = &Layer::shapeKind, .rule = kUnlessDefault, .minimum = 0,
     .maximum = 1, .range = RangeRule::Default, .group = FieldShape, .thumbnail = kShapeLayers,
     .stepName = kShape,
     .controls = {{{.windows = kShapeLayers, .row = 10, .kind = ControlKind::List,
                    .caption = "形状：", .entries = kShapeKinds}}}},
    // Of the fill and the outline alike, in percent.
    {.member = "opacity", .field = &Layer::opacity, .rule = kUnlessDefault, .minimum = 0,
     .maximum = 100, .group = FieldShape, .thumbnail = kShapeLayers, .stepName = kShape,
     .mergeKey = "opacity",
     .controls = {{{.windows = kShapeLayers, .row = 60, .kind = ControlKind::Number,
                    .caption = "不透明度：", .minimum = 0, .maximum = 100, .maxLength = 3}}}},
    // The content turns inside the layer's rectangle; the rectangle and its handles stay.
    {.member = "rotation", .field = &Layer::rotation, .rule = kUnlessDefault, .minimum = 0,
     .maximum = 270, .range = RangeRule::Default, .values = kRotations, .group = FieldRotation,
     .thumbnail = kDrawnLayers, .stepName = "旋转图层",
     .controls = {{{.windows = kAllLayers, .row = 220, .kind = ControlKind::List,
                    .caption = "旋转：", .entries = kRotationEntries, .codes = kRotations,
                    .width = 80}}}},
    // Beside the most lines, which count columns in vertical text.
    {.member = "isVertical", .field = &Layer::isVertical, .rule = kUnlessDefault,
     .range = RangeRule::NonZeroIsOn, .group = FieldFont, .thumbnail = kTextLayers,
     .stepName = kFont,
     .controls = {{{.windows = kTextLayers, .row = 50, .kind = ControlKind::Check,
                    .caption = "竖排"}}}},
};
// clang-format on

std::span<const LayerFieldInfo> g_table = kLayerFields;

const Layer& defaultLayer()
{
    static const Layer layer;
    return layer;
}

} // namespace

std::span<const LayerFieldInfo> layerFields()
{
    return g_table;
}

const LayerFieldInfo* findLayerField(std::string_view member)
{
    for (const LayerFieldInfo& field : g_table) {
        if (member == field.member)
            return &field;
    }
    return nullptr;
}

ScopedLayerFields::ScopedLayerFields(std::span<const LayerFieldInfo> table) : m_previous(g_table)
{
    g_table = table;
}

ScopedLayerFields::~ScopedLayerFields()
{
    g_table = m_previous;
}

bool isTextField(const LayerFieldInfo& field)
{
    return std::holds_alternative<std::string Layer::*>(field.field);
}

bool isColorValueField(const LayerFieldInfo& field)
{
    return std::holds_alternative<std::uint32_t Layer::*>(field.field);
}

FieldValue fieldValue(const LayerFieldInfo& field, const Layer& layer)
{
    return std::visit(
        [&layer](auto member) -> FieldValue {
            using T = std::remove_cvref_t<decltype(layer.*member)>;
            if constexpr (std::is_same_v<T, std::string>)
                return layer.*member;
            else
                return static_cast<std::int64_t>(layer.*member);
        },
        field.field);
}

std::int64_t fieldNumber(const LayerFieldInfo& field, const Layer& layer)
{
    const FieldValue value = fieldValue(field, layer);
    const auto* number = std::get_if<std::int64_t>(&value);
    return number ? *number : 0;
}

std::string fieldText(const LayerFieldInfo& field, const Layer& layer)
{
    FieldValue value = fieldValue(field, layer);
    if (auto* text = std::get_if<std::string>(&value))
        return std::move(*text);
    return std::to_string(std::get<std::int64_t>(value));
}

void setFieldValue(const LayerFieldInfo& field, Layer& layer, const FieldValue& value)
{
    std::visit(
        [&](auto member) {
            using T = std::remove_cvref_t<decltype(layer.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                if (const auto* text = std::get_if<std::string>(&value))
                    layer.*member = *text;
            } else if (const auto* number = std::get_if<std::int64_t>(&value)) {
                if constexpr (std::is_same_v<T, bool>)
                    layer.*member = *number != 0;
                else
                    layer.*member = static_cast<T>(*number);
            }
        },
        field.field);
}

void setFieldColor(const LayerFieldInfo& field, Layer& layer, std::uint32_t color)
{
    if (!isColorValueField(field)) {
        setFieldValue(field, layer, colorToHtml(color));
        return;
    }
    setFieldValue(field, layer, static_cast<std::int64_t>(color));
    layer.htmlColor = colorToHtml(color);
}

std::optional<std::uint32_t> fieldColor(const LayerFieldInfo& field, const Layer& layer)
{
    if (isColorValueField(field))
        return static_cast<std::uint32_t>(fieldNumber(field, layer));
    return htmlToColor(fieldText(field, layer));
}

FieldValue defaultFieldValue(const LayerFieldInfo& field)
{
    return fieldValue(field, defaultLayer());
}

bool isDefaultField(const LayerFieldInfo& field, const Layer& layer)
{
    return fieldValue(field, layer) == defaultFieldValue(field);
}

LayerFieldSet changedFields(const Layer& a, const Layer& b)
{
    LayerFieldSet changed = 0;
    for (const LayerFieldInfo& field : g_table) {
        if (!(changed & field.group) && fieldValue(field, a) != fieldValue(field, b))
            changed |= field.group;
    }
    return changed;
}

void copyFields(LayerFieldSet groups, Layer& to, const Layer& from)
{
    for (const LayerFieldInfo& field : g_table) {
        if (groups & field.group)
            setFieldValue(field, to, fieldValue(field, from));
    }
}

std::string fieldStepName(LayerFieldSet groups)
{
    for (const LayerFieldInfo& field : g_table) {
        if (field.group == groups)
            return field.stepName;
    }
    return "修改图层";
}

int controlEntryIndex(const LayerFieldInfo& field, const FieldControl& control, const Layer& layer)
{
    const auto indexOf = [&](const FieldValue& value) {
        for (std::size_t i = 0; i < control.entries.size(); ++i) {
            if (controlEntryValue(field, control, static_cast<int>(i)) == value)
                return static_cast<int>(i);
        }
        return -1;
    };
    const int index = indexOf(fieldValue(field, layer));
    // A value the list does not offer shows the default's entry.
    return index >= 0 ? index : std::max(indexOf(fieldValue(field, defaultLayer())), 0);
}

FieldValue controlEntryValue(const LayerFieldInfo& field, const FieldControl& control, int index)
{
    const auto at = static_cast<std::size_t>(index);
    if (isTextField(field))
        return std::string(at < control.entries.size() ? control.entries[at] : "");
    return static_cast<std::int64_t>(at < control.codes.size() ? control.codes[at] : index);
}

} // namespace torvale
