#pragma once

#include <cstdint>

#include "imageio/gray_image.h"

namespace quarnel {

// A smaller copy of `image` whose longer side is `maxSide` pixels (the shorter one in proportion,
// rounded, at least 1); an image no larger than that is copied as it is. Every thumbnail pixel is
// the rounded mean of the image pixels it covers (a box filter). `maxSide` is at least 128
// (a band of rows of an image of up to 2^31 pixels then sums to less than 2^32).
GrayImage MakeThumbnail(GrayView image, std::int32_t maxSide);

}  // namespace quarnel
