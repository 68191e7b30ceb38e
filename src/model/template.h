#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torvale {

enum class BackgroundKind : std::int32_t { Picture = 0, Custom = 1 };

/// Colour of a custom canvas; file values "#ffffff", "none" and "other".
enum class BackgroundColorMode : std::int32_t { White = 0, Transparent = 1, Chosen = 2 };

enum class SizeUnit : std::int32_t { Pixel = 0, Centimetre = 1, Millimetre = 2, Inch = 3 };

enum class LayerLevel : std::int32_t { AboveBackground = 0, BelowBackground = 1 };

/// How a picture that does not fit its rectangle is fitted. Menus list them 0, 4, 1, 2, 3, 5.
enum class OverflowStyle : std::int32_t {
    ShrinkToFit = 0, // 等比例缩小
    FillScale = 1,   // 填充式缩放
    CropTopLeft = 2, // 裁剪左上角
    CropCentre = 3,  // 裁剪正中间
    ScaleToFit = 4,  // 等比例缩放
    Cover = 5,       // 等比例填满: scaled to cover the rectangle, the overflow cut off
};

enum class LayerType : std::int32_t { Text = 0, Picture = 1, Code = 2, Shape = 3 };

/// The outline of a shape layer.
enum class ShapeKind : std::int32_t { Rectangle = 0, Ellipse = 1 };

/// How a layer's rule tests the cell of its column.
enum class ShowIfOp : std::int32_t {
    Equals = 0,    // 等于
    NotEquals = 1, // 不等于
    Empty = 2,     // 为空
    NotEmpty = 3,  // 不为空
    Contains = 4,  // 包含
};

/// The symbologies of code layers, by their file names, the default first.
inline constexpr const char* kCodeTypes[] = {"QR",   "DataMatrix", "PDF417", "Aztec", "Code128",
                                             "Code39", "EAN13",     "EAN8",   "UPCA",  "ITF14"};
inline constexpr const char* kCodeErrorLevels[] = {"L", "M", "Q", "H"};
inline constexpr const char* kDefaultCodeType = "QR";
inline constexpr const char* kDefaultCodeErrorLevel = "M";
inline constexpr const char* kDefaultCodeBackground = "#FFFFFF";
/// The demo value of a new code layer: valid for every symbology that takes letters.
inline constexpr const char* kDefaultCodeDemo = "A0001";
/// The quiet zone of a code layer that takes the symbology's own.
inline constexpr std::int32_t kStandardQuietZone = -1;
inline constexpr std::int32_t kMaxQuietZone = 100;

enum class OutputFormat { Jpg, Png };

/// The range of the JPEG quality (the quality slider's range).
inline constexpr std::int32_t kMinQuality = 10;
inline constexpr std::int32_t kMaxQuality = 100;

/// The serial number of the first data row: the default and the range a template may hold
/// (another value reads as the default).
inline constexpr std::int32_t kDefaultSerialStart = 1;
inline constexpr std::int32_t kMinSerialStart = 0;
inline constexpr std::int32_t kMaxSerialStart = 999999999;

/// JPEG colour space choices, in the order the output panel lists them.
enum class OutputColorspace { SRgb, Rgb, Cmyk, Gray };

/// Encoded background picture as decoded once from its file (shared, never modified).
struct PictureBytes {
    std::vector<unsigned char> bytes;
};

struct BackgroundLayer {
    BackgroundKind kind = BackgroundKind::Custom;
    std::string background_path;
    /// The picture of a picture background, encoded; empty for a custom canvas.
    std::shared_ptr<const PictureBytes> picture;
    /// The picture file could not be decoded: `picture` holds a 1 x 1 white stand-in that
    /// the editor shows, and a batch must not start.
    bool pictureUnreadable = false;
    /// The template file's pixel width or height of a custom canvas held no whole number of 1 or
    /// more: width and height hold a stand-in, and a batch must not start until the size texts
    /// are set again.
    bool sizeUnreadable = false;
    bool hasAlpha = false;
    BackgroundColorMode colorMode = BackgroundColorMode::White;
    std::uint32_t chosenColor = 0xFFFFFF;  // 0x00BBGGRR
    std::uint32_t drawingColor = 0xFFFFFF; // 0x00BBGGRR
    std::int32_t width = 800;
    std::int32_t height = 800;
    SizeUnit unit = SizeUnit::Pixel;
    std::int32_t dpi = 72;
    std::string szWidth = "800";
    std::string szHeight = "800";

