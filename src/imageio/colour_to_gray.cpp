#include "imageio/colour_to_gray.h"

#include "system/cpu_dispatch.h"

namespace quarnel {
namespace {

inline std::uint8_t Luminance(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
}

// v / 255 rounded to the nearest integer, exactly, for any v = a * b of two 8-bit values.
inline unsigned DivideBy255Rounded(unsigned v) {
  return (v + 128 + ((v + 128) >> 8)) >> 8;
}

}  // namespace

// RGBX pixels (the fourth byte unused). Each product fits 16 bits and so does their sum
// (at most 255 * 256), so 16-bit arithmetic gives the exact result with twice the lanes.
void RgbxRowToGrayPortable(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                           std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    const auto sum = static_cast<std::uint16_t>(static_cast<std::uint16_t>(src[4 * x] * 77) +
                                                static_cast<std::uint16_t>(src[4 * x + 1] * 150) +
                                                static_cast<std::uint16_t>(src[4 * x + 2] * 29));
    dst[x] = static_cast<std::uint8_t>(sum >> 8);
  }
}

// Inverted CMYK as written by Adobe applications: 255 means no ink. R = C * K / 255, rounded.
QUARNEL_PIXEL_LOOPS void CmykRowToGray(const std::uint8_t* __restrict src,
                                       std::uint8_t* __restrict dst, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    const unsigned k = src[4 * x + 3];
    const unsigned r = DivideBy255Rounded(src[4 * x] * k);
    const unsigned g = DivideBy255Rounded(src[4 * x + 1] * k);
    const unsigned b = DivideBy255Rounded(src[4 * x + 2] * k);
    dst[x] = Luminance(r, g, b);
  }
}

RowToGray RgbxRowToGray() {
  if (CpuHasAvx2()) return RgbxRowToGrayAvx2;
  return RgbxRowToGrayPortable;
}

}  // namespace quarnel
