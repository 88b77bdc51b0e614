#include "analysis/sheet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "analysis/cell_grid.h"
#include "analysis/sheet_content.h"

namespace quarnel {
namespace {

// The grid's long side, in cells.
constexpr std::int32_t kCellsOnLongSide = 240;

// Ground: cells darker than the paper by max(kGroundStep, kGroundShare * paper), joined to the
// image frame. Less than kGroundMinimum of the cells as ground: the page has no ground.
constexpr double kGroundStep = 60;
constexpr double kGroundShare = 0.35;
constexpr double kGroundMinimum = 0.01;
// The sheet's region must cover at least this share of the grid.
constexpr double kSheetMinimum = 0.10;
// A second region joins the sheet (the other page of a spread) when it is at least this large
// beside the largest and shares this much of its height with it.
constexpr double kPartnerSize = 0.6;
constexpr double kPartnerOverlap = 0.7;
// Steps in paper brightness: columns or rows at a side of the sheet whose paper differs from the
// middle's by more than max(kStep, kStepShare * paper) are cut off, up to kStepReach of the
// sheet's extent from each side.
constexpr double kStep = 20;
constexpr double kStepShare = 0.1;
constexpr double kStepReach = 0.35;

// The paper level of a region: this quantile of its cells' means.
constexpr double kPaperQuantile = 0.85;

// The value at quantile q of `values`, rounded down to a rank.
double Quantile(const Mask& values, double q) {
  const auto rank = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::array<std::uint32_t, 256> counts{};
  for (const std::uint8_t v : values) ++counts[v];
  std::size_t seen = 0;
  for (std::size_t v = 0; v < counts.size(); ++v) {
    seen += counts[v];
    if (seen > rank) return static_cast<double>(v);
  }
  return 255;
}

// The ground: cells clearly darker than the paper, joined (8 neighbours) to the image frame.
Mask FindGround(const CellStats& stats, double paper) {
  const double limit = paper - std::max(kGroundStep, kGroundShare * paper);
  const std::int32_t w = stats.columns;
  const std::int32_t h = stats.rows;
  Mask dark(stats.mean.size(), 0, stats.mean.get_allocator());
  for (std::size_t i = 0; i < dark.size(); ++i) dark[i] = stats.mean[i] < limit ? 1 : 0;
  Mask frame(dark.size(), 0, dark.get_allocator());
  for (std::int32_t x = 0; x < w; ++x) frame[Index(w, x, 0)] = frame[Index(w, x, h - 1)] = 1;
  for (std::int32_t y = 0; y < h; ++y) frame[Index(w, 0, y)] = frame[Index(w, w - 1, y)] = 1;
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = frame[i] & dark[i];
  return FloodFrom(dark, frame, w, h);
}

// The sheet among the regions that are not ground: the largest, with a partner of about its size
// beside it. Empty when the largest is too small to be a sheet.
Mask PickSheetRegions(const Mask& ground, std::int32_t w, std::int32_t h) {
  Mask paper(ground.size(), 0, ground.get_allocator());
  for (std::size_t i = 0; i < paper.size(); ++i) paper[i] = ground[i] ? 0 : 1;
  Labels labels(ground.get_allocator());
  const std::pmr::vector<Component> parts = LabelComponents(paper, w, h, false, labels);
  std::size_t largest = 0;
  for (std::size_t k = 1; k < parts.size(); ++k) {
    if (parts[k].cells > parts[largest].cells) largest = k;
  }
  Mask sheet(paper.size(), 0, ground.get_allocator());
  if (parts.empty() || static_cast<double>(parts[largest].cells) <
                           kSheetMinimum * static_cast<double>(paper.size())) {
    return sheet;
  }
  const Component& big = parts[largest];
  Mask keep(parts.size(), 0, ground.get_allocator());
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const Component& part = parts[k];
    const std::int32_t overlap = std::min(part.bottom, big.bottom) - std::max(part.top, big.top);
    const std::int32_t shorter = std::min(part.bottom - part.top, big.bottom - big.top);
    keep[k] = k == largest ||
              (static_cast<double>(part.cells) >= kPartnerSize * static_cast<double>(big.cells) &&
               static_cast<double>(overlap) >= kPartnerOverlap * shorter);
  }
  for (std::size_t i = 0; i < sheet.size(); ++i) {
    if (labels[i] > 0) sheet[i] = keep[static_cast<std::size_t>(labels[i] - 1)];
  }
  return sheet;
}

// How far to cut from each end of a run of lines (columns or rows) of the sheet: the outer lines
// whose paper level is off the middle's, until three lines in a row agree with it.
struct Cut {
  std::int32_t first = 0;  // the first line kept
  std::int32_t last = 0;   // the last line kept
};

Cut FindStepCut(const std::vector<double>& level, std::int32_t lo, std::int32_t hi, double paper) {
  const std::int32_t n = hi - lo;
  std::vector<double> middle;
  for (std::int32_t i = lo + n / 4; i < hi - n / 4; ++i) {
    if (level[static_cast<std::size_t>(i)] >= 0)
      middle.push_back(level[static_cast<std::size_t>(i)]);
  }
  Cut cut{lo, hi - 1};
  if (middle.empty()) return cut;
  std::sort(middle.begin(), middle.end());
  const double mid = middle.size() % 2
                         ? middle[middle.size() / 2]
                         : (middle[middle.size() / 2 - 1] + middle[middle.size() / 2]) / 2;
  const double tolerance = std::max(kStep, kStepShare * paper);
  auto ok = [&](std::int32_t i) {
    const double v = level[static_cast<std::size_t>(std::clamp(i, lo, hi - 1))];
    return v >= 0 && std::abs(v - mid) <= tolerance;
  };
  const auto reach = static_cast<std::int32_t>(kStepReach * n);
  std::int32_t a = lo;
  while (a < lo + reach && !(ok(a) && ok(a + 1) && ok(a + 2))) ++a;
  if (a < lo + reach) cut.first = a;
  std::int32_t b = hi - 1;
  while (b > hi - 1 - reach && !(ok(b) && ok(b - 1) && ok(b - 2))) --b;
  if (b > hi - 1 - reach) cut.last = b;
  return cut;
}

// Cuts off the sides of the sheet whose paper is brighter or darker than its middle: the facing
// page across the gutter, a card that touches the sheet.
void CutPaperSteps(const CellStats& stats, double paper, Mask& sheet) {
  const std::int32_t w = stats.columns;
  const std::int32_t h = stats.rows;
  const Box box = BoundingBox(sheet, w, h);
  Cut cuts[2];
  for (int axis = 0; axis < 2; ++axis) {
    const std::int32_t lo = axis == 0 ? box.left : box.top;
    const std::int32_t hi = axis == 0 ? box.right : box.bottom;
    std::vector<double> level(static_cast<std::size_t>(std::max(w, h)), -1);
    Mask values(sheet.get_allocator());
    for (std::int32_t i = lo; i < hi; ++i) {
      values.clear();
      const std::int32_t across = axis == 0 ? h : w;
      for (std::int32_t j = 0; j < across; ++j) {
        const std::size_t k = axis == 0 ? Index(w, i, j) : Index(w, j, i);
        if (sheet[k]) values.push_back(stats.mean[k]);
      }
      if (!values.empty()) level[static_cast<std::size_t>(i)] = Quantile(values, kPaperQuantile);
    }
    cuts[axis] = FindStepCut(level, lo, hi, paper);
  }
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      if (x < cuts[0].first || x > cuts[0].last || y < cuts[1].first || y > cuts[1].last)
        sheet[Index(w, x, y)] = 0;
    }
  }
}

}  // namespace

