#include "output/compose.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

// A page image whose every pixel tells its own column and row apart from its neighbours' and is
// never 255, so a misplaced column or row, or a pixel left white, shows up.
struct PatternImage {
  std::int32_t width, height;
  std::vector<std::uint8_t> pixels;
  PatternImage(std::int32_t w, std::int32_t h)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) pixels[static_cast<std::size_t>(y) * w + x] = At(x, y);
    }
  }
  static std::uint8_t At(std::int32_t x, std::int32_t y) {
    return static_cast<std::uint8_t>((x * 3 + y * 7) % 251);
  }
  GrayView View() const { return GrayView{pixels.data(), width, height, width}; }
};

// The number of canvas pixels that differ from the box placed at `at` on white.
std::int64_t Misplaced(const Canvas& canvas, const ContentBox& box, Placement at) {
  std::int64_t wrong = 0;
  for (std::int32_t y = 0; y < canvas.height; ++y) {
    for (std::int32_t x = 0; x < canvas.width; ++x) {
      const std::int32_t j = x - at.offsetX, k = y - at.offsetY;
      const bool inBox = j >= 0 && j < box.width && k >= 0 && k < box.height;
      const std::uint8_t expected = inBox ? PatternImage::At(box.left() + j, box.top + k) : 255;
      wrong += canvas.View().Row(y)[x] != expected;
    }
  }
  return wrong;
}

struct PlacementCase {
  std::string name;
  ContentBox box;
  Placement expected;
};

// The canvas is 800 x 1200 and shows the image columns 200 ... 999 and rows 50 ... 1249.
TEST(Placement, TableAndWhereTheBoxLands) {
  const Extremes extremes{1000, 50, 800, 1200, 0, 0, 0, 0};
  const std::vector<PlacementCase> cases = {
      {"narrower page", {900, 100, 500, 600}, {200, 50}},
      {"box left of the window", {700, 100, 650, 600}, {0, 50}},
      {"overflowing bottom", {900, 700, 500, 900}, {200, 300}},
      {"bottom equal to the window's", {900, 650, 500, 600}, {200, 600}},
      {"bottom one past the window's", {900, 651, 500, 600}, {200, 600}},
      {"page setting all four", {1000, 50, 800, 1200}, {0, 0}},
      {"box at right and bottom image borders", {1000, 300, 700, 1100}, {100, 100}},
      {"left edge on the window's first column", {900, 60, 700, 10}, {0, 10}},
  };
  const PatternImage image(1000, 1600);
  Canvas canvas = Canvas::Create(extremes.maxWidth, extremes.maxHeight);
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Placement at = ComputePlacement(c.box, extremes);
    EXPECT_EQ(at, c.expected);
    ComposePage(canvas, extremes, 256, c.box,
                image.View().Sub(c.box.left(), c.box.top, c.box.width, c.box.height));
    EXPECT_EQ(Misplaced(canvas, c.box, c.expected), 0);
  }
}

TEST(Placement, BoxFitsImage) {
  EXPECT_TRUE(BoxFitsImage({1000, 300, 700, 1100}, 1000, 1400));
  EXPECT_TRUE(BoxFitsImage({1, 0, 1, 1}, 1, 1));
  EXPECT_FALSE(BoxFitsImage({1001, 300, 700, 1100}, 1000, 1400));  // one column past the right
  EXPECT_FALSE(BoxFitsImage({1000, 301, 700, 1100}, 1000, 1400));  // one row past the bottom
  EXPECT_FALSE(BoxFitsImage({699, 300, 700, 1100}, 1000, 1400));   // left edge -1
  EXPECT_FALSE(BoxFitsImage({1000, -1, 700, 1100}, 1000, 1400));
  EXPECT_FALSE(BoxFitsImage({1000, 300, 0, 1100}, 1000, 1400));
  EXPECT_FALSE(BoxFitsImage({1000, 300, 700, 0}, 1000, 1400));
  EXPECT_FALSE(BoxFitsImage({1000, 300, -5, 10}, 1000, 1400));
}

bool AllWhite(const Canvas& canvas) {
  for (const std::uint8_t v : canvas.pixels) {
    if (v != 255) return false;
  }
  return true;
}

// Small pages on one reused canvas: nothing of a page survives into the next one.
TEST(ComposePage, CanvasCarriesNothingFromPageToPage) {
  const Extremes extremes{60, 10, 40, 30, 0, 0, 0, 0};
  const PatternImage image(60, 50);
  Canvas canvas = Canvas::Create(40, 30);
  const ContentBox first{60, 10, 40, 30};
  ComposePage(canvas, extremes, 256, first, image.View().Sub(20, 10, 40, 30));
  EXPECT_EQ(Misplaced(canvas, first, {0, 0}), 0);

  const ContentBox second{50, 20, 12, 7};
  ComposePage(canvas, extremes, 256, second, image.View().Sub(38, 20, 12, 7));
  EXPECT_EQ(Misplaced(canvas, second, {18, 10}), 0);

  ComposePage(canvas, extremes, 256, first, image.View().Sub(20, 10, 40, 30));
  ComposePage(canvas, extremes, 256, std::nullopt, GrayView{});
  EXPECT_TRUE(AllWhite(canvas));

  for (const ContentBox empty : {ContentBox{50, 20, 0, 7}, ContentBox{50, 20, 12, -3}}) {
    ComposePage(canvas, extremes, 256, first, image.View().Sub(20, 10, 40, 30));
    ComposePage(canvas, extremes, 255, empty, GrayView{});
    EXPECT_TRUE(AllWhite(canvas));
  }
}

// White 256 saves the box as placed; below 256 the filter whitens the light pixels away from dark
// ones (with white 255 every pixel under 255 counts as dark, so that page stays as placed too).
TEST(ComposePage, WhiteBelow256RunsTheFilter) {
  const Extremes extremes{40, 0, 40, 30, 0, 0, 0, 0};
  std::vector<std::uint8_t> page(40 * 30, 230);
  page[15 * 40 + 20] = 100;
  const GrayView view{page.data(), 40, 30, 40};
  const ContentBox box{40, 0, 40, 30};
  Canvas canvas = Canvas::Create(40, 30);

  ComposePage(canvas, extremes, 256, box, view);
  EXPECT_EQ(canvas.pixels, page);
  ComposePage(canvas, extremes, 255, box, view);
  EXPECT_EQ(canvas.pixels, page);

  ComposePage(canvas, extremes, 200, box, view);
  std::vector<std::uint8_t> expected(page.size(), 255);
  for (std::int32_t y = 11; y <= 19; ++y) {
    for (std::int32_t x = 16; x <= 24; ++x) expected[y * 40 + x] = page[y * 40 + x];
  }
  EXPECT_EQ(canvas.pixels, expected);
}

}  // namespace
}  // namespace quarnel
