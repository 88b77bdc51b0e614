#include "analysis/content_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

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
      {{0, 0, 0, 0}, 2, -1, -1},
      {{}, 2, -1, -1},
  };
  for (const auto& [profile, noise, forward, backward] : cases) {
    const auto n = static_cast<std::int32_t>(profile.size());
    SCOPED_TRACE(::testing::PrintToString(profile) + " noise " + std::to_string(noise));
    EXPECT_EQ(ScanProfileEdge(profile.data(), n, true, noise), forward);
    EXPECT_EQ(ScanProfileEdge(profile.data(), n, false, noise), backward);
  }
}

TEST(FindContentBounds, Table) {
  using B = ContentBox;
  struct Case {
    std::vector<std::array<int, 4>> dark;  // {x0, y0, x1, y1} (inclusive) at 119 on a white page
    std::optional<B> plain;
    std::optional<std::optional<B>> noise2 = std::nullopt;  // unset: as plain
    int black = 120, width = 100, height = 80;
  };
  const std::array<int, 4> block{20, 10, 59, 29}, dot{10, 10, 10, 10};
  const std::optional<B> none, blockBox = B{64, 5, 49, 29};
  // clang-format off
  const Case cases[] = {
      {{block}, blockBox}, {{block}, none, none, 119} /* dark value == black */, {{}, none},
      {{block, {90, 2, 90, 2}, {3, 70, 3, 70}}, B{95, 0, 95, 75}, blockBox},  // specks
      // Clamping: borders; last column and row 93 ... 96, 73 ... 76; first column and row 5 ... 7.
      {{{0, 3, 97, 79}}, B{100, 0, 100, 80}}, {{{7, 7, 59, 29}}, B{64, 2, 62, 32}},
      {{{20, 10, 93, 73}}, B{98, 5, 83, 73}}, {{{20, 10, 94, 74}}, B{99, 5, 84, 74}},
      {{{20, 10, 95, 75}}, B{100, 5, 85, 75}}, {{{20, 10, 96, 76}}, B{100, 5, 85, 75}},
      {{{5, 5, 59, 29}}, B{64, 0, 64, 34}}, {{{6, 6, 59, 29}}, B{64, 1, 63, 33}},
      {{dot}, none}, {{{10, 40, 80, 40}}, none}, {{{30, 10, 30, 60}}, none},  // pixel, row, column
      {{dot, {11, 11, 11, 11}}, B{16, 5, 11, 11}},
      {{dot, {60, 40, 60, 40}}, B{65, 5, 60, 40}, none},  // the noise-mode edges cross
      // Row profile 0 1 0 0 0 6 6 6 6 6 0 0: the gap of three rows is noticed one row late.
      {{{4, 1, 4, 1}, {2, 5, 7, 9}}, B{10, 0, 10, 12}, B{10, 1, 10, 11}, 120, 10, 12},
      {{{4, 0, 4, 0}, {2, 5, 7, 9}}, B{10, 0, 10, 12}, {}, 120, 10, 12},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.dark) + " black " + std::to_string(c.black));
    testing::TestPage page(c.width, c.height);
    for (const auto& [x0, y0, x1, y1] : c.dark) page.Fill(x0, y0, x1, y1, 119);
    const GrayView view{page.pixels.data(), page.width, page.height, page.width};
    EXPECT_EQ(FindContentBounds(view, c.black, 0), c.plain);
    EXPECT_EQ(FindContentBounds(view, c.black, 2), c.noise2.value_or(c.plain));
  }
}

// Random pages as views inside an all-dark buffer, with widths around the 32-pixel chunks.
TEST(FindContentBounds, MatchesBruteForceOnRandomPages) {
  std::mt19937 rng(20240611);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int widths[] = {1, 2, 5, 31, 32, 33, 63, 64, 65, 97, 100};
  for (int it = 0; it < 3000; ++it) {
    const int w = widths[it % std::size(widths)], h = uniform(1, 40), black = uniform(1, 255);
    const int padX = uniform(0, 3), padY = uniform(0, 2), stride = w + padX + uniform(0, 40);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * (h + 2 * padY), 0);
    const MutableGrayView page{buffer.data() + padY * stride + padX, w, h, stride};
    auto at = [&](int i) -> std::uint8_t& { return page.Row(i / w)[i % w]; };
    std::bernoulli_distribution isDark(std::array{0.0, 0.001, 0.005, 0.02, 0.2}[uniform(0, 4)]);
    for (int i = 0; i < w * h; ++i)
      at(i) = static_cast<std::uint8_t>(isDark(rng) ? uniform(0, black - 1) : uniform(black, 255));
    for (int k = uniform(0, 2); k > 0; --k) at(uniform(0, w * h - 1)) = 0;
    int left = w, right = -1, top = h, bottom = -1;
    std::vector<std::int32_t> rows(h, 0), columns(w, 0);
    for (int i = 0; i < w * h; ++i) {
      if (at(i) >= black) continue;
      const int x = i % w, y = i / w;
      left = std::min(left, x), right = std::max(right, x), ++rows[y], ++columns[x];
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
    auto box = [&](int l, int r, int t, int b) -> std::optional<ContentBox> {
      if (l < 0 || t < 0 || l >= r || t >= b) return std::nullopt;
      const int x0 = std::max(l - 5, 0), x1 = std::min(r + 5, w), y0 = std::max(t - 5, 0);
      return ContentBox{x1, y0, x1 - x0, std::min(b + 5, h) - y0};
    };
    ASSERT_EQ(FindContentBounds(page, black, 0), box(left, right, top, bottom)) << "it " << it;
    const std::int32_t noise = uniform(1, 4);
    auto edge = [&](auto& p, int n, bool f) { return ScanProfileEdge(p.data(), n, f, noise); };
    ASSERT_EQ(FindContentBounds(page, black, noise),
              box(edge(columns, w, true), edge(columns, w, false), edge(rows, h, true),
                  edge(rows, h, false)))
        << "it " << it;
  }
}

}  // namespace
}  // namespace quarnel
