// The HTML overview as a browser shows it (run_test.cpp checks the CSV table against its model).

#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace quarnel::test {
namespace {

namespace fs = std::filesystem;

TEST(Report, BrowserShowsTheOverview) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "needs /usr/bin/chromium";
  TempDir dir;
  std::vector<Bytes> reports;
  for (const int workers : {1, 3}) {
    RunInProcess({"-i", QUARNEL_EXAMPLES_DIR "/book", "-r", (dir / "in-process.html").string()},
                 {workers, {}, {}, nullptr});
    reports.push_back(ReadBytes(dir / "in-process.html"));
  }
  // -r takes the next argument whatever it begins with.
  RunQuarnel({"-r", "-book.HTM", "-i", QUARNEL_EXAMPLES_DIR "/book"}, {.workDir = dir.path()});
  reports.push_back(ReadBytes(dir / "-book.HTM"));
  // The same from one worker and three, and from the binary, but for the line that says how the
  // run was started.
  const std::regex startLine("<p class=\"run\">(.*)</p>\n");
  std::vector<std::string> starts;
  for (Bytes& report : reports) {
    const std::string text(report.begin(), report.end());
    std::smatch start;
    std::regex_search(text, start, startLine);
    starts.push_back(start[1]);
    const std::string rest = std::regex_replace(text, startLine, "");
    report.assign(rest.begin(), rest.end());
  }
  EXPECT_TRUE(reports[0] == reports[1] && reports[0] == reports[2]);
  EXPECT_TRUE(std::regex_match(
      starts[2], std::regex("quarnel [0-9.]+ · 20[0-9-]{8} [0-9:]{8} [-+][0-9]{4} · "
                            "<code><bdi>quarnel -r -book.HTM -i /\\S+/book</bdi></code>")))
      << starts[2];
  const RunResult browser =
      RunProgram("/usr/bin/chromium",
                 {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--user-data-dir=" + (dir / "profile").string(), "--dump-dom",
                  "file://" + (dir / "-book.HTM").string()},
                 {.timeout = std::chrono::seconds(120)});
  // What a person sees, in the page's order: the script has run (so raised no error); every box
  // in the drawing (the extreme pages' last) and the canvas window; a card a page, each with its
  // picture and the badges of the extremes the page sets.
  const std::regex seen(
      "data-sortable=\"(ready)\"|<a href=\"(#page-\\d)\"><title>|class=\"(window)\"|"
      "<article [^>]*id=\"(page-\\d)\"|base64,(/9j/)|class=\"badge b-(\\w+)\"");
  EXPECT_EQ(
      std::regex_replace(browser.out, seen, "$1$2$3$4$5$6 ", std::regex_constants::format_no_copy),
      "ready #page-0 #page-1 #page-3 #page-5 #page-2 #page-4 window page-0 /9j/ page-1 /9j/ "
      "page-2 /9j/ right top height page-3 /9j/ page-4 /9j/ width page-5 /9j/ ");
}

}  // namespace
}  // namespace quarnel::test
