#include "output/whiten.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>
#include <vector>

namespace quarnel {
namespace {

// The rule written out plainly: a box pixel becomes 255 when no pixel of the box within four
// rows and four columns of it is darker than `white`; boxes under 5 pixels wide or high stay.
std::vector<std::uint8_t> Reference(const std::vector<std::uint8_t>& box, int w, int h, int white) {
  std::vector<std::uint8_t> out = box;
  for (int r = 0; r < h && w >= 5 && h >= 5; ++r) {
    for (int c = 0; c < w; ++c) {
      bool dark = false;
      for (int y = std::max(r - 4, 0); y <= std::min(r + 4, h - 1); ++y)
        for (int x = std::max(c - 4, 0); x <= std::min(c + 4, w - 1); ++x)
          dark = dark || box[y * w + x] < white;
      if (!dark) out[r * w + c] = 255;
    }
  }
  return out;
}

// `box` at (x0, y0) in a buffer of sentinels, `pad` larger than it on the right and bottom.
std::vector<std::uint8_t> Placed(const std::vector<std::uint8_t>& box, int w, int h, int x0, int y0,
                                 int pad) {
  const int stride = x0 + w + pad;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * (y0 + h + pad));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i * 37 + 11);
  for (int r = 0; r < h; ++r) std::copy_n(&box[r * w], w, &out[(y0 + r) * stride + x0]);
  return out;
}

// Random boxes inside a larger buffer, with junk in an exactly sized scratch.
TEST(WhitenBackground, MatchesReferenceOnRandomBoxes) {
  std::mt19937 rng(7301);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int it = 0; it < 1500; ++it) {
    const int w = uniform(1, 40), h = uniform(1, 40), white = uniform(1, 255);
    const int x0 = uniform(0, 6), y0 = uniform(0, 6), pad = uniform(0, 6), stride = x0 + w + pad;
    std::bernoulli_distribution isDark(std::array{0.0, 0.002, 0.01, 0.04, 0.2, 0.6}[uniform(0, 5)]);
    std::vector<std::uint8_t> box(static_cast<std::size_t>(w) * h),
        scratch(WhitenScratchSize(w), 0xA5);
    for (std::uint8_t& v : box)
      v = static_cast<std::uint8_t>(isDark(rng) ? uniform(0, white - 1) : uniform(white, 255));
    std::vector<std::uint8_t> buffer = Placed(box, w, h, x0, y0, pad);
    WhitenBackground(MutableGrayView{&buffer[y0 * stride + x0], w, h, stride}, white, scratch);
    ASSERT_EQ(buffer, Placed(Reference(box, w, h, white), w, h, x0, y0, pad))
        << "it " << it << ", " << w << "x" << h << ", white " << white;
  }
}

// One pixel darker than white keeps the 9 x 9 square around it; a pixel equal to white is light.
TEST(WhitenBackground, KeepsTheSquareAroundEachDarkPixel) {
  for (const auto& [value, kept] : {std::pair{199, 81}, {200, 0}}) {
    std::vector<std::uint8_t> box(40 * 30, 230), scratch(WhitenScratchSize(40));
    box[15 * 40 + 20] = static_cast<std::uint8_t>(value);
    WhitenBackground(MutableGrayView{box.data(), 40, 30, 40}, 200, scratch);
    EXPECT_EQ(std::count_if(box.begin(), box.end(), [](std::uint8_t v) { return v != 255; }), kept);
  }
}

}  // namespace
}  // namespace quarnel
