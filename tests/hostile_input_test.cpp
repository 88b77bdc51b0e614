// Hostile entries named .jpg, each beside one good page (a.jpg): no run may crash, hang or take
// much time or memory, and each gives the messages and exit status of a page that cannot be
// read, of a page without content, of an entry that is no page at all, or of an ordinary page.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

TestPage GoodPage() {  // right 74, top 35, width 49, height 29
  TestPage page(120, 100);
  page.Fill(30, 40, 69, 59, 0);
  return page;
}
const Bytes kBaseline = EncodeJpeg(GoodPage(), {.sampling = Sampling::k420});
const Bytes kProgressive =
    EncodeJpeg(GoodPage(), {.sampling = Sampling::k420, .progressive = true});

std::size_t Find(const Bytes& jpeg, std::uint8_t marker) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  }
  throw std::runtime_error("no marker");
}

// The file with its frame header declaring `size` x `size` pixels, padded with zeros to twice the
// least size the decoder accepts for that many pixels.
Bytes Huge(Bytes jpeg, std::uint8_t sofMarker, int size) {
  const std::size_t sof = Find(jpeg, sofMarker);
  jpeg[sof + 5] = jpeg[sof + 7] = static_cast<std::uint8_t>(size >> 8);
  jpeg[sof + 6] = jpeg[sof + 8] = static_cast<std::uint8_t>(size);
  jpeg.resize(static_cast<std::size_t>(size) * size / 8192);
  return jpeg;
}

enum class Kind {
  kNoPage,      // not listed: no progress line, no message
  kUnreadable,  // "Error: 1"; the output pass stops at it with "Error"
  kNoContent,   // "Error: 1"; written as a white page
  kLikeA,       // a page like a.jpg, which keeps every extreme
  kDark,        // dark all over: its box is the whole page and sets every extreme
};

struct HostileCase {
  const char* what;
  std::string name;  // sorts after "a.jpg"
  Kind kind;
  std::function<void(const fs::path&)> make;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.what;
}

auto Raw(const Bytes& bytes) {
  return [bytes](const fs::path& p) { WriteBytes(p, bytes); };
}
auto Page(const TestPage& page, const JpegOptions& options = {}) {
  return [=](const fs::path& p) { WriteJpeg(p, page, options); };
}

const HostileCase kCases[] = {
    {"Empty", "b.jpg", Kind::kUnreadable, Raw({})},
    {"Text", "b.jpg", Kind::kUnreadable, Raw({'p', 'a', 'g', 'e', '\n'})},
    {"Png", "b.jpg", Kind::kUnreadable, Raw({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0})},
    {"CutInTables", "b.jpg", Kind::kUnreadable,
     Raw({kBaseline.begin(), kBaseline.begin() + Find(kBaseline, 0xC4) + 9})},
    {"CutInScan", "b.jpg", Kind::kUnreadable, Raw({kBaseline.begin(), kBaseline.end() - 300})},
    // Every byte of the image is there, only the end marker is missing: the page is complete.
    {"CutBeforeEndMarker", "b.jpg", Kind::kLikeA, Raw({kBaseline.begin(), kBaseline.end() - 2})},
    // A progressive file is complete only at its end marker: a later scan could still follow.
    {"ProgressiveCutBeforeEndMarker", "b.jpg", Kind::kUnreadable,
     Raw({kProgressive.begin(), kProgressive.end() - 2})},
    {"BaselineDeclaringHugeSize", "b.jpg", Kind::kUnreadable, Raw(Huge(kBaseline, 0xC0, 40000))},
    {"ProgressiveDeclaringHugeSize", "b.jpg", Kind::kUnreadable,
     Raw(Huge(kProgressive, 0xC2, 40000))},
    {"TwoThousandScans", "b.jpg", Kind::kUnreadable,
     Page(TestPage(120, 100, 0), {.sampling = Sampling::k444, .acScanBits = 11})},
    {"NoReadPermission", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) {
       WriteJpeg(p, GoodPage());
       fs::permissions(p, fs::perms::none);
     }},
    {"Directory", "x.jpg", Kind::kNoPage, [](const fs::path& p) { fs::create_directory(p); }},
    {"Fifo", "f.jpg", Kind::kNoPage,
     [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
    {"SymlinkLoop", "loop.jpg", Kind::kNoPage,
     [](const fs::path& p) { fs::create_symlink(p.filename(), p); }},
    {"OnePixel", "b.jpg", Kind::kNoContent, Page(TestPage(1, 1, 0))},
    {"OneColumn", "b.jpg", Kind::kNoContent, Page(TestPage(1, 50, 0))},
    {"DarkWithOddName", "b  page \xff\xfe\x80 -z.jpg", Kind::kDark, Page(TestPage(120, 100, 0))},
};

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, IsReportedAndNeverHurtsTheRun) {
  const HostileCase& c = GetParam();
  if (c.what == std::string("NoReadPermission") && geteuid() == 0)
    GTEST_SKIP() << "root reads any file";
  TempDir in, out;
  WriteJpeg(in / "a.jpg", GoodPage());
  c.make(in / c.name);
  const int pages = c.kind == Kind::kNoPage ? 1 : 2;
  const std::string n = c.kind == Kind::kDark ? c.name : "a.jpg";
  const std::string summary = c.kind == Kind::kDark ? Summary({n, 120}, {n, 0}, {n, 120}, {n, 100})
                                                    : Summary({n, 74}, {n, 35}, {n, 49}, {n, 29});
  const bool unreadable = c.kind == Kind::kUnreadable;
  const RunResult run =
      RunQuarnel({"-i", in.str(), "-o", out.str()}, {.timeout = std::chrono::seconds(5)});
  EXPECT_LT(run.maxRssKiB, 500 * 1024);
  EXPECT_EQ(run.out,
            ProgressLines("Input", pages) + summary + ProgressLines("Output", pages) + "\n");
  EXPECT_EQ(run.err, std::string(unreadable || c.kind == Kind::kNoContent ? "Error: 1\n" : "") +
                         (unreadable ? "Error\n" : ""));
  EXPECT_EQ(run.status, unreadable ? 1 : 0) << "signal " << run.signal;
  std::vector<std::string> written = {"a.jpg"};
  if (pages == 2 && !unreadable) written.push_back(c.name);  // the name byte for byte
  EXPECT_EQ(EntryNames(out.path()), written);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.what); });

// Memory running out is a message and an exit status, not an abort: under a 256 MiB address
// space, a baseline page of 16384 x 16384 pixels (268 MB of pixels) and a progressive one of
// 12000 x 12000 (432 MB of coefficients), with one worker and with two.
TEST(HostileInputMemory, OutOfMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space";
#endif
  const std::pair<Bytes, const char*> cases[] = {{Huge(kBaseline, 0xC0, 16384), "1"},
                                                 {Huge(kProgressive, 0xC2, 12000), "2"}};
  for (const auto& [page, workers] : cases) {
    SCOPED_TRACE(workers);
    TempDir in, out;
    WriteJpeg(in / "a.jpg", GoodPage());
    WriteBytes(in / "b.jpg", page);
    const RunResult run =
        RunQuarnel({"-i", in.str(), "-o", out.str()},
                   {.env = {{"QUARNEL_TEST_WORKERS", workers}}, .addressSpaceLimit = 256 << 20});
    EXPECT_EQ(run.err, "ERROR: out of memory\n");
    EXPECT_EQ(run.status, 1) << "signal " << run.signal;
    EXPECT_TRUE(EntryNames(out.path()).empty());
  }
}

}  // namespace
}  // namespace quarnel::testing
