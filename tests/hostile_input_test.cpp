// Hostile input folders: every entry named .jpg that is not a good page, built by the test. Each
// case puts one good page (a.jpg) and one hostile entry into a folder and runs the binary with
// and without an output folder. No run may crash, hang or take much time or memory; each gives
// the message and exit status of a page that cannot be read, of a page without content, of an
// entry that is no page at all, or of an ordinary page.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <jpeglib.h>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr int kWidth = 120;
constexpr int kHeight = 100;

// a.jpg: right 74, top 35, width 49, height 29.
TestPage GoodPage() {
  TestPage page(kWidth, kHeight);
  page.Fill(30, 40, 69, 59, 0);
  return page;
}

std::size_t FindMarker(const Bytes& jpeg, std::uint8_t code) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == code) return i;
  }
  ADD_FAILURE() << "no marker " << int{code};
  return 0;
}

Bytes Cut(Bytes jpeg, std::size_t size) {
  jpeg.resize(size);
  return jpeg;
}

Bytes Baseline() {
  return EncodeJpeg(GoodPage(), {.sampling = Sampling::k420});
}
Bytes Progressive() {
  return EncodeJpeg(GoodPage(), {.sampling = Sampling::k420, .progressive = true});
}
std::size_t ScanData(const Bytes& jpeg) {
  const std::size_t sos = FindMarker(jpeg, 0xDA);
  return sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3]);
}

// The file with the size in its frame header replaced: a tiny file declaring a huge image.
Bytes DeclaringSize(Bytes jpeg, std::uint8_t sofCode, int width, int height) {
  const std::size_t sof = FindMarker(jpeg, sofCode);
  jpeg[sof + 5] = static_cast<std::uint8_t>(height >> 8);
  jpeg[sof + 6] = static_cast<std::uint8_t>(height);
  jpeg[sof + 7] = static_cast<std::uint8_t>(width >> 8);
  jpeg[sof + 8] = static_cast<std::uint8_t>(width);
  return jpeg;
}

[[noreturn]] void AbortOnError(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  std::fprintf(stderr, "many-scan encoder: %s\n", text);
  std::abort();
}

// A valid progressive 4:4:4 colour page of kWidth x kHeight, dark all over but for thin light
// diagonals, in 11 + 189 * acBits scans: the DC coefficients by successive approximation one bit
// at a time, and every AC coefficient of every component in scans of its own, its lowest
// `acBits` bits one at a time. Real files have about ten scans.
Bytes ManyScanJpeg(int acBits) {
  constexpr int kTopBit = 10;  // the highest successive-approximation bit libjpeg allows
  std::vector<jpeg_scan_info> scans;
  scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, kTopBit});
  for (int bit = kTopBit - 1; bit >= 0; --bit)
    scans.push_back({3, {0, 1, 2, 0}, 0, 0, bit + 1, bit});
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < 64; ++k) {
      scans.push_back({1, {c, 0, 0, 0}, k, k, 0, acBits - 1});
      for (int bit = acBits - 2; bit >= 0; --bit)
        scans.push_back({1, {c, 0, 0, 0}, k, k, bit + 1, bit});
    }
  }
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  err.error_exit = AbortOnError;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&cinfo, &buffer, &length);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  for (int c = 0; c < 3; ++c)
    cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
  cinfo.scan_info = scans.data();
  cinfo.num_scans = static_cast<int>(scans.size());
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(kWidth * 3);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = (x + y) % 7 ? 0 : 255;
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes bytes(buffer, buffer + length);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return bytes;
}

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

// What the hostile entry is to the run.
enum class Kind {
  kNoPage,        // not listed: no progress line, no message
  kUnreadable,    // "Error: 1"; the output pass stops at it with "Error"
  kNoContent,     // "Error: 1"; written as a white page
  kLikeGoodPage,  // a page like a.jpg: it ties with a.jpg, which keeps every extreme
  kDarkPage,      // a page that is dark all over: its box is the whole page and sets every extreme
};

struct HostileCase {
  const char* what;
  std::string name;  // sorts after "a.jpg"
  Kind kind;
  std::function<void(const fs::path&)> make;
  bool needsNonRoot = false;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.what;
}

