#include "app/batch_run.h"

#include <gtest/gtest.h>

#include <atomic>

#include "app/run_resources.h"
#include "test_support.h"

namespace quarnel {
namespace {

using namespace test;
using Names = std::vector<std::string>;

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
// again, unreadable; then the full pass ends there, even with the next page ready on a worker,
// but with -z the other extreme page (a, after b) is still written.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  using Case = std::tuple<std::size_t, std::size_t, int, bool>;  // budgets, workers, -z
  for (const auto& [memory, file, workers, z] : {Case{0, 0, 1, false},
                                                 {0, 0, 2, false},
                                                 {1 << 20, 0, 2, false},
                                                 {0, 1 << 20, 1, false},
                                                 {0, 0, 1, true},
                                                 {0, 1 << 20, 2, true}}) {
    const bool kept = memory + file > 0 && !z;
    TempDir in, out;
    TestPage a(120, 100), b(120, 100);
    a.Fill(10, 40, 49, 89, 0);
    b.Fill(60, 10, 109, 39, 0);
    for (const auto& [name, page] : {std::pair{"a.jpg", a}, {"b.jpg", b}, {"c.jpg", a}})
      WriteBytes(in / name, EncodeJpeg(page));
    const PageShrunkBetweenThePasses pages;
    std::vector<std::string> args = {"-i", in.str(), "-o", out.str()};
    if (z) args.push_back("-z");
    const RunResult run = RunInProcess(args, {workers, file, memory, &pages});
    EXPECT_TRUE(run.out.ends_with(z      ? "Output Top file\n"
                                  : kept ? "Output 2/3   \r\n"
                                         : "Output 1/3   \r\n"))
        << run.out;
    EXPECT_EQ(run.err, kept ? "" : "Error\n");
    EXPECT_EQ(run.status, kept ? 0 : 1);
    const Names written = kept ? Names{"a.jpg", "b.jpg", "c.jpg"} : Names{"a.jpg"};
    EXPECT_EQ(EntryNames(out.path()), written);
  }
}

// Pages read, and a disk that is full for the first page written.
struct CountedReads final : PageSource {
  std::optional<MutableGrayView> Read(const std::string& path,
                                      DecodeBuffer& buffer) const override {
    return ++reads, LoadGray(path, buffer);
  }
  mutable int reads = 0;
};
struct FullOnce final : FileWriter {
  WriteStatus Write(const std::string& path, std::span<const std::uint8_t> bytes) const override {
    return writes++ ? FileWriter::Write(path, bytes) : WriteStatus::kNoSpace;
  }
  mutable int writes = 0;
};

// A page that does not fit on the disk while kept boxes take space on it is written once their
// file is given back; the later pages are read again. Boxes in memory take no disk space.
TEST(BatchRun, FullDiskTakesTheKeptBoxesSpace) {
  for (const auto& [file, memory] : {std::pair{1 << 20, 0}, {0, 1 << 20}}) {
    TempDir in, out;
    TestPage page(120, 100);
    page.Fill(10, 40, 49, 89, 0);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) WriteBytes(in / name, EncodeJpeg(page));
    const CountedReads pages;
    const FullOnce files;
    const RunResult run = RunInProcess({"-i", in.str(), "-o", out.str()},
                                       {1, std::size_t(file), std::size_t(memory), &pages, &files});
    EXPECT_EQ(run.err, file ? "" : "Error: cannot write " + out.str() + "a.jpg\n");
    EXPECT_EQ(run.status, file ? 0 : 1);
    EXPECT_EQ(EntryNames(out.path()).size(), file ? 3u : 2u);
    EXPECT_EQ(pages.reads, file ? 5 : 3);
  }
}

// The kept boxes' file takes half the free space or half the memory, whichever is less; on a file
// system in memory no more than the memory budget.
TEST(BatchRun, FileBudget) {
  constexpr std::uint64_t M = 1 << 20, G = 1 << 30;
  using K = FileSystemKind;
  using Case = std::tuple<std::optional<FileSystemSpace>, std::size_t, std::uint64_t>;
  for (const auto& [space, physical, budget] :
       {Case{FileSystemSpace{100 * G, 200 * G, K::kDisk}, 8 * G, 4 * G},
        {FileSystemSpace{G, 200 * G, K::kDisk}, 8 * G, G / 2},
        {FileSystemSpace{100 * G, 200 * G, K::kMemory}, 8 * G, 320 * M},
        {FileSystemSpace{100 * G, 200 * G, K::kMemory}, G, G / 4},
        {FileSystemSpace{100 * M, 200 * G, K::kMemory}, 8 * G, 50 * M},
        {std::nullopt, 8 * G, 0}})
    EXPECT_EQ(FileBudget(space, physical), budget) << physical << " " << budget;
}

}  // namespace
}  // namespace quarnel
