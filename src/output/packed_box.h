#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
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

// Writes a box packed by PackBox into `target`, which has the box's width and height. Returns
// false, with `target` partly written, when `packed` does not hold exactly such a box.
[[nodiscard]] bool UnpackBox(std::span<const std::uint8_t> packed, MutableGrayView target);

// Where a run keeps its packed boxes between the passes: in an unnamed temporary file
// (O_TMPFILE), at most `fileBudget` bytes of boxes, and in memory, at most `memoryBudget` bytes
// in one mapping given back only when the store is destroyed (parts never written cost nothing).
// The kernel holds the file's pages in its cache while memory is free and writes them to the
// disk when it is not, so those boxes take none of the process's own memory, and the file
// vanishes with the store or with the process, however it ends. Reading a box back from the file
// costs two copies more than from memory, about as much as the memory's page faults, and far less
// than decoding its page again. Any number of threads keep and take boxes at the same time, each
// with a room of its own.
class PackedBoxStore {
 public:
  // A thread's part of the store: it packs its next box into memory at `next`, up to `end`, and
  // a box on its way to or from the file passes through `scratch`.
  struct Room {
    std::size_t next = 0;
    std::size_t end = 0;
    std::vector<std::uint8_t> scratch;
  };
  // Where a box is kept: in memory or in the file, from `offset` on.
  struct Kept {
    bool inFile = false;
    std::uint64_t offset = 0;
    std::size_t size = 0;
  };

  // Whether boxes are kept in memory before they go to the file, or in memory only where there
  // is no file.
  enum class Memory { kFirst, kWithoutFile };

  // The file is made in `folder`; where its file system cannot make unnamed files, there is none.
  PackedBoxStore(std::size_t memoryBudget, Memory memory, const std::string& folder,
                 std::size_t fileBudget);
  ~PackedBoxStore();
  PackedBoxStore(const PackedBoxStore&) = delete;
  PackedBoxStore& operator=(const PackedBoxStore&) = delete;

  // True while a box may still be kept.
  bool open() const { return memoryOpen_ || fileOpen_; }

  // Packs a box (as PackBox) and keeps it: in memory while the boxes fit there, then in the file.
  // Returns where, or nothing when the box fits neither; the memory takes no box after the first
  // that did not fit, nor the file after one it refused (the budget, a full disk, a limit on the
  // file size).
  std::optional<Kept> Keep(std::int32_t width, std::int32_t height, const BoxRows& rows,
                           Room& room);

  // The packed bytes of a kept box, or nothing when they cannot be read back. Each box is taken
  // once: a box read from the file passes through the room's scratch memory, and its part of the
  // file is given back.
  std::optional<std::span<const std::uint8_t>> Take(const Kept& kept, Room& room);

 private:
  std::optional<Kept> KeepInMemory(std::int32_t width, std::int32_t height, const BoxRows& rows,
                                   Room& room);
  std::optional<Kept> KeepInFile(std::int32_t width, std::int32_t height, const BoxRows& rows,
                                 Room& room);

  std::mutex mutex_;
  std::uint8_t* memory_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t memoryBudget_ = 0;
  std::size_t end_ = 0;       // where the next room begins
  std::size_t promised_ = 0;  // the bytes of the boxes packed, and the bounds of those packing
  std::atomic<bool> memoryOpen_ = false;
  int fd_ = -1;
  std::size_t fileBudget_ = 0;
  std::uint64_t fileEnd_ = 0;  // the bytes of the file given to boxes so far
  std::atomic<bool> fileOpen_ = false;
};

}  // namespace quarnel
