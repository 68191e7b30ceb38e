#include "app/layer_arrange.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace torvale {

namespace {

// Division rounding down, also for a negative numerator (overlapping layers, wider than the card).
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int32_t clampToInt(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// One axis of a rectangle: its start and its length.
struct Span {
    std::int32_t LayerRect::*start;
    std::int32_t LayerRect::*length;
};

constexpr Span kAcross{&LayerRect::x, &LayerRect::width};
constexpr Span kDown{&LayerRect::y, &LayerRect::height};

void spread(std::vector<LayerRect>& rects, Span axis)
{
    const std::size_t n = rects.size();
    if (n < 3)
        return;
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    // By centre (twice it, to stay whole); equal centres keep their list order.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const LayerRect& ra = rects[a];
        const LayerRect& rb = rects[b];
        return 2LL * (ra.*axis.start) + (ra.*axis.length) <
               2LL * (rb.*axis.start) + (rb.*axis.length);
    });
    const LayerRect& first = rects[order.front()];
    const LayerRect& last = rects[order.back()];
    std::int64_t lengths = 0;
    for (const LayerRect& r : rects)
        lengths += r.*axis.length;
    const std::int64_t begin = first.*axis.start;
    const std::int64_t free =
        std::int64_t{last.*axis.start} + (last.*axis.length) - begin - lengths;
    const auto gaps = static_cast<std::int64_t>(n - 1);
    // Each layer starts after the ones before it and i gaps' share of the free space, so the
    // rounding never adds up and the last layer lands where it was.
    std::int64_t before = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        LayerRect& r = rects[order[i]];
        if (i > 0)
            r.*axis.start =
                clampToInt(begin + before + floorDiv(static_cast<std::int64_t>(i) * free, gaps));
        before += r.*axis.length;
    }
}

} // namespace

bool arrangementApplies(Arrangement arrangement, std::size_t count)
{
    switch (arrangement) {
    case Arrangement::SpreadX:
    case Arrangement::SpreadY:
        return count >= 3;
    case Arrangement::CardCentreX:
    case Arrangement::CardCentreY:
        return count >= 1;
    default:
        return count >= 2;
    }
}

std::vector<LayerRect> arrangeRects(std::vector<LayerRect> rects, Arrangement arrangement,
                                    const LayerRect& reference, CardSize card)
{
    const auto centred = [](std::int64_t start, std::int64_t room, std::int64_t length) {
        return clampToInt(start + floorDiv(room - length, 2));
    };
    switch (arrangement) {
    case Arrangement::SpreadX:
        spread(rects, kAcross);
        return rects;
    case Arrangement::SpreadY:
        spread(rects, kDown);
        return rects;
    default:
        break;
    }
    for (LayerRect& r : rects) {
        switch (arrangement) {
        case Arrangement::Top:
            r.y = reference.y;
            break;
        case Arrangement::Bottom:
            r.y = clampToInt(std::int64_t{reference.y} + reference.height - r.height);
            break;
        case Arrangement::Left:
            r.x = reference.x;
            break;
        case Arrangement::Right:
            r.x = clampToInt(std::int64_t{reference.x} + reference.width - r.width);
            break;
        case Arrangement::CentreX:
            r.x = centred(reference.x, reference.width, r.width);
            break;
        case Arrangement::CentreY:
            r.y = centred(reference.y, reference.height, r.height);
            break;
        case Arrangement::CardCentreX:
            r.x = centred(0, card.width, r.width);
            break;
        case Arrangement::CardCentreY:
            r.y = centred(0, card.height, r.height);
            break;
        case Arrangement::SameWidth:
            r.width = reference.width;
            break;
        case Arrangement::SameHeight:
            r.height = reference.height;
            break;
        case Arrangement::SpreadX:
        case Arrangement::SpreadY:
            break;
        }
    }
    return rects;
}

} // namespace torvale
