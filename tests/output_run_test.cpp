// Output runs of the binary: the files written, their size and pixels, the messages and the exit
// status of the full pass, of -z and of -w.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 120;
constexpr int kHeight = 100;

TestPage Rect(int x0, int y0, int x1, int y1) {
  TestPage page(kWidth, kHeight);
  page.Fill(x0, y0, x1, y1, 0);
  return page;
}

// The frame of a baseline or progressive JPEG file: size and number of components.
struct JpegFrame {
  int width = 0;
  int height = 0;
  int components = 0;
  int precision = 0;
};

std::optional<JpegFrame> ReadFrame(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
  std::size_t pos = 2;
  while (pos + 4 <= bytes.size() && bytes[pos] == 0xFF) {
    const int marker = bytes[pos + 1];
    const std::size_t length = bytes[pos + 2] << 8 | bytes[pos + 3];
    const bool isFrame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (isFrame && pos + 10 <= bytes.size()) {
      return JpegFrame{bytes[pos + 7] << 8 | bytes[pos + 8], bytes[pos + 5] << 8 | bytes[pos + 6],
                       bytes[pos + 9], bytes[pos + 4]};
    }
    pos += 2 + length;
  }
  return std::nullopt;
}

// Reads an output page, checking that it is a one-component 8-bit JPEG of `width` x `height`.
std::optional<GrayImage> ReadOutput(const fs::path& path, int width, int height) {
  const auto frame = ReadFrame(ReadBytes(path));
  EXPECT_TRUE(frame) << path;
  if (!frame) return std::nullopt;
  EXPECT_EQ(frame->components, 1) << path;
  EXPECT_EQ(frame->precision, 8) << path;
  EXPECT_EQ(frame->width, width) << path;
  EXPECT_EQ(frame->height, height) << path;
  auto image = LoadGray(path.string());
  EXPECT_TRUE(image) << path;
  return image;
}

