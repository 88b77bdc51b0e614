#pragma once

// What the machine offers the run.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quarnel {

// The number of CPUs this process may run on (its affinity mask, so that `taskset -c 0` gives
// one), at least 1.
int AvailableCpus();

// The local time now, as "2026-12-07 21:30:05 +0100".
std::string LocalTimeNow();

// The absolute path of the current folder; "/" when it cannot be known.
std::string CurrentFolder();

// The bytes of physical memory; 0 when they cannot be known.
std::size_t PhysicalMemory();

// What kind of file system holds a file: one on a disk, or one that lives in memory (tmpfs,
// ramfs), whose files take memory as the process's own does.
enum class FileSystemKind { kDisk, kMemory };

// A file system's room, in bytes: what an unprivileged process may still write, and all of it.
struct FileSystemSpace {
  std::uint64_t free = 0;
  std::uint64_t size = 0;
  FileSystemKind kind = FileSystemKind::kDisk;
};

// The room of the file system that holds `folder` ("" is the current folder), or the open file
// `fd`; nullopt when it cannot be known.
std::optional<FileSystemSpace> FolderSpace(const std::string& folder);
std::optional<FileSystemSpace> FileSpace(int fd);

}  // namespace quarnel
