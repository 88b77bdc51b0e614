#include "analysis/sheet_content.h"

#include <algorithm>
#include <cstddef>

namespace quarnel {
namespace {

// Bands along an edge of the sheet (its rim), looked for within kRimReach of the sheet's extent
// from the edge. A band starts within kRimStart of the edge and ends at the first clean strip of
// paper kRimGap wide. It is dropped when it hugs the edge (at most two cells deep), or when it
// runs along at least kRimAlong of the edge and is thin (at most kRimThin cells deep on average)
// or solid (its dark cells' mean at most kRimSolid of the paper level): shadows, outlines, page
// stacks. Text lines near an edge are neither.
constexpr double kRimReach = 0.12;
constexpr double kRimGap = 0.012;
constexpr double kRimStart = 0.03;
constexpr double kRimAlong = 0.15;
constexpr double kRimThin = 2.2;
constexpr double kRimSolid = 0.6;
// Lines: dark cells linked along one direction across gaps of kLineLink of the sheet's extent,
// at least kLineLength of it long, at most kLineThick cells thick on average and leaning at most
// kLineLean of the other extent (a sheet turned a few degrees).
constexpr double kLineLink = 0.03;
constexpr double kLineLength = 0.2;
constexpr double kLineThick = 2.5;
constexpr double kLineLean = 0.1;
// Marks that touch the sheet's edge and are at most kEdgeMarkThick of its shorter extent thick.
constexpr double kEdgeMarkThick = 0.03;
// Specks: groups of marks (joined across kSpeckGap of the grid's long side) with fewer dark
// pixels than kSpeckPixels per million pixels of the page.
constexpr double kSpeckGap = 0.005;
constexpr double kSpeckPixels = 12;
// Strays: groups of content cells (cells less than twice kStrayGap of the sheet's extent apart
// joined) that no chain of groups, each within kStrayGap of the box of those before, joins to the
// group with the most dark pixels, and that lie in the rim (kRimReach) beside that box, or in a
// corner of the rim clear of it both ways, or beside or beyond it as a thin line at least
// kStrayLine of the sheet's extent long: dirt and pieces of page-stack edges that a clean strip
// of paper separates from the content. A page number below the text is not one.
constexpr double kStrayGap = 0.04;
constexpr double kStrayLine = 0.1;

// The size and bounding box of each label's cells among the cells of `subset`.
std::pmr::vector<Component> Measure(const Labels& labels, std::size_t count, const Mask& subset,
                                    std::int32_t w) {
  std::pmr::vector<Component> parts(count, Component{0, w, 1 << 30, -1, -1},
                                    subset.get_allocator());
  const auto h = static_cast<std::int32_t>(labels.size() / static_cast<std::size_t>(w));
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      const std::size_t i = Index(w, x, y);
      if (!subset[i] || labels[i] == 0) continue;
      Component& part = parts[static_cast<std::size_t>(labels[i] - 1)];
      ++part.cells;
      part.left = std::min(part.left, x);
      part.right = std::max(part.right, x + 1);
      part.top = std::min(part.top, y);
      part.bottom = std::max(part.bottom, y + 1);
    }
  }
  return parts;
}

// Walks from one edge of the sheet inwards: side 0 from the left, 1 from the right, 2 from the
// top, 3 from the bottom. Line r is a row for sides 0 and 1 and a column for 2 and 3.
class EdgeWalk {
 public:
  EdgeWalk(const Mask& sheet, std::int32_t w, std::int32_t h, int side)
      : w_(w), h_(h), side_(side), start_(sheet.get_allocator()) {
    const std::int32_t lines = side < 2 ? h : w;
    const std::int32_t depth = side < 2 ? w : h;
    start_.assign(static_cast<std::size_t>(lines), -1);
    for (std::int32_t r = 0; r < lines; ++r) {
      for (std::int32_t d = 0; d < depth; ++d) {
        if (sheet[Raw(r, d)]) {
          start_[static_cast<std::size_t>(r)] = d;
          break;
        }
      }
    }
  }
  std::int32_t Lines() const { return static_cast<std::int32_t>(start_.size()); }
  bool InSheet(std::int32_t r) const { return start_[static_cast<std::size_t>(r)] >= 0; }
  // The cell at depth d from the sheet's edge on line r, or -1 past the grid.
  std::ptrdiff_t At(std::int32_t r, std::int32_t d) const {
    const std::int32_t raw = start_[static_cast<std::size_t>(r)] + d;
    if (raw >= (side_ < 2 ? w_ : h_)) return -1;
    return static_cast<std::ptrdiff_t>(Raw(r, raw));
  }

