#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "imageio/gray_image.h"

namespace quarnel {

// A box's pixels kept between the passes, packed without loss: each row is a sequence of runs,
// alternately of white pixels (255, only their number stored) and of other pixels (their number,
// then the pixels as they are), starting with a white run that may be empty. A run's number is a
// variable-length integer (7 bits a byte, low bits first). Runs of white are found in whole
// chunks of kPackChunk pixels, so that the packing reads a row many pixels an instruction; a row
// of a whitened page is mostly white runs, a row of an unwhitened scan one run of other pixels.

inline constexpr std::int32_t kPackChunk = 16;

// The most bytes PackBox can need for a box of `width` x `height` pixels.
std::size_t PackedSizeBound(std::int32_t width, std::int32_t height);

// The rows of a box to pack: row(y) is asked for y = 0 ... height - 1 in order, and the pointer
// it returns (width pixels) is read before the next row is asked for.
using BoxRows = std::function<const std::uint8_t*(std::int32_t y)>;

// Packs a box of `width` x `height` pixels into out[0 ...] and returns the number of bytes used;
// `out` holds at least PackedSizeBound(width, height) bytes.
std::size_t PackBox(std::int32_t width, std::int32_t height, const BoxRows& rows,
                    std::uint8_t* out);

// Writes a box packed by PackBox into `target`, which has the box's width and height.
void UnpackBox(std::span<const std::uint8_t> packed, MutableGrayView target);

// Memory for the packed boxes of a run, at most `budget` bytes of them: one mapping, given back
// only when the store is destroyed; parts of it never written cost no memory. Boxes are packed
// straight into it by any number of threads, each into a room of its own that the store hands
// out, so that boxes packed at the same time leave no gaps between them.
class PackedBoxStore {
 public:
  // A thread's part of the store: it packs its next box at `next`, up to `end`.
  struct Room {
    std::size_t next = 0;
    std::size_t end = 0;
  };

  explicit PackedBoxStore(std::size_t budget);
  ~PackedBoxStore();
  PackedBoxStore(const PackedBoxStore&) = delete;
  PackedBoxStore& operator=(const PackedBoxStore&) = delete;

  // True until a box did not fit: from then on none is packed.
  bool open() const { return open_.load(std::memory_order_relaxed); }

  // Packs a box (as PackBox) into `room` (a new room when it has not enough left) and returns
  // its bytes there; returns an empty span, and closes the store, when the box may not fit in
  // what is left of the budget or of the mapping. A room belongs to one thread at a time.
  std::span<const std::uint8_t> Pack(std::int32_t width, std::int32_t height, const BoxRows& rows,
                                     Room& room);

 private:
  std::uint8_t* memory_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t budget_ = 0;
  std::mutex mutex_;
  std::size_t end_ = 0;       // where the next room begins
  std::size_t promised_ = 0;  // the bytes of the boxes packed, and the bounds of those packing
  std::atomic<bool> open_ = false;
};

}  // namespace quarnel
