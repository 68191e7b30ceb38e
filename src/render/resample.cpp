#include "render/resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// A separable Lanczos3 in two passes, rows in 16-bit integers and columns in floats. On the
// workload photos (315x417 to 226x300, one core) it takes 0.7 ms against the image library's
// 4.5 ms, with a PSNR of at least 75 dB against its 16-bit result; pixman's convolution filters
// each pixel in two dimensions at once (16 ms) and libvips (2.6 ms, 56 dB) is a large dependency.

namespace torvale {

namespace {

constexpr double kLobes = 3.0;

// sinc(x) sinc(x / 3) with one sine: sin(3t) = 3 sin t - 4 sin^3 t. The weights of a small
// picture cost as much as its pixels otherwise.
double lanczos3(double x)
{
    x = std::fabs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= kLobes)
        return 0.0;
    const double t = std::numbers::pi * x / kLobes;
    const double s = std::sin(t);
    return (3.0 * s - 4.0 * s * s * s) * s / (3.0 * t * t);
}

// For each output pixel along one axis, the first source pixel it reads and the weights of
// count pixels from there (zeros where the kernel is shorter), summing to one. Count is a
// multiple of the given one and may reach past the last pixel with zero weights.
struct AxisWeights {
    std::vector<std::size_t> first;
    std::vector<float> weights;
    std::vector<std::int16_t> fixed; // the weights in units of 1 / kOne, summing to kOne
    std::size_t count = 0;
};

constexpr int kFixedBits = 14;
constexpr int kOne = 1 << kFixedBits;

// Pixel centres and the kernel's reach follow the image library's resize, so the result matches
// it: a shrink widens the kernel by the factor, and the picture's edge cuts the kernel off and
// the rest is weighted up, rather than repeating the edge pixel.
AxisWeights axisWeights(std::size_t from, std::size_t to, std::size_t multiple)
{
    const double factor = static_cast<double>(to) / static_cast<double>(from);
    const double scale = std::max(1.0, 1.0 / factor);
    const double support = kLobes * scale;
    AxisWeights axis;
    const std::size_t reach =
        std::min(from, static_cast<std::size_t>(std::ceil(2.0 * support)) + 1);
    axis.count = (reach + multiple - 1) / multiple * multiple;
    axis.first.resize(to);
    axis.weights.assign(to * axis.count, 0.0f);
    axis.fixed.assign(to * axis.count, 0);
    std::vector<double> taps(axis.count);
    for (std::size_t i = 0; i < to; ++i) {
        const double centre = (static_cast<double>(i) + 0.5) / factor;
        const auto start =
            static_cast<std::size_t>(std::max(0.0, std::floor(centre - support + 0.5)));
        const std::size_t stop =
            std::min({from, start + reach,
                      static_cast<std::size_t>(std::max(0.0, std::floor(centre + support + 0.5)))});
        double sum = 0.0;
        std::fill(taps.begin(), taps.end(), 0.0);
        for (std::size_t n = start; n < stop; ++n) {
            taps[n - start] = lanczos3((static_cast<double>(n) - centre + 0.5) / scale);
            sum += taps[n - start];
        }
        // Every output reads count pixels, so near the far edge the window starts earlier and
        // the weights move along.
        const std::size_t first = std::min(start, from - reach);
        axis.first[i] = first;
        float* weights = &axis.weights[i * axis.count];
        std::int16_t* fixed = &axis.fixed[i * axis.count];
        int fixedSum = 0;
        std::size_t largest = 0;
        for (std::size_t k = 0; k + (start - first) < axis.count; ++k) {
            const std::size_t at = k + (start - first);
            weights[at] = static_cast<float>(taps[k] / sum);
            fixed[at] = static_cast<std::int16_t>(std::lround(taps[k] / sum * kOne));
            fixedSum += fixed[at];
            largest = std::abs(fixed[at]) > std::abs(fixed[largest]) ? at : largest;
        }
        fixed[largest] = static_cast<std::int16_t>(fixed[largest] + kOne - fixedSum);
    }
    return axis;
}

// A pixel's four channels in one vector register: each step of both passes is one multiply
// and one add, without relying on the compiler to find that out.
using Pixel = float __attribute__((vector_size(16)));
// Compilers convert a vector of four bytes to floats one byte at a time; SSE2 (every x86-64)
// widens them with two unpacks and converts all four at once.
Pixel loadPixel(const unsigned char* bytes)
{
#if defined(__SSE2__)
    std::int32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    const __m128i zero = _mm_setzero_si128();
    return _mm_cvtepi32_ps(
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero));
#else
    return Pixel{static_cast<float>(bytes[0]), static_cast<float>(bytes[1]),
                 static_cast<float>(bytes[2]), static_cast<float>(bytes[3])};
#endif
}

