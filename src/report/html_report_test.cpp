#include <gtest/gtest.h>

#include <regex>

#include "report/run_report.h"

namespace quarnel {
namespace {

// The report of a book whose pages (p0.jpg, p1.jpg, ...) have these boxes.
std::string ReportOf(const std::vector<ContentBox>& boxes) {
  PageTable table;
  Extremes extremes;
  for (std::size_t j = 0; j < boxes.size(); ++j) {
    PageRecord record;
    record.name = std::to_string(j);
    record.name.insert(0, 1, 'p') += ".jpg";
    record.status = PageStatus::kOk;
    record.width = record.height = 400;
    record.findings.box = boxes[j];
    table.records.push_back(record);
    FoldIntoExtremes(extremes, boxes[j], static_cast<std::int32_t>(j));
  }
  return HtmlReport(RunReport{"in/", 120, 256, 0, table, extremes});
}

// The rows of "What sets the canvas", their markup taken out: the extreme, the page, the value,
// the runner-up and what the canvas would be without the page.
std::vector<std::string> ExtremeRows(const std::string& html) {
  const std::regex row(
      "<tr><td title=\"[^\"]*\"><span class=\"sw sw-\\w+\"></span>([^<]*)</td><td>(.*?)</td>"
      "<td>(.*?)</td><td>(.*?)</td><td class=\"effect\">(.*?)</td></tr>");
  const std::regex tag("<[^>]*>");
  std::vector<std::string> rows;
  for (std::sregex_iterator it(html.begin(), html.end(), row), end; it != end; ++it) {
    std::string text;
    for (std::size_t k = 1; k < it->size(); ++k) {
      if (k > 1) text += " | ";
      text += std::regex_replace((*it)[k].str(), tag, "");
    }
    rows.push_back(text);
  }
  return rows;
}

// Boxes are {right, top, width, height}.
TEST(HtmlReport, WhatTheCanvasWouldBeWithoutEachExtremePage) {
  const std::string lower = "the canvas would keep its size, but the window it shows would move ";
  const std::pair<std::vector<ContentBox>, std::vector<std::string>> books[] = {
      {{{100, 10, 50, 80}, {90, 20, 60, 70}, {95, 5, 40, 60}},
       {"Max Right | p0.jpg | 100 | p2.jpg (95) | without p0.jpg the canvas would be 10 px "
        "shorter (60 × 70 px), and the window it shows would move 5 px further left",
        "Max Top | p2.jpg | 5 | p0.jpg (10) | without p2.jpg " + lower + "5 px lower",
        "Max Width | p1.jpg | 60 | p0.jpg (50) | without p1.jpg the canvas would be 10 px "
        "narrower (50 × 80 px)",
        "Max Height | p0.jpg | 80 | p1.jpg (70) | without p0.jpg the canvas would be 10 px "
        "shorter (60 × 70 px), and the window it shows would move 5 px further left"}},
      // One page sets everything; without it the other gives a smaller canvas further down.
      {{{200, 0, 150, 100}, {120, 30, 100, 60}},
       std::vector<std::string>(
           4,
           "without p0.jpg the canvas would be 50 px narrower and 40 px shorter (100 × 60 px), "
           "and the window it shows would move 80 px further left and 30 px lower")},
      // The same box twice: the first page sets the extremes, and the second ties with it.
      {{{100, 10, 50, 80}, {100, 10, 50, 80}},
       std::vector<std::string>(4,
                                "without p0.jpg the canvas would stay the same: p1.jpg ties "
                                "with it")},
      {{{100, 10, 50, 80}},
       std::vector<std::string>(4, "without p0.jpg no page would have content")},
  };
  for (const auto& [boxes, expected] : books) {
    std::vector<std::string> rows = ExtremeRows(ReportOf(boxes));
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      // The books after the first are checked on their last column only.
      if (boxes.size() != 3) rows[k] = rows[k].substr(rows[k].rfind(" | ") + 3);
      EXPECT_EQ(rows[k], expected[k]) << "box count " << boxes.size() << ", row " << k;
    }
  }
}

}  // namespace
}  // namespace quarnel
