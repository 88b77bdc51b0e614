#pragma once

// Writing luminance as a grayscale JPEG. Nothing here prints; failures are results.

#include <cstdint>
#include <vector>

#include "imageio/gray_image.h"

namespace quarnel {

// Encodes `image` as a baseline grayscale JPEG (one component, 8 bits) of the given quality,
// which the caller has checked to be 1 ... 100 (libjpeg's quality scale, baseline tables), into
// `bytes`, which it replaces, reusing their memory. Returns false (the bytes then undefined) for
// an empty image; throws std::bad_alloc when memory runs out. A known `density` goes into the
// JFIF header; without one the header says 1:1 pixels of no size.
bool EncodeGrayJpeg(GrayView image, int quality, std::vector<std::uint8_t>& bytes,
                    const Density& density = {});

}  // namespace quarnel