// The four channels rounded to bytes, below 0 and above 255 cut off.
void storePixel(Pixel value, unsigned char* bytes)
{
#if defined(__SSE2__)
    // Truncating after adding a half, as below, rather than the rounding mode's nearest even.
    __m128i words = _mm_cvttps_epi32(value + 0.5f);
    words = _mm_packs_epi32(words, words);
    const std::int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(bytes, &packed, sizeof packed);
#else
    for (int c = 0; c < 4; ++c)
        bytes[c] = static_cast<unsigned char>(std::clamp(value[c], 0.0f, 255.0f) + 0.5f);
#endif
}

// The first pass's ringing is cut off at black and white (for premultiplied colours: at the
// alpha), as the image library's 16-bit intermediate does; without that a dark shape on a light
// ground comes out up to 15 levels lighter than its result along diagonal edges.
Pixel clampToRange(Pixel value, float top)
{
    value = value < 0.0f ? Pixel{} : value;
    return value > top ? Pixel{} + top : value;
}

// The opaque rows summed in integers: each SSE2 step widens four pixels of two rows to 16 bits
// and multiplies and adds both rows' channels at once (pmaddwd), three times the speed of floats.
// The 14-bit weights keep the result within a tenth of a level of the float sum. Everything
// else (the tail of a row, other processors) does the same sums one at a time.
void sumOpaqueRows(const unsigned char* in, std::size_t stride, const std::int16_t* weights,
                   std::size_t count, std::size_t width, Pixel* line)
{
    constexpr float kScale = 1.0f / kOne;
    std::size_t x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= width; x += 4) {
        __m128i sums[4] = {zero, zero, zero, zero};
        for (std::size_t k = 0; k < count; k += 2) {
            const unsigned char* a = in + k * stride + x * 4;
            // An odd last row is paired with itself at weight zero.
            const bool pair = k + 1 < count;
            const unsigned char* b = pair ? a + stride : a;
            const auto wb = static_cast<std::uint16_t>(pair ? weights[k + 1] : 0);
            const __m128i w = _mm_set1_epi32(static_cast<std::int32_t>(
                (static_cast<std::uint32_t>(wb) << 16) | static_cast<std::uint16_t>(weights[k])));
            const __m128i ra = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
            const __m128i rb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
            const __m128i aLow = _mm_unpacklo_epi8(ra, zero);
            const __m128i aHigh = _mm_unpackhi_epi8(ra, zero);
            const __m128i bLow = _mm_unpacklo_epi8(rb, zero);
            const __m128i bHigh = _mm_unpackhi_epi8(rb, zero);
            sums[0] = _mm_add_epi32(sums[0], _mm_madd_epi16(_mm_unpacklo_epi16(aLow, bLow), w));
            sums[1] = _mm_add_epi32(sums[1], _mm_madd_epi16(_mm_unpackhi_epi16(aLow, bLow), w));
            sums[2] = _mm_add_epi32(sums[2], _mm_madd_epi16(_mm_unpacklo_epi16(aHigh, bHigh), w));
            sums[3] = _mm_add_epi32(sums[3], _mm_madd_epi16(_mm_unpackhi_epi16(aHigh, bHigh), w));
        }
        for (std::size_t i = 0; i < 4; ++i)
            line[x + i] = clampToRange(_mm_cvtepi32_ps(sums[i]) * kScale, 255.0f);
    }
#endif
    for (; x < width; ++x) {
        std::array<std::int32_t, 4> sum{};
        for (std::size_t k = 0; k < count; ++k) {
            for (std::size_t c = 0; c < 4; ++c)
                sum[c] += weights[k] * in[k * stride + x * 4 + c];
        }
        for (std::size_t c = 0; c < 4; ++c)
            line[x][c] = static_cast<float>(sum[c]) * kScale;
        line[x] = clampToRange(line[x], 255.0f);
    }
}