 private:
  std::size_t Raw(std::int32_t r, std::int32_t d) const {
    switch (side_) {
      case 0:
        return Index(w_, d, r);
      case 1:
        return Index(w_, w_ - 1 - d, r);
      case 2:
        return Index(w_, r, d);
      default:
        return Index(w_, r, h_ - 1 - d);
    }
  }
  std::int32_t w_;
  std::int32_t h_;
  int side_;
  Labels start_;
};

// Marks in `peel` the dark cells of the rim band on one side of the sheet, if it has one.
void PeelRim(const CellStats& stats, const Mask& sheet, const Mask& dark, double extent,
             double paper, int side, Mask& peel) {
  const EdgeWalk walk(sheet, stats.columns, stats.rows, side);
  const std::int32_t reach = std::max(3, static_cast<std::int32_t>(kRimReach * extent));
  Labels profile(static_cast<std::size_t>(reach) + 1, 0, sheet.get_allocator());
  std::int32_t lines = 0;
  for (std::int32_t r = 0; r < walk.Lines(); ++r) {
    if (!walk.InSheet(r)) continue;
    ++lines;
    for (std::int32_t d = 0; d <= reach; ++d) {
      const std::ptrdiff_t at = walk.At(r, d);
      if (at >= 0 && dark[static_cast<std::size_t>(at)]) ++profile[static_cast<std::size_t>(d)];
    }
  }
  const double cleanMax = std::max(1.0, 0.005 * lines);
  auto clean = [&](std::int32_t d) { return profile[static_cast<std::size_t>(d)] <= cleanMax; };
  std::int32_t d = 0;
  while (d <= reach && clean(d)) ++d;
  if (d > reach || d > std::max(2, static_cast<std::int32_t>(kRimStart * extent))) return;
  const std::int32_t bandStart = d;
  const std::int32_t gap = std::max(2, static_cast<std::int32_t>(kRimGap * extent));
  std::int32_t run = 0;
  std::int32_t bandEnd = -1;
  for (; d <= reach; ++d) {
    run = clean(d) ? run + 1 : 0;
    if (run >= gap) {
      bandEnd = d - run + 1;
      break;
    }
  }
  if (bandEnd < 0) return;

  std::int32_t along = 0;  // lines with a dark cell in the band
  std::int32_t cells = 0;
  double levels = 0;
  for (std::int32_t r = 0; r < walk.Lines(); ++r) {
    if (!walk.InSheet(r)) continue;
    bool hit = false;
    for (std::int32_t k = bandStart; k < bandEnd; ++k) {
      const std::ptrdiff_t at = walk.At(r, k);
      if (at < 0 || !dark[static_cast<std::size_t>(at)]) continue;
      hit = true;
      ++cells;
      levels += stats.mean[static_cast<std::size_t>(at)];
    }
    along += hit ? 1 : 0;
  }
  const bool hugs = bandStart <= 1 && bandEnd - bandStart <= 2;
  if (!hugs) {
    if (along < kRimAlong * lines) return;
    const double thickness = static_cast<double>(cells) / std::max(1, along);
    const double level = levels / std::max(1, cells);
    if (thickness > kRimThin && level > kRimSolid * paper) return;
  }
  for (std::int32_t r = 0; r < walk.Lines(); ++r) {
    if (!walk.InSheet(r)) continue;
    for (std::int32_t k = 0; k < bandEnd; ++k) {
      const std::ptrdiff_t at = walk.At(r, k);
      if (at >= 0 && dark[static_cast<std::size_t>(at)]) peel[static_cast<std::size_t>(at)] = 1;
    }
  }
}

