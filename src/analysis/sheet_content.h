#pragma once

#include <cstdint>

#include "analysis/cell_grid.h"

namespace quarnel {

// The cells of the sheet (`sheet`: one byte a cell of `stats`, 1 on the sheet) that hold its
// content: the cells with a dark pixel, less the rim bands along the sheet's edges, long thin
// lines outside the content, thin marks that touch the edge and lone specks. `paper` is the
// sheet's paper level, `box` the sheet's bounding box.
Mask FindContentCells(const CellStats& stats, const Mask& sheet, const Box& box, double paper);

}  // namespace quarnel
