#pragma once

#include <cstdint>
#include <vector>

#include "imageio/gray_image.h"

namespace quarnel {

// Rows of the image read for one row of a thumbnail, at most.
inline constexpr std::int32_t kThumbnailRowsPerBand = 4;

// A smaller copy of `image` whose longer side is `maxSide` pixels (the shorter one in proportion,
// rounded, at least 1); an image no larger than that is copied as it is. Every thumbnail pixel is
// the rounded mean of the image pixels it covers (a box filter), taken over at most
// kThumbnailRowsPerBand evenly spaced rows of them, so that the cost of a thumbnail grows with
// its own height and the image's width, not with the image's height. `maxSide` is at least 1.
GrayImage MakeThumbnail(GrayView image, std::int32_t maxSide);

// The JPEG quality of thumbnails.
inline constexpr int kThumbnailQuality = 50;

// A thumbnail of `image` (MakeThumbnail) as a JPEG of kThumbnailQuality.
struct EncodedThumbnail {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> jpeg;  // empty when it could not be encoded
};
EncodedThumbnail EncodeThumbnail(GrayView image, std::int32_t maxSide);

}  // namespace quarnel
