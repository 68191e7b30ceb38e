#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvale {

/// A sheet of paper, in millimetres, upright (width <= height for the named sizes).
struct PaperSize {
    std::string name; // "A4", ..., or "210x297mm" for a size given in numbers
    double width = 0;
    double height = 0;
};

/// A4, A3, A5 and Letter, in the order the editor offers them.
const std::vector<PaperSize>& namedPapers();

/// A named paper (any letter case) or "WxH" / "WxHmm" in millimetres, decimals allowed;
/// nothing for anything else or a side outside 10 to 5000 mm.
std::optional<PaperSize> parsePaper(std::string_view text);

/// A length written as a decimal number ("85.6"); nothing for anything else.
std::optional<double> parseLength(std::string_view text);

enum class SheetOrientation { Best, Portrait, Landscape };

/// How cards are to be laid out on paper.
struct SheetSettings {
    PaperSize paper = namedPapers().front();
    /// Best takes the orientation that holds more cards (portrait when both hold as many); with
    /// fit, the one that shrinks the cards less comes first.
    SheetOrientation orientation = SheetOrientation::Best;
    double margin = 10; // mm kept free on every side of the page
    double gap = 0;     // mm between neighbouring cards
    bool marks = true;  // cutting marks at the cards' corners
    bool fit = false;   // a card larger than the printable area is scaled down to fit
};

/// A rectangle on a page, in millimetres from the page's top-left corner.
struct SheetRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

/// Where the cards go on every page: a grid of columns x rows cards centred on the page.
struct SheetLayout {
    double pageWidth = 0; // mm, as the page stands (wider than high when landscape)
    double pageHeight = 0;
    bool landscape = false;
    double cardWidth = 0; // mm, as placed (smaller than the card's true size only with fit)
    double cardHeight = 0;
    double scale = 1; // placed size / true size
    int columns = 0;
    int rows = 0;
    double gap = 0;
    double left = 0; // mm from the page's edges to the grid's top-left corner
    double top = 0;
    bool marks = true;

    /// Cards on one page (counted wide: a layout made by hand may hold any number).
    std::int64_t perPage() const { return std::int64_t{columns} * rows; }
    /// Pages of one side needed for cards cards (0 for none).
    std::size_t pageCount(std::size_t cards) const;
    /// Place index (0-based, row by row from the top left) of a page. On the back of a sheet the
    /// columns run from the right, so that after a flip on the long edge every back lies behind
    /// its front.
    SheetRect place(int index, bool back = false) const;
};

/// The length of a cutting mark and its distance from the card's corner, in mm.
inline constexpr double kMarkLength = 5.0;
inline constexpr double kMarkOffset = 2.0;

/// A straight line on a page, in millimetres.
struct SheetLine {
    double x1 = 0;
    double y1 = 0;
    double x2 = 0;
    double y2 = 0;
};

/// The room in mm a cutting mark keeps from every card, its own included.
inline constexpr double kMarkClearance = 0.5;

/// The cutting marks of the first count places of a page: two lines at each corner, continuing
/// the card's edges outwards, less the parts nearer than kMarkClearance to a card (with a small
/// gap or none, the marks between cards go and those in the page's margins stay).
std::vector<SheetLine> cuttingMarks(const SheetLayout& layout, int count, bool back = false);

/// The most cards a page may carry. Every card is an image of its own on the page: the writer
/// keeps each until its page is complete, and viewers and printers handle each as an object.
/// Sheets of stickers hold a few hundred; tens of thousands would make pages that take minutes
/// to open or print, and a count beyond this is far more likely a card of the wrong size.
inline constexpr std::int64_t kMaxCardsPerPage = 5000;

/// The smallest side in mm of a card, as made and as placed, and of the printable area: a
/// smaller card cannot be cut out, and the layout's tolerance of a micrometre would decide it.
inline constexpr double kSmallestCardSide = 1.0;

/// The true size in mm of a side of pixels at dpi.
double pixelsToMm(std::int32_t pixels, std::int32_t dpi);

/// A layout, or the reason there is none.
struct SheetLayoutResult {
    std::optional<SheetLayout> layout;
    std::string error;
    /// The card is larger than the printable area, and the same settings with fit lay it out.
    bool fitWouldHelp = false;

    bool ok() const { return layout.has_value(); }
};

/// Lays out cards of cardWidth x cardHeight mm on the paper of settings: as many columns and
/// rows as the printable area holds, the grid centred. An error that names the card's size
/// and the printable size when not one card fits (and fit is off), its numbers with as many
/// decimals as it takes to tell them apart; an error too when the margins or the gap make no
/// sense, when the card (as made or as fitted) or the printable area has a side smaller than
/// kSmallestCardSide, or when a page would carry more than kMaxCardsPerPage cards.
SheetLayoutResult layoutSheet(double cardWidth, double cardHeight, const SheetSettings& settings);

} // namespace torvale
