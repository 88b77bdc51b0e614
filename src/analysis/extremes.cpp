#include "analysis/extremes.h"

#include <algorithm>

namespace quarnel {

void FoldIntoExtremes(Extremes& extremes, const ContentBox& box, std::int32_t index) {
  if (box.width > extremes.maxWidth) {
    extremes.maxWidth = box.width;
    extremes.maxWidthPage = index;
  }
  if (box.height > extremes.maxHeight) {
    extremes.maxHeight = box.height;
    extremes.maxHeightPage = index;
  }
  if (box.top < extremes.minTop) {
    extremes.minTop = box.top;
    extremes.minTopPage = index;
  }
  if (box.right > extremes.maxRight) {
    extremes.maxRight = box.right;
    extremes.maxRightPage = index;
  }
}

std::vector<std::int32_t> ExtremePages(const Extremes& extremes) {
  std::vector<std::int32_t> pages;
  for (const std::int32_t page : {extremes.maxRightPage, extremes.minTopPage, extremes.maxWidthPage,
                                  extremes.maxHeightPage}) {
    if (std::find(pages.begin(), pages.end(), page) == pages.end()) pages.push_back(page);
  }
  return pages;
}

}  // namespace quarnel
