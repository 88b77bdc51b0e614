#include "output/compose.h"

#include <algorithm>
#include <cstring>

#include "output/box_packing.h"
#include "output/whiten.h"

namespace quarnel {

Canvas Canvas::Create(std::int32_t width, std::int32_t height) {
  Canvas canvas;
  canvas.width = width;
  canvas.height = height;
  canvas.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  canvas.columnFlags.resize(WhitenScratchSize(width));
  return canvas;
}

namespace {

// Makes the canvas white except the rectangle of `width` x `height` pixels at `at`, and returns
// that rectangle for the box's pixels. Every pixel outside it is written once.
MutableGrayView WhiteAround(Canvas& canvas, Placement at, std::int32_t width, std::int32_t height) {
  const MutableGrayView all = canvas.View();
  const auto canvasWidth = static_cast<std::size_t>(all.width);
  for (std::int32_t y = 0; y < all.height; ++y) {
    std::uint8_t* row = all.Row(y);
    if (y < at.offsetY || y >= at.offsetY + height) {
      std::memset(row, 255, canvasWidth);
    } else {
      const auto right = static_cast<std::size_t>(at.offsetX + width);
      std::memset(row, 255, static_cast<std::size_t>(at.offsetX));
      std::memset(row + right, 255, canvasWidth - right);
    }
  }
  return all.Sub(at.offsetX, at.offsetY, width, height);
}

}  // namespace

void ComposePage(Canvas& canvas, const Extremes& extremes, std::int32_t white,
                 const std::optional<ContentBox>& box, GrayView boxPixels) {
  if (!box || box->width <= 0 || box->height <= 0) {
    std::fill(canvas.pixels.begin(), canvas.pixels.end(), std::uint8_t{255});
    return;
  }
  const MutableGrayView target =
      WhiteAround(canvas, ComputePlacement(*box, extremes), box->width, box->height);
  for (std::int32_t k = 0; k < box->height; ++k) {
    std::memcpy(target.Row(k), boxPixels.Row(k), static_cast<std::size_t>(box->width));
  }
  if (white < 256) WhitenBackground(target, white, canvas.columnFlags);
}

bool ComposePackedPage(Canvas& canvas, const Extremes& extremes, const ContentBox& box,
                       std::span<const std::uint8_t> packed) {
  return UnpackBox(packed,
                   WhiteAround(canvas, ComputePlacement(box, extremes), box.width, box.height));
}

}  // namespace quarnel
