#include "app/run_resources.h"

#include <sched.h>
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

std::size_t DefaultBoxBudget() {
  constexpr std::size_t kMaxBudget = std::size_t{320} << 20;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxBudget / 4;
  const std::size_t physical = static_cast<std::size_t>(pages) * static_cast<std::size_t>(pageSize);
  return std::min(kMaxBudget, physical / 4);
}

}  // namespace quarnel
