#include "report/verdict.h"

#include <algorithm>

namespace quarnel {
namespace {

// A box is far larger than the typical box when it is more than this many percent wider or
// taller.
constexpr std::int64_t kFarLargerPercent = 10;

// The lower median: the value in the middle, the lower of the two middle ones for an even count.
std::int32_t LowerMedian(std::vector<std::int32_t> values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>((values.size() - 1) / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

EdgeFinding FindEdges(const PageTable& table) {
  EdgeFinding edges;
  for (std::int32_t j = 0; j < table.count(); ++j) {
    const PageRecord& page = table[j];
    if (!page.box()) continue;
    const ContentBox& box = *page.box();
    const bool reaches[] = {box.left() <= 0, box.top <= 0, box.right >= page.width,
                            box.bottom() >= page.height};
    const auto count = std::count(std::begin(reaches), std::end(reaches), true);
    if (count == 0) continue;
    edges.pages.push_back(j);
    for (std::size_t side = 0; side < edges.sides.size(); ++side)
      edges.sides[side] += reaches[side];
    edges.allFour += count == 4;
  }
  return edges;
}

// The pages whose box is far larger than `typical`, ranked.
std::vector<std::int32_t> FarLargerPages(const PageTable& table, const BoxSize& typical) {
  std::vector<std::pair<std::int64_t, std::int32_t>> ranked;  // how far it exceeds, page
  for (std::int32_t j = 0; j < table.count(); ++j) {
    const std::optional<ContentBox>& box = table[j].box();
    if (!box) continue;
    const std::int64_t width = box->width, height = box->height;
    if (width * 100 <= typical.width * (100 + kFarLargerPercent) &&
        height * 100 <= typical.height * (100 + kFarLargerPercent))
      continue;
    // width / typical.width against height / typical.height, both times the typical area.
    ranked.emplace_back(std::max(width * typical.height, height * typical.width), j);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::int32_t> pages;
  for (const auto& [excess, page] : ranked) pages.push_back(page);
  return pages;
}

// For each extreme that two or more boxes share, those pages; extremes shared by the same pages
// make one tie.
std::vector<TieFinding> FindTies(const PageTable& table, const Extremes& extremes) {
  std::vector<TieFinding> ties;
  for (const ExtremeKind kind : kExtremeKinds) {
    std::vector<std::int32_t> pages;
    for (std::int32_t j = 0; j < table.count(); ++j) {
      const std::optional<ContentBox>& box = table[j].box();
      if (box && BoxValue(*box, kind) == extremes[kind].value) pages.push_back(j);
    }
    if (pages.size() < 2) continue;
    const auto same = std::find_if(ties.begin(), ties.end(),
                                   [&](const TieFinding& tie) { return tie.pages == pages; });
    if (same != ties.end()) {
      same->shared.push_back(kind);
    } else {
      ties.push_back({{kind}, pages, ExtremesWithout(table, pages)});
    }
  }
  return ties;
}

std::optional<OutputFinding> FindOutput(const RunReport& report) {
  OutputFinding output{0, {}, report.outputStoppedAt, 0};
  bool asked = false;
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    const PageOutput result = report.table[j].output;
    asked = asked || result != PageOutput::kNotAsked;
    output.written += result == PageOutput::kWritten;
    output.skipped += result == PageOutput::kSkipped;
    if (result == PageOutput::kFailed) output.failed.push_back(j);
  }
  if (!asked) return std::nullopt;
  return output;
}

}  // namespace

std::vector<Finding> FindVerdict(const RunReport& report) {
  const PageTable& table = report.table;
  std::vector<Finding> findings;
  const std::optional<OutputFinding> output = FindOutput(report);
  const bool outputWentWell = output && output->failed.empty();
  if (output && !outputWentWell) findings.emplace_back(*output);

  std::vector<std::int32_t> widths, heights;
  for (const PageRecord& page : table.records) {
    if (!page.box()) continue;
    widths.push_back(page.box()->width);
    heights.push_back(page.box()->height);
  }
  if (!widths.empty()) {
    EdgeFinding edges = FindEdges(table);
    if (!edges.pages.empty()) findings.emplace_back(std::move(edges));
  }
  if (report.sheet) {
    NoSheetFinding noSheet;
    for (std::int32_t j = 0; j < table.count(); ++j) {
      if (table[j].status != PageStatus::kUnreadable && !table[j].findings.sheet)
        noSheet.pages.push_back(j);
    }
    if (!noSheet.pages.empty()) findings.emplace_back(std::move(noSheet));
  }
  if (!widths.empty()) {
    const Extremes& extremes = report.extremes;
    const TypicalFinding typical{{LowerMedian(widths), LowerMedian(heights)},
                                 {extremes.maxWidth(), extremes.maxHeight()},
                                 static_cast<std::int32_t>(widths.size())};
    // The far larger boxes and the ties, by the area that leaving out their pages takes off.
    std::vector<std::pair<std::int64_t, Finding>> ranked;
    const std::vector<std::int32_t> farLarger = FarLargerPages(table, typical.typical);
    if (!farLarger.empty()) {
      const Extremes without = *ExtremesWithout(table, farLarger);  // the typical box stays
      ranked.emplace_back(CanvasArea(extremes) - CanvasArea(without),
                          FarLargerFinding{farLarger, without});
    }
    for (TieFinding& tie : FindTies(table, extremes)) {
      // Far larger boxes that tie are named once, as far larger.
      const bool allFarLarger = std::all_of(tie.pages.begin(), tie.pages.end(), [&](auto page) {
        return std::find(farLarger.begin(), farLarger.end(), page) != farLarger.end();
      });
      if (allFarLarger) continue;
      // A tie of every box leaves no canvas to compare: it takes nothing off.
      const std::int64_t area = tie.without ? CanvasArea(extremes) - CanvasArea(*tie.without) : 0;
      ranked.emplace_back(area, std::move(tie));
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [area, finding] : ranked) findings.push_back(std::move(finding));
    findings.emplace_back(typical);
  }
  if (outputWentWell) findings.emplace_back(*output);
  return findings;
}

}  // namespace quarnel