const HostileCase kCases[] = {
    {"Empty", "b.jpg", Kind::kUnreadable, [](const fs::path& p) { WriteBytes(p, {}); }},
    {"Text", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Text("page 1\n")); }},
    {"Png", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) {
       WriteBytes(p, Text("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10"s));
     }},
    {"CutAfterSoi", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Cut(Baseline(), 2)); }},
    {"CutInTables", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Cut(Baseline(), FindMarker(Baseline(), 0xC4) + 9)); }},
    {"CutMidScan", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) {
       const Bytes j = Baseline();
       WriteBytes(p, Cut(j, (ScanData(j) + j.size()) / 2));
     }},
    {"CutInLastDataByte", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Cut(Baseline(), Baseline().size() - 3)); }},
    // Every byte of the image is there, only the end marker is missing: the page is complete.
    {"CutBeforeEndMarker", "b.jpg", Kind::kLikeGoodPage,
     [](const fs::path& p) { WriteBytes(p, Cut(Baseline(), Baseline().size() - 2)); }},
    // A progressive file is complete only at its end marker: a later scan could still follow.
    {"ProgressiveCutBeforeEndMarker", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Cut(Progressive(), Progressive().size() - 2)); }},
    {"ProgressiveCutMidFile", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, Cut(Progressive(), Progressive().size() / 2)); }},
    {"Baseline40000Square", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, DeclaringSize(Baseline(), 0xC0, 40000, 40000)); }},
    {"Baseline65000Square", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, DeclaringSize(Baseline(), 0xC0, 65000, 65000)); }},
    {"Progressive40000Square", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, DeclaringSize(Progressive(), 0xC2, 40000, 40000)); }},
    {"Progressive65000Square", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, DeclaringSize(Progressive(), 0xC2, 65000, 65000)); }},
    // A valid file of 2090 scans, beyond the decoder's bound, and one of 200, within it.
    {"ThousandsOfScans", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) { WriteBytes(p, ManyScanJpeg(11)); }},
    {"TwoHundredScans", "b.jpg", Kind::kDarkPage,
     [](const fs::path& p) { WriteBytes(p, ManyScanJpeg(1)); }},
    {"NoReadPermission", "b.jpg", Kind::kUnreadable,
     [](const fs::path& p) {
       WriteJpeg(p, GoodPage());
       fs::permissions(p, fs::perms::none);
     },
     true},
    {"Directory", "x.jpg", Kind::kNoPage,
     [](const fs::path& p) {
       fs::create_directory(p);
       WriteJpeg(p / "inner.jpg", GoodPage());
     }},
    {"Fifo", "f.jpg", Kind::kNoPage,
     [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
    {"SymlinkLoop", "loop.jpg", Kind::kNoPage,
     [](const fs::path& p) { fs::create_symlink(p.filename(), p); }},
    {"DanglingSymlink", "gone.jpg", Kind::kNoPage,
     [](const fs::path& p) { fs::create_symlink("nothing.jpg", p); }},
    {"OnePixelDark", "b.jpg", Kind::kNoContent,
     [](const fs::path& p) { WriteJpeg(p, TestPage(1, 1, 0)); }},
    {"OneColumnWithDarkRun", "b.jpg", Kind::kNoContent,
     [](const fs::path& p) {
       TestPage page(1, 50);
       page.Fill(0, 10, 0, 30, 0);
       WriteJpeg(p, page);
     }},
    {"OneRowWithDarkRun", "b.jpg", Kind::kNoContent,
     [](const fs::path& p) {
       TestPage page(50, 1);
       page.Fill(10, 0, 30, 0, 0);
       WriteJpeg(p, page);
     }},
    {"EntirelyDark", "b.jpg", Kind::kDarkPage,
     [](const fs::path& p) { WriteJpeg(p, TestPage(kWidth, kHeight, 0)); }},
    {"SpacesAndNonUtf8InName", "b  page \xff\xfe\x80 -z.jpg", Kind::kDarkPage,
     [](const fs::path& p) { WriteJpeg(p, TestPage(kWidth, kHeight, 0)); }},
};

// No crash, no hang, and nothing near a multi-gigabyte commit.
void ExpectQuickAndSmall(const RunResult& run) {
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.signal, 0);
  EXPECT_LT(run.elapsed, 5s);
  EXPECT_LT(run.maxRssKiB, 500 * 1024);
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, IsReportedAndNeverHurtsTheRun) {
  const HostileCase& c = GetParam();
  if (c.needsNonRoot && geteuid() == 0) {
    GTEST_SKIP() << "running as root: file permissions do not stop root's reads";
  }
  TempDir in;
  TempDir out;
  WriteJpeg(in / "a.jpg", GoodPage());
  c.make(in / c.name);

  const int pages = c.kind == Kind::kNoPage ? 1 : 2;
  const std::string summary =
      c.kind == Kind::kDarkPage
          ? Summary({c.name, kWidth}, {c.name, 0}, {c.name, kWidth}, {c.name, kHeight})
          : Summary({"a.jpg", 74}, {"a.jpg", 35}, {"a.jpg", 49}, {"a.jpg", 29});
  const std::string analysisErr =
      c.kind == Kind::kUnreadable || c.kind == Kind::kNoContent ? "Error: 1\n" : "";
  const ChildOptions options{.timeout = 20s};

  const RunResult analysis = RunQuarnel({"-i", in.str()}, options);
  ExpectQuickAndSmall(analysis);
  RecordProperty("elapsed_ms", static_cast<int>(analysis.elapsed.count()));
  RecordProperty("max_rss_kib", static_cast<int>(analysis.maxRssKiB));
  EXPECT_EQ(analysis.out, ProgressLines("Input", pages) + summary);
  EXPECT_EQ(analysis.err, analysisErr);
  EXPECT_EQ(analysis.status, 0);

  // The output pass reads the page again: it must fail the same way, and stop there.
  const RunResult output = RunQuarnel({"-i", in.str(), "-o", out.str()}, options);
  ExpectQuickAndSmall(output);
  EXPECT_EQ(output.out,
            ProgressLines("Input", pages) + summary + ProgressLines("Output", pages) + "\n");
  const bool unreadable = c.kind == Kind::kUnreadable;
  EXPECT_EQ(output.err, analysisErr + (unreadable ? "Error\n" : ""));
  EXPECT_EQ(output.status, unreadable ? 1 : 0);
  std::set<std::string> written = {"a.jpg"};
  if (pages == 2 && !unreadable) written.insert(c.name);  // names byte for byte
  EXPECT_EQ(Names(out.path()), written);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.what); });

