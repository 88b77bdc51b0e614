#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

#include "imageio/gray_image.h"

namespace quarnel {

// The grid's masks (one byte a cell, non-zero in the mask) and labels, allocated from the memory
// resource that the caller hands in, so that a worker reuses its memory from page to page.
using Mask = std::pmr::vector<std::uint8_t>;
using Labels = std::pmr::vector<std::int32_t>;

// A page measured on a grid of square cells of `cellSize` pixels (the last column and row of
// cells may be narrower): per cell, the mean of its pixels and how many of them
// are darker than the threshold. Row-major, `columns` x `rows`.
struct CellStats {
  std::int32_t width = 0;  // of the image, in pixels
  std::int32_t height = 0;
  std::int32_t cellSize = 1;
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  Mask mean;    // rounded to the nearest level
  Labels dark;  // pixels < black
};

// Measures `image` on cells of `cellSize` pixels (>= 1) in one pass over its rows.
CellStats MeasureCells(GrayView image, std::int32_t cellSize, std::int32_t black,
                       std::pmr::memory_resource* memory);

inline std::size_t Index(std::int32_t columns, std::int32_t x, std::int32_t y) {
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) +
         static_cast<std::size_t>(x);
}

// A rectangle of cells: left and top inclusive, right and bottom exclusive.
struct Box {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// A connected set of cells of a mask: its size and bounding box.
struct Component {
  std::int32_t cells = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;   // exclusive
  std::int32_t bottom = 0;  // exclusive
};

// Labels the connected sets of non-zero cells of `mask` (w x h), joined through 8 neighbours or,
// with `eight` false, through 4. `labels` receives 0 for a cell outside the mask and k + 1 for a
// cell of the k-th component returned; components are numbered in row-major order of their first
// cell.
std::pmr::vector<Component> LabelComponents(const Mask& mask, std::int32_t w, std::int32_t h,
                                            bool eight, Labels& labels);

// The cells of `mask` joined (8 neighbours, through mask cells) to a non-zero cell of `seeds`.
Mask FloodFrom(const Mask& mask, const Mask& seeds, std::int32_t w, std::int32_t h);

// The mask grown by `rx` cells to each side and `ry` cells up and down (a rectangle).
Mask Dilate(const Mask& mask, std::int32_t w, std::int32_t h, std::int32_t rx, std::int32_t ry);

// The bounding box of the non-zero cells; all zero for an empty mask.
Box BoundingBox(const Mask& mask, std::int32_t w, std::int32_t h);

}  // namespace quarnel
