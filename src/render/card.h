#pragma once

#include "common/packed_strings.h"
#include "model/template.h"
#include "render/card_pixels.h"
#include "render/code_render.h"
#include "render/fonts.h"
#include "render/log_sink.h"
#include "render/magick.h"
#include "render/output_file.h"
#include "render/picture_fit.h"
#include "render/picture_input.h"
#include "render/text_render.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace torvale {

/// Column name to cell text of the row being rendered. With duplicate column names the first
/// column's cell is used.
using CardRow = std::unordered_map<std::string, std::string>;

/// The cell of a column in a row; nullptr when the row has no such column.
const std::string* findCell(const CardRow& row, const std::string& column);

/// What a layer shows on the card of a row: a bound layer its cell (nullptr when the row has
/// none); a fixed text or code layer its text with the row's fields filled in, kept in storage. A
/// fixed picture layer has no cell (its picture is the same on every card).
const std::string* layerCell(const Layer& layer, const CardRow& row, std::string& storage);

/// The columns that cards read (the layers' bound columns and the fields of fixed texts, and the
/// file-name columns), found
/// once in a CSV header, so that a card row holds those cells only, however many columns the
/// file has.
class CardColumns {
public:
    /// The columns of tpl (and of back, when given) in header, which must outlive this object.
    CardColumns(const PackedStrings& header, const Template& tpl, const Template* back = nullptr);
    /// The card row of a data row's cells (as many as the header has).
    CardRow row(const PackedStrings& cells) const;
    /// row(cells) with the file-name columns of output too, when they are other columns.
    CardRow row(const PackedStrings& cells, const OutputSettings& output) const;

private:
    const PackedStrings& m_header;
    std::vector<std::pair<std::string, std::size_t>> m_columns; // name, index in the header
};

/// A card drawn and encoded in memory, not yet written.
struct EncodedCard {
    std::vector<unsigned char> bytes;
    std::string extension; // ".jpg" or ".png"
    bool png8 = false;     // written as PNG-8: a write failure stops the batch
};

/// How one card ended.
enum class CardOutcome {
    Written,     // the file was written
    WriteFailed, // logged; the batch goes on
    Stopped,     // the stop flag was set (by the user or a PNG-8 failure); nothing written
};

struct CardResult {
    CardOutcome outcome = CardOutcome::Stopped;
    std::string path;      // the file written
    bool numbered = false; // written as name(n).ext, name.ext being taken
};

/// Draws the cards of one template. The template, its decoded background and the fonts are
/// fixed for the renderer's life; output settings are handed to each card, so a change made
/// during a batch applies from the next card. compose() may run on several threads at once.
class CardRenderer {
public:
    /// tpl: the template (copied); dpi: the output resolution; csvPath: the data file, whose
    /// folder is searched for relative picture paths after the program folder.
    CardRenderer(const Template& tpl, std::int32_t dpi, const FontRegistry& fonts,
                 std::string csvPath);
    ~CardRenderer();
    CardRenderer(const CardRenderer&) = delete;
    CardRenderer& operator=(const CardRenderer&) = delete;

    /// Draws and encodes one card. Nothing when the stop flag was set before or during the
    /// layers, or when PNG-8 encoding failed (which logs and sets the stop flag). cardName (the
    /// card's file name) is named in the log lines about its texts. buffers, when given, are a
    /// worker's own, kept from card to card.
    std::optional<EncodedCard> compose(const CardRow& row, const OutputSettings& output,
                                       LogSink& log, std::atomic<bool>& stop,
                                       const std::string& cardName = {},
                                       CardBuffers* buffers = nullptr) const;

    /// The decoded canvas of a card before encoding (for tests and previews), drawn by the image
    /// library in 16 bits per channel.
    MagickWandPtr draw(const CardRow& row, const OutputSettings& output, LogSink& log,
                       const std::atomic<bool>& stop, const std::string& cardName = {}) const;

