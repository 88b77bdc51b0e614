// A page replaced by a smaller one between the analysis and the output pass. A page whose box
// was kept from the analysis is written from the analysed pixels; a page read again no longer
// holds its box, and counts as a page that cannot be read.

#include "app/batch_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel {
namespace {

namespace fs = std::filesystem;
using testing::ProgressLines;
using testing::Summary;
using testing::TempDir;
using testing::TestPage;

// A white 120 x 100 page with a black rectangle, columns x0 ... x1 and rows y0 ... y1.
TestPage Rect(int x0, int y0, int x1, int y1) {
  TestPage page(120, 100);
  page.Fill(x0, y0, x1, y1, 0);
  return page;
}

// Everything written to a stream made by tmpfile().
std::string Contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, stream)) text.append(buffer, n);
  return text;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

TEST(BatchRun, PageReplacedBetweenThePasses) {
  for (const std::size_t budget : {std::size_t{0}, std::size_t{1} << 30}) {
    for (const int workers : {1, 2}) {
      SCOPED_TRACE("box budget " + std::to_string(budget) + ", workers " + std::to_string(workers));
      TempDir in;
      TempDir out;
      // Canvas 59 x 59 from b's box (columns 55 ... 113, rows 5 ... 43) and a's height.
      testing::WriteJpeg(in / "a.jpg", Rect(10, 40, 49, 89));
      testing::WriteJpeg(in / "b.jpg", Rect(60, 10, 109, 39));
      testing::WriteJpeg(in / "c.jpg", Rect(70, 20, 89, 39));
      RunSettings settings;
      settings.inDir = in.str();
      settings.outDir = out.str();
      RunOptions options;
      options.workers = workers;
      options.boxBudget = budget;
      options.betweenPasses = [&] {
        TestPage smaller(40, 30);
        smaller.Fill(10, 10, 29, 19, 0);
        testing::WriteJpeg(in / "b.jpg", smaller);
      };
      std::FILE* outStream = std::tmpfile();
      std::FILE* errStream = std::tmpfile();
      ASSERT_TRUE(outStream && errStream);
      const int status = RunBatch(settings, options, outStream, errStream);
      const std::string outText = Contents(outStream);
      const std::string errText = Contents(errStream);
      std::fclose(outStream);
      std::fclose(errStream);

      const std::string analysis =
          ProgressLines("Input", 3) +
          Summary({"b.jpg", 114}, {"b.jpg", 5}, {"b.jpg", 59}, {"a.jpg", 59});
      if (budget == 0) {
        // Read again, b no longer holds its box: the full pass stops there.
        EXPECT_EQ(outText, analysis + ProgressLines("Output", 3, 2) + "\n");
        EXPECT_EQ(errText, "Error\n");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(Names(out.path()), std::set<std::string>{"a.jpg"});
      } else {
        EXPECT_EQ(outText, analysis + ProgressLines("Output", 3) + "\n");
        EXPECT_EQ(errText, "");
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Names(out.path()), (std::set<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
        // b as analysed: its rectangle at canvas columns 5 ... 54, rows 5 ... 34.
        const auto b = LoadGray((out / "b.jpg").string());
        ASSERT_TRUE(b);
        ASSERT_EQ(b->width, 59);
        ASSERT_EQ(b->height, 59);
        EXPECT_LT(b->pixels[20 * 59 + 30], 100);
        EXPECT_GT(b->pixels[50 * 59 + 30], 180);
      }
    }
  }
}

}  // namespace
}  // namespace quarnel
