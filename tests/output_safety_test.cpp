// The output folder under stress: folders that cannot be written, the input folder itself, a full
// disk, a run interrupted in the middle of the output pass. Afterwards every output file is the
// one that was there before, or absent, or complete, and no temporary file is left behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "imageio/jpeg_codec.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

struct Size {
  int width = 0;
  int height = 0;
};

// The canvas size from a run's summary ("Max Width:  NAME (W)", "Max Height: NAME (H)").
Size CanvasOf(const std::string& out) {
  auto value = [&](const std::string& label) {
    const std::size_t line = out.find(label);
    if (line == std::string::npos) return 0;
    const std::size_t open = out.rfind('(', out.find('\n', line));
    return std::stoi(out.substr(open + 1));
  };
  return {value("Max Width:  "), value("Max Height: ")};
}

// The number of components of a JPEG file's frame, or 0 when there is no frame header.
int Components(const Bytes& jpeg) {
  for (std::size_t pos = 2; pos + 10 <= jpeg.size() && jpeg[pos] == 0xFF;
       pos += 2 + (jpeg[pos + 2] << 8 | jpeg[pos + 3])) {
    if (jpeg[pos + 1] == 0xC0 || jpeg[pos + 1] == 0xC1 || jpeg[pos + 1] == 0xC2)
      return jpeg[pos + 9];
  }
  return 0;
}

// A complete output page: a one-component JPEG that decodes to the canvas size.
::testing::AssertionResult IsCompletePage(const fs::path& path, Size canvas) {
  const Bytes bytes = ReadBytes(path);
  const auto image = LoadGrayFromMemory(bytes.data(), bytes.size());
  if (!image) return ::testing::AssertionFailure() << path << " does not decode";
  if (image->width != canvas.width || image->height != canvas.height || Components(bytes) != 1) {
    return ::testing::AssertionFailure() << path << " is " << image->width << " x " << image->height
                                         << " with " << Components(bytes) << " components";
  }
  return ::testing::AssertionSuccess();
}

// The names in `dir`; none when it does not exist.
std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(dir, missing))
    names.insert(entry.path().filename());
  return names;
}

void ExpectNoTemporaryFile(const fs::path& dir) {
  for (const std::string& name : Names(dir)) EXPECT_FALSE(name.starts_with(".quarnel-")) << name;
}

// The files directly in `dir` with their bytes (a folder's bytes are empty).
std::map<std::string, Bytes> Contents(const fs::path& dir) {
  std::map<std::string, Bytes> files;
  for (const std::string& name : Names(dir)) {
    files[name] = fs::is_directory(dir / name) ? Bytes{} : ReadBytes(dir / name);
  }
  return files;
}

std::string PageName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "p%02d.jpg", i);
  return name;
}

// A book of `count` pages of width x height named p00.jpg ...; each page has a dark block whose
// place and size change a little from page to page. Pages in `noisy` hold random grey levels
// in their block instead, so that their output files are much larger.
void MakeBook(const fs::path& dir, int count, int width, int height, std::set<int> noisy = {}) {
  std::mt19937 random(7);
  for (int i = 0; i < count; ++i) {
    TestPage page(width, height);
    const int x0 = width / 6 + i % 5;
    const int y0 = height / 8 + i % 3;
    page.Fill(x0, y0, width - width / 5 - i % 4, height - height / 7 - i % 6, 10);
    if (noisy.contains(i)) {
      for (int y = y0; y < height - height / 7; ++y) {
        for (int x = x0; x < width - width / 5; ++x) page.at(x, y) = random() % 100;
      }
    }
    WriteJpeg(dir / PageName(i), page, {.quality = 90});
  }
}

const Bytes kOldPage = EncodeJpeg(TestPage(16, 16, 0));  // what an output folder held before

// Folders that no page can be written to. Root passes over permission bits, so the read-only
// folder is tried only by other users; the others fail for root too.
struct UnwritableCase {
  const char* what;
  bool needsNonRoot;
  // Makes the folder below `root`, or names one elsewhere; returns the -o argument.
  std::function<std::string(const fs::path& root)> make;
};

void PrintTo(const UnwritableCase& c, std::ostream* os) {
  *os << c.what;
}

class UnwritableOutput : public ::testing::TestWithParam<UnwritableCase> {};

