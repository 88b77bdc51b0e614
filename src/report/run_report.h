#pragma once

// The run's results as a report: a CSV table of every page, or an HTML overview that shows which
// page sets the canvas. Everything here turns results into text; nothing prints, reads files or
// decides what the run does.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/extremes.h"
#include "pages/page_table.h"

namespace quarnel {

// Everything a report shows.
struct RunReport {
  std::string_view inDir;  // as in the settings: "" is the current folder
  std::int32_t black = 0;
  std::int32_t white = 0;
  std::int32_t noise = 0;
  const PageTable& table;
  const Extremes& extremes;
  bool sheet = false;  // the sheet mode (-s)
};

// "ok", "no content" or "unreadable": the CSV's `status` column.
const char* StatusText(PageStatus status);

// "written", "failed", "skipped", or "" when no output was asked for: the CSV's `output` column.
const char* OutputText(PageOutput output);

// The extremes that page `index` sets, in the summary's order (none for a page without a box).
std::vector<ExtremeKind> ExtremesSetBy(const RunReport& report, std::int32_t index);

// A column of the page table: its name in the header, and the text of page `index`'s field,
// unquoted (page names byte for byte).
struct ReportColumn {
  const char* name;
  std::string (*text)(const RunReport& report, std::int32_t index);
};

// The columns of the CSV table and of the HTML overview's table, in order.
std::span<const ReportColumn> ReportColumns();

// A header line and one line per page, comma-separated, lines ending in "\n", fields quoted as
// RFC 4180 asks (a field with a comma, a double quote, CR or LF is quoted, its quotes doubled).
std::string CsvReport(const RunReport& report);

// One self-contained HTML page: inline style, a small inline script for sorting the table, no
// external resource. Page names are escaped; bytes that are not UTF-8 show as U+FFFD.
std::string HtmlReport(const RunReport& report);

}  // namespace quarnel
