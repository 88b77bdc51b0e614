#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "pages/page_table.h"

namespace quarnel {

// The extreme content boxes over all analysed pages, each with the index of the page that sets
// it. maxWidth x maxHeight is the size of every output page; maxRight and minTop anchor the
// placement of each page's box on it.
struct Extremes {
  std::int32_t maxRight = 0;
  std::int32_t minTop = std::numeric_limits<std::int32_t>::max();
  std::int32_t maxWidth = 0;
  std::int32_t maxHeight = 0;
  std::int32_t maxRightPage = 0;
  std::int32_t minTopPage = 0;
  std::int32_t maxWidthPage = 0;
  std::int32_t maxHeightPage = 0;

  friend bool operator==(const Extremes&, const Extremes&) = default;
};

// Takes the box of page `index` into the extremes. Each comparison is strict, so among equal
// values the page folded first (the earliest in table order) keeps the title.
void FoldIntoExtremes(Extremes& extremes, const ContentBox& box, std::int32_t index);

// The distinct pages that set the extremes, each once, in the order of its first appearance
// among maxRight, minTop, maxWidth and maxHeight.
std::vector<std::int32_t> ExtremePages(const Extremes& extremes);

}  // namespace quarnel
