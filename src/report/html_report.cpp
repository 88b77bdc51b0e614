// The HTML overview: a header, the verdict (verdict_html.cpp), what sets the canvas, every box in
// one drawing, a card per page and the table. One file with its style and its sorting script
// inline.

#include <algorithm>
#include <string>

#include "report/html_parts.h"
#include "report/html_text.h"
#include "report/report_assets.h"  // generated from report.css and report.js
#include "report/run_report.h"

namespace quarnel {
namespace {

// The extremes as the summary and the badges name them.
const char* ExtremeTitle(ExtremeKind kind) {
  static constexpr const char* kTitles[] = {"Max Right", "Max Top", "Max Width", "Max Height"};
  return kTitles[static_cast<int>(kind)];
}

std::string BoxNumbers(const ContentBox& box) {
  return "left " + std::to_string(box.left()) + ", top " + std::to_string(box.top) + ", right " +
         std::to_string(box.right) + ", bottom " + std::to_string(box.bottom()) + "; " +
         std::to_string(box.width) + " × " + std::to_string(box.height) + " px";
}

void AppendHeader(std::string& html, const RunReport& report) {
  std::int32_t counts[3] = {};  // ok, no content, unreadable
  for (const PageRecord& page : report.table.records) ++counts[static_cast<int>(page.status)];
  const Extremes& e = report.extremes;
  auto fact = [&](const char* name, const std::string& value) {
    html += "<div><dt>" + std::string(name) + "</dt><dd>" + value + "</dd></div>";
  };
  const RunFacts& run = report.facts;
  auto folder = [](std::string_view path) {
    return "<code>" + IsolatedHtml(path.empty() ? "./" : path) + "</code>";
  };
  html += "<header>\n<h1>Page report</h1>\n<p class=\"run\">" + EscapeHtml(run.version) + " · " +
          EscapeHtml(run.startedAt) + " · <code>" + IsolatedHtml(run.commandLine) +
          "</code></p>\n<dl class=\"facts\">";
  fact("input folder", folder(report.inDir));
  fact("output folder", run.outDir.empty() ? "none (no -o)" : folder(run.outDir));
  html += "</dl>\n<dl class=\"facts\">";
  fact("black", std::to_string(report.black));
  fact("white", report.white >= 256 ? "256 (off)" : std::to_string(report.white));
  fact("noise", report.noise == 0 ? "0 (off)" : std::to_string(report.noise));
  fact("sheet", report.sheet ? "on (-s)" : "off");
  if (!run.outDir.empty()) {
    fact("quality", std::to_string(run.quality));
    fact("written", run.extremePagesOnly ? "the extreme pages (-z)" : "every page");
  }
  html += "</dl>\n<dl class=\"facts\">";
  fact("pages", std::to_string(report.table.count()));
  fact("with content", std::to_string(counts[0]));
  fact("without content", std::to_string(counts[1]));
  fact("unreadable", std::to_string(counts[2]));
  fact("canvas", AnyBox(report)
                     ? std::to_string(e.maxWidth()) + " × " + std::to_string(e.maxHeight()) + " px"
                     : "none");
  html += "</dl>\n</header>\n";
}

// What the canvas would become without `page`, given the extremes of every other box (none when
// no other page has a box). Says so when nothing would change, because `runnerUp` ties with the
// page.
std::string WithoutPage(const RunReport& report, std::int32_t page,
                        const std::optional<Extremes>& others, std::int32_t runnerUp) {
  const std::string start = "without " + IsolatedHtml(report.table[page].name) + " ";
  if (!others) return start + "no page would have content";
  const Extremes& e = report.extremes;
  const Extremes& without = *others;
  const std::string size = PixelChanges(e.maxWidth() - without.maxWidth(), "narrower",
                                        e.maxHeight() - without.maxHeight(), "shorter");
  const std::string window = WindowMove(e, without);
  if (size.empty() && window.empty())
    return start + "the canvas would stay the same: " + PageLink(report, runnerUp) +
           " ties with it";
  std::string text = start + "the canvas would ";
  if (size.empty()) {
    text += "keep its size, but the window it shows would move " + window;
  } else {
    text += "be " + size + " (" + std::to_string(without.maxWidth()) + " × " +
            std::to_string(without.maxHeight()) + " px)";
    if (!window.empty()) text += ", and the window it shows would move " + window;
  }
  return text;
}

// For each extreme the page that sets it and the runner-up; then, once for each page that sets
// one or more extremes, what the canvas would be without it.
void AppendExtremes(std::string& html, const RunReport& report) {
  html += "<div>\n<h2>What sets the canvas</h2>\n";
  if (!AnyBox(report)) {
    html += "<p>No page has content: there is no canvas.</p>\n</div>\n";
    return;
  }
  html +=
      "<div class=\"wide\"><table "
      "class=\"extremes\">\n<thead><tr><th>extreme</th><th>page</th><th>value</th>"
      "<th>runner-up</th></tr></thead>\n";
  std::string effects;
  for (const ExtremeKind kind : kExtremeKinds) {
    const Extreme& extreme = report.extremes[kind];
    const std::optional<Extremes> without = ExtremesWithout(report.table, {extreme.page});
    const Extreme runnerUp = without ? (*without)[kind] : Extreme{};
    html += "<tr><td title=\"" + std::string(ExtremeMeaning(kind)) + "\"><span class=\"sw sw-" +
            ExtremeName(kind) + "\"></span>" + ExtremeTitle(kind) +
            "</td><td data-label=\"page\">" + PageLink(report, extreme.page) +
            "</td><td data-label=\"value\">" + std::to_string(extreme.value) +
            "</td><td data-label=\"runner-up\">" +
            (without ? PageLink(report, runnerUp.page) + " (" + std::to_string(runnerUp.value) + ")"
                     : std::string("none")) +
            "</td></tr>\n";
    // The page's sentence comes with the first extreme it sets, marked with all of them.
    const std::vector<ExtremeKind> kinds = ExtremesSetBy(report, extreme.page);
    if (kinds.front() != kind) continue;
    effects += "<li class=\"effect\">";
    for (const ExtremeKind set : kinds)
      effects += "<span class=\"sw sw-" + std::string(ExtremeName(set)) + "\"></span>";
    effects += WithoutPage(report, extreme.page, without, runnerUp.page) + "</li>\n";
  }
  html += "</table></div>\n<ul class=\"effects\">\n" + effects + "</ul>\n</div>\n";
}

std::string RectAttributes(std::int64_t x, std::int64_t y, std::int64_t width,
                           std::int64_t height) {
  return " x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
         std::to_string(std::max<std::int64_t>(width, 0)) + "\" height=\"" +
         std::to_string(std::max<std::int64_t>(height, 0)) + "\"";
}

std::string BoxTooltip(const RunReport& report, std::int32_t index) {
  std::string text =
      IsolatedText(report.table[index].name) + ": " + BoxNumbers(*report.table[index].box());
  for (const ExtremeKind kind : ExtremesSetBy(report, index))
    text += "; " + std::string(ExtremeTitle(kind));
  return text;
}

// Every box in page coordinates, the extreme pages' boxes on top in their colours (a page that
// sets several gets one outline a colour, nested), and the window the canvas shows, dashed.
void AppendDrawing(std::string& html, const RunReport& report) {
  const Extremes& e = report.extremes;
  std::int64_t width = 0, height = 0;
  for (const PageRecord& page : report.table.records) {
    width = std::max<std::int64_t>(width, page.width);
    height = std::max<std::int64_t>(height, page.height);
  }
  const bool anyBox = AnyBox(report);
  if (anyBox) {
    width = std::max<std::int64_t>(width, e.maxRight());
    height = std::max<std::int64_t>(height, static_cast<std::int64_t>(e.minTop()) + e.maxHeight());
  }
  html += "<div>\n<h2>All boxes at once</h2>\n";
  if (width == 0 || height == 0) {
    html += "<p>No page could be read.</p>\n</div>\n";
    return;
  }
  html += "<svg class=\"all\" viewBox=\"0 0 " + std::to_string(width) + " " +
          std::to_string(height) +
          "\" role=\"img\" aria-label=\"content boxes of all pages\">\n<rect class=\"page\"" +
          RectAttributes(0, 0, width, height) + "/>\n";
  const std::int64_t inset = std::max<std::int64_t>(1, std::max(width, height) / 150);
  std::string extremes;
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    const auto& box = report.table[j].box();
    if (!box) continue;
    const std::vector<ExtremeKind> kinds = ExtremesSetBy(report, j);
    std::string& target = kinds.empty() ? html : extremes;
    target +=
        "<a href=\"#page-" + std::to_string(j) + "\"><title>" + BoxTooltip(report, j) + "</title>";
    if (kinds.empty())
      target += "<rect class=\"box\"" +
                RectAttributes(box->left(), box->top, box->width, box->height) + "/>";
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      const std::int64_t in = static_cast<std::int64_t>(k) * inset;
      target += "<rect class=\"box ex " + std::string(ExtremeName(kinds[k])) + "\"" +
                RectAttributes(box->left() + in, box->top + in, box->width - 2 * in,
                               box->height - 2 * in) +
                "/>";
    }
    target += "</a>\n";
  }
  html += extremes;
  if (anyBox) {
    html += "<rect class=\"window\"" +
            RectAttributes(e.maxRight() - e.maxWidth(), e.minTop(), e.maxWidth(), e.maxHeight()) +
            "/>\n";
  }
  html += "</svg>\n<p class=\"legend\">";
  for (const ExtremeKind kind : kExtremeKinds) {
    html += "<span><span class=\"sw sw-" + std::string(ExtremeName(kind)) + "\"></span>" +
            ExtremeTitle(kind) + "</span>";
  }
  html +=
      "<span><span class=\"sw sw-box\"></span>other pages</span>"
      "<span><span class=\"sw sw-window\"></span>what the canvas shows</span></p>\n</div>\n";
}