    /// Whether compose() draws the cards of output in 8-bit buffers: an sRGB JPEG or a PNG
    /// (not a transparent PNG-8) on a background of at most 8 bits per channel. Other cards
    /// are drawn by the image library as draw() does.
    bool drawsInBuffers(const OutputSettings& output) const;

    /// The card's pixels as compose() draws them in 8-bit buffers (for tests).
    RgbaPixels drawPixels(const CardRow& row, const OutputSettings& output, LogSink& log,
                          const std::atomic<bool>& stop) const;

    const Template& tpl() const { return m_template; }

private:
    // What a card's texts had to give up, logged once per card: layers drawn at their minimum
    // size, characters no font can draw.
    struct TextNotes {
        std::vector<std::int32_t> shrunkToMinimum; // layer numbers
        std::vector<std::int32_t> wider;           // layer numbers: clipped on the right
        std::vector<std::int32_t> taller;          // layer numbers: lines cut at the bottom
        std::vector<char32_t> missing;
        void add(const Layer& layer, const TextFit& fit);
        void log(const std::string& cardName, LogSink& sink) const;
    };
    struct CachedText;
    class Surface;
    class WandSurface;
    class BufferSurface;
    // A picture decoded, fitted and framed for one layer once per batch: a fixed picture or a
    // placeholder.
    struct PreparedPicture {
        MagickWandPtr wand;
        FitPosition at;
    };

    // A code drawn on a card, to be read back once the card is composed.
    struct DrawnCode {
        const Layer* layer;
        CodeImage image;
        CodeSymbol symbol;
    };

    MagickWandPtr backgroundImage() const;
    // The card's pixels: the background's size.
    PixelRect cardArea() const;
    // The layers of a row drawn onto a surface, in order; the codes drawn are listed in codes.
    void drawLayers(Surface& surface, const CardRow& row, LogSink& log,
                    const std::atomic<bool>& stop, const std::string& cardName,
                    std::vector<DrawnCode>& codes) const;
    // The card in buffers.card (or buffers.under, which it returns then) drawn in 8 bits.
    const RgbaPixels& drawInBuffers(CardBuffers& buffers, const CardRow& row,
                                    const OutputSettings& output, LogSink& log,
                                    const std::atomic<bool>& stop, const std::string& cardName,
                                    std::vector<DrawnCode>& codes) const;
    // A drawn card encoded as output says (the wand's settings are changed).
    std::optional<EncodedCard> encode(MagickWand* wand, const OutputSettings& output, LogSink& log,
                                      std::atomic<bool>& stop) const;
    // The card needs a canvas under the background: a picture layer is below it, or the
    // background lets an opaque card's white show through.
    bool needsCanvas(bool transparentCard) const
    {
        return m_layersBelow || (!transparentCard && !m_backgroundOpaque);
    }
    void drawCodeLayer(Surface& surface, const Layer& layer, const std::string& value,
                       std::vector<DrawnCode>& codes, LogSink& log,
                       const std::string& cardName) const;
    std::optional<PreparedPicture> preparePicture(const std::string& storedPath,
                                                  const Layer& layer) const;
    // A copy of a prepared picture to composite (nothing when there is none).
    MagickWandPtr preparedCopy(const std::optional<PreparedPicture>& prepared) const;
    void drawText(Surface& surface, std::size_t layerIndex, const std::string& cell,
                  TextNotes& notes, LogSink& log) const;

    Template m_template;
    std::int32_t m_dpi;
    const FontRegistry& m_fonts;
    std::string m_csvFolder;
    MagickWandPtr m_background;     // decoded once; cloned for every card
    bool m_backgroundOpaque = true; // the background has no alpha channel
    bool m_layersBelow = false;     // a picture layer is drawn below the background
    // The background in 8 bits, and over white when it is not opaque, made 8-bit in each way
    // (ToEightBits); made once, when the first card is drawn in buffers.
    struct BackgroundPixels {
        RgbaPixels plain;
        std::array<RgbaPixels, 2> onWhite;
    };
    const BackgroundPixels& backgroundPixels() const;
    bool m_drawsInBuffers = false; // the background allows cards drawn in 8-bit buffers
    mutable std::once_flag m_backgroundPixelsOnce;
    mutable BackgroundPixels m_backgroundPixels;
    // The image library would write nothing but the pixels and the resolution into a JPEG of
    // the background: no profile, comment or progressive scans.
    bool m_plainBackground = false;
    // Per layer: the picture of a fixed picture layer and the placeholder of a picture layer.
    std::vector<std::optional<PreparedPicture>> m_fixedPictures;
    std::vector<std::optional<PreparedPicture>> m_placeholders;
    std::vector<std::string> m_pictureFolders; // per layer, resolved; "" for none
    mutable std::mutex m_preparedMutex;

