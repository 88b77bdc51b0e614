#include "output/compose.h"

#include <algorithm>
#include <cstring>

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

Placement ComputePlacement(const ContentBox& box, const Extremes& extremes) {
  Placement placement;
  placement.offsetX = std::max(box.left() - (extremes.maxRight - extremes.maxWidth), 0);
  const std::int64_t boxBottom = static_cast<std::int64_t>(box.top) + box.height;
  const std::int64_t windowBottom = static_cast<std::int64_t>(extremes.minTop) + extremes.maxHeight;
  placement.offsetY =
      boxBottom > windowBottom ? extremes.maxHeight - box.height : box.top - extremes.minTop;
  return placement;
}

bool BoxFitsImage(const ContentBox& box, std::int32_t width, std::int32_t height) {
  return box.width > 0 && box.height > 0 && box.left() >= 0 && box.top >= 0 && box.right <= width &&
         static_cast<std::int64_t>(box.top) + box.height <= height;
}

void ComposePage(Canvas& canvas, const Extremes& extremes, std::int32_t white,
                 const std::optional<ContentBox>& box, GrayView boxPixels) {
  std::fill(canvas.pixels.begin(), canvas.pixels.end(), std::uint8_t{255});
  if (!box || box->width <= 0 || box->height <= 0) return;

  const Placement at = ComputePlacement(*box, extremes);
  const MutableGrayView target = canvas.View().Sub(at.offsetX, at.offsetY, box->width, box->height);
  for (std::int32_t k = 0; k < box->height; ++k) {
    std::memcpy(target.Row(k), boxPixels.Row(k), static_cast<std::size_t>(box->width));
  }
  if (white < 256) WhitenBackground(target, white, canvas.columnFlags);
}

}  // namespace quarnel
