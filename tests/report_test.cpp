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
  // The same from one worker and three, and from the binary.
  EXPECT_TRUE(reports[0] == reports[1] && reports[0] == reports[2]);
  // The table sorted by clicks on its headers: "left" (numbers as numbers, ties in table order),
  // then "sets" twice (ascending, then descending; empty cells last both times); the page orders
  // kept for the dump.
  const std::string clicks =
      "<script>const h = pages.tHead.rows[0].cells, o = () => Array.from(pages.tBodies[0].rows, "
      "(r) => r.cells[0].textContent).join(''), s = (c) => (h[c].click(), o()); "
      "document.body.dataset.sorted = [s(5), s(13), s(13)];</script>";
  reports[2].insert(reports[2].end(), clicks.begin(), clicks.end());
  WriteBytes(dir / "-book.HTM", reports[2]);
  const RunResult browser =
      RunProgram("/usr/bin/chromium",
                 {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--user-data-dir=" + (dir / "profile").string(), "--dump-dom",
                  "file://" + (dir / "-book.HTM").string()},
                 {.timeout = std::chrono::seconds(120)});
  // What a person sees, in the page's order: the script has run (so raised no error), and the
  // orders of the sorts; every box in the drawing (the extreme pages' last) and the canvas
  // window; a card a page, each with its picture and the badges of the extremes the page sets.
  const std::regex seen(
      "data-sortable=\"(ready)\"|data-sorted=\"([\\d,]+)\"|<a href=\"(#page-\\d)\"><title>|"
      "class=\"(window)\"|<article [^>]*id=\"(page-\\d)\"|base64,(/9j/)|class=\"badge b-(\\w+)\"");
  EXPECT_EQ(std::regex_replace(browser.out, seen, "$1$2$3$4$5$6$7 ",
                               std::regex_constants::format_no_copy),
            "ready 130425,240135,420135 #page-0 #page-1 #page-3 #page-5 #page-2 #page-4 "
            "window page-0 /9j/ page-1 /9j/ page-2 /9j/ right top height page-3 /9j/ page-4 "
            "/9j/ width page-5 /9j/ ");
}

}  // namespace
}  // namespace quarnel::test
