#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/extremes.h"
#include "analysis/geometry.h"
#include "imageio/gray_image.h"

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
