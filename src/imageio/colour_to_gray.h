#pragma once

// Colour rows of a decoded JPEG turned into 8-bit luminance.

#include <cstdint>

namespace quarnel {

// Converts a row of `width` pixels at `src` into luminance at `dst`.
using RowToGray = void (*)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width);

// RGBX pixels (four bytes, the fourth unused): (77 R + 150 G + 29 B) >> 8. The conversion for this
// processor: the AVX2 one where the processor has it.
RowToGray RgbxRowToGray();

// Inverted CMYK as written by Adobe applications (255 means no ink): R = C * K / 255 rounded, and
// so on, then the luminance as above.
void CmykRowToGray(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                   std::int32_t width);

// The conversion of RgbxRowToGray in plain C++, and the AVX2 one (colour_to_gray_avx2.cpp, built
// where QUARNEL_HAS_AVX2_CODE is set), which gives the same bytes.
void RgbxRowToGrayPortable(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                           std::int32_t width);
void RgbxRowToGrayAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width);

}  // namespace quarnel
