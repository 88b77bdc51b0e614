#include "output/thumbnail.h"

#include <algorithm>
#include <vector>

namespace quarnel {
namespace {

// The first of the `length` image pixels that thumbnail pixel `i` of `scaled` covers.
std::int32_t SpanStart(std::int32_t i, std::int32_t length, std::int32_t scaled) {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(i) * length / scaled);
}

std::int32_t ScaledSide(std::int32_t side, std::int32_t longSide, std::int32_t maxSide) {
  if (longSide <= maxSide) return side;
  const std::int64_t scaled = (static_cast<std::int64_t>(side) * maxSide + longSide / 2) / longSide;
  return static_cast<std::int32_t>(std::max<std::int64_t>(scaled, 1));
}

}  // namespace

GrayImage MakeThumbnail(GrayView image, std::int32_t maxSide) {
  const std::int32_t longSide = std::max(image.width, image.height);
  const std::int32_t width = ScaledSide(image.width, longSide, maxSide);
  const std::int32_t height = ScaledSide(image.height, longSide, maxSide);
  GrayImage thumbnail = GrayImage::Allocate(width, height);

  std::vector<std::int32_t> columnStart(static_cast<std::size_t>(width) + 1);
  for (std::int32_t tx = 0; tx <= width; ++tx)
    columnStart[static_cast<std::size_t>(tx)] = SpanStart(tx, image.width, width);
  // Each image column summed over the band of rows of one thumbnail row.
  std::vector<std::uint32_t> columnSums(static_cast<std::size_t>(image.width));
  for (std::int32_t ty = 0; ty < height; ++ty) {
    const std::int32_t y0 = SpanStart(ty, image.height, height);
    const std::int32_t y1 = SpanStart(ty + 1, image.height, height);
    std::fill(columnSums.begin(), columnSums.end(), 0u);
    for (std::int32_t y = y0; y < y1; ++y) {
      const std::uint8_t* row = image.Row(y);
      for (std::int32_t x = 0; x < image.width; ++x)
        columnSums[static_cast<std::size_t>(x)] += row[x];
    }
    std::uint8_t* out = thumbnail.pixels.get() + static_cast<std::size_t>(ty) * width;
    for (std::int32_t tx = 0; tx < width; ++tx) {
      const std::int32_t x0 = columnStart[static_cast<std::size_t>(tx)];
      const std::int32_t x1 = columnStart[static_cast<std::size_t>(tx) + 1];
      std::uint64_t sum = 0;
      for (std::int32_t x = x0; x < x1; ++x) sum += columnSums[static_cast<std::size_t>(x)];
      const std::uint64_t count = static_cast<std::uint64_t>(y1 - y0) * (x1 - x0);
      out[tx] = static_cast<std::uint8_t>((sum + count / 2) / count);
    }
  }
  return thumbnail;
}

}  // namespace quarnel
