#include "app/batch_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>

#include "app/run_resources.h"
#include "test_support.h"

namespace quarnel {
namespace {

using namespace test;
using Names = std::vector<std::string>;

// The pages of a folder, except that b.jpg, read a second time, is a small blank page.
struct PageShrunkBetweenThePasses final : PageSource {
  ReadResult<MutableGrayView> Read(const std::string& path, DecodeBuffer& buffer) const override {
    if (!path.ends_with("/b.jpg") || reads++ == 0) return LoadGray(path, buffer);
    std::uint8_t* pixels = buffer.Pixels(81);
    std::fill(pixels, pixels + 81, std::uint8_t{255});
    return MutableGrayView{pixels, 9, 9, 9};
  }
  mutable std::atomic<int> reads = 0;
};

// A disk that is full for the first file written.
struct FullOnce final : FileWriter {
  WriteStatus Write(const std::string& path, std::span<const std::uint8_t> bytes) const override {
    return writes++ ? FileWriter::Write(path, bytes) : WriteStatus{ENOSPC};
  }
  mutable std::atomic<int> writes = 0;
};

// A page shrunk between the passes: written from its box kept in memory or in the file, or, read
// again, unreadable; then the full pass ends there, even with the next page ready on a worker,
// but with -z the other extreme page (a, after b) is still written. When the first page meets a
// full disk, the kept boxes' file is given back, that page written, and b read again; boxes in
// memory give no disk space back.
TEST(BatchRun, PageReplacedBetweenThePasses) {
  using Case = std::tuple<std::size_t, std::size_t, int, bool, bool>;  // budgets, workers, -z, full
                                                                       // clang-format off
  for (const auto& [memory, file, workers, z, full] :
       {Case{0, 0, 1, false, false}, {0, 0, 2, false, false}, {1 << 20, 0, 2, false, false},
        {0, 1 << 20, 1, false, false}, {0, 0, 1, true, false}, {0, 1 << 20, 2, true, false},
        {0, 1 << 20, 1, false, true}, {1 << 20, 0, 1, false, true}}) {
    // clang-format on
    const bool kept = memory + file > 0 && !z && !(full && file), lost = full && memory;
    TempDir in, out;
    TestPage a(120, 100), b(120, 100);
    a.Fill(10, 40, 49, 89, 0);
    b.Fill(60, 10, 109, 39, 0);
    for (const auto& [name, page] : {std::pair{"a.jpg", a}, {"b.jpg", b}, {"c.jpg", a}})
      WriteBytes(in / name, EncodeJpeg(page));
    const PageShrunkBetweenThePasses pages;
    const FullOnce fullOnce;
    // On two workers an HTML report, whose verdict names the page where the output stopped.
    const std::string report = in.str() + (workers == 2 ? "r.html" : "r.csv");
    std::vector<std::string> args = {"-i", in.str(), "-o", out.str(), "-r", report};
    if (z) args.push_back("-z");
    const RunResult run =
        RunInProcess(args, {workers, file, memory, &pages, full ? &fullOnce : nullptr});
    EXPECT_TRUE(run.out.ends_with(z      ? "Output Top file\n"
                                  : kept ? "Output 2/3   \r\n"
                                         : "Output 1/3   \r\n"));
    const std::string noRoom = "Error: cannot write " + out.str() + "a.jpg\n";
    EXPECT_EQ(run.err, lost ? noRoom : kept ? "" : "Error\n");
    EXPECT_EQ(run.status, kept && !lost ? 0 : 1);
    const Names written = lost   ? Names{"b.jpg", "c.jpg"}
                          : kept ? Names{"a.jpg", "b.jpg", "c.jpg"}
                                 : Names{"a.jpg"};
    EXPECT_EQ(EntryNames(out.path()), written) << memory << " " << file << " " << z << full;
    const Bytes bytes = ReadBytes(report);
    const std::string text(bytes.begin(), bytes.end());
    if (workers == 2) {
      EXPECT_EQ(text.find("stopped at <a href=\"#page-1\"") == text.npos, kept || z);
      continue;
    }
    // The CSV's last column: the reasons of a, b and c.
    EXPECT_EQ(std::regex_replace(text, std::regex(",([^,\n]*)\n"), "$1|",
                                 std::regex_constants::format_no_copy),
              lost   ? "reason|cannot write: No space left on device|||"
              : kept ? "reason||||"
                     : "reason||changed since the analysis: its box is no longer on the page||");
  }
}

// The kept boxes' file takes half the free space or half the memory, whichever is less; on a file
// system in memory no more than the memory budget.
TEST(BatchRun, FileBudget) {
  constexpr std::uint64_t M = 1 << 20, G = 1 << 30;
  using S = std::optional<FileSystemSpace>;
  const auto disk = FileSystemKind::kDisk, memory = FileSystemKind::kMemory;
  // clang-format off
  for (const auto& [space, physical, budget] : {std::tuple{S{{100 * G, 0, disk}}, 8 * G, 4 * G},
       {S{{G, 0, disk}}, 8 * G, G / 2}, {std::nullopt, 8 * G, 0}, {S{{M, 0, memory}}, G, M / 2},
       {S{{100 * G, 0, memory}}, 8 * G, 320 * M}, {S{{100 * G, 0, memory}}, G, G / 4}})
    // clang-format on
    EXPECT_EQ(FileBudget(space, physical), budget) << physical << " " << budget;
}

}  // namespace
}  // namespace quarnel
