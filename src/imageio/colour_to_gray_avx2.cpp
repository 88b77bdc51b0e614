// The luminance of RGBX rows with AVX2, 32 pixels a step; the program calls it only on processors
// that have AVX2 (RgbxRowToGray).

#include "imageio/colour_to_gray.h"
#include "system/cpu_dispatch.h"

#if QUARNEL_HAS_AVX2_CODE
#include <immintrin.h>

#include <cstddef>

namespace quarnel {
namespace {

// The same with AVX2, 32 pixels a step. 150 does not fit the signed byte weights of
// vpmaddubsw, so 150 G is taken as 22 G there plus 128 G: per pixel, vpmaddubsw gives
// 77 R + 22 G and 29 B, vpmaddwd adds them, and G << 7 is the pixel shifted right by one and
// masked. Every sum is below 2^16, exactly as above.
[[gnu::target("avx2")]] inline __m256i EightLuminances(const std::uint8_t* pixels) {
  const __m256i rgbx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
  const __m256i sum = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(rgbx, _mm256_set1_epi32(77 | 22 << 8 | 29 << 16)),
                        _mm256_set1_epi16(1)),
      _mm256_and_si256(_mm256_srli_epi32(rgbx, 1), _mm256_set1_epi32(0x7F80)));
  return _mm256_srli_epi32(sum, 8);
}

}  // namespace

[[gnu::target("avx2")]] void RgbxRowToGrayAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                               std::int32_t width) {
  // vpackssdw and vpackuswb work within 128-bit halves; this puts the pixels back in order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const std::uint8_t* p = src + 4 * static_cast<std::size_t>(x);
    const __m256i low = _mm256_packs_epi32(EightLuminances(p), EightLuminances(p + 32));
    const __m256i high = _mm256_packs_epi32(EightLuminances(p + 64), EightLuminances(p + 96));
    const __m256i gray = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), gray);
  }
  RgbxRowToGrayPortable(src + 4 * static_cast<std::size_t>(x), dst + x, width - x);
}

}  // namespace quarnel

#else

namespace quarnel {

void RgbxRowToGrayAvx2(const std::uint8_t* src, std::uint8_t* dst, std::int32_t width) {
  RgbxRowToGrayPortable(src, dst, width);
}

}  // namespace quarnel

#endif