TEST_P(UnwritableOutput, EveryPageIsReportedAndNothingChanges) {
  if (GetParam().needsNonRoot && geteuid() == 0) {
    GTEST_SKIP() << "running as root: root writes into read-only folders";
  }
  TempDir in;
  TempDir root;
  MakeBook(in.path(), 2, 120, 100);
  const std::string outDir = GetParam().make(root.path());
  const auto before = Contents(root.path());
  const auto beforeInside = Contents(root / "ro");  // empty unless the case made it
  const RunResult run = RunQuarnel({"-i", in.str(), "-o", outDir});
  const std::string prefix = outDir.ends_with('/') ? outDir : outDir + "/";
  EXPECT_EQ(run.err, "Error: cannot write " + prefix + "p00.jpg\nError: cannot write " + prefix +
                         "p01.jpg\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 2) + "\n"));
  EXPECT_TRUE(Contents(root.path()) == before);
  EXPECT_TRUE(Contents(root / "ro") == beforeInside);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnwritableOutput,
    ::testing::Values(UnwritableCase{"ReadOnlyFolder", true,
                                     [](const fs::path& root) {
                                       fs::create_directory(root / "ro");
                                       WriteBytes(root / "ro" / "p01.jpg", kOldPage);
                                       fs::permissions(root / "ro", fs::perms::owner_read |
                                                                        fs::perms::owner_exec);
                                       return (root / "ro").string();
                                     }},
                      // The kernel's process file system takes no new files, not even from root.
                      UnwritableCase{"ProcFolder", false,
                                     [](const fs::path&) { return std::string("/proc/"); }},
                      // A folder in the way of each page: no file is renamed over a folder.
                      UnwritableCase{"FoldersNamedLikeThePages", false,
                                     [](const fs::path& root) {
                                       fs::create_directories(root / "ro" / "p00.jpg");
                                       fs::create_directories(root / "ro" / "p01.jpg");
                                       return (root / "ro").string() + "/";
                                     }},
                      UnwritableCase{"RegularFileAsFolder", false,
                                     [](const fs::path& root) {
                                       WriteBytes(root / "file", kOldPage);
                                       return (root / "file").string();
                                     }}),
    [](const auto& info) { return std::string(info.param.what); });

// OUT = IN: the pages are replaced by their cropped versions, and the result is a good input for
// another run. With a zero box budget the output pass reads each page again just before
// replacing it.
TEST(OutputSafety, InputFolderReplacedByItsCroppedPages) {
  for (const char* budget : {"", "0"}) {
    SCOPED_TRACE(std::string("box budget '") + budget + "'");
    TempDir dir;
    MakeBook(dir.path(), 5, 160, 120);
    ChildOptions options;
    if (*budget) options.env = {{"QUARNEL_TEST_BOX_BUDGET", budget}};
    for (int round = 0; round < 2; ++round) {
      const RunResult run = RunQuarnel({"-i", dir.str(), "-o", dir.str()}, options);
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(run.status, 0);
      EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 5) + "\n"));
      const Size canvas = CanvasOf(run.out);
      EXPECT_LT(canvas.width, 160);
      EXPECT_EQ(Names(dir.path()),
                (std::set<std::string>{"p00.jpg", "p01.jpg", "p02.jpg", "p03.jpg", "p04.jpg"}));
      for (const std::string& name : Names(dir.path())) {
        EXPECT_TRUE(IsCompletePage(dir / name, canvas));
      }
    }
  }
}

// A file-size limit stands for a full disk: a page whose file does not fit is reported, the file
// that was there before stays as it was, and the pages that fit are written completely. The
// binary itself ignores SIGXFSZ, so the limit makes the writes fail instead of ending the run.
TEST(OutputSafety, FullDiskKeepsThePreviousFiles) {
  TempDir in;
  MakeBook(in.path(), 3, 160, 120, {1});  // p01's output is several KiB, the others under 1 KiB
  for (const long long limit : {0LL, 2048LL}) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    TempDir out;
    WriteBytes(out / "p00.jpg", kOldPage);
    WriteBytes(out / "p01.jpg", kOldPage);
    ChildOptions options;
    options.fileSizeLimit = limit;
    const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()}, options);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 1);
    const std::string cannot = "Error: cannot write " + out.str();
    EXPECT_EQ(run.err, limit == 0
                           ? cannot + "p00.jpg\n" + cannot + "p01.jpg\n" + cannot + "p02.jpg\n"
                           : cannot + "p01.jpg\n");
    EXPECT_EQ(ReadBytes(out / "p01.jpg"), kOldPage);
    if (limit == 0) {
      EXPECT_EQ(ReadBytes(out / "p00.jpg"), kOldPage);
      EXPECT_EQ(Names(out.path()), (std::set<std::string>{"p00.jpg", "p01.jpg"}));
    } else {
      EXPECT_TRUE(IsCompletePage(out / "p00.jpg", CanvasOf(run.out)));
      EXPECT_TRUE(IsCompletePage(out / "p02.jpg", CanvasOf(run.out)));
    }
    ExpectNoTemporaryFile(out.path());
  }
}

// Interrupt, termination and hang-up at different moments of the output pass: the run ends
// with 128 + signal, and every output file is the previous one, absent or complete.
TEST(OutputSafety, SignalDuringTheOutputPassLeavesNoPartialFile) {
  constexpr int kPages = 80;
  TempDir in;
  MakeBook(in.path(), 1, 600, 800, {0});  // a page of grey noise, slow to read and to write
  for (int i = 1; i < kPages; ++i) {
    fs::copy_file(in / "p00.jpg", in / PageName(i));
  }
  int ended[NSIG] = {};
  int round = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const auto delay : {0ms, 20ms, 50ms}) {
      SCOPED_TRACE("signal " + std::to_string(signal) + " " + std::to_string(delay.count()) +
                   " ms into the output pass");
      TempDir out;
      std::map<std::string, Bytes> before;
      for (int i = 0; i < kPages; i += 2) {
        before[PageName(i)] = kOldPage;
        WriteBytes(out / PageName(i), kOldPage);
      }
      ChildOptions options;
      options.env = {{"QUARNEL_TEST_WORKERS", std::to_string(1 + round++ % 2)},
                     {"QUARNEL_TEST_BOX_BUDGET", "0"}};
      options.signal = signal;
      options.signalAfterOutput = "Output ";
      options.signalDelay = delay;
      options.timeout = 30s;
      const RunResult run = RunQuarnel({"-i", in.str(), "-o", out.str()}, options);
      ASSERT_FALSE(run.timedOut);
      EXPECT_EQ(run.signal, 0);
      EXPECT_EQ(run.err, "");
      if (run.status == 128 + signal) {
        ++ended[signal];
      } else {
        EXPECT_EQ(run.status, 0) << "finished before the signal";
      }
      ExpectNoTemporaryFile(out.path());
      const Size canvas = CanvasOf(run.out);
      for (const auto& [name, bytes] : Contents(out.path())) {
        if (before.contains(name) && bytes == before[name]) continue;
        EXPECT_TRUE(IsCompletePage(out / name, canvas));
      }
    }
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_GT(ended[signal], 0) << "no run was ended by signal " << signal;
  }
}

}  // namespace
}  // namespace quarnel::testing
