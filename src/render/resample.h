#pragma once

#include "render/magick.h"

#include <cstddef>

namespace torvale {

/// Scales the part of src that starts at (left, top) and is partWidth x partHeight pixels to
/// width x height pixels into dst (its memory reused), Lanczos-class, alpha-weighted so that
/// transparent pixels lend no colour. False when a size is zero or the part leaves src.
bool resamplePixels(const RgbaPixels& src, long left, long top, std::size_t partWidth,
                    std::size_t partHeight, std::size_t width, std::size_t height, RgbaPixels& dst);

} // namespace torvale