    /// Pictures compare by their shared bytes, not by content.
    friend bool operator==(const BackgroundLayer&, const BackgroundLayer&) = default;
};

/// The smallest size a shrinking text is drawn at unless the layer says otherwise (points).
inline constexpr std::int32_t kDefaultMinFontSize = 8;
/// The range a layer's minimum size is kept in (points).
inline constexpr std::int32_t kMaxMinFontSize = 1000;

/// The widest character spacing either way (pixels). The image library places no glyph that
/// would reach past 32767 pixels from the start of a text, so a wider spacing draws nothing
/// more, and one near 2^31 overflows its positions and draws nothing at all. A template's
/// spacing beyond it is read as this.
inline constexpr std::int32_t kMaxCharacterSpacing = 32767;

/// The most lines a text layer wraps into.
inline constexpr std::int32_t kMaxTextLines = 100;
/// The largest corner radius and border width a template may hold (pixels).
inline constexpr std::int32_t kMaxPictureEdge = 100000;
inline constexpr const char* kDefaultBorderColor = "#000000";
/// The fill of a new shape layer.
inline constexpr const char* kDefaultShapeFill = "#3C78D8";
inline constexpr std::uint32_t kDefaultShapeFillValue = 0xD8783C; // 0x00BBGGRR
/// The turns a layer's content may take (degrees clockwise).
inline constexpr std::int32_t kRotations[] = {0, 90, 180, 270};

struct Layer {
    std::int32_t number = 1;
    std::int32_t x = -1;
    std::int32_t y = -1;
    std::int32_t width = -1;
    std::int32_t height = -1;
    LayerType type = LayerType::Text;
    std::string bind_col_name;
    std::string text;
    std::string fontName = "宋体";
    std::int32_t fontSize = 26;
    std::int32_t isBold = 0;
    std::int32_t isUnderline = 0;
    std::int32_t isItalic = 0;
    std::uint32_t color = 0; // 0x00BBGGRR
    std::string htmlColor = "#000000";
    std::int32_t tHAlign = 0;
    std::int32_t tVAlign = 1;
    std::int32_t characterSpacing = 0;
    std::string filePath;
    LayerLevel layer_level = LayerLevel::AboveBackground;
    OverflowStyle overflow_style = OverflowStyle::FillScale;
    std::int32_t pHAlign = 1;
    std::int32_t pVAlign = 1;
    /// A text too wide or too tall for the layer is drawn smaller, down to minFontSize points.
    /// Stored only when on ("autoShrink", "minFontSize" after the other members).
    bool autoShrink = false;
    std::int32_t minFontSize = kDefaultMinFontSize;
    /// A text wider than the layer wraps into at most this many lines (1: it never wraps).
    std::int32_t maxLines = 1;
    /// The layer shows the same content on every card, no column: a text layer its text (with
    /// {column} fields filled from the row), a picture layer its filePath.
    bool isFixed = false;
    /// Picture layers: drawn when a row's picture is missing or cannot be read ("": none).
    std::string placeholderPath;
    /// Picture layers: the folder a cell's picture is looked up in by its name ("": the cell
    /// is a path).
    std::string pictureFolder;
    /// Picture layers: rounded corners, and a border drawn inside the picture's outline
    /// (pixels; 0: none).
    std::int32_t cornerRadius = 0;
    std::int32_t borderWidth = 0;
    std::string borderColor = kDefaultBorderColor;
    /// Code layers: the value comes from the column or, fixed, from text (with its fields).
    std::string codeType = kDefaultCodeType;
    std::string codeErrorLevel = kDefaultCodeErrorLevel; // QR only
    bool codeShowText = false;                           // the text under a linear code
    std::string codeBackground = kDefaultCodeBackground; // "": none, the card shows through
    std::int32_t codeQuietZone = kStandardQuietZone;     // modules
    /// The layer is drawn only on the cards of rows whose cell of showIfColumn passes showIfOp
    /// (against showIfValue, compared as the data source gives the cell, case and all); without
    /// a column it is drawn on every card.
    std::string showIfColumn;
    ShowIfOp showIfOp = ShowIfOp::Equals;
    std::string showIfValue;
    /// Shape layers: a rectangle (with cornerRadius) or an ellipse filled with htmlColor ("":
    /// no fill) and outlined inside by borderWidth in borderColor; fill and outline are drawn
    /// at opacity percent.
    ShapeKind shapeKind = ShapeKind::Rectangle;
    std::int32_t opacity = 100;
    /// The content turned clockwise inside the layer's rectangle (0, 90, 180 or 270 degrees):
    /// laid out in the rectangle turned upright, then turned; the rectangle stays as it is.
    std::int32_t rotation = 0;
    /// Text layers: vertical writing, columns from top to bottom placed from right to left
    /// (maxLines counts columns). Stored only when on.
    bool isVertical = false;

