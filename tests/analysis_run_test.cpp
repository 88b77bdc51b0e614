// Analysis runs on folders of generated pages: progress, summary and errors, byte for byte.

#include <gtest/gtest.h>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

struct Mark {
  int x0, y0, x1, y1, value = 0;
};
// White 120 x 100 pages with marks (inclusive); "text.jpg" is a text file. A black mark alone
// gives the box right x1 + 5, top y0 - 5, width x1 - x0 + 10 and height y1 - y0 + 10. Beside
// them lie entries that are no pages, black all over, and L.jpg, a link to a.jpg where it exists.
using Folder = std::vector<std::pair<std::string, std::vector<Mark>>>;

std::string Same(const char* name, int right, int top, int width, int height) {
  return Summary({name, right}, {name, top}, {name, width}, {name, height});
}

struct Case {
  Folder folder;
  std::vector<std::string> args;  // run in the folder; "IN" stands for its path
  std::string err, summary;
};

TEST(AnalysisRun, ProgressSummaryAndErrors) {
  const Folder ties = {{"p1.jpg", {{20, 20, 59, 49}}},
                       {"p2.jpg", {{10, 30, 59, 49}}},
                       {"p3.jpg", {{30, 20, 69, 69}}},
                       {"p4.jpg", {{30, 20, 69, 69}}}};
  const Folder firstUnreadable = {{"text.jpg", {}}, {"z.jpg", {{30, 40, 69, 59}}}};
  const Folder noBox = {
      {"blank.jpg", {}}, {"grey.jpg", {{0, 0, 119, 99, 200}}}, {"rule.jpg", {{10, 50, 109, 50}}}};
  const Folder greyMark = {{"p.jpg", {{30, 30, 79, 69}, {90, 10, 99, 19, 150}}}};
  const Folder flecked = {{"p.jpg", {{30, 30, 79, 69}, {110, 5, 111, 6}}}};
  const Folder mixedCase = {
      {"B.jpg", {{20, 20, 59, 59}}}, {"a.jpg", {{20, 20, 59, 59}}}, {"c.JPG", {}}};
  const std::string tied = Summary({"p3.jpg", 74}, {"p1.jpg", 15}, {"p2.jpg", 59}, {"p3.jpg", 59});
  const std::string none = Same("blank.jpg", 0, 2147483647, 0, 0);
  const Case cases[] = {
      {ties, {"-i", "IN"}, "", tied},
      {firstUnreadable, {"-i", "IN"}, "Error: 0\n", Same("z.jpg", 74, 35, 49, 29)},
      {noBox, {"-i", "IN"}, "Error: 0\nError: 1\nError: 2\n", none},
      {greyMark, {"-i", "IN"}, "", Same("p.jpg", 84, 25, 59, 49)},
      {greyMark, {"-i", "IN", "-b", "160"}, "", Same("p.jpg", 104, 5, 79, 69)},
      {flecked, {"-i", "IN"}, "", Same("p.jpg", 116, 0, 91, 74)},
      {flecked, {"-i", "IN", "-n"}, "", Same("p.jpg", 84, 25, 59, 49)},
      {flecked, {"-i", "IN", "-n", "40"}, "", Same("p.jpg", 116, 0, 91, 74)},  // bridges the gap
      {mixedCase, {"-i", "IN"}, "Error: 2\n", Same("a.jpg", 64, 15, 49, 49)},
      {mixedCase, {}, "Error: 2\n", Same("a.jpg", 64, 15, 49, 49)},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.folder[0].first + " " + ::testing::PrintToString(c.args));
    TempDir root;
    const fs::path in = root / "my scans";
    fs::create_directories(in / "x.jpg");
    for (const char* name : {"x.jpg/inner.jpg", "d.jpeg", "e.png", "f.jpg.txt", "jpg"})
      WriteJpeg(in / name, TestPage(120, 100, 0));
    fs::create_symlink("a.jpg", in / "L.jpg");
    for (const auto& [name, marks] : c.folder) {
      TestPage page(120, 100);
      for (const Mark& m : marks) page.Fill(m.x0, m.y0, m.x1, m.y1, m.value);
      name == "text.jpg" ? WriteBytes(in / name, {'t', 'e', 'x', 't'}) : WriteJpeg(in / name, page);
    }
    std::replace(c.args.begin(), c.args.end(), std::string("IN"), in.string());
    const RunResult run = RunQuarnel(c.args, {.workDir = in});
    const int pages = static_cast<int>(c.folder.size() + fs::exists(in / "L.jpg"));
    EXPECT_EQ(run.out, ProgressLines("Input", pages) + c.summary);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, 0);
  }
}

}  // namespace
}  // namespace quarnel::testing