// Leaves the strays out of `content` (see kStrayGap).
void DropStrays(const CellStats& stats, const Box& box, Mask& content) {
  const auto memory = content.get_allocator();
  const std::int32_t w = stats.columns;
  const std::int32_t h = stats.rows;
  const auto gx = std::max(1, static_cast<std::int32_t>(kStrayGap * (box.right - box.left)));
  const auto gy = std::max(1, static_cast<std::int32_t>(kStrayGap * (box.bottom - box.top)));
  Labels labels(memory);
  const std::size_t count =
      LabelComponents(Dilate(content, w, h, gx, gy), w, h, true, labels).size();
  if (count < 2) return;
  std::pmr::vector<Component> groups = Measure(labels, count, content, w);
  std::pmr::vector<double> ink(count, 0, memory);
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i]) ink[static_cast<std::size_t>(labels[i] - 1)] += stats.dark[i];
  }
  const auto core =
      static_cast<std::size_t>(std::max_element(ink.begin(), ink.end()) - ink.begin());
  Mask joined(count, 0, memory);
  joined[core] = 1;
  Box held{groups[core].left, groups[core].top, groups[core].right, groups[core].bottom};
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t k = 0; k < count; ++k) {
      const Component& g = groups[k];
      if (joined[k] || g.cells == 0) continue;
      if (g.left - held.right > gx || held.left - g.right > gx || g.top - held.bottom > gy ||
          held.top - g.bottom > gy)
        continue;
      joined[k] = 1;
      held = {std::min(held.left, g.left), std::min(held.top, g.top), std::max(held.right, g.right),
              std::max(held.bottom, g.bottom)};
      grew = true;
    }
  }
  const double reachX = kRimReach * (box.right - box.left);
  const double reachY = kRimReach * (box.bottom - box.top);
  Mask stray(count + 1, 0, memory);
  for (std::size_t k = 0; k < count; ++k) {
    const Component& g = groups[k];
    if (joined[k] || g.cells == 0) continue;
    const bool beside = g.right <= held.left || g.left >= held.right;
    const bool beyond = g.bottom <= held.top || g.top >= held.bottom;
    // Beside the content within the rim of the left or right edge; in the rim of the top or
    // bottom edge, clear of the content both ways (a page number below the text is content).
    const bool rimBeside = (g.right <= held.left && g.right <= box.left + reachX) ||
                           (g.left >= held.right && g.left >= box.right - reachX);
    const bool rimCorner =
        beside && beyond && (g.bottom <= box.top + reachY || g.top >= box.bottom - reachY);
    // Long thin lines beside the content or beyond it.
    const std::int32_t tall = g.bottom - g.top, wide = g.right - g.left;
    const bool lineBeside =
        beside && tall >= kStrayLine * (box.bottom - box.top) && g.cells <= kLineThick * tall;
    const bool lineBeyond =
        beyond && wide >= kStrayLine * (box.right - box.left) && g.cells <= kLineThick * wide;
    stray[k + 1] = rimBeside || rimCorner || lineBeside || lineBeyond;
  }
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (stray[static_cast<std::size_t>(labels[i])]) content[i] = 0;
  }
}

}  // namespace

