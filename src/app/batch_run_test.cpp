#include "app/batch_run.h"

#include <gtest/gtest.h>

#include "imageio/jpeg_codec.h"
#include "test_support.h"

namespace quarnel {
namespace {

using namespace testing;

std::string ReadAndClose(std::FILE* stream) {
  std::rewind(stream);
  std::string text(1 << 16, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), stream));
  std::fclose(stream);
  return text;
}

// A page shrunk between the passes: written from its kept box, or, read again, unreadable; then
// the full pass ends there, even with the next page ready on a worker.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  for (const auto& [budget, workers] : {std::pair{0, 1}, {0, 2}, {1 << 20, 2}}) {
    TempDir in, out;
    TestPage a(120, 100), b(120, 100);
    a.Fill(10, 40, 49, 89, 0);
    b.Fill(60, 10, 109, 39, 0);
    WriteJpeg(in / "a.jpg", a);
    WriteJpeg(in / "b.jpg", b);
    WriteJpeg(in / "c.jpg", a);
    const RunOptions options{workers, std::size_t(budget),
                             [&] { WriteJpeg(in / "b.jpg", TestPage(9, 9)); }};
    std::FILE *outStream = std::tmpfile(), *errStream = std::tmpfile();
    const int status = RunBatch({in.str(), out.str()}, options, outStream, errStream);
    const std::string output = ReadAndClose(outStream);
    EXPECT_TRUE(output.ends_with(budget ? "Output 2/3   \r\n" : "Output 1/3   \r\n")) << output;
    EXPECT_EQ(ReadAndClose(errStream), budget ? "" : "Error\n");
    EXPECT_EQ(status, budget ? 0 : 1);
    EXPECT_EQ(EntryNames(out.path()).size(), budget ? 3u : 1u);
    const auto written = LoadGray((out / "b.jpg").string());  // b as analysed
    EXPECT_TRUE(!budget ||
                *std::min_element(written->pixels.get(), written->pixels.get() + 59 * 59) < 99);
  }
}

}  // namespace
}  // namespace quarnel
