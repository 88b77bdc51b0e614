#include "app/batch_run.h"

#include <gtest/gtest.h>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel {
namespace {

using namespace testing;
using Names = std::vector<std::string>;

TestPage Rect(int x0, int y0, int x1, int y1) {
  TestPage page(120, 100);
  page.Fill(x0, y0, x1, y1, 0);
  return page;
}

std::string ReadAndClose(std::FILE* stream) {
  std::rewind(stream);
  std::string text(1 << 16, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), stream));
  std::fclose(stream);
  return text;
}

// A page shrunk between the passes: written from its kept box, or, read again, unreadable.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  const std::pair<std::size_t, int> runs[] = {{0, 1}, {0, 2}, {std::size_t{1} << 30, 2}};
  for (const auto& [budget, workers] : runs) {
    SCOPED_TRACE("box budget " + std::to_string(budget) + ", workers " + std::to_string(workers));
    TempDir in, out;
    // Canvas 59 x 59 from b's box (columns 55 ... 113, rows 5 ... 43) and a's height.
    WriteJpeg(in / "a.jpg", Rect(10, 40, 49, 89));
    WriteJpeg(in / "b.jpg", Rect(60, 10, 109, 39));
    WriteJpeg(in / "c.jpg", Rect(70, 20, 89, 39));
    const RunOptions options{workers, budget, [&] { WriteJpeg(in / "b.jpg", TestPage(9, 9)); }};
    std::FILE *outStream = std::tmpfile(), *errStream = std::tmpfile();
    const int status = RunBatch({in.str(), out.str()}, options, outStream, errStream);
    const bool kept = budget > 0;  // else b ends the full pass, even with c ready on a worker
    EXPECT_EQ(ReadAndClose(outStream),
              ProgressLines("Input", 3) +
                  Summary({"b.jpg", 114}, {"b.jpg", 5}, {"b.jpg", 59}, {"a.jpg", 59}) +
                  ProgressLines("Output", 3, kept ? 3 : 2) + "\n");
    EXPECT_EQ(ReadAndClose(errStream), kept ? "" : "Error\n");
    EXPECT_EQ(status, kept ? 0 : 1);
    EXPECT_EQ(EntryNames(out.path()), (kept ? Names{"a.jpg", "b.jpg", "c.jpg"} : Names{"a.jpg"}));
    if (!kept) continue;
    // b as analysed: its rectangle at canvas columns 5 ... 54, rows 5 ... 34.
    const auto b = LoadGray((out / "b.jpg").string());
    ASSERT_TRUE(b && b->width == 59 && b->height == 59);
    EXPECT_LT(b->pixels[20 * 59 + 30], 100);
    EXPECT_GT(b->pixels[50 * 59 + 30], 180);
  }
}

}  // namespace
}  // namespace quarnel
