#pragma once

// The run's results as a report: a CSV table of every page, or an HTML overview that shows which
// page sets the canvas. Everything here turns results into text; nothing prints, reads files or
// decides what the run does.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/extremes.h"
#include "pages/page_table.h"

namespace quarnel {

enum class ReportFormat { kCsv, kHtml };

// The format a report file name asks for: ".csv" gives the table, ".html" or ".htm" the
// overview, in any letter case. nullopt for any other name.
std::optional<ReportFormat> ReportFormatOf(std::string_view path);

enum class PageStatus { kOk, kNoContent, kUnreadable };  // a box found; readable, no box; neither

// What became of a page in the output pass.
enum class PageOutput {
  kNotAsked,  // no output folder
  kWritten,
  kFailed,   // could not be read or written in the output pass
  kSkipped,  // not an extreme page with -z, after the page where the full pass stopped, or no
             // page had content
};

// A small grayscale picture of the whole page, encoded as JPEG.
struct PageThumbnail {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> jpeg;  // empty when none was made
};

// What the run learned of one page beyond the table's name and box.
struct PageFacts {
  PageStatus status = PageStatus::kUnreadable;
  std::int32_t width = 0;  // the decoded image's size; 0 when unreadable
  std::int32_t height = 0;
  PageOutput output = PageOutput::kNotAsked;
  PageThumbnail thumbnail;
};

// Everything a report shows. `pages` holds one entry per table record, in table order.
struct RunReport {
  std::string_view inDir;  // as in the settings: "" is the current folder
  std::int32_t black = 0;
  std::int32_t white = 0;
  std::int32_t noise = 0;
  const PageTable& table;
  const Extremes& extremes;
  std::span<const PageFacts> pages;
};

// The four extremes, in the summary's order.
enum class ExtremeKind { kRight, kTop, kWidth, kHeight };
inline constexpr ExtremeKind kExtremeKinds[] = {ExtremeKind::kRight, ExtremeKind::kTop,
                                                ExtremeKind::kWidth, ExtremeKind::kHeight};

// An extreme's value and the page that sets it.
struct ExtremeValue {
  std::int32_t value = 0;
  std::int32_t page = 0;
};
ExtremeValue ExtremeOf(const Extremes& extremes, ExtremeKind kind);

// "right", "top", "width" or "height": the word of the CSV's `sets` column.
const char* ExtremeName(ExtremeKind kind);

// The extremes that page `index` sets, in the summary's order (none for a page without a box).
std::vector<ExtremeKind> ExtremesSetBy(const RunReport& report, std::int32_t index);

// The CSV columns, in order.
inline constexpr const char* kReportColumns[] = {
    "page",   "name",  "status", "page_width", "page_height", "left", "top",   "right",
    "bottom", "width", "height", "canvas_x",   "canvas_y",    "sets", "output"};

// The texts of page `index`'s CSV columns, unquoted; names byte for byte.
std::vector<std::string> ReportFields(const RunReport& report, std::int32_t index);

// A header line and one line per page, comma-separated, lines ending in "\n", fields quoted as
// RFC 4180 asks (a field with a comma, a double quote, CR or LF is quoted, its quotes doubled).
std::string CsvReport(const RunReport& report);

// One self-contained HTML page: inline style, a small inline script for sorting the table, no
// external resource. Page names are escaped; bytes that are not UTF-8 show as U+FFFD.
std::string HtmlReport(const RunReport& report);

}  // namespace quarnel
