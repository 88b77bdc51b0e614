// Runs with several workers, and with the output pass reading pages again instead of keeping
// their boxes, must print and write exactly what a one-worker run does.

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

// 13 pages of different sizes, boxes and samplings on a light grey ground, each with a fleck
// near its corner; page `unreadable` is a text file and page `blank` has no content.
void MakeBook(const fs::path& folder, int unreadable, int blank) {
  std::mt19937 random(1234);
  auto between = [&](int low, int high) { return low + static_cast<int>(random() % (high - low)); };
  for (int i = 0; i < 13; ++i) {
    const fs::path path = folder / (std::to_string(100 + i) + ".jpg");
    TestPage page(between(140, 200), between(120, 180), 235);
    const int x0 = between(5, 45), y0 = between(5, 45);
    page.Fill(x0, y0, x0 + between(30, 90), y0 + between(30, 80), 20);
    page.Fill(page.width - 4, page.height - 4, page.width - 3, page.height - 3, 0);
    if (i == blank) page = TestPage(page.width, page.height, 235);
    const JpegOptions options{.sampling = i % 2 ? Sampling::k420 : Sampling::kGray,
                              .progressive = i % 3 == 0};
    i == unreadable ? WriteBytes(path, {'t', 'e', 'x', 't'}) : WriteJpeg(path, page, options);
  }
}

struct Outcome {
  RunResult run;
  std::map<std::string, Bytes> written;
};

Outcome RunWith(const std::vector<std::string>& args, const fs::path& out, const char* workers,
                const char* boxBudget) {
  fs::remove_all(out);
  fs::create_directory(out);
  ChildOptions options{.env = {{"QUARNEL_TEST_WORKERS", workers}}};
  if (*boxBudget) options.env.push_back({"QUARNEL_TEST_BOX_BUDGET", boxBudget});
  Outcome outcome{RunQuarnel(args, options), {}};
  for (const auto& entry : fs::directory_iterator(out))
    outcome.written[entry.path().filename()] = ReadBytes(entry.path());
  return outcome;
}

TEST(ParallelRun, PrintsAndWritesWhatOneWorkerDoes) {
  struct Case {
    std::vector<std::string> options;
    int unreadable, blank;
  };
  const Case cases[] = {{{"-w"}, -1, 4},                   // a blank page, written white
                        {{"-n", "3", "-w", "230"}, 7, 2},  // the full pass stops at page 7
                        {{"-z"}, 3, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    TempDir dir;
    MakeBook(dir.path(), c.unreadable, c.blank);
    std::vector<std::string> args = {"-i", dir.str(), "-o", (dir / "out").string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome reference = RunWith(args, dir / "out", "1", "");
    ASSERT_FALSE(reference.written.empty());
    // Box budgets: the default (every box kept), none (every page read again), some.
    for (const auto& [workers, budget] : {std::pair{"2", ""}, {"3", "0"}, {"8", "40000"}}) {
      SCOPED_TRACE(std::string(workers) + " workers, box budget '" + budget + "'");
      const Outcome parallel = RunWith(args, dir / "out", workers, budget);
      EXPECT_EQ(parallel.run.out, reference.run.out);
      EXPECT_EQ(parallel.run.err, reference.run.err);
      EXPECT_EQ(parallel.run.status, reference.run.status);
      EXPECT_TRUE(parallel.written == reference.written);
    }
  }
}

}  // namespace
}  // namespace quarnel::testing
