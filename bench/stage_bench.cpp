// Costs of the stages of one page, for comparing the analysis and the filters with the codec.
// Usage: quarnel_stage_bench PAGE.jpg [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/content_bounds.h"
#include "imageio/jpeg_reader.h"
#include "imageio/jpeg_writer.h"
#include "output/compose.h"
#include "output/whiten.h"

namespace {

template <typename F>
double MedianMs(int repetitions, F&& work) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PAGE.jpg [repetitions]\n", argv[0]);
    return 2;
  }
  const std::string path = argv[1];
  const int reps = argc > 2 ? std::atoi(argv[2]) : 15;
  using namespace quarnel;

  DecodeBuffer buffer;
  auto image = LoadGray(path, buffer);
  if (!image) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  const double megapixels = static_cast<double>(image->width) * image->height / 1e6;
  std::printf("%s: %d x %d (%.2f MP)\n", path.c_str(), image->width, image->height, megapixels);

  auto report = [&](const char* stage, double ms, double pixels) {
    std::printf("  %-28s %8.2f ms  %6.2f ns/pixel\n", stage, ms, ms * 1e6 / pixels);
  };
  const double pixels = megapixels * 1e6;
  DecodeBuffer timedBuffer;
  report("decode (LoadGray)", MedianMs(reps, [&] { (void)LoadGray(path, timedBuffer); }), pixels);

  std::optional<ContentBox> box;
  report("analysis, plain",
         MedianMs(reps, [&] { box = FindContentBounds(GrayView(*image), 120, 0); }), pixels);
  report("analysis, noise 10",
         MedianMs(reps, [&] { (void)FindContentBounds(GrayView(*image), 120, 10); }), pixels);
  if (!box) {
    std::printf("  no content box\n");
    return 0;
  }
  Extremes extremes;
  FoldIntoExtremes(extremes, *box, 0);
  Canvas canvas = Canvas::Create(extremes.maxWidth(), extremes.maxHeight());
  const GrayView boxPixels = GrayView(*image).Sub(box->left(), box->top, box->width, box->height);
  const double boxPixelCount = static_cast<double>(box->width) * box->height;
  report("compose (fill + copy)",
         MedianMs(reps, [&] { ComposePage(canvas, extremes, 256, box, boxPixels); }),
         boxPixelCount);
  const double composeAndWhiten =
      MedianMs(reps, [&] { ComposePage(canvas, extremes, 200, box, boxPixels); });
  report("compose + whiten", composeAndWhiten, boxPixelCount);
  std::vector<std::uint8_t> jpeg;
  report("encode (quality 50)",
         MedianMs(reps, [&] { (void)EncodeGrayJpeg(canvas.View(), 50, jpeg); }), boxPixelCount);
  return 0;
}
