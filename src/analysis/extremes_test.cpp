#include "analysis/extremes.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace quarnel {
namespace {

Extremes FoldAll(const std::vector<ContentBox>& boxes) {
  Extremes extremes;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    FoldIntoExtremes(extremes, boxes[i], static_cast<std::int32_t>(i));
  }
  return extremes;
}

TEST(Extremes, StartingValues) {
  const Extremes expected{0, std::numeric_limits<std::int32_t>::max(), 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Extremes{}, expected);
}

TEST(Extremes, EqualWidthsKeepTheEarlierPage) {
  const Extremes extremes = FoldAll({{400, 10, 300, 50}, {600, 10, 500, 50}, {600, 10, 500, 50}});
  EXPECT_EQ(extremes.maxWidth, 500);
  EXPECT_EQ(extremes.maxWidthPage, 1);
}

// Each field is compared strictly and on its own: a page takes exactly the titles it beats.
TEST(Extremes, StrictComparisonsPerField) {
  const ContentBox first{900, 100, 500, 600};
  struct Case {
    ContentBox second;
    Extremes expected;
  };
  const Case cases[] = {
      {first, {900, 100, 500, 600, 0, 0, 0, 0}},
      {{901, 100, 500, 600}, {901, 100, 500, 600, 1, 0, 0, 0}},
      {{900, 99, 500, 600}, {900, 99, 500, 600, 0, 1, 0, 0}},
      {{900, 100, 501, 600}, {900, 100, 501, 600, 0, 0, 1, 0}},
      {{900, 100, 500, 601}, {900, 100, 500, 601, 0, 0, 0, 1}},
      {{899, 101, 499, 599}, {900, 100, 500, 600, 0, 0, 0, 0}},
      {{1000, 0, 800, 1200}, {1000, 0, 800, 1200, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FoldAll({first, c.second}), c.expected)
        << c.second.right << " " << c.second.top << " " << c.second.width << " " << c.second.height;
  }
}

TEST(Extremes, ExtremePagesInOrderOfFirstAppearance) {
  struct Case {
    std::int32_t right, top, width, height;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {2, 2, 0, 2, {2, 0}},    {0, 0, 0, 0, {0}},    {3, 1, 0, 2, {3, 1, 0, 2}},
      {1, 0, 1, 2, {1, 0, 2}}, {4, 4, 4, 1, {4, 1}}, {0, 5, 5, 0, {0, 5}},
  };
  for (const Case& c : cases) {
    Extremes extremes;
    extremes.maxRightPage = c.right;
    extremes.minTopPage = c.top;
    extremes.maxWidthPage = c.width;
    extremes.maxHeightPage = c.height;
    EXPECT_EQ(ExtremePages(extremes), c.expected);
  }
}

// Page 2 sets the right edge, the top and the height, page 0 the width.
TEST(Extremes, FoldedPagesGiveTheirExtremePages) {
  const Extremes extremes =
      FoldAll({{800, 100, 700, 500}, {700, 120, 400, 400}, {900, 40, 650, 900}});
  EXPECT_EQ(extremes, (Extremes{900, 40, 700, 900, 2, 2, 0, 2}));
  EXPECT_EQ(ExtremePages(extremes), (std::vector<std::int32_t>{2, 0}));
}

}  // namespace
}  // namespace quarnel
