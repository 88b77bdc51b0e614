// Analysis runs of the binary on folders of generated pages: progress, summary, per-page errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 100;

// A white page with one black rectangle, columns x0 ... x1 and rows y0 ... y1 inclusive. Its box
// is columns x0 - 5 ... x1 + 4 and rows y0 - 5 ... y1 + 4, clamped to the page.
TestPage Rect(int x0, int y0, int x1, int y1) {
  TestPage page(kWidth, kHeight);
  page.Fill(x0, y0, x1, y1, 0);
  return page;
}

void ExpectRun(const RunResult& run, const std::string& out, const std::string& err) {
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, err);
  EXPECT_EQ(run.status, 0);
}

TEST(AnalysisRun, EarliestPageKeepsATiedExtreme) {
  TempDir in;
  WriteJpeg(in / "p1.jpg", Rect(20, 20, 59, 49));  // right 64, top 15, width 49, height 39
  WriteJpeg(in / "p2.jpg", Rect(10, 30, 59, 49));  // right 64, top 25, width 59, height 29
  WriteJpeg(in / "p3.jpg", Rect(30, 20, 69, 69));  // right 74, top 15, width 49, height 59
  WriteJpeg(in / "p4.jpg", Rect(30, 20, 69, 69));  // p3 again: ties on all four
  ExpectRun(RunQuarnel({"-i", in.str()}),
            ProgressLines("Input", 4) +
                Summary({"p3.jpg", 74}, {"p1.jpg", 15}, {"p2.jpg", 59}, {"p3.jpg", 59}),
            "");
}

TEST(AnalysisRun, UnreadableFirstPageIsReportedAndLeftOut) {
  TempDir in;
  WriteBytes(in / "a.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G', '\n'});
  WriteJpeg(in / "b.jpg", Rect(30, 40, 69, 59));  // right 74, top 35, width 49, height 29
  ExpectRun(RunQuarnel({"-i", in.str()}),
            ProgressLines("Input", 2) +
                Summary({"b.jpg", 74}, {"b.jpg", 35}, {"b.jpg", 49}, {"b.jpg", 29}),
            "Error: 0\n");
}

TEST(AnalysisRun, AllPagesFailingNameTheFirstPage) {
  TempDir in;
  WriteJpeg(in / "blank1.jpg", TestPage(kWidth, kHeight));
  WriteJpeg(in / "blank2.jpg", TestPage(kWidth, kHeight, 200));  // grey, but not dark
  TestPage rule(kWidth, kHeight);
  rule.Fill(10, 50, 109, 50, 0);  // one dark row: no box
  WriteJpeg(in / "rule.jpg", rule);
  ExpectRun(RunQuarnel({"-i", in.str()}),
            ProgressLines("Input", 3) + Summary({"blank1.jpg", 0}, {"blank1.jpg", 2147483647},
                                                {"blank1.jpg", 0}, {"blank1.jpg", 0}),
            "Error: 0\nError: 1\nError: 2\n");
}

TEST(AnalysisRun, BlackThresholdDecidesWhatIsDark) {
  TempDir in;
  TestPage page = Rect(30, 30, 79, 69);
  page.Fill(90, 10, 99, 19, 150);  // grey: dark only for black above 150
  WriteJpeg(in / "page.jpg", page);
  ExpectRun(RunQuarnel({"-i", in.str()}),
            ProgressLines("Input", 1) +
                Summary({"page.jpg", 84}, {"page.jpg", 25}, {"page.jpg", 59}, {"page.jpg", 49}),
            "");
  ExpectRun(RunQuarnel({"-i", in.str(), "-b", "160"}),
            ProgressLines("Input", 1) +
                Summary({"page.jpg", 104}, {"page.jpg", 5}, {"page.jpg", 79}, {"page.jpg", 69}),
            "");
}

// A 2 x 2 speck far from the content sets the box in the plain mode; the noise-tolerant mode
// passes over it.
TEST(AnalysisRun, NoiseModePassesOverASpeck) {
  TempDir in;
  TestPage page = Rect(30, 30, 79, 69);
  page.Fill(110, 5, 111, 6, 0);
  WriteJpeg(in / "speck.jpg", page);

  const std::string plain =
      Summary({"speck.jpg", 116}, {"speck.jpg", 0}, {"speck.jpg", 91}, {"speck.jpg", 74});
  const std::string tolerant =
      Summary({"speck.jpg", 84}, {"speck.jpg", 25}, {"speck.jpg", 59}, {"speck.jpg", 49});
  ExpectRun(RunQuarnel({"-i", in.str()}), ProgressLines("Input", 1) + plain, "");
  ExpectRun(RunQuarnel({"-i", in.str(), "-n"}), ProgressLines("Input", 1) + tolerant, "");
  ExpectRun(RunQuarnel({"-n", "3", "-i", in.str()}), ProgressLines("Input", 1) + tolerant, "");
  // With a noise above the gap the speck and the content are one.
  ExpectRun(RunQuarnel({"-i", in.str(), "-n", "40"}), ProgressLines("Input", 1) + plain, "");
}

// Only regular files ending in .jpg, in any letter case, are pages, in case-insensitive order
// (a.jpg before B.jpg though 'B' < 'a' as bytes). Two identical pages tie on all four extremes,
// so the summary shows which one came first; the blank last page shows its index.
TEST(AnalysisRun, TableOrderIgnoresCaseAndOtherEntries) {
  TempDir root;
  const std::filesystem::path in = root / "my scans";
  std::filesystem::create_directories(in / "x.jpg");
  WriteJpeg(in / "x.jpg" / "inner.jpg", Rect(0, 0, 119, 99));
  WriteJpeg(in / "B.jpg", Rect(20, 20, 59, 59));
  WriteJpeg(in / "a.jpg", Rect(20, 20, 59, 59));
  WriteJpeg(in / "c.JPG", TestPage(kWidth, kHeight));
  for (const char* other : {"d.jpeg", "e.png", "f.jpg.txt", "jpg"}) {
    WriteJpeg(in / other, Rect(0, 0, 119, 99));
  }
  std::filesystem::create_symlink("a.jpg", in / "L.jpg");  // a link to a file is a page
  const std::string summary = Summary({"a.jpg", 64}, {"a.jpg", 15}, {"a.jpg", 49}, {"a.jpg", 49});
  ExpectRun(RunQuarnel({"-i", in.string()}), ProgressLines("Input", 4) + summary, "Error: 2\n");
  // Run from inside the folder, with no -i at all.
  ExpectRun(RunQuarnel({}, in), ProgressLines("Input", 4) + summary, "Error: 2\n");
}

}  // namespace
}  // namespace quarnel::testing
