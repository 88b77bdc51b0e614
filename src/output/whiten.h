#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "imageio/gray_image.h"

namespace quarnel {

// Bytes of scratch memory WhitenBackground needs for a box `width` pixels wide.
inline std::size_t WhitenScratchSize(std::int32_t width) {
  return 3 * (static_cast<std::size_t>(width) + 8);
}

// Whitens the background of `box` in place: a pixel becomes 255 when no pixel of the box within
// four rows and four columns of it (itself included, both ranges clipped to the box) is darker
// than `white` (value < white); every other pixel keeps its value. Boxes under 5 pixels wide or
// high are left as they are. Only the pixels of `box` are read or written. `white` is 1 ... 255;
// `scratch` holds at least WhitenScratchSize(box.width) bytes.
void WhitenBackground(MutableGrayView box, std::int32_t white, std::span<std::uint8_t> scratch);

}  // namespace quarnel
