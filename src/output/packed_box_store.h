#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "output/box_packing.h"
#include "system/memory_map.h"
#include "system/unnamed_file.h"

namespace quarnel {

// Where a run keeps the packed boxes of its pages between the passes: in an unnamed file in the
// output folder, at most `fileBudget` bytes of boxes and no more than LeavesReserve allows, or,
// where there is no such file, in memory,
// at most `memoryBudget` bytes in one mapping given back only when the store is destroyed (parts
// never written cost nothing). The kernel holds the file's pages in its cache while memory is free
// and writes them to the disk when it is not, so those boxes take none of the process's own
// memory. Reading a box back from the file costs two copies more than from memory, and far less
// than decoding its page again. Any number of threads keep and take boxes at the same time, each
// with a worker area of its own, each page's box kept by one thread.
class PackedBoxStore {
 public:
  // A thread's part of the store: it packs its next box into memory at `next`, up to `end`, and
  // a box on its way to or from the file passes through `scratch`.
  struct WorkerArea {
    std::size_t next = 0;
    std::size_t end = 0;
    std::vector<std::uint8_t> scratch;
  };

  enum class KeptIn { kNowhere, kMemory, kFile };

  // A store for the boxes of pages 0 ... pageCount - 1. The file is made in `folder` when
  // fileBudget > 0; where its file system cannot make unnamed files, there is none.
  PackedBoxStore(std::int32_t pageCount, const std::string& folder, std::size_t fileBudget,
                 std::size_t memoryBudget);

  // True while a box may still be kept.
  bool open() const { return memoryOpen_ || fileOpen_; }

  // Packs the box of `page` (as PackBox) and keeps it. Returns where, or kNowhere when it does not
  // fit; the store takes no box after the first that did not fit (the budget, a full disk, a
  // limit on the file size).
  KeptIn Keep(std::int32_t page, std::int32_t width, std::int32_t height, const BoxRows& rows,
              WorkerArea& area);

  // Gives the file's disk space back at once, for an output page that did not fit on the disk:
  // the boxes in it are dropped (their pages are read again) and no box is kept any more. Returns
  // false when the file held no box, so that nothing was given back.
  bool GiveBackFile();

  // The packed bytes of the box kept for `page`, or nothing when none was kept or it cannot be
  // read back. Each box is taken once: a box read from the file passes through the area's scratch
  // memory, and its part of the file is given back.
  std::optional<std::span<const std::uint8_t>> Take(std::int32_t page, WorkerArea& area);

 private:
  // Where a box is kept: in memory or in the file, from `offset` on.
  struct Location {
    bool inFile = false;
    std::uint64_t offset = 0;
    std::size_t size = 0;
  };

  std::optional<Location> KeepInMemory(std::int32_t width, std::int32_t height, const BoxRows& rows,
                                       WorkerArea& area);
  std::optional<Location> KeepInFile(std::int32_t width, std::int32_t height, const BoxRows& rows,
                                     WorkerArea& area);

  std::vector<std::optional<Location>> kept_;  // by page; each written by the thread keeping it
  std::mutex mutex_;
  std::unique_ptr<MemoryMapping> memory_;
  std::size_t memoryBudget_ = 0;
  std::size_t areasEnd_ = 0;       // where the next worker area begins
  std::size_t memoryClaimed_ = 0;  // the bytes of the boxes packed, and the bounds of those packing
  std::atomic<bool> memoryOpen_ = false;
  std::optional<UnnamedFile> file_;
  std::size_t fileBudget_ = 0;
  std::uint64_t fileEnd_ = 0;  // the bytes of the file given to boxes so far
  std::atomic<bool> fileOpen_ = false;
  std::atomic<bool> fileGivenBack_ = false;
};

// The free space the store leaves any file system, so that kept boxes never keep an output page
// of this run or another from being written: the larger of 1 GiB and 5 % of the file system.
// True when `more` bytes more of boxes leave a file system with `space` at least that much.
bool LeavesReserve(const FileSystemSpace& space, std::uint64_t more);

}  // namespace quarnel
