#include <gtest/gtest.h>

#include <array>
#include <regex>

#include "report/html_text.h"
#include "report/run_report.h"

namespace quarnel {
namespace {

// The sentences of "What sets the canvas", one for each page that sets extremes, of a book whose
// pages (p0.jpg, p1.jpg, ...) have these boxes, their markup taken out.
std::vector<std::string> WithoutSentences(const std::vector<ContentBox>& boxes) {
  PageTable table;
  Extremes extremes;
  for (std::int32_t j = 0; j < std::ssize(boxes); ++j) {
    table.records.emplace_back().name = std::to_string(j);
    table[j].name.insert(0, 1, 'p') += ".jpg";
    table[j].status = PageStatus::kOk;
    table[j].findings.box = boxes[static_cast<std::size_t>(j)];
    FoldIntoExtremes(extremes, boxes[static_cast<std::size_t>(j)], j);
  }
  const std::string html = HtmlReport(RunReport{"in/", 120, 256, 0, table, extremes});
  const std::regex sentence("<li class=\"effect\">(.*?)</li>"), tag("<[^>]*>");
  std::vector<std::string> sentences;
  for (std::sregex_iterator it(html.begin(), html.end(), sentence), end; it != end; ++it)
    sentences.push_back(std::regex_replace((*it)[1].str(), tag, ""));
  return sentences;
}

// Boxes are {right, top, width, height}; a page's sentence comes where the first extreme it sets
// comes in the order right, top, width, height.
TEST(HtmlReport, WhatTheCanvasWouldBeWithoutEachExtremePage) {
  using Sentences = std::vector<std::string>;
  const std::string p0 =
      "without p0.jpg the canvas would be 10 px shorter (60 × 70 px), and the "
      "window it shows would move 5 px further left";
  const std::pair<std::vector<ContentBox>, Sentences> books[] = {
      {{{100, 10, 50, 80}, {90, 20, 60, 70}, {95, 5, 40, 60}},
       {p0,
        "without p2.jpg the canvas would keep its size, but the window it shows would move 5 px "
        "lower",
        "without p1.jpg the canvas would be 10 px narrower (50 × 80 px)"}},
      // One page sets everything; without it the other gives a smaller canvas further down.
      {{{200, 0, 150, 100}, {120, 30, 100, 60}},
       {"without p0.jpg the canvas would be 50 px narrower and 40 px shorter (100 × 60 px), and "
        "the window it shows would move 80 px further left and 30 px lower"}},
      // The same box twice: the first page sets the extremes, and the second ties with it.
      {{{100, 10, 50, 80}, {100, 10, 50, 80}},
       {"without p0.jpg the canvas would stay the same: p1.jpg ties with it"}},
      {{{100, 10, 50, 80}}, {"without p0.jpg no page would have content"}},
  };
  for (const auto& [boxes, expected] : books)
    EXPECT_EQ(WithoutSentences(boxes), expected) << boxes.size() << " pages";
}

// With -s: a page's sheet in the CSV's sheet columns and drawn on its card; for a page where
// none was found, empty columns and the sentence that says so. A page that failed in both passes
// for different reasons: each on its card, both in the CSV's last column.
TEST(RunReport, SheetAndReasonOfEachPage) {
  PageTable table;
  Extremes extremes;
  for (std::int32_t j = 0; j < 2; ++j) {
    const auto sheet = j ? std::nullopt : std::optional(PixelRect{1, 2, 45, 58});
    table.records.emplace_back(j ? "b" : "a", PageStatus::kOk, 50, 60,
                               PageFindings{ContentBox{40, 5, 30, 50}, sheet},
                               PageThumbnail{10, 12, {0xff}});
    FoldIntoExtremes(extremes, *table[j].box(), j);
  }
  table.records.emplace_back("c").readFailure = "not a JPEG file";
  table[2].output = PageOutput::kFailed;
  table[2].outputFailure = "cannot write: Is a directory";
  const RunReport report{"in/", 120, 256, 0, table, extremes, true};
  EXPECT_TRUE(CsvReport(report).ends_with(
      ",1,2,45,58,\n1,b,ok,50,60,10,5,40,55,30,50,0,0,,,,,,,\n2,c,unreadable,,,,,,,,,,,,failed,,,,,"
      "not a JPEG file; output: cannot write: Is a directory\n"));
  const std::regex seen("<rect class=\"sheet\"[^>]*>|no sheet told apart|<article|— [^<]*");
  EXPECT_EQ(
      std::regex_replace(HtmlReport(report), seen, "$& ", std::regex_constants::format_no_copy),
      "<article <rect class=\"sheet\" x=\"1\" y=\"2\" width=\"44\" height=\"56\"/> "
      "<article no sheet told apart <article — not a JPEG file — cannot write: Is a directory ");
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// A name's bidirectional controls are balanced inside the isolate that sets it apart: an opener
// is closed at its end, a closer without an opener dropped (a stray U+2069 would end the
// isolate and let what follows the name be reversed).
TEST(HtmlText, NamesAreIsolatedFromTheTextAroundThem) {
  const std::pair<std::string, std::string> names[] = {
      {"a.jpg", "a.jpg"},
      {"\u202Egpj.a", "\u202Egpj.a\u202C"},
      {"a\u2069\u202Eb&", "a\u202Eb&amp;\u202C"},
      {"\u2067x\u202Ay\u2069z\u202C", "\u2067x\u202Ay\u2069z"},
      {"\u202C\u202B\u2066q", "\u202B\u2066q\u2069\u202C"},
  };
  for (const auto& [name, inside] : names) {
    EXPECT_EQ(IsolatedText(name), "\u2068" + inside + "\u2069") << name;
    EXPECT_EQ(IsolatedHtml(name), "<bdi>" + inside + "</bdi>") << name;
  }
}

// Links from the report to a folder's pages, from the current folder /w/d.
TEST(RunReport, LinksFromTheReportToTheFolders) {
  const std::array<std::string_view, 3> rows[] = {
      {"", "r.html", ""},
      {"scans/", "r.html", "scans/"},
      {"scans/", "out/r.html", "../scans/"},
      {"out/", "./out/r.html", ""},
      {"a b#%/", "x/../r.html", "a%20b%23%25/"},
      {"", "/elsewhere/r.html", "../w/d/"},
      {"../../up/", "out/r.html", "file:///up/"},
      {"/abs/x/", "r.html", "file:///abs/x/"},
  };
  for (const auto& [folder, report, href] : rows)
    EXPECT_EQ(FolderHref(folder, report, "/w/d"), href) << folder << " " << report;
}

}  // namespace
}  // namespace quarnel
