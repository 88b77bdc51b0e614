#pragma once

#include <cstdint>
#include <memory_resource>
#include <optional>
#include <vector>

#include "analysis/geometry.h"
#include "imageio/gray_image.h"

namespace quarnel {

// A coarse grid laid over an image: cell (cx, cy) covers the pixels cx * cellSize ...
// (cx + 1) * cellSize - 1 of the columns and the same span of the rows, clipped to the image.
// `cells` holds one byte a cell, row-major: 1 for a cell that belongs to the mask, 0 otherwise.
struct CellMask {
  std::int32_t cellSize = 1;
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  std::vector<std::uint8_t> cells;

  bool Has(std::int32_t cx, std::int32_t cy) const {
    return cells[static_cast<std::size_t>(cy) * static_cast<std::size_t>(columns) +
                 static_cast<std::size_t>(cx)] != 0;
  }
};

// What the sheet finder learned of a page: the sheet of paper, and the cells of the sheet that
// hold its content (dark pixels away from the sheet's rim, its outline and lone specks).
struct SheetFinding {
  PixelRect sheet;
  CellMask content;
};

// Finds the sheet of paper in a page image: the large, central, paper-bright region, not the
// darker ground around it, a card beside it, the facing page across a step in paper brightness
// or black corners. A page without a ground (paper from edge to edge) is a sheet as a whole.
// Then marks the cells of the sheet that hold content, darker than `black`: bands along the
// sheet's edges that a clean strip of paper separates from the content (shadows, outlines, a
// page stack, a deckled rim), long thin lines outside the content and lone specks are left out.
// Returns nullopt when no sheet can be told apart from the ground. Deterministic; works on a grid
// of about 240 cells on the long side, reading the image once; its scratch memory comes from
// `memory` (a worker's pool reuses it from page to page).
std::optional<SheetFinding> FindSheet(
    GrayView image, std::int32_t black,
    std::pmr::memory_resource* memory = std::pmr::get_default_resource());

}  // namespace quarnel
