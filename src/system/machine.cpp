#include "system/machine.h"

#include <linux/magic.h>
#include <sched.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <thread>

#include "system/file_io.h"

namespace quarnel {
namespace {

FileSystemSpace SpaceOf(const struct statfs& space) {
  const bool memory = space.f_type == TMPFS_MAGIC || space.f_type == RAMFS_MAGIC;
  const auto block = static_cast<std::uint64_t>(space.f_frsize ? space.f_frsize : space.f_bsize);
  return {static_cast<std::uint64_t>(space.f_bavail) * block,
          static_cast<std::uint64_t>(space.f_blocks) * block,
          memory ? FileSystemKind::kMemory : FileSystemKind::kDisk};
}

}  // namespace

int AvailableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(CPU_COUNT(&set), 1);
  return std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
}

std::size_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

std::optional<FileSystemSpace> FolderSpace(const std::string& folder) {
  struct statfs space {};
  if (statfs(FolderPath(folder).c_str(), &space) != 0) return std::nullopt;
  return SpaceOf(space);
}

std::optional<FileSystemSpace> FileSpace(int fd) {
  struct statfs space {};
  if (fstatfs(fd, &space) != 0) return std::nullopt;
  return SpaceOf(space);
}

std::string LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[64];
  if (localtime_r(&now, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local) == 0)
    return "";
  return text;
}

std::string CurrentFolder() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  return error ? std::string("/") : folder.string();
}

}  // namespace quarnel
