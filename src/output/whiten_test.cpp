#include "output/whiten.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quarnel {
namespace {

// The rule written out plainly: a box pixel becomes 255 when no pixel of the box within four
// rows and four columns of it is darker than `white`; boxes under 5 pixels wide or high stay.
std::vector<std::uint8_t> Reference(const std::vector<std::uint8_t>& box, int w, int h, int white) {
  std::vector<std::uint8_t> out = box;
  if (w < 5 || h < 5) return out;
  for (int r = 0; r < h; ++r) {
    for (int c = 0; c < w; ++c) {
      bool dark = false;
      for (int y = std::max(r - 4, 0); y <= std::min(r + 4, h - 1); ++y) {
        for (int x = std::max(c - 4, 0); x <= std::min(c + 4, w - 1); ++x) {
          dark = dark || box[y * w + x] < white;
        }
      }
      if (!dark) out[r * w + c] = 255;
    }
  }
  return out;
}

// A box placed at (x0, y0) inside a larger canvas whose other pixels hold a fixed pattern of
// dark and light values: the filter must neither change them nor let them change the box.
struct Placed {
  int w, h, x0, y0, stride, rows;
  std::vector<std::uint8_t> canvas;
  Placed(const std::vector<std::uint8_t>& box, int w_, int h_, int x0_, int y0_, int padRight,
         int padBottom)
      : w(w_), h(h_), x0(x0_), y0(y0_), stride(x0_ + w_ + padRight), rows(y0_ + h_ + padBottom) {
    canvas.resize(static_cast<std::size_t>(stride) * rows);
    for (std::size_t i = 0; i < canvas.size(); ++i) canvas[i] = Sentinel(i);
    for (int r = 0; r < h; ++r) std::copy_n(&box[r * w], w, &canvas[(y0 + r) * stride + x0]);
  }
  static std::uint8_t Sentinel(std::size_t i) { return static_cast<std::uint8_t>(i * 37 + 11); }
  bool Inside(std::size_t i) const {
    const int x = static_cast<int>(i % stride), y = static_cast<int>(i / stride);
    return x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
  }
  void Whiten(int white) {
    std::vector<std::uint8_t> scratch(WhitenScratchSize(w), 0xA5);  // exact size, junk inside
    WhitenBackground(MutableGrayView{canvas.data(), stride, rows, stride}.Sub(x0, y0, w, h), white,
                     scratch);
  }
  std::vector<std::uint8_t> Box() const {
    std::vector<std::uint8_t> box(static_cast<std::size_t>(w) * h);
    for (int r = 0; r < h; ++r) std::copy_n(&canvas[(y0 + r) * stride + x0], w, &box[r * w]);
    return box;
  }
  int OutsideChanged() const {
    int changed = 0;
    for (std::size_t i = 0; i < canvas.size(); ++i)
      changed += !Inside(i) && canvas[i] != Sentinel(i);
    return changed;
  }
};

TEST(WhitenBackground, MatchesReferenceOnRandomBoxes) {
  std::mt19937 rng(7301);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const double densities[] = {0.0, 0.002, 0.01, 0.04, 0.15, 0.6};
  for (int iteration = 0; iteration < 1500; ++iteration) {
    const int w = uniform(1, 40), h = uniform(1, 40), white = uniform(1, 255);
    std::bernoulli_distribution isDark(densities[uniform(0, std::size(densities) - 1)]);
    std::vector<std::uint8_t> box(static_cast<std::size_t>(w) * h);
    for (std::uint8_t& v : box) {
      v = static_cast<std::uint8_t>(isDark(rng) ? uniform(0, white - 1) : uniform(white, 255));
    }
    Placed placed(box, w, h, uniform(0, 6), uniform(0, 6), uniform(0, 6), uniform(0, 6));
    placed.Whiten(white);
    SCOPED_TRACE("iteration " + std::to_string(iteration) + ", " + std::to_string(w) + "x" +
                 std::to_string(h) + ", white " + std::to_string(white));
    ASSERT_EQ(placed.Box(), Reference(box, w, h, white));
    ASSERT_EQ(placed.OutsideChanged(), 0);
  }
}

struct NamedCase {
  std::string name;
  int w, h;
  std::vector<std::array<int, 4>> dark;  // columns x0 ... x1 of row y set to value: x0, x1, y, v
  int white;
  int kept;  // box pixels not set to 255
  std::uint8_t background = 230;
};

TEST(WhitenBackground, NamedCases) {
  const std::vector<NamedCase> cases = {
      {"one dark pixel", 40, 30, {{20, 20, 15, 100}}, 200, 81},
      {"pixel equal to white", 40, 30, {{20, 20, 15, 200}}, 200, 0},
      {"pixel just below white", 40, 30, {{20, 20, 15, 199}}, 200, 81},
      {"pixel near the corner", 40, 30, {{2, 2, 1, 100}}, 200, 42},
      {"dark run", 100, 40, {{10, 60, 20, 50}}, 200, 531},
      {"no dark pixel", 40, 30, {}, 200, 0},
      {"5 x 5 is filtered", 5, 5, {}, 200, 0},
      {"5 x 4 stays", 5, 4, {}, 200, 20},
      {"4 x 5 stays", 4, 5, {}, 200, 20},
      {"white 1", 40, 30, {{20, 20, 15, 1}, {5, 5, 5, 0}}, 1, 81},
  };
  for (const NamedCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> box(static_cast<std::size_t>(c.w) * c.h, c.background);
    for (const auto& [x0, x1, y, v] : c.dark) {
      for (int x = x0; x <= x1; ++x) box[y * c.w + x] = static_cast<std::uint8_t>(v);
    }
    for (const auto& [x0, y0] : {std::pair{0, 0}, std::pair{3, 2}}) {
      Placed placed(box, c.w, c.h, x0, y0, 5, 4);
      placed.Whiten(c.white);
      const std::vector<std::uint8_t> out = placed.Box();
      EXPECT_EQ(out, Reference(box, c.w, c.h, c.white));
      EXPECT_EQ(std::count_if(out.begin(), out.end(), [](std::uint8_t v) { return v != 255; }),
                c.kept);
      EXPECT_EQ(placed.OutsideChanged(), 0);
    }
  }
}

}  // namespace
}  // namespace quarnel
