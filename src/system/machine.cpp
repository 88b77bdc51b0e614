#include "system/machine.h"

#include <sched.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "system/file_io.h"

namespace quarnel {

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

std::optional<std::size_t> FreeSpace(const std::string& folder) {
  struct statvfs space {};
  if (statvfs(FolderPath(folder).c_str(), &space) != 0) return std::nullopt;
  return static_cast<std::size_t>(space.f_bavail) * space.f_frsize;
}

}  // namespace quarnel
