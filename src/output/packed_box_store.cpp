#include "output/packed_box_store.h"

#include <algorithm>
#include <cstdint>

namespace quarnel {
namespace {

// A worker area holds at least this much, and at least four of the largest packings of the box
// that asked for it, so that the end of an area left unused is at most a fifth of what it held.
constexpr std::size_t kMinArea = std::size_t{32} << 20;
// Room for those ends, and for the areas of the threads packing at the end of the run.
constexpr std::size_t kSpareMapping = std::size_t{1} << 30;

}  // namespace

PackedBoxStore::PackedBoxStore(std::int32_t pageCount, const std::string& folder,
                               std::size_t fileBudget, std::size_t memoryBudget)
    : kept_(static_cast<std::size_t>(std::max(pageCount, 0))) {
  if (fileBudget > 0) {
    file_.emplace(folder);
    fileBudget_ = fileBudget;
    fileOpen_ = file_->valid();
  }
  if (memoryBudget == 0 || fileOpen_) return;
  // Under a limit of the address space the spare part may be refused; the budget alone is
  // still worth mapping. Without any mapping no box is kept.
  const std::size_t spare =
      memoryBudget > SIZE_MAX / 2 - kSpareMapping ? 0 : memoryBudget / 4 + kSpareMapping;
  for (const std::size_t size : {memoryBudget + spare, memoryBudget}) {
    auto mapping = std::make_unique<MemoryMapping>(size);
    if (!mapping->data()) continue;
    memory_ = std::move(mapping);
    memoryBudget_ = memoryBudget;
    memoryOpen_ = true;
    break;
  }
}

PackedBoxStore::KeptIn PackedBoxStore::Keep(std::int32_t page, std::int32_t width,
                                            std::int32_t height, const BoxRows& rows,
                                            WorkerArea& area) {
  std::optional<Location>& kept = kept_[static_cast<std::size_t>(page)];
  if (memoryOpen_) {
    kept = KeepInMemory(width, height, rows, area);
  } else if (fileOpen_) {
    kept = KeepInFile(width, height, rows, area);
  }
  if (!kept) return KeptIn::kNowhere;
  return kept->inFile ? KeptIn::kFile : KeptIn::kMemory;
}

std::optional<PackedBoxStore::Location> PackedBoxStore::KeepInMemory(std::int32_t width,
                                                                     std::int32_t height,
                                                                     const BoxRows& rows,
                                                                     WorkerArea& area) {
  const std::size_t bound = PackedSizeBound(width, height);
  {
    std::lock_guard lock(mutex_);
    if (!memoryOpen_ || bound > memoryBudget_ - memoryClaimed_) {
      memoryOpen_ = false;
      return std::nullopt;
    }
    if (bound > area.end - area.next) {
      const std::size_t size = std::max(kMinArea, 5 * bound);
      if (size > memory_->size() - areasEnd_) {
        memoryOpen_ = false;
        return std::nullopt;
      }
      area.next = areasEnd_;
      area.end = areasEnd_ + size;
      areasEnd_ += size;
    }
    memoryClaimed_ += bound;
  }
  const std::size_t start = area.next;
  const std::size_t size = PackBox(width, height, rows, memory_->data() + start);
  area.next += size;
  std::lock_guard lock(mutex_);
  memoryClaimed_ -= bound - size;
  return Location{false, start, size};
}

std::optional<PackedBoxStore::Location> PackedBoxStore::KeepInFile(std::int32_t width,
                                                                   std::int32_t height,
                                                                   const BoxRows& rows,
                                                                   WorkerArea& area) {
  const std::size_t bound = PackedSizeBound(width, height);
  if (area.scratch.size() < bound) area.scratch.resize(bound);
  Location kept{true, 0, PackBox(width, height, rows, area.scratch.data())};
  // The free space is looked at box by box: other programs, other runs, take it meanwhile.
  const std::optional<FileSystemSpace> space = file_->Space();
  if (!space || !LeavesReserve(*space, kept.size)) {
    fileOpen_ = false;
    return std::nullopt;
  }
  {
    std::lock_guard lock(mutex_);
    if (!fileOpen_ || kept.size > fileBudget_ - fileEnd_) {
      fileOpen_ = false;
      return std::nullopt;
    }
    kept.offset = fileEnd_;
    fileEnd_ += kept.size;
  }
  if (!file_->WriteAt(area.scratch.data(), kept.size, kept.offset)) {
    fileOpen_ = false;
    return std::nullopt;
  }
  return kept;
}

std::optional<std::span<const std::uint8_t>> PackedBoxStore::Take(std::int32_t page,
                                                                  WorkerArea& area) {
  const std::optional<Location>& kept = kept_[static_cast<std::size_t>(page)];
  if (!kept) return std::nullopt;
  if (!kept->inFile)
    return std::span<const std::uint8_t>(memory_->data() + kept->offset, kept->size);
  if (fileGivenBack_) return std::nullopt;
  if (area.scratch.size() < kept->size) area.scratch.resize(kept->size);
  if (!file_->ReadAt(area.scratch.data(), kept->size, kept->offset)) return std::nullopt;
  // The cache and the disk space the box held are of no further use; failing to give them back
  // early costs nothing but that.
  file_->Release(kept->offset, kept->size);
  return std::span<const std::uint8_t>(area.scratch.data(), kept->size);
}

bool PackedBoxStore::GiveBackFile() {
  std::lock_guard lock(mutex_);
  fileOpen_ = false;
  if (!file_ || fileEnd_ == 0 || fileGivenBack_) return false;
  // A box being read meanwhile is read whole, or its read fails and its page is read again.
  fileGivenBack_ = true;
  file_->Empty();
  return true;
}

bool LeavesReserve(const FileSystemSpace& space, std::uint64_t more) {
  const std::uint64_t reserve = std::max(std::uint64_t{1} << 30, space.size / 20);
  return space.free >= reserve && space.free - reserve >= more;
}

}  // namespace quarnel
