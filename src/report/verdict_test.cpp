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
  bool asked = false;
  for (std::int32_t j = 0; j < t.count(); ++j) {
    asked = asked || t[j].output != PageOutput::kNotAsked;
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
  const bool wentWell = asked && output.failed.empty();
  if (asked && !wentWell) findings.push_back(output);
  if (!edges.pages.empty()) findings.push_back(edges);
  if (!noSheet.pages.empty()) findings.push_back(noSheet);
  if (!boxes.empty()) {
    std::ranges::sort(widths), std::ranges::sort(heights);
    const std::int32_t w = widths[(widths.size() - 1) / 2], h = heights[(heights.size() - 1) / 2];
    std::vector<std::pair<double, std::int32_t>> far;  // minus how far it exceeds, page
    for (const std::int32_t j : boxes) {
      const ContentBox& b = *t[j].box();
      if (b.width * 10 > w * 11 || b.height * 10 > h * 11)
        far.emplace_back(-std::max(1.0 * b.width / w, 1.0 * b.height / h), j);
    }
    std::ranges::sort(far);
    std::vector<std::int32_t> farPages;
    for (const auto& [minus, j] : far) farPages.push_back(j);
    std::vector<std::pair<std::int64_t, Finding>> ranked;
    if (!far.empty())
      ranked.emplace_back(Area(Without(t, {})) - Area(Without(t, farPages)),
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
    for (const TieFinding& tie : ties) {
      if (std::ranges::all_of(tie.pages, [&](auto j) { return std::ranges::count(farPages, j); }))
        continue;
      ranked.emplace_back(tie.without ? Area(Without(t, {})) - Area(tie.without) : 0, tie);
    }
    std::ranges::stable_sort(ranked, std::greater{}, [](const auto& p) { return p.first; });
    for (const auto& [area, finding] : ranked) findings.push_back(finding);
    findings.push_back(TypicalFinding{{w, h},
                                      {r.extremes.maxWidth(), r.extremes.maxHeight()},
                                      static_cast<std::int32_t>(boxes.size())});
  }
  if (wentWell) findings.push_back(output);
  return findings;
}

// A book of 100 x 150 pages. `pages` has a letter a page: a page with its box, on a sheet (b) or
// with no sheet found (x); a page without content (n); an unreadable one (u). `output` a letter a
// page: written (w), failed (f), skipped (s); empty when no output was asked for. `kinds` the
// findings expected, in order: o(utput), e(dges), n(o sheet), f(ar larger), t(ie), (t)y(pical).
struct Book {
  std::string pages, output;
  std::vector<ContentBox> boxes;  // {right, top, width, height} of the pages with a box
  bool sheet = false, z = false;
  std::optional<std::int32_t> stop;
  std::string kinds;
};

TEST(Verdict, MatchesTheReference) {
  const ContentBox whole{100, 0, 100, 150}, text{90, 20, 70, 110};
  // clang-format off
  const Book books[] = {
      // Camera captures: every box the whole frame, one a little shorter; one blank page.
      {"bbbbn", "wwwww", {whole, whole, whole, {100, 0, 100, 140}}, false, false, {}, "ettyo"},
      // With -s: on two pages no sheet was found, and their boxes, far larger, tie.
      {"bbxbbx", "", {text, {88, 21, 69, 108}, whole, text, {91, 19, 71, 112}, whole}, true, false,
       {}, "enfy"},
      // Two pages far larger, the taller one first (those exactly 10 % wider or taller are not);
      // four pages share the top edge, four the right edge, each taking off more area.
      {"bbbbbb", "", {{90, 20, 77, 110}, {90, 10, 71, 121}, {88, 10, 69, 110}, {90, 10, 78, 110},
       {85, 10, 60, 135}, {90, 20, 70, 118}}, false, false, {}, "ttfy"},
      // With -z the extreme page is written; a page without content and without a sheet.
      {"bbunb", "swsss", {text, {95, 5, 80, 130}, text}, true, true, {}, "nfyo"},
      // A page failed to be written, then the pass stopped at an unreadable page.
      {"bbbub", "wfwfs", {text, text, {91, 20, 70, 110}, text}, false, false, 3, "oty"},
      {"nn", "ss", {}, false, false, {}, "o"}};
  // clang-format on
  for (const Book& book : books) {
    PageTable table;
    Extremes extremes;
    auto box = book.boxes.begin();
    for (std::size_t j = 0; j < book.pages.size(); ++j) {
      PageRecord& page = table.records.emplace_back();
      const char kind = book.pages[j];
      using enum PageStatus;
      page.status = kind == 'u' ? kUnreadable : kind == 'n' ? kNoContent : kOk;
      page.width = 100, page.height = 150;
      if (kind == 'b') page.findings.sheet = PixelRect{0, 0, 100, 150};
      if (page.status == PageStatus::kOk) page.findings.box = *box++;
      if (page.box()) FoldIntoExtremes(extremes, *page.box(), static_cast<std::int32_t>(j));
      // In the order of PageOutput: not asked for, written, failed, skipped.
      page.output =
          PageOutput(std::string(" wfs").find(book.output.empty() ? ' ' : book.output[j]));
    }
    const RunReport report{"", 120, 256, 0, table, extremes, book.sheet, book.z, book.stop};
    const std::vector<Finding> verdict = FindVerdict(report);
    std::string kinds;
    for (const Finding& finding : verdict) kinds += "enftyo"[finding.index()];
    EXPECT_EQ(kinds, book.kinds) << book.pages;
    EXPECT_TRUE(verdict == Reference(report)) << book.pages;
  }
}

}  // namespace
}  // namespace quarnel
