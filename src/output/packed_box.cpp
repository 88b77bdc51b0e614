#include "output/packed_box.h"

#include <sys/mman.h>

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

std::uint32_t GetNumber(const std::uint8_t*& in) {
  std::uint32_t n = 0;
  for (int shift = 0;; shift += 7) {
    const std::uint8_t byte = *in++;
    n |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if (byte < 0x80) return n;
  }
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

void UnpackBox(std::span<const std::uint8_t> packed, MutableGrayView target) {
  const std::uint8_t* in = packed.data();
  for (std::int32_t y = 0; y < target.height; ++y) {
    std::uint8_t* row = target.Row(y);
    std::int32_t x = 0;
    while (x < target.width) {
      const auto white = static_cast<std::int32_t>(GetNumber(in));
      std::memset(row + x, 255, static_cast<std::size_t>(white));
      x += white;
      if (x == target.width) break;
      const auto other = static_cast<std::int32_t>(GetNumber(in));
      std::memcpy(row + x, in, static_cast<std::size_t>(other));
      in += other;
      x += other;
    }
  }
}

namespace {

// A room holds at least this much, and at least four of the largest packings of the box that
// asked for it, so that the end of a room left unused is at most a fifth of what it held.
constexpr std::size_t kMinRoom = std::size_t{32} << 20;
// Room for those ends, and for the rooms of the threads packing at the end of the run.
constexpr std::size_t kSpareMapping = std::size_t{1} << 30;

}  // namespace

PackedBoxStore::PackedBoxStore(std::size_t budget) {
  if (budget == 0) return;
  // Under a limit of the address space the spare part may be refused; the budget alone is
  // still worth mapping. Without any mapping no box is kept: the pages are read again.
  const std::size_t spare = budget > SIZE_MAX / 2 - kSpareMapping ? 0 : budget / 4 + kSpareMapping;
  for (const std::size_t mapped : {budget + spare, budget}) {
    void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) continue;
    memory_ = static_cast<std::uint8_t*>(memory);
    mapped_ = mapped;
    budget_ = budget;
    open_ = true;
    return;
  }
}

PackedBoxStore::~PackedBoxStore() {
  if (memory_) munmap(memory_, mapped_);
}

std::span<const std::uint8_t> PackedBoxStore::Pack(std::int32_t width, std::int32_t height,
                                                   const BoxRows& rows, Room& room) {
  const std::size_t bound = PackedSizeBound(width, height);
  {
    std::lock_guard lock(mutex_);
    if (!open() || bound > budget_ - promised_) {
      open_ = false;
      return {};
    }
    if (bound > room.end - room.next) {
      const std::size_t size = std::max(kMinRoom, 5 * bound);
      if (size > mapped_ - end_) {
        open_ = false;
        return {};
      }
      room = Room{end_, end_ + size};
      end_ += size;
    }
    promised_ += bound;
  }
  const std::size_t start = room.next;
  const std::size_t size = PackBox(width, height, rows, memory_ + start);
  room.next += size;
  std::lock_guard lock(mutex_);
  promised_ -= bound - size;
  return {memory_ + start, size};
}

}  // namespace quarnel
