#pragma once

// The verdict at the top of the HTML report: the few findings that explain why the canvas is as
// large as it is, and what became of the output, each with its evidence (the pages involved and
// the numbers). Only the findings; html_report.cpp puts them into words.
//
// The terms, as the report states them:
// - the typical box: the median width and the median height of the boxes found (for an even
//   number of boxes the lower of the two middle values, so it is always a width and a height that
//   some box has);
// - a box reaches an edge of its page when it runs to that edge: left or top 0, right the page's
//   width, bottom its height (the 5 pixel margin included, so content within 5 pixels of the
//   page's border is enough);
// - a box is far larger than the typical box when it is more than 10 % wider or more than 10 %
//   taller;
// - a tie: two or more pages whose boxes share the value of an extreme (the largest right edge,
//   the smallest top edge, the largest width, the largest height); without any one of them the
//   canvas stays the same.

#include <array>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "analysis/extremes.h"
#include "report/run_report.h"

namespace quarnel {

// A box's or the canvas's size in pixels.
struct BoxSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const BoxSize&, const BoxSize&) = default;
};

// The boxes that reach an edge of their page, in table order.
struct EdgeFinding {
  std::vector<std::int32_t> pages;
  std::array<std::int32_t, 4> sides{};  // how many reach the left, top, right and bottom edge
  std::int32_t allFour = 0;             // how many reach all four
  friend bool operator==(const EdgeFinding&, const EdgeFinding&) = default;
};

// With -s, the readable pages where no sheet was told apart from the ground, in table order.
struct NoSheetFinding {
  std::vector<std::int32_t> pages;
  friend bool operator==(const NoSheetFinding&, const NoSheetFinding&) = default;
};

// The pages whose box is far larger than the typical box, the one that exceeds it most first
// (by the larger of its width over the typical width and its height over the typical height;
// equal ones in table order), and the extremes of every other box.
struct FarLargerFinding {
  std::vector<std::int32_t> pages;
  Extremes without;
  friend bool operator==(const FarLargerFinding&, const FarLargerFinding&) = default;
};

// Pages whose boxes share the value of the extremes in `shared` (in the summary's order), in
// table order, and the extremes of every other box (none when no other page has a box).
struct TieFinding {
  std::vector<ExtremeKind> shared;
  std::vector<std::int32_t> pages;
  std::optional<Extremes> without;
  friend bool operator==(const TieFinding&, const TieFinding&) = default;
};

// The typical box beside the canvas.
struct TypicalFinding {
  BoxSize typical;
  BoxSize canvas;
  std::int32_t boxes = 0;  // how many boxes the median is taken over
  friend bool operator==(const TypicalFinding&, const TypicalFinding&) = default;
};

// What became of the output pass.
struct OutputFinding {
  std::int32_t written = 0;
  std::vector<std::int32_t> failed;       // could not be read or written, in table order
  std::optional<std::int32_t> stoppedAt;  // the page that could not be read again
  // Pages not written: after the page where the pass stopped; else, with -z, the pages that set
  // no extreme; else every page, as no page had content.
  std::int32_t skipped = 0;
  friend bool operator==(const OutputFinding&, const OutputFinding&) = default;
};

using Finding = std::variant<EdgeFinding, NoSheetFinding, FarLargerFinding, TieFinding,
                             TypicalFinding, OutputFinding>;

// The findings of a run, most important first: the output pass when a page failed; the
// boxes that reach an edge; the pages without a sheet; the far larger boxes and the ties, the one
// whose pages take the most area off the canvas first (the far larger boxes first among equals; a
// tie of every box takes none); the typical box; the output pass when it went well. A finding
// with no page is left out, and so is a tie of far larger boxes; without boxes there is only the
// output pass.
std::vector<Finding> FindVerdict(const RunReport& report);

}  // namespace quarnel
