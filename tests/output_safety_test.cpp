// The output folder under stress: folders that cannot be written, the input folder itself, a full
// disk, a run interrupted in the output pass. Afterwards every output file is the one that was
// there before, or absent, or complete, and no other file (a temporary one) is left behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <random>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

std::string PageName(int i) {
  return "p0" + std::to_string(i) + ".jpg";
}

// `count` pages of w x h pixels with a dark block that moves a little from page to page; page
// `noisy` fills it with random grey levels instead, which makes its output file large.
void MakeBook(const fs::path& dir, int count, int w, int h, int noisy = -1) {
  std::mt19937 random(7);
  for (int i = 0; i < count; ++i) {
    TestPage page(w, h);
    page.Fill(w / 6 + i % 5, h / 8 + i % 3, w * 4 / 5 - i % 4, h * 6 / 7 - i % 6, 10);
    for (int y = h / 8; i == noisy && y < h * 6 / 7 - 5; ++y) {
      for (int x = w / 6 + 4; x < w * 4 / 5 - 3; ++x) page.at(x, y) = random() % 100;
    }
    WriteJpeg(dir / PageName(i), page, {.quality = 90});
  }
}

const Bytes kOld = EncodeJpeg(TestPage(16, 16, 0));  // what an output folder held before

// The files in `dir` with their bytes (a folder's are empty).
std::map<std::string, Bytes> Contents(const fs::path& dir) {
  std::map<std::string, Bytes> files;
  for (const std::string& name : EntryNames(dir))
    files[name] = fs::is_directory(dir / name) ? Bytes{} : ReadBytes(dir / name);
  return files;
}

// Every file in `dir` is as `before` or a complete page of the canvas in the run's summary.
void ExpectOldOrComplete(const fs::path& dir, const std::map<std::string, Bytes>& before,
                         const std::string& runOut) {
  auto value = [&](const std::string& label) {
    const auto line = runOut.find(label);
    return line == std::string::npos ? 0 : std::stoi(runOut.substr(runOut.find('(', line) + 1));
  };
  for (const auto& [name, bytes] : Contents(dir)) {
    if (before.contains(name) && before.at(name) == bytes) continue;
    EXPECT_TRUE(name.starts_with("p0") && name.ends_with(".jpg")) << "left behind: " << name;
    ReadOutputPage(dir / name, value("Max Width:  "), value("Max Height: "));
  }
}

struct FailCase {
  const char* what;
  std::string outDir;          // a fresh folder holding the entries below when empty
  std::vector<int> old, dirs;  // pages there before: files, folders
  bool readOnly;
  long long fileSizeLimit;
  std::vector<int> failing;  // the pages reported as not written
};

// Every page that cannot be written is reported and left as it was; the others are written.
TEST(OutputSafety, UnwritablePagesAreReportedAndKeepTheirOldFiles) {
  const FailCase cases[] = {
      {"ReadOnlyFolder", "", {1}, {}, true, -1, {0, 1, 2}},  // root would write into it: not tried
      // The kernel's process file system takes no new files, not even from root.
      {"ProcFolder", "/proc/", {}, {}, false, -1, {0, 1, 2}},
      {"FoldersNamedLikePages", "", {}, {0, 1}, false, -1, {0, 1}},  // none renamed over a folder
      // A file-size limit stands for a full disk: only p01 does not fit.
      {"FullDisk", "", {0, 1}, {}, false, 2048, {1}},
  };
  TempDir in;
  MakeBook(in.path(), 3, 160, 120, 1);  // p01's output file has several KiB, the others under 1
  for (const FailCase& c : cases) {
    if (c.readOnly && geteuid() == 0) continue;
    SCOPED_TRACE(c.what);
    TempDir out;
    for (const int i : c.old) WriteBytes(out / PageName(i), kOld);
    for (const int i : c.dirs) fs::create_directory(out / PageName(i));
    const std::string outDir = c.outDir.empty() ? out.str() : c.outDir;
    const auto before = Contents(out.path());
    if (c.readOnly) fs::permissions(out.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const RunResult run =
        RunQuarnel({"-i", in.str(), "-o", outDir}, {.fileSizeLimit = c.fileSizeLimit});
    fs::permissions(out.path(), fs::perms::owner_all);
    std::string err;
    for (const int i : c.failing) err += "Error: cannot write " + outDir + PageName(i) + "\n";
    EXPECT_EQ(run.err, err);
    EXPECT_EQ(run.status, 1) << "signal " << run.signal;
    EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 3) + "\n"));
    ExpectOldOrComplete(out.path(), before, run.out);
    auto after = Contents(out.path()), expected = before;
    for (int i = 0; i < 3 && c.outDir.empty(); ++i) {
      if (std::find(c.failing.begin(), c.failing.end(), i) != c.failing.end()) continue;
      EXPECT_TRUE(after.erase(PageName(i))) << PageName(i) << " not written";
      expected.erase(PageName(i));
    }
    EXPECT_TRUE(after == expected);  // the pages not written are as before
  }
}

// OUT = IN, no box kept: each page is read again, then replaced by its cropped version.
TEST(OutputSafety, InputFolderReplacedByItsCroppedPages) {
  TempDir dir;
  MakeBook(dir.path(), 5, 160, 120);
  const RunResult run =
      RunQuarnel({"-i", dir.str(), "-o", dir.str()}, {.env = {{"QUARNEL_TEST_BOX_BUDGET", "0"}}});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(run.out.ends_with(ProgressLines("Output", 5) + "\n"));
  EXPECT_EQ(EntryNames(dir.path()).size(), 5u);
  ExpectOldOrComplete(dir.path(), {}, run.out);  // none of them as before
}

// SIGINT or SIGTERM as a page is written (its progress line just out; 40 large pages to go, read
// again and whitened) ends the run with 128 + signal, every output file old, absent or complete.
TEST(OutputSafety, SignalDuringTheOutputPass) {
  TempDir in;
  MakeBook(in.path(), 1, 1200, 1200, 0);
  for (int i = 1; i < 40; ++i) fs::copy_file(in / PageName(0), in / PageName(i));
  for (const auto& [signal, after, workers] :
       {std::tuple{SIGINT, "Output 0/", "1"}, {SIGTERM, "Output 1/", "2"}}) {
    SCOPED_TRACE(after);
    TempDir out;
    for (int i = 0; i < 40; i += 2) WriteBytes(out / PageName(i), kOld);
    const auto before = Contents(out.path());
    const RunResult run =
        RunQuarnel({"-i", in.str(), "-o", out.str(), "-w"},
                   {.env = {{"QUARNEL_TEST_WORKERS", workers}, {"QUARNEL_TEST_BOX_BUDGET", "0"}},
                    .signal = signal,
                    .signalAfter = after});
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 128 + signal) << "signal " << run.signal;
    ExpectOldOrComplete(out.path(), before, run.out);
  }
}

}  // namespace
}  // namespace quarnel::testing
