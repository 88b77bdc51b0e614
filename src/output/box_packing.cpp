#include "output/box_packing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace quarnel {
namespace {

std::uint8_t* PutNumber(std::uint8_t* out, std::uint32_t n) {
  while (n >= 0x80) {
    *out++ = static_cast<std::uint8_t>(n | 0x80);
    n >>= 7;
  }
  *out++ = static_cast<std::uint8_t>(n);
  return out;
}

// Reads a number written by PutNumber from `in` on, not past `end`; false when it does not fit
// 32 bits or runs past the end.
bool GetNumber(const std::uint8_t*& in, const std::uint8_t* end, std::uint32_t& n) {
  n = 0;
  for (int shift = 0; shift < 32 && in < end; shift += 7) {
    const std::uint8_t byte = *in++;
    n |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

// flags[c] = 1 when chunk c of the row (pixels kPackChunk * c on, fewer in the last chunk) is all
// white, else 0. A whole chunk takes one comparison of 16 pixels.
void FlagWhiteChunks(const std::uint8_t* row, std::int32_t width, std::uint8_t* flags) {
  static_assert(kPackChunk == 16);
  std::int32_t c = 0;
#ifdef __SSE2__
  const __m128i white = _mm_set1_epi8(-1);
  for (; 16 * c + 16 <= width; ++c) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16 * c));
    flags[c] = _mm_movemask_epi8(_mm_cmpeq_epi8(pixels, white)) == 0xFFFF;
  }
#endif
  for (; kPackChunk * c < width; ++c) {
    std::uint8_t all = 255;
    for (std::int32_t x = kPackChunk * c; x < std::min(kPackChunk * (c + 1), width); ++x)
      all &= row[x];
    flags[c] = all == 255;
  }
}

// The first chunk from `from` on whose flag is `flag`, or `count` when there is none.
std::int32_t FindFlag(const std::uint8_t* flags, std::int32_t from, std::int32_t count,
                      std::uint8_t flag) {
  const void* found = std::memchr(flags + from, flag, static_cast<std::size_t>(count - from));
  return found ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(found) - flags) : count;
}

}  // namespace

std::size_t PackedSizeBound(std::int32_t width, std::int32_t height) {
  // Per row: the pixels, and the numbers of at most two runs for every chunk and one more, none
  // longer than the row.
  std::size_t numberBytes = 1;
  for (auto n = static_cast<std::uint32_t>(width); n >= 0x80; n >>= 7) ++numberBytes;
  const std::size_t runs =
      2 * ((static_cast<std::size_t>(width) + kPackChunk - 1) / kPackChunk) + 1;
  return static_cast<std::size_t>(height) * (static_cast<std::size_t>(width) + runs * numberBytes);
}

std::size_t PackBox(std::int32_t width, std::int32_t height, const BoxRows& rows,
                    std::uint8_t* out) {
  const std::int32_t chunks = (width + kPackChunk - 1) / kPackChunk;
  std::vector<std::uint8_t> flags(static_cast<std::size_t>(chunks));
  std::uint8_t* const start = out;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* row = rows(y);
    FlagWhiteChunks(row, width, flags.data());
    // Runs of white chunks and runs of other chunks, alternately, in pixels.
    std::int32_t c = 0;
    while (c < chunks) {
      const std::int32_t otherStart = FindFlag(flags.data(), c, chunks, 0);
      const std::int32_t x = kPackChunk * c;
      const std::int32_t otherX = std::min(kPackChunk * otherStart, width);
      out = PutNumber(out, static_cast<std::uint32_t>(otherX - x));
      if (otherStart == chunks) break;
      c = FindFlag(flags.data(), otherStart, chunks, 1);
      const std::int32_t endX = std::min(kPackChunk * c, width);
      out = PutNumber(out, static_cast<std::uint32_t>(endX - otherX));
      std::memcpy(out, row + otherX, static_cast<std::size_t>(endX - otherX));
      out += endX - otherX;
    }
  }
  return static_cast<std::size_t>(out - start);
}

bool UnpackBox(std::span<const std::uint8_t> packed, MutableGrayView target) {
  const std::uint8_t* in = packed.data();
  const std::uint8_t* const end = in + packed.size();
  for (std::int32_t y = 0; y < target.height; ++y) {
    std::uint8_t* row = target.Row(y);
    std::uint32_t x = 0;
    const auto width = static_cast<std::uint32_t>(target.width);
    while (x < width) {
      std::uint32_t white = 0;
      if (!GetNumber(in, end, white) || white > width - x) return false;
      std::memset(row + x, 255, white);
      x += white;
      if (x == width) break;
      std::uint32_t other = 0;
      if (!GetNumber(in, end, other) || other > width - x ||
          other > static_cast<std::size_t>(end - in))
        return false;
      std::memcpy(row + x, in, other);
      in += other;
      x += other;
    }
  }
  return in == end;
}

}  // namespace quarnel