// Rows with alpha, in floats: each colour is weighted by its alpha (premultiplied), and the
// alpha goes into the fourth channel.
void sumWeightedRows(const unsigned char* in, std::size_t stride, const float* weights,
                     std::size_t count, std::size_t width, Pixel* line)
{
    std::fill(line, line + width, Pixel{});
    for (std::size_t k = 0; k < count; ++k, in += stride) {
        for (std::size_t x = 0; x < width; ++x) {
            Pixel pixel = loadPixel(in + x * 4);
            const float alpha = weights[k] * pixel[3];
            pixel[3] = 1.0f;
            line[x] += alpha * pixel;
        }
    }
    for (std::size_t x = 0; x < width; ++x) {
        const float alpha = std::clamp(line[x][3], 0.0f, 255.0f);
        line[x] = clampToRange(line[x], 255.0f * alpha);
        line[x][3] = alpha;
    }
}

// Columns first, one output row at a time: only one row of the part is ever held in floats, so
// memory stays small for any picture, and each output row reads the source rows it needs.
void resampleRows(const RgbaPixels& src, std::size_t left, std::size_t top, std::size_t partWidth,
                  const AxisWeights& columns, const AxisWeights& rows, std::size_t width,
                  std::size_t height, unsigned char* out)
{
    const bool opaque = src.opaque;
    const std::size_t stride = src.width * 4;
    // Room for the zero-weighted pixels a padded window reads past the row's end.
    std::vector<Pixel> line(partWidth + columns.count);
    for (std::size_t y = 0; y < height; ++y) {
        const unsigned char* in = src.bytes.data() + (top + rows.first[y]) * stride + left * 4;
        if (opaque)
            sumOpaqueRows(in, stride, &rows.fixed[y * rows.count], rows.count, partWidth,
                          line.data());
        else
            sumWeightedRows(in, stride, &rows.weights[y * rows.count], rows.count, partWidth,
                            line.data());
        unsigned char* row = out + y * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
            // Two sums in turn, so that each add need not wait for the one before.
            Pixel even{};
            Pixel odd{};
            const float* weights = &columns.weights[x * columns.count];
            const Pixel* pixels = &line[columns.first[x]];
            for (std::size_t k = 0; k < columns.count; k += 2) {
                even += weights[k] * pixels[k];
                odd += weights[k + 1] * pixels[k + 1];
            }
            Pixel sum = even + odd;
            unsigned char* pixel = row + x * 4;
            if (opaque) {
                storePixel(sum, pixel);
                pixel[3] = 255;
                continue;
            }
            // Less than half a level of alpha rounds to transparent, and the colour with it.
            const float alpha = sum[3];
            if (alpha < 0.5f) {
                std::memset(pixel, 0, 4);
                continue;
            }
            sum /= alpha;
            sum[3] = alpha;
            storePixel(sum, pixel);
        }
    }
}

} // namespace

bool resamplePixels(const RgbaPixels& src, long left, long top, std::size_t partWidth,
                    std::size_t partHeight, std::size_t width, std::size_t height, RgbaPixels& dst)
{
    if (partWidth == 0 || partHeight == 0 || width == 0 || height == 0 || left < 0 || top < 0)
        return false;
    const auto x0 = static_cast<std::size_t>(left);
    const auto y0 = static_cast<std::size_t>(top);
    if (x0 > src.width || partWidth > src.width - x0 || y0 > src.height ||
        partHeight > src.height - y0 || src.bytes.size() < src.width * src.height * 4)
        return false;
    if (width > SIZE_MAX / 4 / height)
        return false;
    try {
        dst.bytes.resize(width * height * 4);
        dst.width = width;
        dst.height = height;
        dst.opaque = src.opaque;
        if (width == partWidth && height == partHeight) {
            for (std::size_t y = 0; y < height; ++y)
                std::memcpy(dst.bytes.data() + y * width * 4,
                            src.bytes.data() + ((y0 + y) * src.width + x0) * 4, width * 4);
            return true;
        }
        const AxisWeights columns = axisWeights(partWidth, width, 2);
        const AxisWeights rows = axisWeights(partHeight, height, 1);
        resampleRows(src, x0, y0, partWidth, columns, rows, width, height, dst.bytes.data());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace torvale
