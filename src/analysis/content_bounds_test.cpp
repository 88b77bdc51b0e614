#include "analysis/content_bounds.h"
#include "analysis/extremes.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "test_support.h"

namespace quarnel {
namespace {

TEST(ScanProfileEdge, Table) {
  const std::tuple<std::vector<std::int32_t>, std::int32_t, std::int32_t, std::int32_t> cases[] = {
      {{0, 0, 0, 1, 1, 1, 1, 1, 0, 0}, 2, 3, 7},
      {{0, 1, 1, 0, 0, 0, 0, 5, 5}, 2, 7, 8},            // a run of two is not accepted at noise 2
      {{0, 0, 3, 0, 0, 0, 0, 1, 1, 1, 1, 0}, 2, 2, 10},  // 3 exceeds the noise: accepted at once
      {{0, 1, 0, 1, 0, 1, 0, 0, 0, 0}, 2, 1, 5},         // gaps of one zero keep the candidate
      {{1, 0, 0, 0, 0, 5, 5, 5, 0}, 2, 5, 7},            // a gap of four zeros drops index 0
      {{1, 0, 0, 0, 5, 5, 5, 0}, 2, 5, 6},  // a gap of three is noticed at 4, which starts nothing
      {{0, 1, 0, 0, 0, 0, 0, 1, 0}, 2, 7, 1},  // nothing accepted: start of the last candidate
      {{1, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 5, 0, 2},  // the 9 ends a gap and is not tested
      {{2, 0, 0, 0, 0, 5, 5}, 2, 5, 6},  // 2 does not exceed the noise: dropped after a gap of four
      {{0, 0, 0, 0}, 2, -1, -1},
  };
  for (const auto& [profile, noise, forward, backward] : cases) {
    const auto n = static_cast<std::int32_t>(profile.size());
    SCOPED_TRACE(::testing::PrintToString(profile) + " noise " + std::to_string(noise));
    EXPECT_EQ(ScanProfileEdge(profile.data(), n, true, noise), forward);
    EXPECT_EQ(ScanProfileEdge(profile.data(), n, false, noise), backward);
  }
}

// Random pages, seen through views inside an all-dark buffer, with widths around the 32-pixel
// chunks of the scans, compared with the reference in both modes, on the whole page and within
// the cells of a mask.
TEST(FindContentBounds, MatchesTheReference) {
  std::mt19937 rng(20240611);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int it = 0; it < 3000; ++it) {
    const int w = std::array{1, 2, 5, 31, 32, 33, 63, 64, 65, 100}[it % 10], h = uniform(1, 40);
    const int black = uniform(1, 255), stride = w + uniform(0, 40), pad = uniform(0, 3);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * (h + 2 * pad), 0);
    const MutableGrayView page{buffer.data() + pad * stride + pad, w, h, stride};
    std::bernoulli_distribution isDark(std::array{0.001, 0.005, 0.02, 0.2}[uniform(0, 3)]);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        page.Row(y)[x] = isDark(rng) ? uniform(0, black - 1) : uniform(black, 255);
    const std::int32_t noise = uniform(0, 4);
    ASSERT_EQ(FindContentBounds(page, black, noise), test::ReferenceBox(page, black, noise))
        << "iteration " << it;
    // Within the cells of a random mask: the box of the page with every pixel outside them white.
    const int cell = uniform(1, 7);
    CellMask mask{cell, (w + cell - 1) / cell, (h + cell - 1) / cell, {}};
    std::bernoulli_distribution inMask(std::array{0.0, 0.3, 0.8, 1.0}[uniform(0, 3)]);
    for (int k = mask.columns * mask.rows; k > 0; --k) mask.cells.push_back(inMask(rng));
    test::TestPage masked(w, h);
    for (int i = 0; i < w * h; ++i)
      if (mask.Has(i % w / cell, i / w / cell)) masked.at(i % w, i / w) = page.Row(i / w)[i % w];
    ASSERT_EQ(FindContentBoundsInCells(page, black, noise, mask),
              test::ReferenceBox(masked.View(), black, noise))
        << "iteration " << it << ", cells of " << cell;
  }
}

// The -z pass writes each extreme page once, in the order right, top, width, height.
TEST(ExtremePages, FirstAppearanceOrder) {
  EXPECT_EQ(ExtremePages({{{{0, 2}, {0, 2}, {0, 0}, {0, 2}}}}), (std::vector<std::int32_t>{2, 0}));
  EXPECT_EQ(ExtremePages({{{{0, 3}, {0, 1}, {0, 1}, {0, 2}}}}),
            (std::vector<std::int32_t>{3, 1, 2}));
}

}  // namespace
}  // namespace quarnel
