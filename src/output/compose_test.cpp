#include "output/compose.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace quarnel {
namespace {

// Random small boxes of random pages on one canvas per set of extremes (so a pixel left from the
// page before shows too), with and without whitening, against the reference.
TEST(ComposePage, MatchesTheReference) {
  std::mt19937 rng(7);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int it = 0; it < 400; ++it) {
    const int maxWidth = uniform(1, 30), maxHeight = uniform(1, 30), minTop = uniform(0, 9);
    const Extremes extremes{
        {{{maxWidth + uniform(0, 9), 0}, {minTop, 0}, {maxWidth, 0}, {maxHeight, 0}}}};
    Canvas canvas = Canvas::Create(maxWidth, maxHeight);
    for (int page = 0; page < 3; ++page) {
      const int width = uniform(1, maxWidth), height = uniform(1, maxHeight);
      const ContentBox box{uniform(width, extremes.maxRight()), uniform(minTop, 40), width, height};
      test::TestPage image(box.right, box.bottom());
      for (auto& v : image.pixels) v = uniform(0, 9) == 0 ? uniform(0, 255) : uniform(200, 255);
      const int white = uniform(0, 1) ? 256 : uniform(1, 255);
      ComposePage(canvas, extremes, white, box,
                  image.View().Sub(box.left(), box.top, width, height));
      ASSERT_EQ(canvas.pixels, test::ReferenceCanvas(image.View(), box, extremes, white).pixels)
          << "iteration " << it << ", white " << white;
    }
  }
}

}  // namespace
}  // namespace quarnel
