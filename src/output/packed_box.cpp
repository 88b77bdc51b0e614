#include "output/packed_box.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// True when the `count` pixels from p on are all white. A whole chunk is tested many pixels an
// instruction.
bool AllWhite(const std::uint8_t* p, std::int32_t count) {
  std::uint8_t all = 255;
  if (count == kPackChunk) {
    for (std::int32_t k = 0; k < kPackChunk; ++k) all &= p[k];
  } else {
    for (std::int32_t k = 0; k < count; ++k) all &= p[k];
  }
  return all == 255;
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

QUARNEL_PIXEL_LOOPS std::size_t PackBox(GrayView box, std::uint8_t* out) {
  std::uint8_t* const start = out;
  for (std::int32_t y = 0; y < box.height; ++y) {
    const std::uint8_t* row = box.Row(y);
    std::int32_t x = 0;
    while (x < box.width) {
      // A white run of whole chunks (a last, shorter chunk counts too), then the other pixels
      // up to the next white chunk.
      std::int32_t end = x;
      while (end < box.width) {
        const std::int32_t n = std::min(kPackChunk, box.width - end);
        if (!AllWhite(row + end, n)) break;
        end += n;
      }
      out = PutNumber(out, static_cast<std::uint32_t>(end - x));
      x = end;
      if (x == box.width) break;
      while (end < box.width) {
        const std::int32_t n = std::min(kPackChunk, box.width - end);
        if (AllWhite(row + end, n)) break;
        end += n;
      }
      out = PutNumber(out, static_cast<std::uint32_t>(end - x));
      std::memcpy(out, row + x, static_cast<std::size_t>(end - x));
      out += end - x;
      x = end;
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

PackedBoxStore::PackedBoxStore(std::size_t budget) {
  if (budget == 0) return;
  // Boxes packed at the same time each get room for the largest packing (PackedSizeBound) and
  // leave the unused part of it behind when another box was given room meanwhile; the second
  // half of the mapping is for those gaps. They are never written and cost no memory.
  const std::size_t mapped = budget > SIZE_MAX / 2 ? budget : 2 * budget;
  void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (memory == MAP_FAILED) return;  // no boxes kept: the pages are read again
  memory_ = static_cast<std::uint8_t*>(memory);
  mapped_ = mapped;
  budget_ = budget;
  open_ = true;
}

PackedBoxStore::~PackedBoxStore() {
  if (memory_) munmap(memory_, mapped_);
}

std::span<const std::uint8_t> PackedBoxStore::Pack(GrayView box) {
  const std::size_t bound = PackedSizeBound(box.width, box.height);
  std::size_t start;
  {
    std::lock_guard lock(mutex_);
    if (!open() || bound > budget_ - promised_ || bound > mapped_ - end_) {
      open_ = false;
      return {};
    }
    start = end_;
    end_ += bound;
    promised_ += bound;
  }
  const std::size_t size = PackBox(box, memory_ + start);
  std::lock_guard lock(mutex_);
  promised_ -= bound - size;
  if (end_ == start + bound) end_ = start + size;  // no box was given room since
  return {memory_ + start, size};
}

}  // namespace quarnel
