#pragma once

#include <cstdint>
#include <optional>

#include "analysis/geometry.h"
#include "analysis/sheet.h"
#include "imageio/gray_image.h"

namespace quarnel {

// Margin added around the dark pixels found.
inline constexpr std::int32_t kContentMargin = 5;

// Finds the content box of a page: the pixels darker than `black` (value < black).
// - noise == 0 (plain mode): the exact bounding box of all dark pixels.
// - noise > 0 (noise-tolerant mode): edges found on the row and column profiles (dark pixels
//   per row and per column) by ScanProfileEdge, passing over specks cut off from the content.
// The edges found are widened by kContentMargin on the top and left and by kContentMargin - 1
// beyond the last dark row and column, clamped to the image.
// Returns nullopt when the page holds no dark pixel, when its content lies in a single row or
// column, or when the noise-tolerant edges cross (left beyond right or top below bottom: a page
// of scattered specks). A returned box has width >= 1 and height >= 1.
std::optional<ContentBox> FindContentBounds(GrayView image, std::int32_t black, std::int32_t noise);

// As FindContentBounds, over only the dark pixels that lie in the cells of `mask` (the content of
// a sheet): the profiles of the noise-tolerant mode count those pixels alone.
std::optional<ContentBox> FindContentBoundsInCells(GrayView image, std::int32_t black,
                                                   std::int32_t noise, const CellMask& mask);

// Scans a profile for the first edge of the content (forward: from index 0 up) or the last one
// (backward: from length - 1 down). A run of non-zero entries (a candidate) is accepted as soon
// as an entry exceeds `noise` or the run reaches more than `noise` entries past its start; a gap
// of more than `noise` zero entries drops it. Returns the start of the accepted candidate, or of
// the last candidate when none was accepted, or -1 for a profile of zeros only.
std::int32_t ScanProfileEdge(const std::int32_t* profile, std::int32_t length, bool forward,
                             std::int32_t noise);

}  // namespace quarnel
