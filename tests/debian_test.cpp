// The help, --version and -q end to end; the bash completion and examples/shelf.sh run in bash.

#include <gtest/gtest.h>

#include "app/messages.h"
#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {

const std::string kUsage = messages::kUsage, kHelp = kUsage + messages::kHelp;
const std::string kSource = QUARNEL_SOURCE_DIR;

TEST(Debian, HelpVersionAndQuality) {
  const std::pair<std::vector<std::string>, RunResult> cases[] = {
      {{"-h"}, {kHelp, "", 0}},
      {{"-b", "300", "--help", "-x"}, {kHelp, "", 0}},  // no check is made; parsing ends there
      {{"x", "-help"}, {"", kUsage, 255}},              // an earlier usage error wins
      {{"--version"}, {"quarnel 0.03\n", "", 0}},
      {{"-q"}, {"", kUsage, 255}},
      {{"-q", "-5", "-i", "x"}, {"", "ERROR: quality range (1<=q<=100)\n", 255}},
      {{"-q", "101", "-z"}, {"", "ERROR: -z option needs -o option\n", 255}},  // quality last
  };
  for (const auto& [args, want] : cases) {
    const RunResult run = RunQuarnel(args);
    EXPECT_EQ(std::tie(run.out, run.err, run.status), std::tie(want.out, want.err, want.status))
        << ::testing::PrintToString(args);
  }
  TempDir out;  // a page written without -q, with -q 50 and with -q 90
  auto page = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"-i", QUARNEL_EXAMPLES_DIR "/book", "-o", out.str()});
    return RunQuarnel(args).status == 0 ? ReadBytes(out / "p0002.jpg") : Bytes{};
  };
  const Bytes plain = page({});
  EXPECT_EQ(page({"-q", "50"}), plain);
  EXPECT_GT(page({"-q", "90"}).size(), plain.size() * 3 / 2);
}

TEST(Debian, CompletionAndShelf) {
  TempDir dir;
  std::filesystem::create_directories(dir / "shelf/bad");
  for (const char* name : {"a.csv", "b.html", "c.jpg"}) WriteBytes(dir / name, {});
  const std::string script = R"(source "$0"; t() { COMP_WORDS=(quarnel "$@"); COMP_CWORD=$#;
      _quarnel; echo "${COMPREPLY[*]}"; }; t --v; t -b 1 -i s; t -r '')";
  const std::vector<std::string> args = {"-c", script, kSource + "/completions/quarnel.bash"};
  EXPECT_EQ(RunProgram("/bin/bash", args, {.workDir = dir.path()}).out,
            "--version\nshelf\nshelf a.csv b.html\n");
  std::filesystem::copy(QUARNEL_EXAMPLES_DIR "/book", dir / "shelf/good");  // the files only
  const RunResult shelf =
      RunProgram("/bin/bash", {kSource + "/examples/shelf.sh", dir.str() + "shelf"},
                 {.env = {{"QUARNEL", QUARNEL_BINARY}}});
  EXPECT_EQ(shelf.status, 1);
  EXPECT_NE(shelf.err.find(" 1 of 2 books failed: bad\n"), std::string::npos) << shelf.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "shelf/good.out/p0001.jpg"));
}

}  // namespace quarnel::testing
