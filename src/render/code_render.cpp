#include "render/code_render.h"

#include "common/text.h"
#include "render/card_pixels.h"
#include "render/text_render.h"

#include <zbar.h>
#include <zint.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace torvale {

// zbar's C interface is declared in a namespace of its own when read as C++.
using namespace zbar;

namespace {

struct Symbology {
    const char* name;
    int zint;
    zbar_symbol_type_t zbar; // ZBAR_NONE: the reader does not know it
    std::int32_t quietZone;  // modules, as the symbology's standard asks
    bool linear;
    std::size_t digits; // a GS1 number of this many digits before its check digit; 0: none
};

// zbar reads no Data Matrix or Aztec code, and finds PDF417 symbols without decoding them.
constexpr Symbology kSymbologies[] = {
    {"QR", BARCODE_QRCODE, ZBAR_QRCODE, 4, false, 0},
    {"DataMatrix", BARCODE_DATAMATRIX, ZBAR_NONE, 1, false, 0},
    {"PDF417", BARCODE_PDF417, ZBAR_NONE, 2, false, 0},
    {"Aztec", BARCODE_AZTEC, ZBAR_NONE, 1, false, 0},
    {"Code128", BARCODE_CODE128, ZBAR_CODE128, 10, true, 0},
    {"Code39", BARCODE_CODE39, ZBAR_CODE39, 10, true, 0},
    {"EAN13", BARCODE_EANX, ZBAR_EAN13, 10, true, 12},
    {"EAN8", BARCODE_EANX, ZBAR_EAN8, 10, true, 7},
    {"UPCA", BARCODE_UPCA, ZBAR_UPCA, 10, true, 11},
    {"ITF14", BARCODE_ITF14, ZBAR_I25, 10, true, 13},
};

const Symbology& symbologyOf(const std::string& name)
{
    for (const Symbology& symbology : kSymbologies) {
        if (name == symbology.name)
            return symbology;
    }
    return kSymbologies[0];
}

struct ZintDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};

// The GS1 check digit of a run of digits (weights 3 and 1 from the right).
char gs1CheckDigit(std::string_view digits)
{
    int sum = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const int digit = digits[digits.size() - 1 - i] - '0';
        sum += i % 2 == 0 ? 3 * digit : digit;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// A GS1 number without its check digit; the reason it is not one otherwise.
std::optional<std::string> gs1Digits(const std::string& value, std::size_t digits,
                                     std::string& reason)
{
    if (!std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        reason = "只能是数字";
        return std::nullopt;
    }
    if (value.size() != digits && value.size() != digits + 1) {
        reason =
            formatText("应为 %zu 位数字（不含校验位）或 %zu 位（含校验位）", digits, digits + 1);
        return std::nullopt;
    }
    if (value.size() == digits + 1) {
        const char check = gs1CheckDigit(std::string_view(value).substr(0, digits));
        if (value.back() != check) {
            reason = formatText("校验位应为 %c", check);
            return std::nullopt;
        }
    }
    return value.substr(0, digits);
}

std::string zintReason(int error)
{
    switch (error) {
    case ZINT_ERROR_TOO_LONG:
        return "内容太长";
    case ZINT_ERROR_INVALID_DATA:
        return "含有这种码不能表示的字符";
    case ZINT_ERROR_INVALID_CHECK:
        return "校验位不对";
    default:
        return "无法编码";
    }
}

int errorLevel(const std::string& level)
{
    for (int i = 0; i < 4; ++i) {
        if (level == kCodeErrorLevels[i])
            return i + 1;
    }
    return 2;
}

bool isAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The height of the text under a linear code: the layer's font size and a little room.
std::int32_t codeTextHeight(const Layer& layer)
{
    if (!layer.codeShowText)
        return 0;
    const double pixels = static_cast<double>(std::int64_t{kTextDpi} * layer.fontSize / 72);
    return static_cast<std::int32_t>(std::ceil(pixels * 1.25));
}

// The shortest bars that still read.
constexpr std::int32_t kMinBarHeight = 10;

std::int64_t alignedOffset(std::int64_t room, std::int64_t size, std::int32_t align)
{
    if (size >= room || align == 0)
        return 0;
    return align == 2 ? room - size : (room - size) / 2;
}

std::int32_t symbolHeight(const CodeSymbol& symbol)
{
    std::int32_t height = 0;
    for (const std::int32_t row : symbol.rows)
        height += row;
    return height;
}

} // namespace

