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

// How the run was started and where its pages are, as the HTML report's header and cards show
// them.
struct RunFacts {
  std::string_view version;      // "quarnel 0.03"
  std::string_view startedAt;    // the local time the run started
  std::string_view commandLine;  // the arguments, quoted so that a shell takes them back
  std::string_view outDir;       // "" without an output pass
  std::int32_t quality = 0;
  bool extremePagesOnly = false;  // -z
  // Where the cards' links find the input and the output pages: see FolderHref.
  std::string inHref, outHref;
};

// Everything a report shows.
struct RunReport {
  std::string_view inDir;  // as in the settings: "" is the current folder
  std::int32_t black = 0;
  std::int32_t white = 0;
  std::int32_t noise = 0;
  const PageTable& table;
  const Extremes& extremes;
  bool sheet = false;  // the sheet mode (-s)
  RunFacts facts = {};
  // The page that could not be read again in the output pass (without -z), where it stopped.
  std::optional<std::int32_t> outputStoppedAt = std::nullopt;
};

// The start of a link, from the report at `reportPath` to the files of `folder` (both as the
// settings hold them: "" is the current folder, a folder ends in '/'), where `currentFolder` is
// the absolute path of the current folder. A relative path while the folder is within the
// report's folder or its parent ("", "scans/", "../scans/"), otherwise a file: URL ending in '/';
// either way its bytes percent-encoded as a URL path wants them.
std::string FolderHref(std::string_view folder, std::string_view reportPath,
                       std::string_view currentFolder);

// `bytes` as a URL path: every byte other than letters, digits, "-._~/" as %XX.
std::string UrlPath(std::string_view bytes);

// "ok", "no content" or "unreadable": the CSV's `status` column.
const char* StatusText(PageStatus status);

// "written", "failed", "skipped", or "" when no output was asked for: the CSV's `output` column.
const char* OutputText(PageOutput output);

// The extremes that page `index` sets, in the summary's order (none for a page without a box).
std::vector<ExtremeKind> ExtremesSetBy(const RunReport& report, std::int32_t index);

// The extremes of every box but those of `pages`; none when no other page has a box.
std::optional<Extremes> ExtremesWithout(const PageTable& table,
                                        const std::vector<std::int32_t>& pages);

// The canvas's area in pixels.
inline std::int64_t CanvasArea(const Extremes& extremes) {
  return std::int64_t{extremes.maxWidth()} * extremes.maxHeight();
}

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
