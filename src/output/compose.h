#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/extremes.h"
#include "imageio/gray_image.h"
#include "pages/page_table.h"

namespace quarnel {

// The output page buffer, maxWidth x maxHeight, row stride maxWidth, with the scratch memory
// of the whitening filter. One canvas serves a whole output pass; it is refilled for every page.
struct Canvas {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> columnFlags;  // scratch of WhitenBackground

  static Canvas Create(std::int32_t width, std::int32_t height);
  MutableGrayView View() { return MutableGrayView{pixels.data(), width, height, width}; }
  GrayView View() const { return GrayView{pixels.data(), width, height, width}; }
};

// Where a box lands on the canvas: the canvas column of its left column and the canvas row of
// its top row.
struct Placement {
  std::int32_t offsetX = 0;
  std::int32_t offsetY = 0;
  friend bool operator==(const Placement&, const Placement&) = default;
};

// The canvas is a window onto every page: it shows the image columns
// maxRight - maxWidth ... maxRight - 1 and the rows minTop ... minTop + maxHeight - 1. A box
// keeps its place in that window, except that a box beginning left of the window moves right to
// the first column, and a box that would end below the window moves up to end on the last row.
// For a box that took part in `extremes` the whole box lands on the canvas.
Placement ComputePlacement(const ContentBox& box, const Extremes& extremes);

// True when the box lies wholly inside an image of `width` x `height` pixels.
bool BoxFitsImage(const ContentBox& box, std::int32_t width, std::int32_t height);

// Composes one output page on `canvas` (maxWidth x maxHeight of `extremes`): fills it with
// white, copies `boxPixels` (the page's box, box.width x box.height) to its placement and, with
// `white` below 256, whitens the background of the placed box. A page without a box, or with a
// box of no area, gives an all-white page.
void ComposePage(Canvas& canvas, const Extremes& extremes, std::int32_t white,
                 const std::optional<ContentBox>& box, GrayView boxPixels);

// The same for a box packed by PackBox (box.width x box.height pixels, already whitened when
// whitening was asked for): its pixels are placed as they are. Returns false when `packed` does
// not hold such a box.
[[nodiscard]] bool ComposePackedPage(Canvas& canvas, const Extremes& extremes,
                                     const ContentBox& box, std::span<const std::uint8_t> packed);

}  // namespace quarnel
