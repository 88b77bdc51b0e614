// The verdict at the top of the HTML overview, in words.

#include <functional>
#include <variant>

#include "report/html_parts.h"
#include "report/verdict.h"

namespace quarnel {
namespace {

// "1 page", "3 pages".
std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// `part` in percent of `whole` (> 0), rounded; "less than 1 %" for a little.
std::string Percent(std::int64_t part, std::int64_t whole) {
  const std::int64_t percent = (200 * part + whole) / (2 * whole);
  return percent == 0 && part > 0 ? "less than 1&nbsp;%" : std::to_string(percent) + "&nbsp;%";
}

// "1055 × 1810 px", kept on one line.
std::string SizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + "&nbsp;×&nbsp;" + std::to_string(height) + "&nbsp;px";
}

// The pages as links to their cards, each followed by its `detail`: all of them, or the first
// eight and how many more.
std::string PageList(const RunReport& report, const std::vector<std::int32_t>& pages,
                     const std::function<std::string(std::int32_t)>& detail = {}) {
  constexpr std::size_t kNamed = 8;
  const std::size_t named = pages.size() <= kNamed + 1 ? pages.size() : kNamed;
  std::string text;
  for (std::size_t i = 0; i < named; ++i) {
    if (i > 0) text += i + 1 == pages.size() ? " and " : ", ";
    text += PageLink(report, pages[i]) + (detail ? detail(pages[i]) : std::string());
  }
  if (named < pages.size()) text += " and " + std::to_string(pages.size() - named) + " more";
  return text;
}

// What the canvas would be without some pages ("without these 3 pages"), the extremes of the
// other boxes being `without`.
std::string WithoutPages(const RunReport& report, const std::string& start,
                         const Extremes& without) {
  const Extremes& e = report.extremes;
  if (without.maxWidth() == e.maxWidth() && without.maxHeight() == e.maxHeight())
    return start + " the canvas would keep its size, but the window it shows would move " +
           WindowMove(e, without);
  const std::int64_t area = CanvasArea(e);
  const std::int64_t less = area - CanvasArea(without);
  return start + " the canvas would be " + SizeText(without.maxWidth(), without.maxHeight()) +
         " instead of " + SizeText(e.maxWidth(), e.maxHeight()) + ", " + Percent(less, area) +
         " less area";
}

std::string VerdictLine(const RunReport& report, const EdgeFinding& edges) {
  std::size_t boxes = 0;
  for (const PageRecord& page : report.table.records) boxes += page.box().has_value();
  const std::size_t n = edges.pages.size();
  const auto all = static_cast<std::size_t>(edges.allFour);
  std::string text = "<li class=\"warn\"><b>" + std::to_string(n) + " of " +
                     Count(boxes, "box", "boxes") + (n == 1 ? " reaches " : " reach ") +
                     (all == n ? "all four edges" : "an edge") + " of " +
                     (n == 1 ? "its" : "their") + " page</b>";
  if (all < n) {
    static constexpr const char* kSides[] = {"left", "top", "right", "bottom"};
    std::string sides;
    for (std::size_t side = 0; side < 4; ++side) {
      if (edges.sides[side] == 0) continue;
      sides += (sides.empty() ? "" : ", ") + std::string(kSides[side]) + " " +
               std::to_string(edges.sides[side]);
    }
    text += " (" + (all > 0 ? std::to_string(all) + " of them all four; " : "") + sides + ")";
  }
  // Naming every page says nothing when every box reaches the edges.
  text += n == boxes ? "." : ": " + PageList(report, edges.pages) + ".";
  const std::string black = "black (" + std::to_string(report.black) + ")";
  if (!report.sheet && all > 0)
    text += " The ground around the sheet is darker than " + black + ": <b>try -s</b>.";
  else if (!report.sheet)
    text += " Something darker than " + black +
            " runs to the border, such as a shadow or the page's own edge: <b>try -s</b>.";
  return text + "</li>\n";
}

std::string VerdictLine(const RunReport& report, const NoSheetFinding& noSheet) {
  return "<li class=\"warn\"><b>On " + Count(noSheet.pages.size(), "page", "pages") +
         " no sheet was told apart from the ground</b>: " + PageList(report, noSheet.pages) + "; " +
         (noSheet.pages.size() == 1 ? "its box is" : "their boxes are") +
         " found as without -s.</li>\n";
}

std::string VerdictLine(const RunReport& report, const FarLargerFinding& far) {
  const std::size_t n = far.pages.size();
  auto size = [&](std::int32_t page) {
    const ContentBox& box = *report.table[page].box();
    return " (" + SizeText(box.width, box.height) + ")";
  };
  return "<li class=\"warn\"><b>" + Count(n, "box is", "boxes are") +
         " far larger than the typical box</b>: " + PageList(report, far.pages, size) + "; " +
         WithoutPages(
             report, n == 1 ? "without this page" : "without these " + std::to_string(n) + " pages",
             far.without) +
         ".</li>\n";
}

std::string VerdictLine(const RunReport& report, const TieFinding& tie) {
  std::string shared;
  for (std::size_t k = 0; k < tie.shared.size(); ++k) {
    if (k > 0) shared += k + 1 == tie.shared.size() ? " and " : ", ";
    shared += std::string(ExtremeMeaning(tie.shared[k])) + " (" +
              std::to_string(report.extremes[tie.shared[k]].value) + ")";
  }
  const std::size_t n = tie.pages.size();
  if (!tie.without)
    return "<li><b>All " + std::to_string(n) + " boxes share " + shared + "</b>.</li>\n";
  return "<li><b>" + std::to_string(n) + " pages share " + shared +
         "</b>: " + PageList(report, tie.pages) +
         "; without one of them the canvas stays the same, " +
         WithoutPages(report, n == 2 ? "without both" : "without all " + std::to_string(n),
                      *tie.without) +
         ".</li>\n";
}

std::string VerdictLine(const RunReport&, const TypicalFinding& typical) {
  const BoxSize& c = typical.canvas;
  const BoxSize& t = typical.typical;
  std::string larger;
  if (c.width > t.width) larger = Percent(c.width - t.width, t.width) + " wider";
  if (c.height > t.height)
    larger += (larger.empty() ? "" : " and ") + Percent(c.height - t.height, t.height) + " taller";
  return "<li><b>The canvas, " + SizeText(c.width, c.height) + ", is " +
         (larger.empty() ? std::string("the size of") : larger + " than") + " the typical box</b>" +
         (larger.empty() ? std::string() : ", " + SizeText(t.width, t.height)) +
         " (the median width and the median height of the " +
         Count(static_cast<std::size_t>(typical.boxes), "box", "boxes") + ").</li>\n";
}

std::string VerdictLine(const RunReport& report, const OutputFinding& output) {
  const bool wentWell = output.failed.empty() && output.written > 0;
  const std::size_t asked = report.facts.extremePagesOnly && !output.stoppedAt
                                ? output.written + output.failed.size()
                                : report.table.records.size();
  std::string text = "<li" + std::string(wentWell ? "" : " class=\"warn\"") + "><b>";
  if (output.written == 0 && !AnyBox(report)) return text + "Nothing was written</b>.</li>\n";
  text += "Output: " + std::to_string(output.written) + " of " + Count(asked, "page", "pages") +
          " written</b>";
  if (report.facts.extremePagesOnly) text += " (-z: only the pages that set an extreme)";
  if (!output.failed.empty())
    text += "; " + std::to_string(output.failed.size()) +
            " could not be read or written: " + PageList(report, output.failed);
  if (output.stoppedAt) {
    text += "; the output stopped at " + PageLink(report, *output.stoppedAt) +
            ", which could not be read again, so " +
            Count(static_cast<std::size_t>(output.skipped), "page after it was",
                  "pages after it were") +
            " not written";
  }
  return text + ".</li>\n";
}

}  // namespace

std::string VerdictHtml(const RunReport& report) {
  std::string html = "<section class=\"verdict\">\n<h2>Verdict</h2>\n<ul>\n";
  if (!AnyBox(report))
    html += "<li class=\"warn\"><b>No page has content</b>: there is no canvas.</li>\n";
  for (const Finding& finding : FindVerdict(report))
    html += std::visit([&](const auto& f) { return VerdictLine(report, f); }, finding);
  html +=
      "</ul>\n<p class=\"terms\">The typical box is the median width and the median height of "
      "the boxes (half of them are as wide or narrower, half as tall or shorter). A box is far "
      "larger when it is more than 10 % wider or taller than the typical box. A box reaches an "
      "edge when it runs to the border of its page, as it does when there is content within "
      "5 px of the border. Pages tie when their boxes share the value of an extreme: without "
      "one of them the canvas stays the same.</p>\n</section>\n";
  return html;
}

}  // namespace quarnel