void AppendCard(std::string& html, const RunReport& report, std::int32_t index) {
  const PageRecord& page = report.table[index];
  const std::optional<ContentBox>& box = page.box();
  const std::vector<ExtremeKind> kinds = ExtremesSetBy(report, index);
  html += "<article class=\"card" + std::string(kinds.empty() ? "" : " ex") + "\" id=\"page-" +
          std::to_string(index) + "\">\n";
  if (page.thumbnail.jpeg.empty()) {
    html += "<div class=\"placeholder\">" +
            std::string(page.status == PageStatus::kUnreadable ? "cannot be read" : "no picture") +
            "</div>\n";
  } else {
    // The picture is fetched only when its card comes near the screen (Chromium honours
    // loading="lazy" for data: addresses too) and decoded beside the page's rendering; the style
    // sheet renders the cards only near the screen.
    const PageThumbnail& thumb = page.thumbnail;
    html += "<div class=\"thumb\" style=\"width:" + std::to_string(thumb.width) +
            "px;height:" + std::to_string(thumb.height) +
            "px\"><img loading=\"lazy\" decoding=\"async\" alt=\"\" width=\"" +
            std::to_string(thumb.width) + "\" height=\"" + std::to_string(thumb.height) +
            "\" src=\"data:image/jpeg;base64," + Base64(thumb.jpeg) + "\">";
    const std::optional<PixelRect>& sheet = page.findings.sheet;
    if (box || sheet) {
      html += "<svg viewBox=\"0 0 " + std::to_string(page.width) + " " +
              std::to_string(page.height) + "\" preserveAspectRatio=\"none\">";
      if (sheet) {
        html += "<rect class=\"sheet\"" +
                RectAttributes(sheet->left, sheet->top, sheet->right - sheet->left,
                               sheet->bottom - sheet->top) +
                "/>";
      }
      if (box)
        html += "<rect" + RectAttributes(box->left(), box->top, box->width, box->height) + "/>";
      html += "</svg>";
    }
    html += "</div>\n";
  }
  html += "<h3>" + std::to_string(index) + ": " + IsolatedHtml(page.name) +
          "</h3>\n<p class=\"links\"><a href=\"" + report.facts.inHref + UrlPath(page.name) +
          "\">input page</a>";
  if (page.output == PageOutput::kWritten)
    html += " · <a href=\"" + report.facts.outHref + UrlPath(page.name) + "\">output page</a>";
  html += "</p>\n<p>";
  switch (page.status) {
    case PageStatus::kOk:
      html += "<span class=\"status st-ok\">ok</span></p>\n<p class=\"num\">" + BoxNumbers(*box) +
              "</p>\n";
      break;
    case PageStatus::kNoContent:
      html += "<span class=\"status st-none\">no content</span></p>\n<p class=\"num\">Error: " +
              std::to_string(index) + " — no content box found</p>\n";
      break;
    case PageStatus::kUnreadable:
      html += "<span class=\"status st-bad\">unreadable</span></p>\n<p class=\"num\">Error: " +
              std::to_string(index) + " — " + EscapeHtml(page.readFailure) + "</p>\n";
      break;
  }
  if (page.status != PageStatus::kUnreadable) {
    html += "<p class=\"num\">page " + std::to_string(page.width) + " × " +
            std::to_string(page.height) + " px";
    if (box) {
      const Placement at = ComputePlacement(*box, report.extremes);
      html +=
          "; on the canvas at " + std::to_string(at.offsetX) + ", " + std::to_string(at.offsetY);
    }
    html += "</p>\n";
  }
  if (report.sheet && page.status != PageStatus::kUnreadable) {
    const std::optional<PixelRect>& sheet = page.findings.sheet;
    html += sheet ? "<p class=\"num\">sheet " + std::to_string(sheet->left) + ", " +
                        std::to_string(sheet->top) + " – " + std::to_string(sheet->right) + ", " +
                        std::to_string(sheet->bottom) + "</p>\n"
                  : std::string(
                        "<p class=\"num nosheet\">no sheet told apart from the ground: "
                        "the box is found as without -s</p>\n");
  }
  if (page.output != PageOutput::kNotAsked) {
    html += "<p class=\"num\">output: " + std::string(OutputText(page.output));
    if (!page.outputFailure.empty()) html += " — " + EscapeHtml(page.outputFailure);
    html += "</p>\n";
  }
  if (!kinds.empty()) {
    html += "<p>";
    for (const ExtremeKind kind : kinds) {
      html += "<span class=\"badge b-" + std::string(ExtremeName(kind)) + "\">" +
              ExtremeTitle(kind) + "</span>";
    }
    html += "</p>\n";
  }
  html += "</article>\n";
}