bool isLinearCode(const std::string& codeType)
{
    return symbologyOf(codeType).linear;
}

CodeEncoding encodeCode(const Layer& layer, const std::string& value)
{
    CodeEncoding result;
    const Symbology& symbology = symbologyOf(layer.codeType);
    std::string data = value;
    // Code 39 holds capital letters only; its encoder would change "abc" into "ABC" unasked.
    if (symbology.zint == BARCODE_CODE39 &&
        std::any_of(value.begin(), value.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        result.reason = "含有小写字母，这种码只能表示大写字母";
        return result;
    }
    if (symbology.digits > 0) {
        const auto digits = gs1Digits(value, symbology.digits, result.reason);
        if (!digits)
            return result;
        data = *digits;
    }
    const std::unique_ptr<zint_symbol, ZintDeleter> zint(ZBarcode_Create());
    if (!zint) {
        result.reason = "无法编码";
        return result;
    }
    zint->symbology = symbology.zint;
    zint->input_mode = UNICODE_MODE;
    if (symbology.zint == BARCODE_QRCODE)
        zint->option_1 = errorLevel(layer.codeErrorLevel);
    // Text beyond ASCII goes into the 2D codes as UTF-8, which every reader turns back into it.
    if (!symbology.linear && !isAscii(data))
        zint->eci = 26;
    const int error =
        ZBarcode_Encode(zint.get(), reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    if (error >= ZINT_ERROR || zint->width <= 0 || zint->rows <= 0) {
        result.reason = zintReason(error);
        return result;
    }
    CodeSymbol symbol;
    symbol.width = zint->width;
    symbol.linear = symbology.linear;
    symbol.quietZone =
        layer.codeQuietZone == kStandardQuietZone ? symbology.quietZone : layer.codeQuietZone;
    const int rows = symbology.linear ? 1 : zint->rows;
    for (int row = 0; row < rows; ++row) {
        // Matrix codes have square modules; a PDF417 row is several modules high.
        const float height = zint->row_height[row] > 0 ? zint->row_height[row]
                                                       : zint->height / static_cast<float>(rows);
        symbol.rows.push_back(
            symbology.linear ? 1 : std::max(1, static_cast<int>(std::lround(height))));
        for (int column = 0; column < zint->width; ++column)
            symbol.dark.push_back(static_cast<std::uint8_t>(
                (zint->encoded_data[row][column >> 3] >> (column & 7)) & 1));
    }
    symbol.text = reinterpret_cast<const char*>(zint->text);
    // Readers give the number with its check digit, and Code 39 without its start and stop.
    symbol.expected = symbology.digits > 0 ? symbol.text : value;
    symbol.verifiable = symbology.zbar != ZBAR_NONE;
    symbol.readerType = symbology.zbar;
    result.symbol = std::move(symbol);
    return result;
}

std::int32_t codeModuleSize(const Layer& layer, const CodeSymbol& symbol)
{
    if (layerRotation(layer) % 180 != 0)
        return codeModuleSize(uprightFrame(layer), symbol);
    if (layer.width <= 0 || layer.height <= 0 || symbol.width <= 0)
        return 0;
    const std::int64_t across = symbol.width + 2 * std::int64_t{symbol.quietZone};
    std::int64_t module = layer.width / across;
    if (symbol.linear) {
        if (layer.height - codeTextHeight(layer) < kMinBarHeight)
            return 0;
    } else {
        const std::int64_t down = symbolHeight(symbol) + 2 * std::int64_t{symbol.quietZone};
        module = std::min(module, layer.height / down);
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(module, 100000));
}

namespace {

// A rectangle of a rotated layer turned upright, turned into its place on the card.
PixelRect turnedOnCard(const PixelRect& rect, const Layer& layer, const Layer& frame,
                       std::int32_t rotation)
{
    const PixelRect at = turnRect(rect, frame.width, frame.height, rotation);
    return {layer.x + at.left, layer.y + at.top, layer.x + at.right, layer.y + at.bottom};
}

} // namespace

PixelRect codeRect(const Layer& layer, const CodeSymbol& symbol)
{
    if (const std::int32_t rotation = layerRotation(layer); rotation != 0) {
        const Layer frame = uprightFrame(layer);
        return turnedOnCard(codeRect(frame, symbol), layer, frame, rotation);
    }
    const std::int64_t module = codeModuleSize(layer, symbol);
    const std::int64_t width = (symbol.width + 2 * std::int64_t{symbol.quietZone}) * module;
    const std::int64_t height =
        symbol.linear ? layer.height
                      : (symbolHeight(symbol) + 2 * std::int64_t{symbol.quietZone}) * module;
    const long x = layer.x + alignedOffset(layer.width, width, layer.pHAlign);
    const long y = layer.y + alignedOffset(layer.height, height, layer.pVAlign);
    return {x, y, x + static_cast<long>(width), y + static_cast<long>(height)};
}

PixelRect codeSymbolRect(const Layer& layer, const CodeSymbol& symbol)
{
    if (const std::int32_t rotation = layerRotation(layer); rotation != 0) {
        const Layer frame = uprightFrame(layer);
        return turnedOnCard(codeSymbolRect(frame, symbol), layer, frame, rotation);
    }
    PixelRect area = codeRect(layer, symbol);
    const long quiet = static_cast<long>(symbol.quietZone) * codeModuleSize(layer, symbol);
    area.left += quiet;
    area.right -= quiet;
    if (!symbol.linear) {
        area.top += quiet;
        area.bottom -= quiet;
    }
    return area;
}

namespace {

// A rotated layer's code: drawn in the layer turned upright, then turned whole, its text with it.
CodeImage drawTurnedCode(const Layer& layer, const CodeSymbol& symbol, const FontRegistry& fonts,
                         const PixelRect& visible, std::int32_t rotation)
{
    const Layer frame = uprightFrame(layer);
    const long x = layer.x;
    const long y = layer.y;
    // What is visible of the layer, in the pixels of the layer turned upright.
    const PixelRect seen =
        turnRect({visible.left - x, visible.top - y, visible.right - x, visible.bottom - y},
                 layer.width, layer.height, 360 - rotation);
    const CodeImage upright = drawCode(frame, symbol, fonts, seen);
    CodeImage drawn;
    drawn.module = upright.module;
    if (upright.pixels.empty())
        return drawn;
    const PixelRect at =
        turnedOnCard({upright.x, upright.y, upright.x + static_cast<long>(upright.pixels.width),
                      upright.y + static_cast<long>(upright.pixels.height)},
                     layer, frame, rotation);
    turnPixels(upright.pixels, rotation, drawn.pixels);
    drawn.x = at.left;
    drawn.y = at.top;
    return drawn;
}

} // namespace

CodeImage drawCode(const Layer& layer, const CodeSymbol& symbol, const FontRegistry& fonts,
                   const PixelRect& visible)
{
    if (const std::int32_t rotation = layerRotation(layer); rotation != 0)
        return drawTurnedCode(layer, symbol, fonts, visible, rotation);
    CodeImage drawn;
    const std::int32_t module = codeModuleSize(layer, symbol);
    if (module < kMinCodeModule)
        return drawn;
    drawn.module = module;
    const std::int32_t quiet = symbol.quietZone;
    const PixelRect whole = codeRect(layer, symbol);
    const long codeX = whole.left;
    const long codeY = whole.top;
    const auto width = static_cast<std::size_t>(whole.right - whole.left);
    const auto height = static_cast<std::size_t>(whole.bottom - whole.top);
    const std::int32_t textHeight = codeTextHeight(layer);
    const std::size_t barsHeight =
        symbol.linear ? height - static_cast<std::size_t>(textHeight) : 0;

    // The window of the whole symbol's image that lies inside visible.
    const long left = std::max(codeX, visible.left);
    const long top = std::max(codeY, visible.top);
    const long right = std::min(codeX + static_cast<long>(width), visible.right);
    const long bottom = std::min(codeY + static_cast<long>(height), visible.bottom);
    if (right <= left || bottom <= top)
        return drawn;
    const auto windowX = static_cast<std::size_t>(left - codeX);
    const auto windowY = static_cast<std::size_t>(top - codeY);
    const auto windowWidth = static_cast<std::size_t>(right - left);
    const auto windowHeight = static_cast<std::size_t>(bottom - top);

    const bool background = !layer.codeBackground.empty();
    const auto paper = htmlToRgb(layer.codeBackground);
    const auto ink = htmlToRgb(layer.htmlColor);
    std::vector<std::uint8_t> pixels(windowWidth * windowHeight * 4, 0);
    // Fills a rectangle of the whole symbol's image, as far as it lies in the window.
    const auto fill = [&](std::size_t x0, std::size_t y0, std::size_t w, std::size_t h,
                          const std::array<std::uint8_t, 3>& rgb) {
        const std::size_t fromX = std::max(x0, windowX);
        const std::size_t toX = std::min(x0 + w, windowX + windowWidth);
        const std::size_t fromY = std::max(y0, windowY);
        const std::size_t toY = std::min(y0 + h, windowY + windowHeight);
        for (std::size_t y = fromY; y < toY; ++y) {
            std::uint8_t* p = &pixels[((y - windowY) * windowWidth + (fromX - windowX)) * 4];
            for (std::size_t x = fromX; x < toX; ++x, p += 4) {
                p[0] = rgb[0];
                p[1] = rgb[1];
                p[2] = rgb[2];
                p[3] = 255;
            }
        }
    };
    if (background)
        fill(0, 0, width, height, paper);
    std::size_t rowTop = symbol.linear ? 0 : static_cast<std::size_t>(quiet) * module;
    for (std::size_t row = 0; row < symbol.rows.size() && rowTop < windowY + windowHeight; ++row) {
        const std::size_t rowHeight =
            symbol.linear ? barsHeight : static_cast<std::size_t>(symbol.rows[row]) * module;
        if (rowTop + rowHeight > windowY) {
            for (std::int32_t column = 0; column < symbol.width; ++column) {
                if (symbol.dark[row * static_cast<std::size_t>(symbol.width) +
                                static_cast<std::size_t>(column)])
                    fill(static_cast<std::size_t>(quiet + column) * module, rowTop,
                         static_cast<std::size_t>(module), rowHeight, ink);
            }
        }
        rowTop += rowHeight;
    }
    drawn.pixels.bytes = std::move(pixels);
    drawn.pixels.width = windowWidth;
    drawn.pixels.height = windowHeight;
    drawn.pixels.opaque = background;
    if (textHeight > 0 && !symbol.text.empty() && barsHeight < windowY + windowHeight) {
        Layer caption = layer;
        caption.type = LayerType::Text;
        caption.x = 0;
        caption.y = 0;
        caption.width = static_cast<std::int32_t>(width);
        caption.height = textHeight;
        caption.tHAlign = 1;
        caption.tVAlign = 1;
        caption.maxLines = 1;
        if (const auto box = renderTextBox(caption, symbol.text, fonts).box)
            blendOver(drawn.pixels, box->box, box->x - static_cast<long>(windowX),
                      static_cast<long>(barsHeight) + box->y - static_cast<long>(windowY));
    }
    drawn.x = left;
    drawn.y = top;
    return drawn;
}

RgbaPixels renderCodeLayerImage(const Layer& layer, const std::string& value,
                                const FontRegistry& fonts)
{
    RgbaPixels image;
    if (layer.width <= 0 || layer.height <= 0)
        return image;
    fillPixels(image, static_cast<std::size_t>(layer.width), static_cast<std::size_t>(layer.height),
               {0, 0, 0, 0});
    if (value.empty())
        return image;
    const CodeEncoding encoded = encodeCode(layer, value);
    if (!encoded.symbol)
        return image;
    const CodeImage drawn =
        drawCode(layer, *encoded.symbol, fonts,
                 {layer.x, layer.y, static_cast<long>(layer.x) + layer.width,
                  static_cast<long>(layer.y) + layer.height});
    if (!drawn.pixels.empty())
        blendOver(image, drawn.pixels, drawn.x - layer.x, drawn.y - layer.y);
    return image;
}

namespace {

// The part of a card of width x height that a drawn code covers; nothing when it is off the card.
std::optional<PixelRect> codeArea(long cardWidth, long cardHeight, const CodeImage& drawn)
{
    const long left = std::max(0L, drawn.x);
    const long top = std::max(0L, drawn.y);
    const long right = std::min(cardWidth, drawn.x + static_cast<long>(drawn.pixels.width));
    const long bottom = std::min(cardHeight, drawn.y + static_cast<long>(drawn.pixels.height));
    if (right <= left || bottom <= top)
        return std::nullopt;
    return PixelRect{left, top, right, bottom};
}

// Whether the reader finds the symbol's value in width x height grey pixels.
bool scanGrey(std::vector<unsigned char>& grey, unsigned width, unsigned height,
              const CodeSymbol& symbol)
{
    zbar_image_scanner_t* scanner = zbar_image_scanner_create();
    zbar_image_t* image = zbar_image_create();
    if (!scanner || !image) {
        if (scanner)
            zbar_image_scanner_destroy(scanner);
        if (image)
            zbar_image_destroy(image);
        return false;
    }
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    const auto type = static_cast<zbar_symbol_type_t>(symbol.readerType);
    zbar_image_scanner_set_config(scanner, type, ZBAR_CFG_ENABLE, 1);
    // EAN-8 and UPC-A are read by the EAN-13 reader, which reports UPC-A with a leading 0.
    if (type == ZBAR_EAN8 || type == ZBAR_UPCA)
        zbar_image_scanner_set_config(scanner, ZBAR_EAN13, ZBAR_CFG_ENABLE, 1);
    zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar_image_set_size(image, width, height);
    zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
    bool read = false;
    if (zbar_scan_image(scanner, image) > 0) {
        for (const zbar_symbol_t* found = zbar_image_first_symbol(image); found && !read;
             found = zbar_symbol_next(found)) {
            const std::string data = zbar_symbol_get_data(found);
            read = data == symbol.expected || (type == ZBAR_UPCA && data == "0" + symbol.expected);
        }
    }
    zbar_image_destroy(image);
    zbar_image_scanner_destroy(scanner);
    return read;
}

} // namespace

bool readsBack(const RgbaPixels& card, const CodeImage& drawn, const CodeSymbol& symbol)
{
    if (!symbol.verifiable)
        return true;
    if (card.empty() || drawn.pixels.empty())
        return false;
    const auto area =
        codeArea(static_cast<long>(card.width), static_cast<long>(card.height), drawn);
    if (!area)
        return false;
    const auto width = static_cast<unsigned>(area->right - area->left);
    const auto height = static_cast<unsigned>(area->bottom - area->top);
    std::vector<unsigned char> grey;
    grey.reserve(static_cast<std::size_t>(width) * height);
    // The card as it is seen: transparent pixels over white, as viewers and printers show
    // them; the intensity is the Rec. 709 luma of the stored values.
    for (long y = area->top; y < area->bottom; ++y) {
        const unsigned char* p = &card.bytes[(static_cast<std::size_t>(y) * card.width +
                                              static_cast<std::size_t>(area->left)) *
                                             4];
        for (unsigned x = 0; x < width; ++x, p += 4) {
            const double luma = 0.212656 * p[0] + 0.715158 * p[1] + 0.072186 * p[2];
            const double alpha = card.opaque ? 1.0 : p[3] / 255.0;
            grey.push_back(static_cast<unsigned char>(std::lround(luma * alpha + 255 * (1 - alpha))));
        }
    }
    return scanGrey(grey, width, height, symbol);
}

std::string codeInvalidText(const Layer& layer, const std::string& value, const std::string& reason)
{
    return formatText("图层#%d 的内容无法生成条码（%s）：%s", layer.number, reason.c_str(),
                      cellForLog(value).c_str());
}

std::string codeTooSmallText(const Layer& layer)
{
    return formatText("图层#%d 太小，放不下条码", layer.number);
}

std::string codeUnreadableText(const Layer& layer)
{
    return formatText("图层#%d 条码无法识别", layer.number);
}

} // namespace torvale
