// The page report (-r): the CSV table against the boxes and the summary, the same report for any
// number of workers, the report's errors, and the HTML overview as a browser shows it.

#include <gtest/gtest.h>

#include <regex>

#include "run_quarnel.h"
#include "test_support.h"

namespace quarnel::testing {
namespace {

namespace fs = std::filesystem;

// Runs in `dir`, where in/ holds 120 x 100 pages in table order: one with a black mark (columns
// x0 ... x1, rows y0 ... y1; the box: right x1 + 5, top y0 - 5, width x1 - x0 + 10, height
// y1 - y0 + 10), a blank one, k.jpg, which is no JPEG, and two more with a mark; out/ is fresh.
// Gives what the run printed and the bytes of the pages it wrote.
auto RunOnBook(const TempDir& dir, std::vector<std::string> args, const char* workers = "2") {
  fs::remove_all(dir / "out");
  fs::create_directories(dir / "out");
  fs::create_directories(dir / "in");
  const std::tuple<const char*, int, int, int, int> pages[] = {{"a,b.jpg", 20, 20, 59, 49},
                                                               {"blank.jpg", 0, 0, -1, -1},
                                                               {"new\nline.jpg", 10, 30, 69, 79},
                                                               {"q\"uote.jpg", 50, 10, 99, 39}};
  for (const auto& [name, x0, y0, x1, y1] : pages) {
    TestPage page(120, 100);
    page.Fill(x0, y0, x1, y1, 0);
    WriteJpeg(dir / "in" / name, page);
  }
  WriteBytes(dir / "in/k.jpg", {'t', 'e', 'x', 't'});
  args.insert(args.begin(), {"-i", "in"});
  const RunResult run =
      RunQuarnel(args, {.workDir = dir.path(), .env = {{"QUARNEL_TEST_WORKERS", workers}}});
  std::tuple<std::string, std::string, int, std::vector<Bytes>> outcome{
      run.out, run.err, run.status, {}};
  for (const std::string& name : EntryNames(dir / "out"))
    std::get<3>(outcome).push_back(ReadBytes(dir / "out" / name));
  return outcome;
}

TEST(Report, CsvTableAndErrors) {
  const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
      {{}, {"", "", "", "", ""}},
      {{"-o", "out"}, {"written", "written", "failed", "skipped", "skipped"}},  // stops at k.jpg
      {{"-o", "out", "-z"}, {"skipped", "skipped", "skipped", "written", "written"}}};
  TempDir dir;
  for (const auto& [args, output] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const auto plain = RunOnBook(dir, args);
    EXPECT_NE(std::get<0>(plain).find(Summary({"q\"uote.jpg", 104}, {"q\"uote.jpg", 5},
                                              {"new\nline.jpg", 69}, {"new\nline.jpg", 59})),
              std::string::npos);
    std::vector<std::string> withReport = args;
    withReport.insert(withReport.end(), {"-r", "r.csv"});
    for (const char* workers : {"1", "3"}) {
      EXPECT_EQ(RunOnBook(dir, withReport, workers), plain);  // printed and wrote the same
      const Bytes csv = ReadBytes(dir / "r.csv");
      EXPECT_EQ(std::string(csv.begin(), csv.end()),
                "page,name,status,page_width,page_height,left,top,right,bottom,width,height,"
                "canvas_x,canvas_y,sets,output\n0,\"a,b.jpg\",ok,120,100,15,15,64,54,49,39,0,10,," +
                    output[0] + "\n1,blank.jpg,no content,120,100,,,,,,,,,," + output[1] +
                    "\n2,k.jpg,unreadable,,,,,,,,,,,," + output[2] +
                    "\n3,\"new\nline.jpg\",ok,120,100,5,25,74,84,69,59,0,0,width height," +
                    output[3] +
                    "\n4,\"q\"\"uote.jpg\",ok,120,100,45,5,104,44,59,39,10,0,right top," +
                    output[4] + "\n");
    }
  }
  const std::tuple<std::vector<std::string>, std::string, int> errors[] = {
      {{"-r", "r.txt"}, "ERROR: report name must end in .csv or .html\n", 255},
      {{"-i", "none/", "-r", "r.html"}, "ERROR: no .jpg file in none/\n", 1},
      {{"-r", "no/r.csv"}, "Error: 1\nError: 2\nError: cannot write no/r.csv\n", 1}};
  for (const auto& [args, err, status] : errors) {
    const auto [out, runErr, runStatus, written] = RunOnBook(dir, args);
    EXPECT_EQ(std::tie(runErr, runStatus), std::tie(err, status)) << ::testing::PrintToString(args);
  }
  EXPECT_EQ(EntryNames(dir.path()), std::vector<std::string>({"in", "out", "r.csv"}));
}

TEST(Report, BrowserShowsTheOverview) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "needs /usr/bin/chromium";
  TempDir dir;
  std::vector<Bytes> reports;  // -r takes the next argument whatever it begins with
  for (const char* workers : {"1", "3"}) {
    RunQuarnel({"-r", "-book.HTM", "-i", QUARNEL_EXAMPLES_DIR "/book"},
               {.workDir = dir.path(), .env = {{"QUARNEL_TEST_WORKERS", workers}}});
    reports.push_back(ReadBytes(dir / "-book.HTM"));
  }
  EXPECT_TRUE(reports[0] == reports[1]);  // the same from one worker and three
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
}  // namespace quarnel::testing