void AppendTable(std::string& html, const RunReport& report) {
  html += "<h2>All pages</h2>\n<div class=\"wide\">\n<table id=\"pages\">\n<thead><tr>";
  for (const ReportColumn& column : ReportColumns())
    html += "<th title=\"sort\">" + std::string(column.name) + "</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    // The rows in groups of 50, a <tbody> each, which the style sheet renders only on screen (and
    // otherwise counts as 50 rows of 26 px).
    if (j > 0 && j % 50 == 0) html += "</tbody>\n<tbody>\n";
    html += "<tr>";
    for (const ReportColumn& column : ReportColumns()) {
      html += "<td>";
      // The name links to the page's card.
      html += std::string_view(column.name) == "name" ? PageLink(report, j)
                                                      : EscapeHtml(column.text(report, j));
      html += "</td>";
    }
    html += "</tr>\n";
  }
  html += "</tbody>\n</table>\n</div>\n";
}

// The number of characters of UTF-8 `text`: its bytes other than continuation bytes.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The width of each column of the page table, as style rules. The style sheet lays the table out
// as rows of cells of these widths, not as a table, so that a browser renders only the groups of
// rows on screen, and after a sort lays out only those again (a table of thousands of rows is
// laid out whole, on loading and on every sort). A column is as wide as its longest text, at most
// 24 em (longer text wraps): in tenths of an em, 6.5 a character (a digit takes 0.55 to 0.64 em
// in common fonts), its header's bold characters 7 and the sort arrow 12.
std::string ColumnWidths(const RunReport& report) {
  const std::span<const ReportColumn> columns = ReportColumns();
  std::string css;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    std::size_t width = CharacterCount(columns[c].name) * 7 + 12;
    for (std::int32_t j = 0; j < report.table.count(); ++j)
      width = std::max(width, CharacterCount(columns[c].text(report, j)) * 13 / 2);
    width = std::min<std::size_t>(width, 240);
    const std::string child = ":nth-child(" + std::to_string(c + 1) + ")";
    css += "#pages td" + child + ",#pages th" + child + "{width:" + std::to_string(width / 10) +
           "." + std::to_string(width % 10) + "em}\n";
  }
  return css;
}

}  // namespace

std::string HtmlReport(const RunReport& report) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>quarnel page report: " +
      IsolatedText(report.inDir.empty() ? "./" : report.inDir) + "</title>\n";
  html += "<style>\n";
  html += kReportCss;
  html += ColumnWidths(report);
  html += "</style>\n";
  html += "</head>\n<body>\n";
  AppendHeader(html, report);
  html += VerdictHtml(report);
  html += "<section class=\"overview\">\n";
  AppendExtremes(html, report);
  AppendDrawing(html, report);
  html += "</section>\n<h2>Pages</h2>\n<section class=\"cards\">\n";
  for (std::int32_t j = 0; j < report.table.count(); ++j) AppendCard(html, report, j);
  html += "</section>\n";
  AppendTable(html, report);
  // Sorts the table by the column whose header is clicked (again: the other way round); numbers
  // as numbers, empty cells last, ties in table order. Marks <body> once it is ready.
  html += "<script>\n";
  html += kReportJs;
  html += "</script>\n";
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace quarnel
