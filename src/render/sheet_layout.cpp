#include "render/sheet_layout.h"

#include "common/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>

namespace torvale {

namespace {

constexpr double kMillimetresPerInch = 25.4;
constexpr double kSmallestPaperSide = 10;
constexpr double kLargestPaperSide = 5000;
// Sizes computed from pixels are not exact: a card that fits to a micrometre fits.
constexpr double kTolerance = 1e-3;

// Cards of one side across a length: n cards and n - 1 gaps. Held below INT_MAX whatever the
// sizes: the count of a page is checked against kMaxCardsPerPage afterwards.
int cardsAcross(double length, double card, double gap)
{
    const double count = std::floor((length + gap + kTolerance) / (card + gap));
    return count >= 1 ? static_cast<int>(std::min(count, double{INT_MAX})) : 0;
}

struct Candidate {
    bool landscape = false;
    double printableWidth = 0;
    double printableHeight = 0;
    double scale = 1;
    int columns = 0;
    int rows = 0;

    std::int64_t count() const { return std::int64_t{columns} * rows; }
};

Candidate tryOrientation(bool landscape, double cardWidth, double cardHeight,
                         const SheetSettings& settings)
{
    Candidate c;
    c.landscape = landscape;
    const double width = landscape ? settings.paper.height : settings.paper.width;
    const double height = landscape ? settings.paper.width : settings.paper.height;
    c.printableWidth = width - 2 * settings.margin;
    c.printableHeight = height - 2 * settings.margin;
    if (settings.fit) {
        c.scale = std::min({1.0, c.printableWidth / cardWidth, c.printableHeight / cardHeight});
    }
    c.columns = cardsAcross(c.printableWidth, cardWidth * c.scale, settings.gap);
    c.rows = cardsAcross(c.printableHeight, cardHeight * c.scale, settings.gap);
    return c;
}

// Whether a is the better orientation: the one that shrinks the cards less (when they are
// fitted), then the one that holds more.
bool better(const Candidate& a, const Candidate& b)
{
    if (std::abs(a.scale - b.scale) > kTolerance)
        return a.scale > b.scale;
    return a.count() > b.count();
}

// The fewest decimals, from 1 to 4, at which the two lengths of every pair are shown as
// different numbers and the first, when positive, not as 0: a message saying that one is
// larger than the other must not show them equal. Lengths that differ by more than the
// tolerance differ at 3 decimals.
int decimalsTelling(const std::vector<std::pair<double, double>>& pairs)
{
    for (int decimals = 1; decimals < 4; ++decimals) {
        const auto shown = [decimals](double length) {
            return formatText("%.*f", decimals, length);
        };
        const bool told = std::all_of(pairs.begin(), pairs.end(), [&](const auto& pair) {
            return shown(pair.first) != shown(pair.second) &&
                   (pair.first <= 0 || shown(pair.first) != shown(0));
        });
        if (told)
            return decimals;
    }
    return 4;
}

std::string sizeText(double width, double height, int decimals)
{
    return formatText("%.*f x %.*f mm", decimals, width, decimals, height);
}

// A length the user gave, as given (no rounding that could make 4.9999999 look like 5).
std::string givenLength(double length)
{
    return formatText("%.10g", length);
}

std::string tooLargeError(double cardWidth, double cardHeight, const SheetSettings& settings,
                          const Candidate& portrait, const Candidate& landscape)
{
    const bool showPortrait = settings.orientation != SheetOrientation::Landscape;
    const bool showLandscape = settings.orientation != SheetOrientation::Portrait;
    // The sides where the card exceeds an area it is compared with.
    std::vector<std::pair<double, double>> exceeded;
    for (const Candidate* c :
         {showPortrait ? &portrait : nullptr, showLandscape ? &landscape : nullptr}) {
        if (c && cardWidth > c->printableWidth + kTolerance)
            exceeded.emplace_back(cardWidth, c->printableWidth);
        if (c && cardHeight > c->printableHeight + kTolerance)
            exceeded.emplace_back(cardHeight, c->printableHeight);
    }
    const int decimals = decimalsTelling(exceeded);
    const std::string card = "卡片 " + sizeText(cardWidth, cardHeight, decimals) + " 大于纸张 " +
                             settings.paper.name + " ";
    const std::string margin = "（页边距 " + givenLength(settings.margin) + " mm）";
    const auto area = [decimals](const Candidate& c) {
        return sizeText(c.printableWidth, c.printableHeight, decimals);
    };
    if (!showLandscape)
        return card + "纵向的可打印区域 " + area(portrait) + margin;
    if (!showPortrait)
        return card + "横向的可打印区域 " + area(landscape) + margin;
    return card + "的可打印区域：纵向 " + area(portrait) + "，横向 " + area(landscape) + margin;
}

// The sides of a card smaller than kSmallestCardSide, against it.
std::vector<std::pair<double, double>> sidesTooSmall(double width, double height)
{
    std::vector<std::pair<double, double>> small;
    for (const double side : {width, height}) {
        if (side < kSmallestCardSide - kTolerance)
            small.emplace_back(side, kSmallestCardSide);
    }
    return small;
}

} // namespace

const std::vector<PaperSize>& namedPapers()
{
    static const std::vector<PaperSize> papers = {
        {"A4", 210, 297},
        {"A3", 297, 420},
        {"A5", 148, 210},
        {"Letter", 215.9, 279.4},
    };
    return papers;
}

std::optional<double> parseLength(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<PaperSize> parsePaper(std::string_view text)
{
    for (const PaperSize& paper : namedPapers()) {
        if (equalsIgnoreCase(text, paper.name))
            return paper;
    }
    std::string_view size = text;
    if (endsWithIgnoreCase(size, "mm"))
        size.remove_suffix(2);
    const std::size_t x = size.find_first_of("xX");
    if (x == std::string_view::npos)
        return std::nullopt;
    const auto width = parseLength(size.substr(0, x));
    const auto height = parseLength(size.substr(x + 1));
    const auto sensible = [](double side) {
        return side >= kSmallestPaperSide && side <= kLargestPaperSide;
    };
    if (!width || !height || !sensible(*width) || !sensible(*height))
        return std::nullopt;
    return PaperSize{formatText("%gx%gmm", *width, *height), *width, *height};
}

std::size_t SheetLayout::pageCount(std::size_t cards) const
{
    const auto per = static_cast<std::size_t>(std::max<std::int64_t>(1, perPage()));
    return (cards + per - 1) / per;
}

SheetRect SheetLayout::place(int index, bool back) const
{
    int column = index % columns;
    const int row = index / columns;
    if (back)
        column = columns - 1 - column;
    return {left + column * (cardWidth + gap), top + row * (cardHeight + gap), cardWidth,
            cardHeight};
}

namespace {

// Adds the parts of an axis-parallel line that keep kMarkClearance from every one of the first
// places cards: with no gap, or a small one, a mark would otherwise run along or over a
// neighbour.
void addClearParts(const SheetLayout& layout, int places, bool back, const SheetLine& line,
                   std::vector<SheetLine>& out)
{
    const bool horizontal = line.y1 == line.y2;
    std::vector<std::pair<double, double>> parts{horizontal ? std::minmax(line.x1, line.x2)
                                                            : std::minmax(line.y1, line.y2)};
    const double at = horizontal ? line.y1 : line.x1;
    const double clear = kMarkClearance;
    const double pitchX = layout.cardWidth + layout.gap;
    const double pitchY = layout.cardHeight + layout.gap;
    const auto cell = [](double value, double origin, double pitch, int cells) {
        return std::clamp(static_cast<int>(std::floor((value - origin) / pitch)), 0, cells - 1);
    };
    const double minX = std::min(line.x1, line.x2) - clear,
                 maxX = std::max(line.x1, line.x2) + clear;
    const double minY = std::min(line.y1, line.y2) - clear,
                 maxY = std::max(line.y1, line.y2) + clear;
    for (int row = cell(minY, layout.top, pitchY, layout.rows);
         row <= cell(maxY, layout.top, pitchY, layout.rows); ++row) {
        for (int column = cell(minX, layout.left, pitchX, layout.columns);
             column <= cell(maxX, layout.left, pitchX, layout.columns); ++column) {
            const int index = row * layout.columns + (back ? layout.columns - 1 - column : column);
            if (index >= places)
                continue;
            const SheetRect r = layout.place(index, back);
            const auto [acrossLow, acrossHigh] =
                horizontal ? std::pair(r.y, r.y + r.height) : std::pair(r.x, r.x + r.width);
            if (at < acrossLow - clear || at > acrossHigh + clear)
                continue;
            const double low = (horizontal ? r.x : r.y) - clear;
            const double high = (horizontal ? r.x + r.width : r.y + r.height) + clear;
            std::vector<std::pair<double, double>> kept;
            for (const auto& [from, to] : parts) {
                if (from < low)
                    kept.emplace_back(from, std::min(to, low));
                if (to > high)
                    kept.emplace_back(std::max(from, high), to);
            }
            parts = std::move(kept);
        }
    }
    for (const auto& [from, to] : parts) {
        if (to > from)
            out.push_back(horizontal ? SheetLine{from, at, to, at} : SheetLine{at, from, at, to});
    }
}

} // namespace

std::vector<SheetLine> cuttingMarks(const SheetLayout& layout, int count, bool back)
{
    std::vector<SheetLine> lines;
    const double near = kMarkOffset;
    const double far = kMarkOffset + kMarkLength;
    const auto places = static_cast<int>(std::min<std::int64_t>(count, layout.perPage()));
    for (int i = 0; i < places; ++i) {
        const SheetRect r = layout.place(i, back);
        for (const double dx : {-1.0, 1.0}) {
            for (const double dy : {-1.0, 1.0}) {
                const double x = dx < 0 ? r.x : r.x + r.width;
                const double y = dy < 0 ? r.y : r.y + r.height;
                addClearParts(layout, places, back, {x + dx * near, y, x + dx * far, y}, lines);
                addClearParts(layout, places, back, {x, y + dy * near, x, y + dy * far}, lines);
            }
        }
    }
    // Neighbours without a gap share the marks on the grid's border: each is drawn once.
    const auto key = [](const SheetLine& l) {
        const auto micrometres = [](double mm) { return std::llround(mm * 1000); };
        return std::array{micrometres(l.x1), micrometres(l.y1), micrometres(l.x2),
                          micrometres(l.y2)};
    };
    std::sort(lines.begin(), lines.end(),
              [&](const SheetLine& a, const SheetLine& b) { return key(a) < key(b); });
    lines.erase(
        std::unique(lines.begin(), lines.end(),
                    [&](const SheetLine& a, const SheetLine& b) { return key(a) == key(b); }),
        lines.end());
    return lines;
}

double pixelsToMm(std::int32_t pixels, std::int32_t dpi)
{
    return dpi > 0 ? pixels * kMillimetresPerInch / dpi : 0.0;
}

SheetLayoutResult layoutSheet(double cardWidth, double cardHeight, const SheetSettings& settings)
{
    SheetLayoutResult result;
    if (!(cardWidth > 0) || !(cardHeight > 0)) {
        result.error = formatText("卡片尺寸 %.1f x %.1f mm 无效", cardWidth, cardHeight);
        return result;
    }
    if (const auto small = sidesTooSmall(cardWidth, cardHeight); !small.empty()) {
        result.error = "卡片 " + sizeText(cardWidth, cardHeight, decimalsTelling(small)) +
                       " 太小：卡片的宽和高至少要 1 mm";
        return result;
    }
    if (!(settings.margin >= 0) || !(settings.gap >= 0)) {
        result.error = "页边距和卡片间距不能小于 0";
        return result;
    }
    const Candidate portrait = tryOrientation(false, cardWidth, cardHeight, settings);
    const Candidate landscape = tryOrientation(true, cardWidth, cardHeight, settings);
    const double shortSide = std::min(settings.paper.width, settings.paper.height);
    if (shortSide - 2 * settings.margin < kSmallestCardSide - kTolerance) {
        result.error = formatText("页边距 %s mm 太大：纸张 %s 只有 %g x %g mm",
                                  givenLength(settings.margin).c_str(), settings.paper.name.c_str(),
                                  settings.paper.width, settings.paper.height);
        // Some room is left, too little to be told by the sizes alone.
        if (2 * settings.margin < shortSide)
            result.error += "，可打印区域的宽和高至少要 1 mm";
        return result;
    }
    Candidate chosen = portrait;
    switch (settings.orientation) {
    case SheetOrientation::Portrait:
        break;
    case SheetOrientation::Landscape:
        chosen = landscape;
        break;
    case SheetOrientation::Best:
        if (better(landscape, portrait))
            chosen = landscape;
        break;
    }
    if (chosen.count() == 0) {
        result.error = tooLargeError(cardWidth, cardHeight, settings, portrait, landscape);
        if (!settings.fit) {
            SheetSettings fitted = settings;
            fitted.fit = true;
            result.fitWouldHelp = layoutSheet(cardWidth, cardHeight, fitted).ok();
        }
        return result;
    }
    const double placedWidth = cardWidth * chosen.scale;
    const double placedHeight = cardHeight * chosen.scale;
    if (const auto small = sidesTooSmall(placedWidth, placedHeight); !small.empty()) {
        const int decimals = decimalsTelling(small);
        result.error = "卡片 " + sizeText(cardWidth, cardHeight, decimals) + " 要缩小到 " +
                       sizeText(placedWidth, placedHeight, decimals) + " 才能放进纸张 " +
                       settings.paper.name + " 的可打印区域（页边距 " +
                       givenLength(settings.margin) + " mm）：卡片的宽和高至少要 1 mm";
        return result;
    }
    if (chosen.count() > kMaxCardsPerPage) {
        result.error = formatText(
            "纸张 %s 每页能放 %lld 张 %.1f x %.1f mm 的卡片（%d 列 x %d "
            "行），超过了每页最多 %lld 张",
            settings.paper.name.c_str(), static_cast<long long>(chosen.count()), placedWidth,
            placedHeight, chosen.columns, chosen.rows, static_cast<long long>(kMaxCardsPerPage));
        return result;
    }

    SheetLayout layout;
    layout.landscape = chosen.landscape;
    layout.pageWidth = chosen.landscape ? settings.paper.height : settings.paper.width;
    layout.pageHeight = chosen.landscape ? settings.paper.width : settings.paper.height;
    layout.scale = chosen.scale;
    layout.cardWidth = placedWidth;
    layout.cardHeight = placedHeight;
    layout.columns = chosen.columns;
    layout.rows = chosen.rows;
    layout.gap = settings.gap;
    layout.marks = settings.marks;
    const double gridWidth = layout.columns * layout.cardWidth + (layout.columns - 1) * layout.gap;
    const double gridHeight = layout.rows * layout.cardHeight + (layout.rows - 1) * layout.gap;
    layout.left = (layout.pageWidth - gridWidth) / 2;
    layout.top = (layout.pageHeight - gridHeight) / 2;
    result.layout = layout;
    return result;
}

} // namespace torvale
