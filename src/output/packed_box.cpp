#include "output/packed_box.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

namespace {

// A room holds at least this much, and at least four of the largest packings of the box that
// asked for it, so that the end of a room left unused is at most a fifth of what it held.
constexpr std::size_t kMinRoom = std::size_t{32} << 20;
// Room for those ends, and for the rooms of the threads packing at the end of the run.
constexpr std::size_t kSpareMapping = std::size_t{1} << 30;
// The most bytes one read or write of the file moves. Writes of more than 2 MiB let the kernel
// cache them in 2 MiB blocks of memory, and on a virtual machine that gives free memory back to
// its host, such blocks come back slowly: a 3.5 MB box took 4 ms to write in one go and 0.7 ms in
// pieces of 1 MiB.
constexpr std::size_t kMoveSize = std::size_t{1} << 20;

// Moves `size` bytes between `buffer` and the file at `offset`, at most kMoveSize a call, with
// `io` (pread or pwrite: returns the bytes moved, 0 at the end of the file, -1 on an error).
// Returns false when the bytes could not all be moved.
template <typename Io>
bool MoveAll(Io io, std::uint8_t* buffer, std::size_t size, std::uint64_t offset) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t moved =
        io(buffer + done, std::min(kMoveSize, size - done), static_cast<off_t>(offset + done));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

PackedBoxStore::PackedBoxStore(std::size_t memoryBudget, Memory memory, const std::string& folder,
                               std::size_t fileBudget) {
  if (fileBudget > 0) {
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    fileBudget_ = fileBudget;
    fileOpen_ = fd_ >= 0;
  }
  if (memoryBudget == 0 || (memory == Memory::kWithoutFile && fileOpen_)) return;
  // Under a limit of the address space the spare part may be refused; the budget alone is
  // still worth mapping. Without any mapping the boxes go to the file.
  const std::size_t spare =
      memoryBudget > SIZE_MAX / 2 - kSpareMapping ? 0 : memoryBudget / 4 + kSpareMapping;
  for (const std::size_t mapped : {memoryBudget + spare, memoryBudget}) {
    void* mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) continue;
    memory_ = static_cast<std::uint8_t*>(mapping);
    mapped_ = mapped;
    memoryBudget_ = memoryBudget;
    memoryOpen_ = true;
    break;
  }
}

PackedBoxStore::~PackedBoxStore() {
  if (memory_) munmap(memory_, mapped_);
  if (fd_ >= 0) close(fd_);
}

std::optional<PackedBoxStore::Kept> PackedBoxStore::Keep(std::int32_t width, std::int32_t height,
                                                         const BoxRows& rows, Room& room) {
  if (memoryOpen_) {
    if (auto kept = KeepInMemory(width, height, rows, room)) return kept;
  }
  if (fileOpen_) return KeepInFile(width, height, rows, room);
  return std::nullopt;
}

std::optional<PackedBoxStore::Kept> PackedBoxStore::KeepInMemory(std::int32_t width,
                                                                 std::int32_t height,
                                                                 const BoxRows& rows, Room& room) {
  const std::size_t bound = PackedSizeBound(width, height);
  {
    std::lock_guard lock(mutex_);
    if (!memoryOpen_ || bound > memoryBudget_ - promised_) {
      memoryOpen_ = false;
      return std::nullopt;
    }
    if (bound > room.end - room.next) {
      const std::size_t size = std::max(kMinRoom, 5 * bound);
      if (size > mapped_ - end_) {
        memoryOpen_ = false;
        return std::nullopt;
      }
      room.next = end_;
      room.end = end_ + size;
      end_ += size;
    }
    promised_ += bound;
  }
  const std::size_t start = room.next;
  const std::size_t size = PackBox(width, height, rows, memory_ + start);
  room.next += size;
  std::lock_guard lock(mutex_);
  promised_ -= bound - size;
  return Kept{false, start, size};
}

std::optional<PackedBoxStore::Kept> PackedBoxStore::KeepInFile(std::int32_t width,
                                                               std::int32_t height,
                                                               const BoxRows& rows, Room& room) {
  const std::size_t bound = PackedSizeBound(width, height);
  if (room.scratch.size() < bound) room.scratch.resize(bound);
  Kept kept{true, 0, PackBox(width, height, rows, room.scratch.data())};
  {
    std::lock_guard lock(mutex_);
    if (!fileOpen_ || kept.size > fileBudget_ - fileEnd_) {
      fileOpen_ = false;
      return std::nullopt;
    }
    kept.offset = fileEnd_;
    fileEnd_ += kept.size;
  }
  const auto write = [this](std::uint8_t* bytes, std::size_t count, off_t at) {
    return pwrite(fd_, bytes, count, at);
  };
  if (!MoveAll(write, room.scratch.data(), kept.size, kept.offset)) {
    fileOpen_ = false;
    return std::nullopt;
  }
  return kept;
}

std::optional<std::span<const std::uint8_t>> PackedBoxStore::Take(const Kept& kept, Room& room) {
  if (!kept.inFile) return std::span<const std::uint8_t>(memory_ + kept.offset, kept.size);
  if (room.scratch.size() < kept.size) room.scratch.resize(kept.size);
  const auto read = [this](std::uint8_t* bytes, std::size_t count, off_t at) {
    return pread(fd_, bytes, count, at);
  };
  if (!MoveAll(read, room.scratch.data(), kept.size, kept.offset)) return std::nullopt;
  // The cache and the disk space the box held are of no further use; failing to give them back
  // early costs nothing but that.
  fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(kept.offset),
            static_cast<off_t>(kept.size));
  return std::span<const std::uint8_t>(room.scratch.data(), kept.size);
}

}  // namespace quarnel
