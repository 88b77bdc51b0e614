#include "system/unnamed_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace quarnel {
namespace {

// The most bytes one read or write moves. Writes of more than 2 MiB let the kernel cache them in
// 2 MiB blocks of memory, and on a virtual machine that gives free memory back to its host such
// blocks come back slowly (bench/NOTES.md has the figures).
constexpr std::size_t kMoveSize = std::size_t{1} << 20;

// Moves `size` bytes between `buffer` and the file at `offset`, at most kMoveSize a call, with
// `io` (pread or pwrite: returns the bytes moved, 0 at the end of the file, -1 on an error).
// Returns false when the bytes could not all be moved.
template <typename Io>
bool MoveAll(Io io, std::uint8_t* buffer, std::size_t size, std::uint64_t offset) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t moved = RetryOnInterrupt([&] {
      return io(buffer + done, std::min(kMoveSize, size - done), static_cast<off_t>(offset + done));
    });
    if (moved <= 0) return false;
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

UnnamedFile::UnnamedFile(const std::string& folder)
    : fd_(open(FolderPath(folder).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)) {}

bool UnnamedFile::WriteAt(const std::uint8_t* bytes, std::size_t size, std::uint64_t offset) {
  const int fd = fd_.get();
  return MoveAll(
      [fd](std::uint8_t* from, std::size_t count, off_t at) { return pwrite(fd, from, count, at); },
      const_cast<std::uint8_t*>(bytes), size, offset);
}

bool UnnamedFile::ReadAt(std::uint8_t* bytes, std::size_t size, std::uint64_t offset) {
  const int fd = fd_.get();
  return MoveAll(
      [fd](std::uint8_t* into, std::size_t count, off_t at) { return pread(fd, into, count, at); },
      bytes, size, offset);
}

void UnnamedFile::Release(std::uint64_t offset, std::size_t size) {
  fallocate(fd_.get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
            static_cast<off_t>(size));
}

void UnnamedFile::Empty() {
  if (ftruncate(fd_.get(), 0) != 0) {
    // Nothing more can be done: the space stays taken until the run ends.
  }
}

std::optional<FileSystemSpace> UnnamedFile::Space() const {
  return FileSpace(fd_.get());
}

}  // namespace quarnel
