// Runs with several workers, and with the output pass reading pages again instead of keeping
// their boxes, must print and write exactly what a one-worker run does.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object; children inherit it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
};

std::map<std::string, std::vector<std::uint8_t>> FolderContents(const fs::path& folder) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

struct Outcome {
  RunResult run;
  std::map<std::string, std::vector<std::uint8_t>> written;
};

// A book of pages with boxes of different sizes and places, some with specks and faint grey.
// `unreadable` pages are text files named .jpg; `blank` pages have no content.
void MakeBook(const fs::path& folder, int pages, const std::vector<int>& unreadable,
              const std::vector<int>& blank) {
  std::mt19937 random(1234);
  for (int i = 0; i < pages; ++i) {
    const fs::path path = folder / (std::to_string(100 + i) + ".jpg");
    if (std::find(unreadable.begin(), unreadable.end(), i) != unreadable.end()) {
      WriteBytes(path, {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
      continue;
    }
    const int w = 140 + static_cast<int>(random() % 60);
    const int h = 120 + static_cast<int>(random() % 60);
    TestPage page(w, h, 235);
    if (std::find(blank.begin(), blank.end(), i) == blank.end()) {
      const int x0 = 5 + static_cast<int>(random() % 40);
      const int y0 = 5 + static_cast<int>(random() % 40);
      page.Fill(x0, y0, x0 + 30 + static_cast<int>(random() % 60),
                y0 + 30 + static_cast<int>(random() % 50), 20);
      page.Fill(w - 4, h - 4, w - 3, h - 3, 0);  // a speck near the corner
    }
    JpegOptions options;
    options.sampling = i % 2 ? Sampling::k420 : Sampling::kGray;
    options.progressive = i % 3 == 0;
    WriteJpeg(path, page, options);
  }
}

Outcome RunWith(const std::vector<std::string>& args, const fs::path& out, int workers,
                const std::string& budget) {
  std::error_code ignored;
  fs::remove_all(out, ignored);
  fs::create_directory(out);
  ScopedEnv workerEnv("QUARNEL_TEST_WORKERS", std::to_string(workers));
  std::optional<ScopedEnv> budgetEnv;
  if (!budget.empty()) budgetEnv.emplace("QUARNEL_TEST_BOX_BUDGET", budget);
  Outcome outcome{RunQuarnel(args), {}};
  outcome.written = FolderContents(out);
  return outcome;
}

struct Case {
  const char* name;
  std::vector<std::string> options;
  std::vector<int> unreadable;
  std::vector<int> blank;
};

TEST(ParallelRun, EveryWorkerCountPrintsAndWritesTheSameAsOneWorker) {
  const std::vector<Case> cases = {
      {"full pass, whitening", {"-w"}, {}, {4}},
      {"noise-tolerant", {"-n", "3", "-w", "230"}, {}, {}},
      {"unreadable page stops the pass", {"-w"}, {7}, {2}},
      {"extreme pages only", {"-z"}, {3}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path in = dir / "in";
    const fs::path out = dir / "out";
    fs::create_directory(in);
    MakeBook(in, 13, c.unreadable, c.blank);
    std::vector<std::string> args = {"-i", in.string(), "-o", out.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());

    const Outcome reference = RunWith(args, out, 1, "");
    ASSERT_FALSE(reference.run.timedOut);
    ASSERT_FALSE(reference.written.empty());
    for (const int workers : {2, 3, 8}) {
      for (const std::string budget : {"", "0", "40000"}) {
        SCOPED_TRACE("workers " + std::to_string(workers) + ", box budget '" + budget + "'");
        const Outcome parallel = RunWith(args, out, workers, budget);
        EXPECT_EQ(parallel.run.out, reference.run.out);
        EXPECT_EQ(parallel.run.err, reference.run.err);
        EXPECT_EQ(parallel.run.status, reference.run.status);
        EXPECT_TRUE(parallel.written == reference.written);
      }
    }
  }
}

}  // namespace
}  // namespace quarnel::testing