    /// The editor's name for the layer while the program runs (0: none); never stored.
    std::uint32_t id = 0;

    /// True once the user has drawn the layer's rectangle.
    bool hasRect() const { return x != -1 && width != -1; }
};

struct OutputSettings {
    OutputFormat format = OutputFormat::Jpg;
    std::int32_t quality = 90;
    OutputColorspace colorspace = OutputColorspace::SRgb;
    bool transparent_open = true;
    bool isSaveToPng8 = false;
    std::int32_t colorCount = 256;
    std::string outputFolder;
    std::string file_name_bind_col_name;
    std::string file_name_bind_col_name2;
    /// The serial number of the first data row: row i (from 0, among all data rows) shows
    /// serialStart + i in its "{#}" fields. Stored only when not 1 ("serialStart").
    std::int32_t serialStart = kDefaultSerialStart;

    friend bool operator==(const OutputSettings&, const OutputSettings&) = default;
};

inline constexpr const char* kNewTemplateName = "新模版";

struct Template {
    std::string templatePath;
    std::string templateName = kNewTemplateName;
    BackgroundLayer background;
    std::vector<Layer> layers;
    std::string csv_file_path;
    bool is_trim_csv_cell_value = true;
    bool pictures_show_select_area = true;
    bool pictures_show_picture = true;
    OutputSettings output;
};

/// Palette sizes offered for PNG-8.
inline constexpr std::int32_t kPaletteSizes[] = {2, 4, 8, 16, 32, 64, 128, 256};

/// Text of a colour space choice: "sRGB", "RGB", "CMYK" or "灰色".
const char* colorspaceText(OutputColorspace colorspace);

/// Pixels from a size text in a unit at a dpi (at least 1).
std::int32_t sizeToPixels(const std::string& text, SizeUnit unit, std::int32_t dpi);

/// Size text of a pixel count in a unit at a dpi ("%d", "%0.2f" or "%0.3f").
std::string pixelsToSizeText(std::int32_t pixels, SizeUnit unit, std::int32_t dpi);

/// Whether a layer of this type is drawn below the background when its layer_level says so
/// (text is always drawn above it).
bool followsLayerLevel(LayerType type);

/// A new layer of a kind with the start values, the given default level and overflow style.
Layer makeLayer(LayerType type, LayerLevel defaultLevel, OverflowStyle defaultOverflow);

/// Sets every layer's number to its list position + 1.
void renumberLayers(std::vector<Layer>& layers);

/// The new-template state: background, layers, data source, output folder and file-name columns
/// return to their start values; output format, quality, colour space, transparency, PNG-8
/// settings, display switches, the background dpi and the chosen colour keep their current
/// values. The first serial number returns to 1.
void resetTemplate(Template& tpl);

/// Recomputes a custom canvas's pixel size from its size texts, unit and own dpi.
void updateCustomCanvasSize(BackgroundLayer& background);

/// Sets the colour mode of a custom canvas and the drawing colour and alpha flag that follow it.
void setBackgroundColorMode(BackgroundLayer& background, BackgroundColorMode mode);

/// The file-name part of a path (after the last separator, extension kept).
std::string fileNameOf(const std::string& path);

} // namespace torvale
