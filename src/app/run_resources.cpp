#include "app/run_resources.h"

#include <algorithm>

namespace quarnel {

std::size_t BoxBudget(std::size_t physical) {
  constexpr std::size_t kMaxBudget = std::size_t{320} << 20;
  return physical == 0 ? kMaxBudget / 4 : std::min(kMaxBudget, physical / 4);
}

std::size_t DefaultBoxBudget() {
  return BoxBudget(PhysicalMemory());
}

std::size_t FileBudget(const std::optional<FileSystemSpace>& space, std::size_t physical) {
  if (!space) return 0;
  const std::size_t budget =
      static_cast<std::size_t>(std::min<std::uint64_t>(physical, space->free) / 2);
  return space->kind == FileSystemKind::kMemory ? std::min(budget, BoxBudget(physical)) : budget;
}

std::size_t DefaultFileBudget(const std::string& folder) {
  return FileBudget(FolderSpace(folder), PhysicalMemory());
}

}  // namespace quarnel
