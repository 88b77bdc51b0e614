#include "output/thumbnail.h"

#include <algorithm>
#include <vector>

#include "imageio/jpeg_writer.h"

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

// Adds a row of `width` pixels to the column sums, many columns an instruction: the row and the
// sums never overlap, and kept out of line the loop is not fused with the next row's (GCC's
// unroll-and-jam at -O3 makes a scalar loop of the two).
[[gnu::noinline]] void AddRow(std::uint16_t* __restrict sums, const std::uint8_t* __restrict row,
                              std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) sums[x] = static_cast<std::uint16_t>(sums[x] + row[x]);
}

// Asks for a row of `width` pixels to be brought into the cache (64-byte lines) while other work
// goes on: the rows read are far apart, and each one would otherwise wait for memory.
void PrefetchRow(const std::uint8_t* row, std::int32_t width) {
  for (std::int32_t x = 0; x < width; x += 64) __builtin_prefetch(row + x);
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
  // The rows read for thumbnail row ty: the middle rows of at most kThumbnailRowsPerBand equal
  // parts of the band of image rows it covers.
  auto rowsRead = [&](std::int32_t ty) {
    return std::min(SpanStart(ty + 1, image.height, height) - SpanStart(ty, image.height, height),
                    kThumbnailRowsPerBand);
  };
  auto rowRead = [&](std::int32_t ty, std::int32_t k) {
    const std::int32_t y0 = SpanStart(ty, image.height, height);
    const std::int32_t bandRows = SpanStart(ty + 1, image.height, height) - y0;
    return y0 + SpanStart(2 * k + 1, bandRows, 2 * rowsRead(ty));
  };
  // Each image column summed over the rows read for one thumbnail row: at most
  // kThumbnailRowsPerBand rows of 255 fit 16 bits, twice as many columns a vector step as 32.
  std::vector<std::uint16_t> columnSums(static_cast<std::size_t>(image.width));
  for (std::int32_t ty = 0; ty < height; ++ty) {
    const std::int32_t rows = rowsRead(ty);
    std::fill(columnSums.begin(), columnSums.end(), std::uint16_t{0});
    for (std::int32_t k = 0; k < rows; ++k) {
      if (k + 1 < rows) {
        PrefetchRow(image.Row(rowRead(ty, k + 1)), image.width);
      } else if (ty + 1 < height) {
        PrefetchRow(image.Row(rowRead(ty + 1, 0)), image.width);
      }
      AddRow(columnSums.data(), image.Row(rowRead(ty, k)), image.width);
    }
    std::uint8_t* out = thumbnail.pixels.get() + static_cast<std::size_t>(ty) * width;
    for (std::int32_t tx = 0; tx < width; ++tx) {
      const std::int32_t x0 = columnStart[static_cast<std::size_t>(tx)];
      const std::int32_t x1 = columnStart[static_cast<std::size_t>(tx) + 1];
      std::uint64_t sum = 0;
      for (std::int32_t x = x0; x < x1; ++x) sum += columnSums[static_cast<std::size_t>(x)];
      const std::uint64_t count = static_cast<std::uint64_t>(rows) * (x1 - x0);
      out[tx] = static_cast<std::uint8_t>((sum + count / 2) / count);
    }
  }
  return thumbnail;
}

EncodedThumbnail EncodeThumbnail(GrayView image, std::int32_t maxSide) {
  const GrayImage small = MakeThumbnail(image, maxSide);
  EncodedThumbnail thumbnail{small.width, small.height, {}};
  if (!EncodeGrayJpeg(small.View(), kThumbnailQuality, thumbnail.jpeg)) return {};
  return thumbnail;
}

}  // namespace quarnel
