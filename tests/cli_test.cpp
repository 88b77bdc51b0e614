// The binary's command line: usage and settings errors, and the empty or missing input folder.

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

const std::string kUsage =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
const std::string kVersion = "quarnel ver 0.03\n\n";
const std::string kRange = "ERROR: black & white range (0<=b<w<255)\n";
const std::string kNoise = "ERROR: noise range (0<=n)\n";
const std::string kNeedsOut = "ERROR: -z option needs -o option\n";

struct SettingsErrorCase {
  std::vector<std::string> args;
  std::string err;
};

class SettingsError : public ::testing::TestWithParam<SettingsErrorCase> {};

// Every case ends before the input folder is looked at: none of the folders named exists, and
// a listing would end with status 1 instead.
TEST_P(SettingsError, PrintsMessageOnlyAndExits255) {
  const RunResult run = RunQuarnel(GetParam().args);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.err, GetParam().err);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 255);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SettingsError,
    ::testing::Values(
        // Usage errors.
        SettingsErrorCase{{"scans"}, kUsage}, SettingsErrorCase{{""}, kUsage},
        SettingsErrorCase{{"-"}, kUsage}, SettingsErrorCase{{"-x"}, kUsage},
        SettingsErrorCase{{"-I", "no-such-dir"}, kUsage}, SettingsErrorCase{{"-i"}, kUsage},
        SettingsErrorCase{{"-i", "no-such-dir", "-o"}, kUsage}, SettingsErrorCase{{"-b"}, kUsage},
        SettingsErrorCase{{"-i", "no-such-dir", "extra"}, kUsage},
        // -n takes no value beginning with '-': -3 is then an option of its own.
        SettingsErrorCase{{"-n", "-3"}, kUsage},
        // A usage error wins over a settings error found later.
        SettingsErrorCase{{"-b", "-5", "-q"}, kUsage},
        // -v: the version, then the usage, also after valid options.
        SettingsErrorCase{{"-v"}, kVersion + kUsage},
        SettingsErrorCase{{"-i", "no-such-dir", "-version"}, kVersion + kUsage},
        SettingsErrorCase{{"-v", "-x"}, kVersion + kUsage},
        // Range of black and white.
        SettingsErrorCase{{"-b", "-5"}, kRange},
        SettingsErrorCase{{"-b", "120", "-w", "120"}, kRange},
        SettingsErrorCase{{"-b", "200", "-w"}, kRange},  // -w alone is 200
        SettingsErrorCase{{"-w", "257"}, kRange}, SettingsErrorCase{{"-b", "256"}, kRange},
        // Values beyond 32 bits saturate; wrapped around, these would be 10 and 200.
        SettingsErrorCase{{"-b", "4294967306", "-z"}, kRange},
        SettingsErrorCase{{"-w", "4294967496", "-z"}, kRange},
        // Noise: a value beginning with a blank is a value, and atoi reads it as -4.
        SettingsErrorCase{{"-n", " -4"}, kNoise},
        // -z needs -o; an empty -o counts as none; -zz and -w before -z still parse -z.
        SettingsErrorCase{{"-z"}, kNeedsOut}, SettingsErrorCase{{"-o", "", "-z"}, kNeedsOut},
        SettingsErrorCase{{"-input", "no-such-dir", "-zz"}, kNeedsOut},
        SettingsErrorCase{{"-w", "-z"}, kNeedsOut},
        // The range limits that pass: white 255 and 256, black 0.
        SettingsErrorCase{{"-b", "254", "-w", "255", "-z"}, kNeedsOut},
        SettingsErrorCase{{"-b", "0", "-w", "256", "-z"}, kNeedsOut},
        // Later options override earlier ones.
        SettingsErrorCase{{"-b", "300", "-b", "10", "-z"}, kNeedsOut},
        SettingsErrorCase{{"-b", "10", "-b", "300", "-z"}, kRange},
        // Checks in order: range, noise, -z.
        SettingsErrorCase{{"-z", "-n", " -1", "-b", "-1"}, kRange},
        SettingsErrorCase{{"-z", "-n", " -1"}, kNoise}));

TEST(Cli, NoArgumentsInAnEmptyFolderFindsNoPage) {
  TempDir dir;
  const RunResult run = RunQuarnel({}, dir.path());
  EXPECT_EQ(run.err, "ERROR: no .jpg file in ./\n");
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 1);

  // "-i ''" is the current folder too.
  const RunResult emptyArg = RunQuarnel({"-i", ""}, dir.path());
  EXPECT_EQ(emptyArg.err, "ERROR: no .jpg file in ./\n");
  EXPECT_EQ(emptyArg.status, 1);
}

TEST(Cli, MissingFolderFindsNoPage) {
  TempDir dir;
  const std::string missing = (dir / "no such folder").string();
  for (const std::string& arg : {missing, missing + "/"}) {
    const RunResult run = RunQuarnel({"-i", arg, "-o", (dir / "out").string()});
    EXPECT_EQ(run.err, "ERROR: no .jpg file in " + missing + "/\n") << arg;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out"));
}

// The runner's hang guard: a child that outlives its time is killed, not waited for.
TEST(Cli, RunnerKillsAChildThatHangs) {
  const RunResult run = RunProgram("/bin/sleep", {"30"}, {}, std::chrono::milliseconds(100));
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.signal, SIGKILL);
}

}  // namespace
}  // namespace quarnel::testing
