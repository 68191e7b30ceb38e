#pragma once

#include "model/template.h"
#include "render/card_encode.h"
#include "render/card_pixels.h"
#include "render/card_row.h"
#include "render/code_render.h"
#include "render/fonts.h"
#include "render/log_sink.h"
#include "render/output_file.h"
#include "render/picture_fit.h"
#include "render/text_render.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvale {

/// Draws the cards of one template. The template, its decoded background and the fonts are
/// fixed for the renderer's life; output settings are handed to each card, so a change made
/// during a batch applies from the next card. compose() may run on several threads at once.
///
/// Every card is drawn the same way: the background, decoded once and kept as 8-bit RGBA, is
/// copied into a worker's card buffer; pictures (fitted and framed in 8 bits), shapes, texts and
/// codes are blended over it (blendOver), or under it when their layer_level says so; the card
/// is then encoded from those pixels (encodeCard).
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
    /// layers, when the card cannot be drawn or encoded (logged), or when PNG-8 encoding failed
    /// (which logs and sets the stop flag). cardName (the card's file name) is named in the log
    /// lines about its layers. buffers, when given, are a worker's own, kept from card to card.
    std::optional<EncodedCard> compose(const CardRow& row, const OutputSettings& output,
                                       LogSink& log, std::atomic<bool>& stop,
                                       const std::string& cardName = {},
                                       CardBuffers* buffers = nullptr) const;

    /// The card's pixels as compose() encodes them (for previews and tests); empty when the
    /// card cannot be drawn (logged).
    RgbaPixels draw(const CardRow& row, const OutputSettings& output, LogSink& log,
                    const std::atomic<bool>& stop, const std::string& cardName = {}) const;

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
    struct TextCache;
    // A picture fitted and framed for one layer once per batch: a fixed picture or a
    // placeholder; or a shape drawn once per batch (the part of it on the card).
    struct PreparedPicture {
        RgbaPixels pixels;
        FitPosition at;
    };
    // A code drawn on a card, to be read back once the card is composed.
    struct DrawnCode {
        const Layer* layer;
        CodeImage image;
        CodeSymbol symbol;
    };

    // The card of a row drawn into buffers: buffers.card, or buffers.under when layers lie
    // below the background. nullptr when there is no background to draw on.
    const RgbaPixels* drawCard(CardBuffers& buffers, const CardRow& row,
                               const OutputSettings& output, LogSink& log,
                               const std::atomic<bool>& stop, const std::string& cardName,
                               std::vector<DrawnCode>& codes) const;
    void drawLayers(CardBuffers& buffers, const CardRow& row, LogSink& log,
                    const std::atomic<bool>& stop, const std::string& cardName,
                    std::vector<DrawnCode>& codes) const;
    // A row's picture of a layer read, fitted, framed and drawn; false when it could not be read.
    bool drawRowPicture(CardBuffers& buffers, const Layer& layer, const std::string& path,
                        const std::string& cell, LogSink& log, const std::string& named) const;
    void drawPicture(CardBuffers& buffers, const RgbaPixels& pixels, FitPosition at,
                     bool below) const;
    void drawCodeLayer(CardBuffers& buffers, const Layer& layer, const std::string& value,
                       std::vector<DrawnCode>& codes, LogSink& log,
                       const std::string& cardName) const;
    void drawText(CardBuffers& buffers, std::size_t layerIndex, const std::string& cell,
                  TextNotes& notes, LogSink& log) const;
    std::optional<PreparedPicture> preparePicture(const std::string& storedPath,
                                                  const Layer& layer) const;
    std::optional<PreparedPicture> prepareShape(const Layer& layer) const;

    Template m_template;
    std::int32_t m_dpi;
    const FontRegistry& m_fonts;
    std::string m_csvFolder;
    RgbaPixels m_background;        // decoded once; empty when it cannot be made
    RgbaPixels m_backgroundOnWhite; // a background that is not opaque over white
    bool m_layersBelow = false;     // a layer is drawn below the background
    // Per layer: the picture of a fixed picture layer or a shape layer's pixels, and the
    // placeholder of a picture layer.
    std::vector<std::optional<PreparedPicture>> m_fixedPictures;
    std::vector<std::optional<PreparedPicture>> m_placeholders;
    std::vector<std::string> m_pictureFolders; // per layer, resolved; "" for none

    // Text boxes of texts that come back (a department, a company name), drawn once per batch.
    std::unique_ptr<TextCache> m_textCache;
};

/// compose + makeOutputName + writeCard for one row.
CardResult renderCard(const CardRenderer& renderer, const CardRow& row,
                      const OutputSettings& output, std::size_t rowNumber, LogSink& log,
                      std::atomic<bool>& stop);

} // namespace torvale