// Expects the dark rectangle x0 ... x1, y0 ... y1 (inclusive, canvas pixels) on a white canvas,
// up to the loss of JPEG at quality 50: pixels two or more away from its edges must be below
// 100 inside and above 180 outside. A negative x0 expects an all-white canvas.
void ExpectDarkRect(const fs::path& path, int width, int height, int x0, int y0, int x1, int y1) {
  const auto image = ReadOutput(path, width, height);
  if (!image) return;
  int wrong = 0;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      const int v = image->pixels[static_cast<std::size_t>(y) * image->width + x];
      const bool inside = x >= x0 + 2 && x <= x1 - 2 && y >= y0 + 2 && y <= y1 - 2;
      const bool outside = x0 < 0 || x < x0 - 2 || x > x1 + 2 || y < y0 - 2 || y > y1 + 2;
      if ((inside && v >= 100) || (outside && v <= 180)) {
        if (++wrong <= 3) ADD_FAILURE() << path << ": pixel (" << x << ", " << y << ") is " << v;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << path;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

// Three pages whose extremes make a canvas of 59 x 59, the window onto image columns 55 ... 113
// and rows 5 ... 63:
//   a: box columns 5 ... 53, rows 35 ... 93 (sets maxHeight): left of the window and too low,
//      so it moves to offset (0, 0);
//   b: box columns 55 ... 113, rows 5 ... 43 (sets maxRight, minTop, maxWidth): offset (0, 0);
//   c: box columns 65 ... 93, rows 15 ... 43: inside the window, at offset (10, 10).
class OutputRun : public ::testing::Test {
 protected:
  static constexpr int kCanvas = 59;

  void SetUp() override {
    WriteJpeg(in / "a.jpg", Rect(10, 40, 49, 89));
    WriteJpeg(in / "b.jpg", Rect(60, 10, 109, 39));
    WriteJpeg(in / "c.jpg", Rect(70, 20, 89, 39));
  }

  void ExpectPageA() { ExpectDarkRect(out / "a.jpg", kCanvas, kCanvas, 5, 5, 44, 54); }
  void ExpectPageB() { ExpectDarkRect(out / "b.jpg", kCanvas, kCanvas, 5, 5, 54, 34); }
  void ExpectPageC() { ExpectDarkRect(out / "c.jpg", kCanvas, kCanvas, 15, 15, 34, 34); }

  std::string Analysis(int pages = 3) const {
    return ProgressLines("Input", pages) +
           Summary({"b.jpg", 114}, {"b.jpg", 5}, {"b.jpg", 59}, {"a.jpg", 59});
  }

  TempDir in;
  TempDir out;
};

TEST_F(OutputRun, FullPassWritesEveryPageOnTheCommonCanvas) {
  WriteBytes(out / "b.jpg", {'o', 'l', 'd'});  // replaced
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.path().string()});
  EXPECT_EQ(run.out, Analysis() + ProgressLines("Output", 3) + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Names(out.path()), (std::set<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
  ExpectPageA();
  ExpectPageB();
  ExpectPageC();
}

TEST_F(OutputRun, TopOnlyWritesEachExtremePageOnce) {
  const RunResult run = RunQuarnel({"-z", "-i", in.str(), "-o", out.str()});
  EXPECT_EQ(run.out, Analysis() + "Output Top file\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Names(out.path()), (std::set<std::string>{"a.jpg", "b.jpg"}));
  ExpectPageA();
  ExpectPageB();
}

// The full pass stops at a page it cannot read; the pages after it are not written.
TEST_F(OutputRun, UnreadablePageEndsTheFullPass) {
  fs::rename(in / "b.jpg", in / "d.jpg");
  WriteBytes(in / "b.jpg", {'?'});
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()});
  // Without b, d (the old b) sets every extreme but the height.
  EXPECT_EQ(run.out, ProgressLines("Input", 4) +
                         Summary({"d.jpg", 114}, {"d.jpg", 5}, {"d.jpg", 59}, {"a.jpg", 59}) +
                         ProgressLines("Output", 4, 2) + "\n");
  EXPECT_EQ(run.err, "Error: 1\nError\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Names(out.path()), std::set<std::string>{"a.jpg"});
  ExpectPageA();
}

// A readable page without content keeps its place in the book as a white page.
TEST_F(OutputRun, BlankPageIsWrittenWhite) {
  WriteJpeg(in / "b2.jpg", TestPage(kWidth, kHeight));
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()});
  EXPECT_EQ(run.out, Analysis(4) + ProgressLines("Output", 4) + "\n");
  EXPECT_EQ(run.err, "Error: 2\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Names(out.path()), (std::set<std::string>{"a.jpg", "b.jpg", "b2.jpg", "c.jpg"}));
  ExpectPageA();
  ExpectDarkRect(out / "b2.jpg", kCanvas, kCanvas, -1, -1, -1, -1);
  ExpectPageC();
}

TEST_F(OutputRun, MissingOutputFolderFailsEverySave) {
  const std::string missing = (out / "missing").string();
  auto cannotWrite = [&](const char* name) {
    return "Error: cannot write " + missing + "/" + name + "\n";
  };
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", missing});
  EXPECT_EQ(run.out, Analysis() + ProgressLines("Output", 3) + "\n");
  EXPECT_EQ(run.err, cannotWrite("a.jpg") + cannotWrite("b.jpg") + cannotWrite("c.jpg"));
  EXPECT_EQ(run.status, 1);

  const RunResult topOnly = RunQuarnel({"-i", in.str(), "-o", missing, "-z"});
  EXPECT_EQ(topOnly.out, Analysis() + "Output Top file\n");
  EXPECT_EQ(topOnly.err, cannotWrite("b.jpg") + cannotWrite("a.jpg"));
  EXPECT_EQ(topOnly.status, 1);
  EXPECT_TRUE(Names(out.path()).empty());
}

TEST(OutputRunBlank, NoPageWithContentWritesNothing) {
  TempDir in;
  TempDir out;
  WriteJpeg(in / "a.jpg", TestPage(kWidth, kHeight));
  WriteJpeg(in / "b.jpg", TestPage(kWidth, kHeight));
  for (const bool topOnly : {false, true}) {
    std::vector<std::string> args = {"-i", in.str(), "-o", out.str()};
    if (topOnly) args.push_back("-z");
    const RunResult run = RunQuarnel(args);
    EXPECT_EQ(run.out, ProgressLines("Input", 2) + Summary({"a.jpg", 0}, {"a.jpg", 2147483647},
                                                           {"a.jpg", 0}, {"a.jpg", 0}));
    EXPECT_EQ(run.err, "Error: 0\nError: 1\nERROR: no page has content, nothing written\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Names(out.path()).empty());
  }
}

// A faint grey block (230) far from any dark pixel turns white with -w and stays without.
TEST(OutputRunWhiten, FaintMarkAwayFromContentTurnsWhite) {
  TempDir in;
  TestPage page(kWidth, kHeight);
  page.Fill(10, 10, 29, 29, 0);
  page.Fill(90, 70, 109, 89, 0);
  page.Fill(61, 53, 68, 60, 230);  // canvas 56 ... 63, 48 ... 55: one whole JPEG block
  WriteJpeg(in / "page.jpg", page);
  const int canvasWidth = 109;  // box columns 5 ... 113, rows 5 ... 93
  const int canvasHeight = 89;

  for (const bool whiten : {false, true}) {
    TempDir out;
    std::vector<std::string> args = {"-i", in.str(), "-o", out.str()};
    if (whiten) args.push_back("-w");
    const RunResult run = RunQuarnel(args);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    const auto image = ReadOutput(out / "page.jpg", canvasWidth, canvasHeight);
    if (!image) continue;
    auto at = [&](int x, int y) {
      return int{image->pixels[static_cast<std::size_t>(y) * image->width + x]};
    };
    int lightest = 0;
    int darkest = 255;
    for (int y = 48; y <= 55; ++y) {
      for (int x = 56; x <= 63; ++x) {
        lightest = std::max(lightest, at(x, y));
        darkest = std::min(darkest, at(x, y));
      }
    }
    if (whiten) {
      EXPECT_GT(darkest, 250) << "-w";
    } else {
      EXPECT_LT(lightest, 240);
    }
    // The content stays dark either way.
    EXPECT_LT(at(15, 15), 100);
    EXPECT_LT(at(95, 75), 100);
  }
}

// The bundled demo pages: every page written, all of one size.
TEST(OutputRunDemo, BookPagesAllGetOneSize) {
  TempDir out;
  const RunResult run = RunQuarnel({"-i", QUARNEL_EXAMPLES_DIR "/book", "-o", out.str()});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 6) + "\n"));
  const std::set<std::string> expected = {"p0001.jpg", "p0002.jpg", "p0003.jpg",
                                          "p0004.jpg", "p0005.jpg", "p0006.jpg"};
  ASSERT_EQ(Names(out.path()), expected);
  std::optional<JpegFrame> first;
  for (const std::string& name : expected) {
    const auto frame = ReadFrame(ReadBytes(out / name));
    ASSERT_TRUE(frame) << name;
    EXPECT_EQ(frame->components, 1) << name;
    if (!first) first = frame;
    EXPECT_EQ(frame->width, first->width) << name;
    EXPECT_EQ(frame->height, first->height) << name;
  }
  EXPECT_GT(first->width, 100);
  EXPECT_GT(first->height, 100);
}

}  // namespace
}  // namespace quarnel::testing
