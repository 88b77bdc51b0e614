// Hostile pages and hostile surroundings, one row each: a folder of a good page 0.jpg and copies
// of a second page, a run with an output folder, and what it must print, return and leave there.
// No row may take much memory or leave a temporary file behind.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

using B = std::uint8_t;

// A white gray page of 2480 x 3508 (A4 at 300 dpi) as libjpeg codes it arithmetically: the data
// ends long before the image, which is legal (the decoder supplies zeros). Given another size and
// zeros after its end marker, it is a bomb.
Bytes Arithmetic(int w, int h, std::size_t padding = 0) {
  Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  jpeg.resize(71, 1);  // a quantisation table of ones
  jpeg.insert(jpeg.end(), {0xFF, 0xC9, 0,    11,   8,    B(h >> 8), B(h), B(w >> 8), B(w), 1, 1,
                           0x11, 0,    0xFF, 0xDA, 0,    8,         1,    1,         0,    0, 63,
                           0,    0xD2, 0xEA, 0x56, 0x9A, 0xBA,      0x80, 0xFF,      0xD9});
  jpeg.resize(jpeg.size() + padding, 0);
  return jpeg;
}

const Bytes kGood = EncodeJpeg(TestPage(120, 100, 0)), kLarge = EncodeJpeg(TestPage(2000, 2000, 0));
const std::vector<std::pair<std::string, std::string>> kReread = {{"QUARNEL_TEST_BOX_BUDGET", "0"}};
using enum ChildOptions::Stdout;
const ChildOptions kQuick = {.timeout = std::chrono::seconds(5)}, kOutFull = {.stdoutTo = kFull},
                   kNoReader = {.stdoutTo = kClosedPipe},
                   kQuit = {.env = kReread, .signal = SIGQUIT, .signalAfter = "Output 0/"};

struct Row {
  const char* what;
  Bytes page;  // copies of it follow 0.jpg, a good page
  ChildOptions options;
  std::string err;
  int copies, status, written;  // written: the output files; -1 for any number
  friend void PrintTo(const Row& row, std::ostream* os) { *os << row.what; }
};

const Row kRows[] = {
    {"PaddedBomb", Arithmetic(46340, 46340, 131072), kQuick, "Error: 1\nError\n", 1, 1, 1},
    {"ArithmeticBlankPage", Arithmetic(2480, 3508), kQuick, "Error: 1\n", 1, 0, 2},
    {"QuitInOutputPass", kLarge, kQuit, "", 40, 128 + SIGQUIT, -1},
    {"StdoutFull", kGood, kOutFull, "Error: cannot write standard output\n", 1, 1, 2},
    {"StdoutClosedPipe", kGood, kNoReader, "Error: cannot write standard output\n", 5, 1, 6},
};

class RobustnessRows : public ::testing::TestWithParam<Row> {};

TEST_P(RobustnessRows, EndAsExpected) {
  const Row& row = GetParam();
  TempDir in, out;
  WriteBytes(in / "0.jpg", kGood);
  for (int i = 1; i <= row.copies; ++i) WriteBytes(in / (std::to_string(i) + ".jpg"), row.page);
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()}, row.options);
  EXPECT_EQ(run.err, row.err);
  EXPECT_EQ(run.status, row.status) << "signal " << run.signal;
  EXPECT_LT(run.maxRssKiB, 300 * 1024);
  const std::vector<std::string> names = EntryNames(out.path());
  for (const std::string& name : names) EXPECT_TRUE(name.ends_with(".jpg")) << name;
  EXPECT_TRUE(row.written < 0 || names.size() == std::size_t(row.written)) << names.size();
}

INSTANTIATE_TEST_SUITE_P(Table, RobustnessRows, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.what); });

// Inverted CMYK: each channel is C * K / 255 rounded to the nearest. A page of one colour
// (C = M = Y = K) decodes exactly, for every value.
TEST(CmykLuminance, RoundsTheInkProduct) {
  for (int v = 0; v < 256; ++v) {
    const Bytes jpeg = EncodeCmykJpeg(8, 8, Bytes(256, B(v)), false);
    const auto image = LoadGrayFromMemory(jpeg.data(), jpeg.size());
    EXPECT_EQ(image.value().pixels[0], std::lround(v * v / 255.0)) << v;
  }
}

}  // namespace
}  // namespace quarnel::testing
