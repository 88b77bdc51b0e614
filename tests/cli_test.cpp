// The command line end to end (command_line_test.cpp checks every argument list and message).

#include <gtest/gtest.h>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

const std::string kUsage =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";

struct CliCase {
  std::vector<std::string> args;
  std::string err;
  int status;
};

TEST(Cli, MessageAndStatus) {
  const CliCase cases[] = {
      {{"scans"}, kUsage, 255},
      {{"-v"}, "quarnel ver 0.03\n\n" + kUsage, 255},
      {{"-b", "120", "-w", "120"}, "ERROR: black & white range (0<=b<w<255)\n", 255},
      {{"-i", "missing", "-o", "out"}, "ERROR: no .jpg file in missing/\n", 1},
      {{}, "ERROR: no .jpg file in ./\n", 1},
  };
  for (const CliCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    TempDir dir;
    const RunResult run = RunQuarnel(c.args, {.workDir = dir.path()});
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(EntryNames(dir.path()).empty());
  }
}

}  // namespace
}  // namespace quarnel::testing
