#include "report/verdict.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quarnel {
namespace {

// The extremes of the boxes of every page but `out`; none when no other page has a box.
std::optional<Extremes> Without(const PageTable& table, const std::vector<std::int32_t>& out) {
  std::optional<Extremes> e;
  for (std::int32_t j = 0; j < table.count(); ++j)
    if (table[j].box() && std::ranges::find(out, j) == out.end())
      FoldIntoExtremes(e ? *e : e.emplace(), *table[j].box(), j);
  return e;
}

std::int64_t Area(const std::optional<Extremes>& e) {
  return e ? std::int64_t{e->maxWidth()} * e->maxHeight() : 0;
}

// The verdict as the report's terms define it, written out plainly.
std::vector<Finding> Reference(const RunReport& r) {
  const PageTable& t = r.table;
  OutputFinding output{0, {}, r.outputStoppedAt, 0};
  EdgeFinding edges;
  NoSheetFinding noSheet;
  std::vector<std::int32_t> boxes, widths, heights;
  for (std::int32_t j = 0; j < t.count(); ++j) {
    output.written += t[j].output == PageOutput::kWritten;
    output.skipped += t[j].output == PageOutput::kSkipped;
    if (t[j].output == PageOutput::kFailed) output.failed.push_back(j);
    if (r.sheet && t[j].status != PageStatus::kUnreadable && !t[j].findings.sheet)
      noSheet.pages.push_back(j);
    if (!t[j].box()) continue;
    const ContentBox& b = *t[j].box();
    boxes.push_back(j), widths.push_back(b.width), heights.push_back(b.height);
    const bool at[] = {b.left() == 0, b.top == 0, b.right == t[j].width, b.bottom() == t[j].height};
    for (int side = 0; side < 4; ++side) edges.sides[side] += at[side];
    if (at[0] || at[1] || at[2] || at[3]) edges.pages.push_back(j);
    edges.allFour += at[0] && at[1] && at[2] && at[3];
  }
  std::vector<Finding> findings;
  const bool asked = t[0].output != PageOutput::kNotAsked,
             wentWell = asked && output.failed.empty();
  if (asked && !wentWell) findings.push_back(output);
  if (!edges.pages.empty()) findings.push_back(edges);
  if (!noSheet.pages.empty()) findings.push_back(noSheet);
  if (!boxes.empty()) {
    std::ranges::sort(widths), std::ranges::sort(heights);
    const std::int32_t w = widths[(widths.size() - 1) / 2], h = heights[(heights.size() - 1) / 2];
    auto excess = [&](std::int32_t j) {  // how many times the typical width or height, at most
      return std::max(1.0 * t[j].box()->width / w, 1.0 * t[j].box()->height / h);
    };
    std::vector<std::int32_t> farPages;
    std::ranges::copy_if(boxes, std::back_inserter(farPages),
                         [&](auto j) { return excess(j) > 1.1; });
    std::ranges::stable_sort(farPages, std::greater{}, excess);
    std::vector<std::pair<std::int64_t, Finding>> ranked;  // by the area they take off
    const std::int64_t area = Area(Without(t, {}));
    if (!farPages.empty())
      ranked.emplace_back(area - Area(Without(t, farPages)),
                          FarLargerFinding{farPages, *Without(t, farPages)});
    std::vector<TieFinding> ties;
    for (const ExtremeKind kind : kExtremeKinds) {
      std::vector<std::int32_t> group;
      for (const std::int32_t j : boxes)
        if (BoxValue(*t[j].box(), kind) == r.extremes[kind].value) group.push_back(j);
      auto same = std::ranges::find(ties, group, &TieFinding::pages);
      if (same != ties.end()) same->shared.push_back(kind);
      if (same == ties.end() && group.size() > 1)
        ties.push_back({{kind}, group, Without(t, group)});
    }
    for (const TieFinding& tie : ties)
      if (!std::ranges::all_of(tie.pages, [&](auto j) { return std::ranges::count(farPages, j); }))
        ranked.emplace_back(tie.without ? area - Area(tie.without) : 0, tie);
    std::ranges::stable_sort(ranked, std::greater{}, [](const auto& p) { return p.first; });
    for (const auto& [area, finding] : ranked) findings.push_back(finding);
    const BoxSize canvas{r.extremes.maxWidth(), r.extremes.maxHeight()};
    findings.push_back(TypicalFinding{{w, h}, canvas, std::int32_t(boxes.size())});
  }
  if (wentWell) findings.push_back(output);
  return findings;
}

// A book of 100 x 150 pages. `pages` has a letter a page: a page with its box (p), or with -s on
// a sheet (b) or with no sheet found (x); a page without content (n); an unreadable one (u).
// `output` a letter a page: written (w), failed (f), skipped (s), not asked for ( ). `kinds` the
// findings expected, in order: o(utput), e(dges), n(o sheet), f(ar larger), t(ie), (t)y(pical).
struct Book {
  std::string pages, output;
  std::vector<ContentBox> boxes;  // {right, top, width, height} of the pages with a box
  std::optional<std::int32_t> stop;
  std::string kinds;
};

TEST(Verdict, MatchesTheReference) {
  const ContentBox whole{100, 0, 100, 150}, text{90, 20, 70, 110};
  // clang-format off
  const Book books[] = {
      // Camera captures: every box the whole frame, one a little shorter; one blank page.
      {"ppppn", "wwwww", {whole, whole, whole, {100, 0, 100, 140}}, {}, "ettyo"},
      // With -s: on two pages no sheet was found, and their boxes, far larger, tie.
      {"bbxbbx", "      ", {text, {88, 21, 69, 108}, whole, text, {91, 19, 71, 112}, whole}, {},
       "enfy"},
      // Two pages far larger, the taller one first (those exactly 10 % wider or taller are not);
      // four pages share the top edge, four the right edge, each taking off more area.
      {"pppppp", "      ", {{90, 20, 77, 110}, {90, 10, 71, 121}, {88, 10, 69, 110},
       {90, 10, 78, 110}, {85, 10, 60, 135}, {90, 20, 70, 118}}, {}, "ttfy"},
      // As with -z, only the extreme page is written; a page without content and without a sheet.
      {"bbunb", "swsss", {text, {95, 5, 80, 130}, text}, {}, "nfyo"},
      // A page failed to be written, then the pass stopped at an unreadable page.
      {"pppup", "wfwfs", {text, text, {91, 20, 70, 110}, text}, 3, "oty"},
      {"nn", "ss", {}, {}, "o"}};
  // clang-format on
  for (const Book& book : books) {
    PageTable table;
    Extremes extremes;
    auto box = book.boxes.begin();
    for (std::int32_t j = 0; j < std::ssize(book.pages); ++j) {
      PageRecord& page = table.records.emplace_back();
      const char kind = book.pages[j];
      using enum PageStatus;
      page.status = kind == 'u' ? kUnreadable : kind == 'n' ? kNoContent : kOk;
      page.width = 100, page.height = 150;
      if (kind == 'b') page.findings.sheet = PixelRect{0, 0, 100, 150};
      if (page.status == kOk) FoldIntoExtremes(extremes, *(page.findings.box = *box++), j);
      // In the order of PageOutput: not asked for, written, failed, skipped.
      page.output = PageOutput(std::string(" wfs").find(book.output[j]));
    }
    RunReport report{
        "", 120, 256, 0, table, extremes, book.pages.find_first_of("bx") != std::string::npos};
    report.outputStoppedAt = book.stop;
    const std::vector<Finding> verdict = FindVerdict(report);
    std::string kinds;
    for (const Finding& finding : verdict) kinds += "enftyo"[finding.index()];
    EXPECT_EQ(kinds, book.kinds) << book.pages;
    EXPECT_TRUE(verdict == Reference(report)) << book.pages;
  }
}

}  // namespace
}  // namespace quarnel
