#include "app/batch_run.h"

#include <gtest/gtest.h>

#include <atomic>

#include "test_support.h"

namespace quarnel {
namespace {

using namespace test;

// The pages of a folder, except that b.jpg, read a second time, is a small blank page.
struct PageShrunkBetweenThePasses final : PageSource {
  std::optional<MutableGrayView> Read(const std::string& path,
                                      DecodeBuffer& buffer) const override {
    if (!path.ends_with("/b.jpg") || reads++ == 0) return LoadGray(path, buffer);
    std::uint8_t* pixels = buffer.Pixels(81);
    std::fill(pixels, pixels + 81, std::uint8_t{255});
    return MutableGrayView{pixels, 9, 9, 9};
  }
  mutable std::atomic<int> reads = 0;
};

// A page shrunk between the passes: written from its box kept in memory or in the file, or, read
// again, unreadable; then the full pass ends there, even with the next page ready on a worker.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  using Case = std::tuple<std::size_t, std::size_t, int>;  // memory and file budgets, workers
  for (const auto& [memory, file, workers] :
       {Case{0, 0, 1}, {0, 0, 2}, {1 << 20, 0, 2}, {0, 1 << 20, 1}}) {
    const bool kept = memory + file > 0;
    TempDir in, out;
    TestPage a(120, 100), b(120, 100);
    a.Fill(10, 40, 49, 89, 0);
    b.Fill(60, 10, 109, 39, 0);
    for (const auto& [name, page] : {std::pair{"a.jpg", a}, {"b.jpg", b}, {"c.jpg", a}})
      WriteBytes(in / name, EncodeJpeg(page));
    const PageShrunkBetweenThePasses pages;
    const RunResult run =
        RunInProcess({"-i", in.str(), "-o", out.str()}, {workers, file, memory, &pages});
    EXPECT_TRUE(run.out.ends_with(kept ? "Output 2/3   \r\n" : "Output 1/3   \r\n")) << run.out;
    EXPECT_EQ(run.err, kept ? "" : "Error\n");
    EXPECT_EQ(run.status, kept ? 0 : 1);
    EXPECT_EQ(EntryNames(out.path()).size(), kept ? 3u : 1u);
  }
}

}  // namespace
}  // namespace quarnel
