// Output runs: the files written (size, one component, dark pixels), messages and exit status.

#include <gtest/gtest.h>

#include <map>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

struct Mark {
  int x0, y0, x1, y1, value = 0;  // inclusive
};

void WritePage(const fs::path& path, const std::vector<Mark>& marks) {
  TestPage page(120, 100);
  for (const Mark& m : marks) page.Fill(m.x0, m.y0, m.x1, m.y1, m.value);
  WriteJpeg(path, page);
}

// Expects a complete output page of width x height, white but for `marks`, up to the loss of
// JPEG at quality 50: pixels more than two away from the edges of every mark within 60 levels.
void ExpectPage(const fs::path& path, int width, int height, const std::vector<Mark>& marks) {
  const auto image = ReadOutputPage(path, width, height);
  for (int y = 0, wrong = 0; image && y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int expected = 255;
      bool nearEdge = false;
      for (const Mark& m : marks) {
        const int inside = std::min({x - m.x0, m.x1 - x, y - m.y0, m.y1 - y});
        if (inside >= 2) expected = m.value;
        nearEdge = nearEdge || (inside > -3 && inside < 2);
      }
      const int v = image->pixels[static_cast<std::size_t>(y) * width + x];
      if (!nearEdge && std::abs(v - expected) > 60 && ++wrong <= 3)
        ADD_FAILURE() << path << ": (" << x << ", " << y << ") is " << v << ", not " << expected;
    }
  }
}

// The book a, b, c, w has the canvas 59 x 59 and the window onto image columns 55 ... 113 and
// rows 5 ... 63. a (box columns 5 ... 53, rows 35 ... 93) lies left of it and too low: it moves to
// offset (0, 0), as does b (box 55 ... 113, 5 ... 43); c (65 ... 93, 15 ... 43) and w (55 ... 108,
// 15 ... 58) lie inside it. w has a faint block far from its dark ones, whitened by -w 150. A
// blank page (b2) is written white.
const std::map<std::string, std::vector<Mark>> kPlaced = {
    {"a.jpg", {{5, 5, 44, 54}}},
    {"b.jpg", {{5, 5, 54, 34}}},
    {"b2.jpg", {}},
    {"c.jpg", {{15, 15, 34, 34}}},
    {"w.jpg", {{5, 15, 12, 22}, {42, 42, 49, 49}, {23, 28, 30, 35, 160}}}};

struct Case {
  std::vector<std::string> args;  // run in a folder holding "in", the book, and "out"
  std::string extra;              // a page added to the book: b1.jpg unreadable, b2.jpg blank
  std::string out, err;
  int status;
  std::vector<std::string> written;  // the output folder afterwards
};

TEST(OutputRun, FilesMessagesAndStatus) {
  const std::string summary = Summary({"b.jpg", 114}, {"b.jpg", 5}, {"b.jpg", 59}, {"a.jpg", 59});
  const std::string full = ProgressLines("Input", 4) + summary + ProgressLines("Output", 4) + "\n";
  const std::string top = ProgressLines("Input", 4) + summary + "Output Top file\n";
  const auto stop = ProgressLines("Input", 5) + summary + ProgressLines("Output", 5, 3) + "\n";
  const std::string blank = ProgressLines("Input", 5) + summary + ProgressLines("Output", 5) + "\n";
  const std::string none = ProgressLines("Input", 4) +
                           Summary({"a.jpg", 0}, {"a.jpg", 2147483647}, {"a.jpg", 0}, {"a.jpg", 0});
  const std::string noContent =
      "Error: 0\nError: 1\nError: 2\nError: 3\nERROR: no page has content, nothing written\n";
  const std::string no = "Error: cannot write out/missing/";
  const std::string noAll = no + "a.jpg\n" + no + "b.jpg\n" + no + "c.jpg\n" + no + "w.jpg\n";
  const std::vector<std::string> args = {"-i", "in", "-o", "out"};
  const std::vector<std::string> all = {"a.jpg", "b.jpg", "c.jpg", "w.jpg"};
  const Case cases[] = {
      {args, "", full, "", 0, all},
      {{"-i", "in/", "-o", "out/", "-w", "150"}, "", full, "", 0, all},
      {{"-z", "-i", "in", "-o", "out"}, "", top, "", 0, {"a.jpg", "b.jpg"}},
      {{"-i", "in", "-o", "out/missing"}, "", full, noAll, 1, {}},
      {{"-i", "in", "-o", "out/missing", "-z"}, "", top, no + "b.jpg\n" + no + "a.jpg\n", 1, {}},
      {args, "b1.jpg", stop, "Error: 2\nError\n", 1, {"a.jpg", "b.jpg"}},  // the pass stops
      {args, "b2.jpg", blank, "Error: 2\n", 0, {"a.jpg", "b.jpg", "b2.jpg", "c.jpg", "w.jpg"}},
      {{"-i", "in", "-o", "out", "-b", "0"}, "", none, noContent, 1, {}},  // nothing is dark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + c.extra);
    TempDir dir;
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "out");
    WritePage(dir / "in/a.jpg", {{10, 40, 49, 89}});
    WritePage(dir / "in/b.jpg", {{60, 10, 109, 39}});
    WritePage(dir / "in/c.jpg", {{70, 20, 89, 39}});
    WritePage(dir / "in/w.jpg", {{60, 20, 67, 27}, {97, 47, 104, 54}, {78, 33, 85, 40, 160}});
    if (c.extra == "b1.jpg") WriteBytes(dir / "in/b1.jpg", {'?'});
    if (c.extra == "b2.jpg") WritePage(dir / "in/b2.jpg", {});
    const RunResult run = RunQuarnel(c.args, {.workDir = dir.path()});
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(EntryNames(dir / "out"), c.written);
    const bool whitened = std::find(c.args.begin(), c.args.end(), "-w") != c.args.end();
    for (const std::string& name : c.written) {
      std::vector<Mark> marks = kPlaced.at(name);
      if (name == "w.jpg" && whitened) marks.pop_back();
      ExpectPage(dir / "out" / name, 59, 59, marks);
    }
  }
}

// The bundled sample pages: every page written, all of one size.
TEST(OutputRun, SamplePages) {
  TempDir out;
  const RunResult run = RunQuarnel({"-i", QUARNEL_EXAMPLES_DIR "/book", "-o", out.str()});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 6) + "\n"));
  const auto first = LoadGray(out.str() + "p0001.jpg");
  ASSERT_TRUE(first);
  for (const char* name :
       {"p0001.jpg", "p0002.jpg", "p0003.jpg", "p0004.jpg", "p0005.jpg", "p0006.jpg"})
    ReadOutputPage(out / name, first->width, first->height);
}

}  // namespace
}  // namespace quarnel::testing
