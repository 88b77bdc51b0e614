#pragma once

// A scratch file without a name: it takes none of the process's memory, and it vanishes with its
// owner or with the process, however that ends.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "system/file_io.h"
#include "system/machine.h"

namespace quarnel {

class UnnamedFile {
 public:
  // Makes the file in `folder` ("" is the current folder), readable and writable by its owner
  // only. Without one (a file system that cannot make unnamed files), valid() is false.
  explicit UnnamedFile(const std::string& folder);

  bool valid() const { return fd_.valid(); }

  // Writes `size` bytes from `bytes` at `offset`, or reads them back into `bytes`; false when
  // not every byte could be moved (a full disk, a limit on the file size, a failing disk).
  bool WriteAt(const std::uint8_t* bytes, std::size_t size, std::uint64_t offset);
  bool ReadAt(std::uint8_t* bytes, std::size_t size, std::uint64_t offset);

  // Gives back the disk space and the cache of `size` bytes at `offset`, which read as zeros from
  // then on. Nothing happens where the file system cannot do it.
  void Release(std::uint64_t offset, std::size_t size);
  // Gives back all of the file's disk space and cache at once: it is empty from then on, and
  // every read of what it held fails.
  void Empty();

  // The room of the file system that holds the file; nullopt when it cannot be known.
  std::optional<FileSystemSpace> Space() const;

 private:
  FileDescriptor fd_;
};

}  // namespace quarnel