std::optional<SheetFinding> FindSheet(GrayView image, std::int32_t black,
                                      std::pmr::memory_resource* memory) {
  if (image.width <= 0 || image.height <= 0) return std::nullopt;
  const std::int32_t longSide = std::max(image.width, image.height);
  const std::int32_t cell = std::max(2, (longSide + kCellsOnLongSide - 1) / kCellsOnLongSide);
  const CellStats stats = MeasureCells(image, cell, black, memory);
  const std::int32_t w = stats.columns;
  const std::int32_t h = stats.rows;

  // The paper's level, from the middle of the image, where the sheet lies.
  Mask centre(memory);
  for (std::int32_t y = h / 4; y < h - h / 4; ++y) {
    for (std::int32_t x = w / 4; x < w - w / 4; ++x) centre.push_back(stats.mean[Index(w, x, y)]);
  }
  if (centre.empty()) return std::nullopt;
  const double paper = Quantile(centre, kPaperQuantile);
  // Paper darker than the content threshold cannot be told from the content on it.
  if (paper < black) return std::nullopt;

  const Mask ground = FindGround(stats, paper);
  const auto groundCells = std::count(ground.begin(), ground.end(), 1);
  Mask sheet(memory);
  if (static_cast<double>(groundCells) < kGroundMinimum * static_cast<double>(ground.size())) {
    sheet.assign(ground.size(), 1);
  } else {
    sheet = PickSheetRegions(ground, w, h);
    if (std::find(sheet.begin(), sheet.end(), 1) == sheet.end()) return std::nullopt;
    CutPaperSteps(stats, paper, sheet);
  }

  const Box box = BoundingBox(sheet, w, h);
  SheetFinding finding;
  finding.sheet =
      PixelRect{box.left * cell, box.top * cell, std::min(image.width, box.right * cell),
                std::min(image.height, box.bottom * cell)};
  const Mask content = FindContentCells(stats, sheet, box, paper);
  finding.content = CellMask{cell, w, h, std::vector<std::uint8_t>(content.begin(), content.end())};
  return finding;
}

}  // namespace quarnel