// Memory running out is a message and an exit status, not an abort. The address-space limit
// makes a page that is readable with enough memory fail for want of it: a baseline page of
// 40000 x 40000 pixels (its 1.6 GB pixel buffer) and a progressive one of 12000 x 12000 (libjpeg's
// 432 MB coefficient buffer).
TEST(HostileInputMemory, OutOfMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit";
#endif
  const Bytes pages[] = {DeclaringSize(Baseline(), 0xC0, 40000, 40000),
                         DeclaringSize(Progressive(), 0xC2, 12000, 12000)};
  for (const Bytes& page : pages) {
    for (const char* workers : {"1", "2"}) {
      SCOPED_TRACE(std::string(page == pages[0] ? "baseline" : "progressive") + ", workers " +
                   workers);
      TempDir in;
      TempDir out;
      WriteJpeg(in / "a.jpg", GoodPage());
      WriteBytes(in / "b.jpg", page);
      ChildOptions options;
      options.timeout = 20s;
      options.env = {{"QUARNEL_TEST_WORKERS", workers}};
      // Without the limit the page is only damaged; with it, memory runs out.
      const RunResult unlimited = RunQuarnel({"-i", in.str()}, options);
      ExpectQuickAndSmall(unlimited);
      EXPECT_EQ(unlimited.err, "Error: 1\n");
      EXPECT_EQ(unlimited.status, 0);
      options.addressSpaceLimit = 256LL << 20;
      const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()}, options);
      EXPECT_FALSE(run.timedOut);
      EXPECT_EQ(run.signal, 0);
      EXPECT_EQ(run.err, "ERROR: out of memory\n");
      EXPECT_EQ(run.status, 1);
      EXPECT_TRUE(Names(out.path()).empty());
    }
  }
}

}  // namespace
}  // namespace quarnel::testing
