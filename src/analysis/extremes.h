#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "analysis/geometry.h"

namespace quarnel {

// The four extremes over all analysed pages, in the summary's order: the largest right edge, the
// smallest top edge, the largest width and the largest height.
enum class ExtremeKind { kRight, kTop, kWidth, kHeight };
inline constexpr ExtremeKind kExtremeKinds[] = {ExtremeKind::kRight, ExtremeKind::kTop,
                                                ExtremeKind::kWidth, ExtremeKind::kHeight};

// "right", "top", "width" or "height".
const char* ExtremeName(ExtremeKind kind);

// What a box offers for an extreme of `kind`: its right edge, top edge, width or height.
std::int32_t BoxValue(const ContentBox& box, ExtremeKind kind);

// An extreme's value and the index of the page that sets it.
struct Extreme {
  std::int32_t value = 0;
  std::int32_t page = 0;
  friend bool operator==(const Extreme&, const Extreme&) = default;
};

// The extremes of the boxes folded so far, one entry a kind. maxWidth x maxHeight is the size of
// every output page; maxRight and minTop anchor the placement of each page's box on it.
struct Extremes {
  std::array<Extreme, std::size(kExtremeKinds)> entries = {
      {{0, 0}, {std::numeric_limits<std::int32_t>::max(), 0}, {0, 0}, {0, 0}}};

  Extreme& operator[](ExtremeKind kind) { return entries[static_cast<std::size_t>(kind)]; }
  const Extreme& operator[](ExtremeKind kind) const {
    return entries[static_cast<std::size_t>(kind)];
  }
  std::int32_t maxRight() const { return (*this)[ExtremeKind::kRight].value; }
  std::int32_t minTop() const { return (*this)[ExtremeKind::kTop].value; }
  std::int32_t maxWidth() const { return (*this)[ExtremeKind::kWidth].value; }
  std::int32_t maxHeight() const { return (*this)[ExtremeKind::kHeight].value; }
  friend bool operator==(const Extremes&, const Extremes&) = default;
};

// Takes the box of page `index` into the extremes. Each comparison is strict, so among equal
// values the page folded first (the earliest in table order) keeps the title.
void FoldIntoExtremes(Extremes& extremes, const ContentBox& box, std::int32_t index);

// The distinct pages that set the extremes, each once, in the order of its first appearance
// among the kinds.
std::vector<std::int32_t> ExtremePages(const Extremes& extremes);

// Where a box lands on the canvas: the canvas column of its left column and the canvas row of
// its top row.
struct Placement {
  std::int32_t offsetX = 0;
  std::int32_t offsetY = 0;
  friend bool operator==(const Placement&, const Placement&) = default;
};

// The canvas is a window onto every page: it shows the image columns
// maxRight - maxWidth ... maxRight - 1 and the rows minTop ... minTop + maxHeight - 1. A box
// keeps its place in that window, except that a box beginning left of the window moves right to
// the first column, and a box that would end below the window moves up to end on the last row.
// For a box that took part in `extremes` the whole box lands on the canvas.
Placement ComputePlacement(const ContentBox& box, const Extremes& extremes);

}  // namespace quarnel
