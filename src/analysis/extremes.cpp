#include "analysis/extremes.h"

#include <algorithm>

namespace quarnel {

std::int32_t BoxValue(const ContentBox& box, ExtremeKind kind) {
  switch (kind) {
    case ExtremeKind::kRight:
      return box.right;
    case ExtremeKind::kTop:
      return box.top;
    case ExtremeKind::kWidth:
      return box.width;
    case ExtremeKind::kHeight:
      break;
  }
  return box.height;
}

const char* ExtremeName(ExtremeKind kind) {
  static constexpr const char* kNames[] = {"right", "top", "width", "height"};
  return kNames[static_cast<int>(kind)];
}

void FoldIntoExtremes(Extremes& extremes, const ContentBox& box, std::int32_t index) {
  for (const ExtremeKind kind : kExtremeKinds) {
    Extreme& extreme = extremes[kind];
    const std::int32_t value = BoxValue(box, kind);
    // The top edge is the smallest one; the others are the largest.
    if (kind == ExtremeKind::kTop ? value < extreme.value : value > extreme.value)
      extreme = Extreme{value, index};
  }
}

std::vector<std::int32_t> ExtremePages(const Extremes& extremes) {
  std::vector<std::int32_t> pages;
  for (const Extreme& extreme : extremes.entries) {
    if (std::find(pages.begin(), pages.end(), extreme.page) == pages.end())
      pages.push_back(extreme.page);
  }
  return pages;
}

Placement ComputePlacement(const ContentBox& box, const Extremes& extremes) {
  Placement placement;
  placement.offsetX = std::max(box.left() - (extremes.maxRight() - extremes.maxWidth()), 0);
  const std::int64_t boxBottom = static_cast<std::int64_t>(box.top) + box.height;
  const std::int64_t windowBottom =
      static_cast<std::int64_t>(extremes.minTop()) + extremes.maxHeight();
  placement.offsetY =
      boxBottom > windowBottom ? extremes.maxHeight() - box.height : box.top - extremes.minTop();
  return placement;
}

}  // namespace quarnel