Mask FindContentCells(const CellStats& stats, const Mask& sheet, const Box& box, double paper) {
  const auto memory = sheet.get_allocator();
  const std::int32_t w = stats.columns;
  const std::int32_t h = stats.rows;
  const std::size_t n = sheet.size();
  Mask dark(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) dark[i] = sheet[i] && stats.dark[i] > 0 ? 1 : 0;
  const double sheetW = box.right - box.left;
  const double sheetH = box.bottom - box.top;

  // The rim bands along the four edges.
  Mask peel(n, 0, memory);
  for (int side = 0; side < 4; ++side) {
    PeelRim(stats, sheet, dark, side < 2 ? sheetW : sheetH, paper, side, peel);
  }

  // Long thin lines among the rest, vertical and horizontal.
  Mask unpeeled(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) unpeeled[i] = dark[i] && !peel[i] ? 1 : 0;
  Labels lineLabels[2] = {Labels(memory), Labels(memory)};
  std::pmr::vector<Component> lineParts[2] = {std::pmr::vector<Component>(memory),
                                              std::pmr::vector<Component>(memory)};
  Mask isLine[2] = {Mask(memory), Mask(memory)};  // per direction, which labels are lines
  for (int vertical = 0; vertical < 2; ++vertical) {
    const double length = vertical ? sheetH : sheetW;
    const double other = vertical ? sheetW : sheetH;
    const std::int32_t link = std::max(2, static_cast<std::int32_t>(kLineLink * length));
    const Mask linked = Dilate(unpeeled, w, h, vertical ? 0 : link, vertical ? link : 0);
    const std::pmr::vector<Component> groups =
        LabelComponents(linked, w, h, true, lineLabels[vertical]);
    lineParts[static_cast<std::size_t>(vertical)] =
        Measure(lineLabels[vertical], groups.size(), unpeeled, w);
    isLine[vertical].assign(groups.size() + 1, 0);
    for (std::size_t k = 0; k < groups.size(); ++k) {
      const Component& part = lineParts[static_cast<std::size_t>(vertical)][k];
      if (part.cells == 0) continue;
      const std::int32_t along = vertical ? part.bottom - part.top : part.right - part.left;
      const std::int32_t across = vertical ? part.right - part.left : part.bottom - part.top;
      if (along >= kLineLength * length && part.cells <= kLineThick * along &&
          across <= kLineLean * other) {
        isLine[vertical][k + 1] = 1;
      }
    }
  }
  // Whether cell i lies on a line of `lines` (one flag a label, per direction).
  auto onLine = [&](const Mask(&lines)[2], std::size_t i) {
    return lines[0][static_cast<std::size_t>(lineLabels[0][i])] ||
           lines[1][static_cast<std::size_t>(lineLabels[1][i])];
  };
  Mask rest(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) rest[i] = unpeeled[i] && !onLine(isLine, i) ? 1 : 0;

  // Marks that touch the sheet's edge and are thin belong to it, not to the content.
  // The sheet's edge: its cells next to a cell outside it or to the grid's frame.
  Mask outside(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) outside[i] = sheet[i] ? 0 : 1;
  Mask edge = Dilate(outside, w, h, 1, 1);
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      const std::size_t i = Index(w, x, y);
      const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      edge[i] = sheet[i] && (edge[i] || frame) ? 1 : 0;
    }
  }
  Labels labels(memory);
  const std::pmr::vector<Component> groups =
      LabelComponents(Dilate(rest, w, h, 1, 1), w, h, true, labels);
  const std::pmr::vector<Component> marks = Measure(labels, groups.size(), rest, w);
  Mask touches(groups.size() + 1, 0, memory);
  for (std::size_t i = 0; i < n; ++i) {
    if (rest[i] && edge[i]) touches[static_cast<std::size_t>(labels[i])] = 1;
  }
  const double edgeThick = std::max(2.0, kEdgeMarkThick * std::min(sheetW, sheetH));
  Mask candidate(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) {
    if (!rest[i]) continue;
    const auto k = static_cast<std::size_t>(labels[i]);
    const Component& mark = marks[k - 1];
    const double thickness =
        static_cast<double>(mark.cells) / std::max(mark.right - mark.left, mark.bottom - mark.top);
    candidate[i] = !(touches[k] && thickness <= edgeThick);
  }

  // Groups of marks with too few dark pixels are specks.
  const std::int32_t gap = std::max(1, static_cast<std::int32_t>(kSpeckGap * std::max(w, h)));
  Labels clusterLabels(memory);
  const std::pmr::vector<Component> clusters =
      LabelComponents(Dilate(candidate, w, h, gap, gap), w, h, true, clusterLabels);
  std::pmr::vector<double> darkPixels(clusters.size() + 1, 0, memory);
  for (std::size_t i = 0; i < n; ++i) {
    if (candidate[i]) darkPixels[static_cast<std::size_t>(clusterLabels[i])] += stats.dark[i];
  }
  const double pixels = static_cast<double>(stats.width) * stats.height;
  const double speck = kSpeckPixels * pixels / 1e6;
  Mask content(n, 0, memory);
  for (std::size_t i = 0; i < n; ++i) {
    content[i] = candidate[i] && darkPixels[static_cast<std::size_t>(clusterLabels[i])] >= speck;
  }

  DropStrays(stats, box, content);

  // Lines that lie within the content's extent across them (rules between columns, frames of a
  // picture) are part of it.
  const Box kept = BoundingBox(content, w, h);
  if (kept.right > kept.left) {
    Mask inside[2] = {Mask(memory), Mask(memory)};
    for (int vertical = 0; vertical < 2; ++vertical) {
      inside[vertical].assign(isLine[vertical].size(), 0);
      for (std::size_t k = 1; k < isLine[vertical].size(); ++k) {
        const Component& part = lineParts[static_cast<std::size_t>(vertical)][k - 1];
        inside[vertical][k] =
            isLine[vertical][k] && (vertical ? part.left >= kept.left && part.right <= kept.right
                                             : part.top >= kept.top && part.bottom <= kept.bottom);
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (unpeeled[i] && onLine(inside, i)) content[i] = 1;
    }
  }
  return content;
}

}  // namespace quarnel
