// The HTML overview as a browser shows it (run_test.cpp checks the CSV table against its model).

#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace quarnel::test {
namespace {

namespace fs = std::filesystem;

// The page `file` of `dir` as headless Chromium leaves it once its scripts have run; the page may
// read the files beside it.
std::string BrowserDom(const TempDir& dir, const std::string& file) {
  return RunProgram(
             "/usr/bin/chromium",
             {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--allow-file-access-from-files", "--user-data-dir=" + (dir / "profile").string(),
              "--dump-dom", "file://" + (dir / file).string()},
             {.timeout = std::chrono::seconds(120)})
      .out;
}

TEST(Report, BrowserShowsTheOverview) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "needs /usr/bin/chromium";
  TempDir dir;
  // The demo book, its pages under long names.
  const std::string book = (dir / "book").string();
  fs::create_directory(book);
  for (const auto& page : fs::directory_iterator(QUARNEL_EXAMPLES_DIR "/book"))
    if (page.path().extension() == ".jpg")
      fs::copy_file(page, book + "/a_long_name_of_a_scanned_page_of_the_second_volume_" +
                              page.path().stem().string() +
                              // One name holds a right-to-left override, never closed.
                              (page.path().stem() == "p0003" ? "\u202E" : "") + ".jpg");
  std::vector<Bytes> reports;
  for (const int workers : {1, 3}) {
    RunInProcess({"-i", book, "-r", (dir / "in-process.html").string()},
                 {workers, {}, {}, nullptr});
    reports.push_back(ReadBytes(dir / "in-process.html"));
  }
  // -r takes the next argument whatever it begins with.
  RunQuarnel({"-r", "-book.HTM", "-i", book}, {.workDir = dir.path()});
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
  // The table sorted by clicks on its headers: "left" (numbers as numbers, ties in table order),
  // then "sets" twice (ascending, then descending; empty cells last both times); the page orders
  // kept for the dump.
  const std::string clicks =
      "<script>const h = pages.tHead.rows[0].cells, o = () => Array.from(pages.tBodies, (b) => "
      "Array.from(b.rows, (r) => r.cells[0].textContent).join('')).join(''), s = (c) => "
      "(h[c].click(), o()); document.body.dataset.sorted = [s(5), s(13), s(13)];</script>";
  Bytes sorting = reports[2];
  sorting.insert(sorting.end(), clicks.begin(), clicks.end());
  WriteBytes(dir / "sorting.html", sorting);
  const std::string dom = BrowserDom(dir, "sorting.html");
  // What a person sees, in the page's order: the script has run (so raised no error), and the
  // orders of the sorts; the verdict's findings, each with the cards it names (and the page a
  // sentence of "What sets the canvas" names); every box in the drawing (the extreme pages' last)
  // and the canvas window; a card a page, each with its picture and the badges of the extremes the
  // page sets.
  const std::regex seen(
      "data-sortable=\"(ready)\"|<a href=\"(#page-\\d)\"><title>|class=\"(window)\"|"
      "<article [^>]*id=\"(page-\\d)\"|base64,(/9j/)|class=\"badge b-(\\w+)\"|"
      "<li[^>]*><b>([^<]*)</b>|(?:: |, | and )<a href=\"(#page-\\d)\"|data-sorted=\"([\\d,]+)\"");
  EXPECT_EQ(
      std::regex_replace(dom, seen, "$1$2$3$4$5$6$7$8$9 ", std::regex_constants::format_no_copy),
      "ready 130425,240135,420135 4 of 6 boxes reach an edge of their page #page-1 #page-2 #page-3 "
      "#page-4 2 boxes are "
      "far larger than the typical box #page-4 #page-2 The canvas, 1055&nbsp;×&nbsp;1810&nbsp;px, "
      "is 11&nbsp;% wider and 7&nbsp;% taller than the typical box #page-4 #page-0 #page-1 #page-3 "
      "#page-5 #page-2 #page-4 window page-0 /9j/ page-1 /9j/ page-2 /9j/ right top height page-3 "
      "/9j/ page-4 /9j/ width page-5 /9j/ ");
  // Nothing runs off the side of the page at 420 px (a phone) or at 1400 px: a page beside the
  // report shows it in frames of those widths and measures them. And the override in a name
  // reverses nothing outside it: of two links to cards that follow each other on a line, the
  // second is to the right of the first (counted: pairs out of order, pairs).
  const std::string frames =
      "<iframe name=n width=420 height=900 src=-book.HTM></iframe><iframe name=w width=1400 "
      "height=900 src=-book.HTM></iframe><script>onload = () => { let bad = 0, pairs = 0; "
      "for (const f of Array.from(frames)) { const d = f.document.documentElement; "
      "document.body.dataset[f.name] = d.scrollWidth - d.clientWidth; "
      "for (const a of f.document.querySelectorAll('a[href^=\"#page-\"]')) { "
      "const b = a.nextElementSibling; if (!b || !b.matches('a') || a.closest('svg')) continue; "
      "const r = a.getBoundingClientRect(), q = b.getBoundingClientRect(); "
      "if (Math.abs(r.top - q.top) > 2) continue; ++pairs; if (q.left < r.right - 1) ++bad; } } "
      "document.body.dataset.bidi = bad + '/' + pairs; };</script>";
  WriteBytes(dir / "frames.html", Bytes(frames.begin(), frames.end()));
  const std::string measured = BrowserDom(dir, "frames.html");
  EXPECT_TRUE(std::regex_search(measured, std::regex("<body data-n=\"0\" data-w=\"0\" "
                                                     "data-bidi=\"0/[1-9]\\d*\">")))
      << measured.substr(0, 400);
}

}  // namespace
}  // namespace quarnel::test
