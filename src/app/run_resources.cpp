#include "app/run_resources.h"

#include <algorithm>

#include "system/machine.h"

namespace quarnel {

std::size_t DefaultBoxBudget() {
  constexpr std::size_t kMaxBudget = std::size_t{320} << 20;
  const std::size_t physical = PhysicalMemory();
  return physical == 0 ? kMaxBudget / 4 : std::min(kMaxBudget, physical / 4);
}

std::size_t DefaultFileBudget(const std::string& folder) {
  const auto free = FreeSpace(folder);
  if (!free) return 0;
  return std::min(PhysicalMemory(), *free) / 2;
}

}  // namespace quarnel
