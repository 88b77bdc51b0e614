#include "analysis/extremes.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarnel {
namespace {

// Page 1 sets the right edge, 2 the top, 0 the width, 3 the height; every later page ties each
// final value, which must not take the title. Four distinct pages pin the order of ExtremePages.
TEST(Extremes, StrictTieBreakAndExtremePagesOrder) {
  const ContentBox boxes[] = {{900, 100, 500, 600},
                              {950, 100, 500, 600},
                              {950, 90, 500, 600},
                              {950, 90, 500, 650},
                              {950, 90, 500, 650}};
  Extremes extremes;
  for (std::int32_t i = 0; i < 5; ++i) FoldIntoExtremes(extremes, boxes[i], i);
  EXPECT_EQ(extremes, (Extremes{950, 90, 500, 650, 1, 2, 0, 3}));
  EXPECT_EQ(ExtremePages(extremes), (std::vector<std::int32_t>{1, 2, 0, 3}));
  EXPECT_EQ(ExtremePages(Extremes{0, 0, 0, 0, 2, 0, 0, 2}), (std::vector<std::int32_t>{2, 0}));
}

}  // namespace
}  // namespace quarnel
