// The bash completion and examples/shelf.sh, run in bash.

#include <gtest/gtest.h>

#include "test_support.h"

namespace quarnel::test {

const std::string kSource = QUARNEL_SOURCE_DIR;

TEST(Shell, CompletionAndShelf) {
  TempDir dir;
  std::filesystem::create_directories(dir / "shelf/bad");
  for (const char* name : {"a.csv", "b.html", "c.jpg", "d.CSV", "e.HTML", "f.Htm"})
    WriteBytes(dir / name, {});
  // The tool picks an option by its second character (-input is -i) and a report's format by
  // its extension in any letter case; the completion does the same.
  const std::string script = R"(source "$0"; t() { COMP_WORDS=(quarnel "$@"); COMP_CWORD=$#;
      _quarnel; echo "${COMPREPLY[*]}"; }; t --v; t -b 1 -i s; t -r ''; t -report d;
      t -input s; t -output s; t -black ''; t -q '')";
  const std::vector<std::string> args = {"-c", script, kSource + "/completions/quarnel.bash"};
  EXPECT_EQ(RunProgram("/bin/bash", args, {.workDir = dir.path()}).out,
            "--version\nshelf\nshelf a.csv d.CSV b.html e.HTML f.Htm\nd.CSV\nshelf\nshelf\n\n\n");
  std::filesystem::copy(QUARNEL_EXAMPLES_DIR "/book", dir / "shelf/good");  // the files only
  const RunResult shelf =
      RunProgram("/bin/bash", {kSource + "/examples/shelf.sh", dir.str() + "shelf"},
                 {.env = {{"QUARNEL", QUARNEL_BINARY}}});
  EXPECT_EQ(shelf.status, 1);
  EXPECT_NE(shelf.err.find(" 1 of 2 books failed: bad\n"), std::string::npos) << shelf.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "shelf/good.out/p0001.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir / "shelf/good.out/report.csv"));
  // A shelf named "-...", a book named with a line feed and a link to a book folder; the report
  // named after -report (read as -r) goes to each book's output folder.
  std::filesystem::create_directories(dir / "-s");
  std::filesystem::copy(QUARNEL_EXAMPLES_DIR "/book", dir / "-s/line\nfeed");
  std::filesystem::create_directory_symlink("../shelf/good", dir / "-s/linked");
  const RunResult odd = RunProgram(
      "/bin/bash", {kSource + "/examples/shelf.sh", "-s", "-w", "160", "-report", "report.html"},
      {.workDir = dir.path(), .env = {{"QUARNEL", QUARNEL_BINARY}}});
  EXPECT_EQ(odd.status, 0) << odd.err;
  EXPECT_TRUE(odd.out.ends_with("\nall 2 books done\n")) << odd.out;
  for (const char* book : {"line\nfeed", "linked"})
    EXPECT_TRUE(std::filesystem::exists(dir / "-s" / (std::string(book) + ".out/report.html")));
}

}  // namespace quarnel::test
