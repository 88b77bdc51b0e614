#include "app/run_resources.h"

#include <sched.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace quarnel {

int AvailableCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(CPU_COUNT(&set), 1);
  return std::max(static_cast<int>(std::thread::hardware_concurrency()), 1);
}

namespace {

std::size_t PhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
}

}  // namespace

std::size_t DefaultBoxBudget() {
  constexpr std::size_t kMaxBudget = std::size_t{320} << 20;
  const std::size_t physical = PhysicalMemory();
  return physical == 0 ? kMaxBudget / 4 : std::min(kMaxBudget, physical / 4);
}

std::size_t DefaultFileBudget(const std::string& folder) {
  struct statvfs space {};
  if (statvfs(folder.empty() ? "." : folder.c_str(), &space) != 0) return 0;
  const std::size_t free = static_cast<std::size_t>(space.f_bavail) * space.f_frsize;
  return std::min(PhysicalMemory(), free) / 2;
}

}  // namespace quarnel
