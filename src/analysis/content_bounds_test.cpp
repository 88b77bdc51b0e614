#include "analysis/content_bounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace quarnel {
namespace {

using testing::TestPage;

struct ProfileCase {
  std::vector<std::int32_t> profile;
  std::int32_t noise;
  std::int32_t forward;
  std::int32_t backward;
};

TEST(ScanProfileEdge, Table) {
  const ProfileCase cases[] = {
      {{0, 0, 0, 1, 1, 1, 1, 1, 0, 0}, 2, 3, 7},
      {{0, 0, 3, 0, 0, 0, 0, 1, 1, 1, 1, 0}, 2, 2, 10},  // 3 exceeds the noise: accepted at once
      {{0, 1, 0, 1, 0, 1, 0, 0, 0, 0}, 2, 1, 5},         // gaps of one zero keep the candidate
      {{1, 0, 0, 0, 0, 5, 5, 5, 0}, 2, 5, 7},            // a gap of four zeros drops index 0
      {{1, 0, 0, 0, 5, 5, 5, 0}, 2, 5, 6},  // a gap of three is noticed at 4, which starts nothing
      {{0, 1, 0, 0, 0, 0, 0, 1, 0}, 2, 7, 1},  // nothing accepted: start of the last candidate
      {{0, 0, 0, 0}, 2, -1, -1},
      {{1, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 5, 0, 2},  // the 9 ends a gap and is not tested
      {{}, 2, -1, -1},
  };
  for (const ProfileCase& c : cases) {
    const auto length = static_cast<std::int32_t>(c.profile.size());
    const std::vector<std::int32_t> before = c.profile;
    SCOPED_TRACE(::testing::PrintToString(c.profile) + " noise " + std::to_string(c.noise));
    EXPECT_EQ(ScanProfileEdge(c.profile.data(), length, true, c.noise), c.forward);
    EXPECT_EQ(ScanProfileEdge(c.profile.data(), length, false, c.noise), c.backward);
    EXPECT_EQ(c.profile, before);
  }
}

struct Rect {
  int x0, y0, x1, y1;  // inclusive
  std::uint8_t value = 0;
};

struct BoundsCase {
  std::string name;
  std::vector<Rect> dark;
  std::optional<ContentBox> plain;
  std::optional<ContentBox> noise2;  // noise-tolerant mode, noise 2
  std::int32_t black = 120;
  int width = 100;
  int height = 80;
};

TEST(FindContentBounds, Table) {
  using B = ContentBox;
  const std::optional<ContentBox> none;
  const Rect block{20, 10, 59, 29};
  const B blockBox{64, 5, 49, 29};
  // clang-format off
  const std::vector<BoundsCase> cases = {
      {"rectangle", {block}, blockBox, blockBox},
      {"specks", {block, {90, 2, 90, 2}, {3, 70, 3, 70}}, B{95, 0, 95, 75}, blockBox},
      {"touches borders", {{0, 3, 97, 79}}, B{100, 0, 100, 80}, B{100, 0, 100, 80}},
      {"last column 93", {{20, 10, 93, 29}}, B{98, 5, 83, 29}, B{98, 5, 83, 29}},
      {"last column 94", {{20, 10, 94, 29}}, B{99, 5, 84, 29}, B{99, 5, 84, 29}},
      {"last column 95", {{20, 10, 95, 29}}, B{100, 5, 85, 29}, B{100, 5, 85, 29}},
      {"last column 96", {{20, 10, 96, 29}}, B{100, 5, 85, 29}, B{100, 5, 85, 29}},
      {"first column 5", {{5, 10, 59, 29}}, B{64, 5, 64, 29}, B{64, 5, 64, 29}},
      {"first column 6", {{6, 10, 59, 29}}, B{64, 5, 63, 29}, B{64, 5, 63, 29}},
      {"first column 7", {{7, 10, 59, 29}}, B{64, 5, 62, 29}, B{64, 5, 62, 29}},
      {"first row 5", {{20, 5, 59, 29}}, B{64, 0, 49, 34}, B{64, 0, 49, 34}},
      {"first row 6", {{20, 6, 59, 29}}, B{64, 1, 49, 33}, B{64, 1, 49, 33}},
      {"first row 7", {{20, 7, 59, 29}}, B{64, 2, 49, 32}, B{64, 2, 49, 32}},
      {"no dark pixel", {}, none, none},
      {"one pixel", {{30, 40, 30, 40}}, none, none},
      {"one row", {{10, 40, 80, 40}}, none, none},
      {"one column", {{30, 10, 30, 60}}, none, none},
      {"two pixels", {{10, 10, 10, 10}, {11, 11, 11, 11}}, B{16, 5, 11, 11}, B{16, 5, 11, 11}},
      // Scattered specks cross the noise-tolerant edges: no box.
      {"two distant pixels", {{10, 10, 10, 10}, {60, 40, 60, 40}}, B{65, 5, 60, 40}, none},
      // Row profile 0 1 0 0 0 6 6 6 6 6 0 0: the gap of three rows is noticed one row late.
      {"speck above block", {{4, 1, 4, 1}, {2, 5, 7, 9}}, B{10, 0, 10, 12}, B{10, 1, 10, 11},
       120, 10, 12},
      {"speck on top row", {{4, 0, 4, 0}, {2, 5, 7, 9}}, B{10, 0, 10, 12}, B{10, 0, 10, 12},
       120, 10, 12},
      {"black 0", {block}, none, none, 0},
      {"value equal to black", {{20, 10, 59, 29, 120}}, none, none},
      {"value just below black", {{20, 10, 59, 29, 119}}, blockBox, blockBox},
  };
  // clang-format on
  for (const BoundsCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestPage page(c.width, c.height, 255);
    for (const Rect& r : c.dark) page.Fill(r.x0, r.y0, r.x1, r.y1, r.value);
    const GrayView view{page.pixels.data(), page.width, page.height, page.width};
    EXPECT_EQ(FindContentBounds(view, c.black, 0), c.plain);
    EXPECT_EQ(FindContentBounds(view, c.black, 2), c.noise2);
  }
}

// The plain mode against the bounding box of the dark pixels found pixel by pixel, and the
// noise-tolerant mode against profiles counted pixel by pixel, on random sparse pages. Each page
// is a rectangle inside a larger buffer whose other pixels are all 0 (dark), so a scan that
// strays outside its view changes the result. The widths straddle the scans' 32-pixel chunks.
TEST(FindContentBounds, MatchesBruteForceOnRandomPages) {
  std::mt19937 rng(20240611);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int widths[] = {1, 2, 5, 31, 32, 33, 63, 64, 65, 97, 100};
  const double densities[] = {0.0, 0.001, 0.005, 0.02, 0.2};
  for (int iteration = 0; iteration < 3000; ++iteration) {
    const int w = widths[iteration % std::size(widths)];
    const int h = uniform(1, 40);
    const int padX = uniform(0, 3);
    const int padY = uniform(0, 2);
    const int stride = w + padX + uniform(0, 40);
    const int black = uniform(1, 255);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * (h + 2 * padY), 0);
    const GrayView view{buffer.data() + padY * stride + padX, w, h, stride};
    auto at = [&](int x, int y) -> std::uint8_t& { return buffer[(padY + y) * stride + padX + x]; };

    const double density = densities[uniform(0, std::size(densities) - 1)];
    std::bernoulli_distribution isDark(density);
    const int extra = uniform(0, 2);  // a few dark pixels even on the emptiest pages
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) at(x, y) = static_cast<std::uint8_t>(uniform(black, 255));
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (isDark(rng)) at(x, y) = static_cast<std::uint8_t>(uniform(0, black - 1));
      }
    }
    for (int k = 0; k < extra; ++k) at(uniform(0, w - 1), uniform(0, h - 1)) = 0;

    int left = w, right = -1, top = h, bottom = -1;
    std::vector<std::int32_t> rows(h, 0), columns(w, 0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (at(x, y) >= black) continue;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
        ++rows[y], ++columns[x];
      }
    }
    auto expectedBox = [&](int l, int r, int t, int b) -> std::optional<ContentBox> {
      if (l < 0 || r < 0 || t < 0 || b < 0 || l >= r || t >= b) return std::nullopt;
      const int outLeft = std::max(l - 5, 0), outRight = std::min(r + 5, w);
      const int outTop = std::max(t - 5, 0), outBottom = std::min(b + 5, h);
      return ContentBox{outRight, outTop, outRight - outLeft, outBottom - outTop};
    };
    SCOPED_TRACE("iteration " + std::to_string(iteration) + ", " + std::to_string(w) + "x" +
                 std::to_string(h) + ", stride " + std::to_string(stride) + ", black " +
                 std::to_string(black));
    ASSERT_EQ(FindContentBounds(view, black, 0),
              bottom < 0 ? std::nullopt : expectedBox(left, right, top, bottom));
    const std::int32_t noise = uniform(1, 4);
    ASSERT_EQ(FindContentBounds(view, black, noise),
              expectedBox(ScanProfileEdge(columns.data(), w, true, noise),
                          ScanProfileEdge(columns.data(), w, false, noise),
                          ScanProfileEdge(rows.data(), h, true, noise),
                          ScanProfileEdge(rows.data(), h, false, noise)));
  }
}

}  // namespace
}  // namespace quarnel