    // Text boxes of texts that come back (a department, a company name), drawn once per batch.
    struct TextCache;
    std::unique_ptr<TextCache> m_textCache;
};

/// The file name (without folder and extension) of a card: the cells of the file-name
/// columns (the column name when a cell is blank, isBlankNameCell), joined by "-", with unsafe
/// characters replaced and format characters left out (sanitizeFileName), "-" put in front of a
/// leading ".", and cut to 64 UTF-16 units. With no file-name column, or when nothing is left,
/// the data row number.
std::string makeOutputName(const CardRow& row, const OutputSettings& output, std::size_t rowNumber);

/// Writes an encoded card into the output folder under the first free name
/// (name.ext, name(2).ext, ...; with hints, from the last number the batch took for the name
/// on). Logs failures; a PNG-8 failure sets the stop flag.
CardResult writeCard(const EncodedCard& card, const std::string& folder, const std::string& name,
                     LogSink& log, std::atomic<bool>& stop, FreeNameHints* hints = nullptr);

/// A cell as it is shown in a log line: cut to 200 UTF-16 units, with its length, when longer,
/// and on one line: line breaks, format characters and other control characters become U+FFFD.
std::string cellForLog(const std::string& cell);

/// True when a file-name cell gives no part of the name, so that its column name stands in: the
/// cell is missing or holds only spaces, tabs, line breaks and format characters (U+200B,
/// U+FEFF, ...).
bool isBlankNameCell(const std::string* cell);

/// The file a picture cell names: an absolute path as it is; a relative one in the program
/// folder when it is there, else in csvFolder (the CSV file's folder; empty: none).
std::string resolveCellPicturePath(const std::string& cell, const std::string& csvFolder);

/// A picture file decoded as a card draws it in a layer (at a reduced scale where the layer
/// allows it).
DecodedPicture readLayerPicture(const std::string& path, const Layer& layer);

/// Where a picture cell leads when its layer looks pictures up in a folder.
struct FolderPicture {
    std::string path;               // the picture found; empty when there is none
    std::vector<std::string> tried; // the names looked for in the folder when none was found
    bool outside = false;           // the cell names a path outside the folder: not followed
    bool controls = false;          // the cell holds control characters: no file is named so
};

/// The picture a cell names in a folder: a name with an extension as it is; one without is
/// tried with .jpg, .jpeg, .png, .bmp, .gif, .webp, .tif, .tiff, .heic, .heif and .avif in that
/// order, the case of the file's name ignored (A0001 finds A0001.JPG). An absolute path, one
/// through "..", and a name whose real path (symbolic links followed) ends outside the folder
/// are outside it.
FolderPicture findFolderPicture(const std::string& folder, const std::string& cell);

/// Why a cell found no picture in a folder, for the log and the row check.
std::string folderPictureProblem(const std::string& folder, const std::string& cell,
                                 const FolderPicture& found);

/// The extension of the cards of an output format: ".png" or ".jpg".
inline const char* cardExtension(OutputFormat format)
{
    return format == OutputFormat::Png ? ".png" : ".jpg";
}

/// compose + makeOutputName + writeCard for one row.
CardResult renderCard(const CardRenderer& renderer, const CardRow& row,
                      const OutputSettings& output, std::size_t rowNumber, LogSink& log,
                      std::atomic<bool>& stop);

} // namespace torvale
