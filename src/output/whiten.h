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

// The same one row at a time, into rows the caller gives, leaving the box as it is: for a
// consumer that takes each whitened row while it is still in the cache.
class RowWhitener {
 public:
  // `box` must stay unchanged, except for rows already whitened into themselves, until the last
  // row is asked for; `scratch` as for WhitenBackground, for as long.
  RowWhitener(GrayView box, std::int32_t white, std::span<std::uint8_t> scratch);

  // Writes row r of the whitened box to `out` (box.width bytes; it may be row r of the box
  // itself). Rows are asked for in order, from row 0.
  void WhitenRow(std::int32_t r, std::uint8_t* out);

 private:
  GrayView box_;
  std::uint8_t white_;
  std::uint8_t* counts_;  // box.width entries, each 0 ... 9
  std::uint8_t* flags_;   // box.width + 8: column c at flags_[c + 4]
  std::uint8_t* spread_;  // box.width + 8
};

}  // namespace quarnel
