#include "app/batch_run.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace quarnel {
namespace {

using namespace test;

// A page shrunk between the passes: written from its box kept in memory or in the file, or, read
// again, unreadable; then the full pass ends there, even with the next page ready on a worker.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  using Case = std::tuple<std::size_t, std::size_t, int>;  // memory and file budgets, workers
  for (const auto& [memory, file, workers] :
       {Case{0, 0, 1}, {0, 0, 2}, {1 << 20, 0, 2}, {0, 1 << 20, 1}}) {
    const bool budget = memory + file > 0;
    TempDir in, out;
    TestPage a(120, 100), b(120, 100);
    a.Fill(10, 40, 49, 89, 0);
    b.Fill(60, 10, 109, 39, 0);
    for (const auto& [name, page] : {std::pair{"a.jpg", a}, {"b.jpg", b}, {"c.jpg", a}})
      WriteBytes(in / name, EncodeJpeg(page));
    const RunOptions options{workers, memory, file,
                             [&] { WriteBytes(in / "b.jpg", EncodeJpeg(TestPage(9, 9))); }};
    std::FILE* streams[] = {std::tmpfile(), std::tmpfile()};
    const int status = RunBatch({in.str(), out.str()}, options, streams[0], streams[1]);
    std::string text[2] = {std::string(999, 0), std::string(999, 0)};
    for (int i = 0; i < 2; ++i) std::rewind(streams[i]);
    for (int i = 0; i < 2; ++i) text[i].resize(std::fread(text[i].data(), 1, 999, streams[i]));
    EXPECT_TRUE(text[0].ends_with(budget ? "Output 2/3   \r\n" : "Output 1/3   \r\n")) << text[0];
    EXPECT_EQ(text[1], budget ? "" : "Error\n");
    EXPECT_EQ(status, budget ? 0 : 1);
    EXPECT_EQ(EntryNames(out.path()).size(), budget ? 3u : 1u);
    for (std::FILE* stream : streams) std::fclose(stream);
  }
}

}  // namespace
}  // namespace quarnel
