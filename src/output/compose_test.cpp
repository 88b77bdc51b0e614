#include "output/compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "test_support.h"

namespace quarnel {
namespace {

// Never 255, and distinct from the neighbours in row and column: a shifted or missing pixel shows.
std::uint8_t Pattern(int x, int y) {
  return static_cast<std::uint8_t>((x * 3 + y * 7) % 251);
}

// The 800 x 1200 canvas shows the image columns 200 ... 999 and rows 50 ... 1249. One canvas
// serves every case, so a pixel left from an earlier page shows as misplaced too.
TEST(ComposePage, PlacementTableOnOneCanvas) {
  const Extremes extremes{1000, 50, 800, 1200, 0, 0, 0, 0};
  const std::pair<ContentBox, Placement> cases[] = {
      {{900, 100, 500, 600}, {200, 50}},  {{700, 100, 650, 600}, {0, 50}},  // left of the window
      {{900, 700, 500, 900}, {200, 300}},                                   // overflows the bottom
      {{900, 650, 500, 600}, {200, 600}}, {{900, 651, 500, 600}, {200, 600}},
      {{1000, 50, 800, 1200}, {0, 0}},    {{1000, 300, 700, 1100}, {100, 100}},
      {{900, 60, 700, 10}, {0, 10}},
  };
  testing::TestPage image(1000, 1600);
  for (int i = 0; i < 1000 * 1600; ++i) image.pixels[i] = Pattern(i % 1000, i / 1000);
  const GrayView view{image.pixels.data(), 1000, 1600, 1000};
  Canvas canvas = Canvas::Create(extremes.maxWidth, extremes.maxHeight);
  for (const auto& [box, at] : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::vector{box.right, box.top, box.width, box.height}));
    EXPECT_EQ(ComputePlacement(box, extremes), at);
    ComposePage(canvas, extremes, 256, box, view.Sub(box.left(), box.top, box.width, box.height));
    int misplaced = 0;
    for (int i = 0; i < 800 * 1200; ++i) {
      const int j = i % 800 - at.offsetX, k = i / 800 - at.offsetY;
      const bool in = j >= 0 && j < box.width && k >= 0 && k < box.height;
      misplaced += canvas.pixels[i] != (in ? Pattern(box.left() + j, box.top + k) : 255);
    }
    EXPECT_EQ(misplaced, 0);
  }
  ComposePage(canvas, extremes, 255, std::nullopt, GrayView{});
  EXPECT_EQ(std::count(canvas.pixels.begin(), canvas.pixels.end(), 255), 800 * 1200);
}

TEST(ComposePage, BoxFitsImageOnlyWhollyInside) {
  const std::pair<ContentBox, bool> cases[] = {
      {{1000, 0, 1000, 1400}, true},   {{1001, 0, 1000, 1400}, false},
      {{1000, 1, 1000, 1400}, false},  {{999, 0, 1000, 1400}, false},
      {{1000, -1, 1000, 1400}, false}, {{1000, 0, 0, 1400}, false},
      {{1000, 0, 1000, 0}, false}};
  for (const auto& [box, fits] : cases)
    EXPECT_EQ(BoxFitsImage(box, 1000, 1400), fits) << box.right << " " << box.top;
}

// White 256 keeps the placed box; 255 whitens nothing here (every pixel under 255 is dark);
// 200 keeps only the 9 x 9 square around the one dark pixel.
TEST(ComposePage, WhiteBelow256RunsTheFilter) {
  testing::TestPage page(40, 30, 230), square(40, 30);
  square.Fill(16, 11, 24, 19, 230);
  page.at(20, 15) = square.at(20, 15) = 100;
  Canvas canvas = Canvas::Create(40, 30);
  for (const auto& [white, expected] : {std::pair{256, page}, {255, page}, {200, square}}) {
    ComposePage(canvas, {40, 0, 40, 30, 0, 0, 0, 0}, white, ContentBox{40, 0, 40, 30},
                GrayView{page.pixels.data(), 40, 30, 40});
    EXPECT_EQ(canvas.pixels, expected.pixels) << white;
  }
}

}  // namespace
}  // namespace quarnel
