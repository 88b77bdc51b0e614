#include "analysis/cell_grid.h"

#include <algorithm>

namespace quarnel {

CellStats MeasureCells(GrayView image, std::int32_t cellSize, std::int32_t black) {
  CellStats stats;
  stats.width = image.width;
  stats.height = image.height;
  stats.cellSize = cellSize;
  stats.columns = (image.width + cellSize - 1) / cellSize;
  stats.rows = (image.height + cellSize - 1) / cellSize;
  const std::size_t count = static_cast<std::size_t>(stats.columns) * stats.rows;
  stats.mean.assign(count, 0);
  stats.minimum.assign(count, 255);
  stats.dark.assign(count, 0);

  // Each band of cellSize rows is summed column by column first (loops that vectorise), then
  // each cell adds up its columns.
  const auto width = static_cast<std::size_t>(image.width);
  std::vector<std::uint32_t> sum(width);
  std::vector<std::uint8_t> low(width);
  std::vector<std::uint32_t> dark(width);
  const auto threshold = static_cast<std::uint32_t>(std::clamp(black, 0, 256));
  for (std::int32_t cy = 0; cy < stats.rows; ++cy) {
    std::fill(sum.begin(), sum.end(), 0u);
    std::fill(low.begin(), low.end(), std::uint8_t{255});
    std::fill(dark.begin(), dark.end(), 0u);
    const std::int32_t y0 = cy * cellSize;
    const std::int32_t y1 = std::min(image.height, y0 + cellSize);
    for (std::int32_t y = y0; y < y1; ++y) {
      const std::uint8_t* __restrict row = image.Row(y);
      std::uint32_t* __restrict s = sum.data();
      std::uint8_t* __restrict m = low.data();
      std::uint32_t* __restrict d = dark.data();
      for (std::size_t x = 0; x < width; ++x) {
        s[x] += row[x];
        m[x] = std::min(m[x], row[x]);
        d[x] += row[x] < threshold ? 1u : 0u;
      }
    }
    for (std::int32_t cx = 0; cx < stats.columns; ++cx) {
      const std::int32_t x0 = cx * cellSize;
      const std::int32_t x1 = std::min(image.width, x0 + cellSize);
      std::uint32_t total = 0;
      std::uint32_t darkCount = 0;
      std::uint8_t minimum = 255;
      for (std::int32_t x = x0; x < x1; ++x) {
        total += sum[static_cast<std::size_t>(x)];
        darkCount += dark[static_cast<std::size_t>(x)];
        minimum = std::min(minimum, low[static_cast<std::size_t>(x)]);
      }
      const auto pixels = static_cast<std::uint32_t>((x1 - x0) * (y1 - y0));
      const std::size_t i = Index(stats.columns, cx, cy);
      stats.mean[i] = static_cast<std::uint8_t>((total + pixels / 2) / pixels);
      stats.minimum[i] = minimum;
      stats.dark[i] = static_cast<std::int32_t>(darkCount);
    }
  }
  return stats;
}

std::vector<Component> LabelComponents(const std::vector<std::uint8_t>& mask, std::int32_t w,
                                       std::int32_t h, bool eight,
                                       std::vector<std::int32_t>& labels) {
  labels.assign(mask.size(), 0);
  std::vector<Component> components;
  std::vector<std::size_t> stack;
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      const std::size_t start = Index(w, x, y);
      if (!mask[start] || labels[start] != 0) continue;
      const auto label = static_cast<std::int32_t>(components.size() + 1);
      Component part{0, x, y, x + 1, y + 1};
      labels[start] = label;
      stack.push_back(start);
      while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        const auto cx = static_cast<std::int32_t>(at % static_cast<std::size_t>(w));
        const auto cy = static_cast<std::int32_t>(at / static_cast<std::size_t>(w));
        ++part.cells;
        part.left = std::min(part.left, cx);
        part.right = std::max(part.right, cx + 1);
        part.top = std::min(part.top, cy);
        part.bottom = std::max(part.bottom, cy + 1);
        for (std::int32_t dy = -1; dy <= 1; ++dy) {
          for (std::int32_t dx = -1; dx <= 1; ++dx) {
            if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
            const std::int32_t nx = cx + dx;
            const std::int32_t ny = cy + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
            const std::size_t next = Index(w, nx, ny);
            if (mask[next] && labels[next] == 0) {
              labels[next] = label;
              stack.push_back(next);
            }
          }
        }
      }
      components.push_back(part);
    }
  }
  return components;
}

std::vector<std::uint8_t> FloodFrom(const std::vector<std::uint8_t>& mask,
                                    const std::vector<std::uint8_t>& seeds, std::int32_t w,
                                    std::int32_t h) {
  std::vector<std::int32_t> labels;
  const std::vector<Component> parts = LabelComponents(mask, w, h, true, labels);
  std::vector<std::uint8_t> reached(parts.size() + 1, 0);
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    if (seeds[i] && labels[i] > 0) reached[static_cast<std::size_t>(labels[i])] = 1;
  }
  std::vector<std::uint8_t> result(mask.size(), 0);
  for (std::size_t i = 0; i < result.size(); ++i) {
    result[i] = reached[static_cast<std::size_t>(labels[i])];
  }
  return result;
}

std::vector<std::uint8_t> Dilate(const std::vector<std::uint8_t>& mask, std::int32_t w,
                                 std::int32_t h, std::int32_t rx, std::int32_t ry) {
  // Separable: along the rows, then along the columns, each with a running count of the cells
  // in the window.
  std::vector<std::uint8_t> across(mask.size(), 0);
  for (std::int32_t y = 0; y < h; ++y) {
    std::int32_t inWindow = 0;
    for (std::int32_t x = 0; x < std::min(rx, w); ++x) inWindow += mask[Index(w, x, y)];
    for (std::int32_t x = 0; x < w; ++x) {
      if (x + rx < w) inWindow += mask[Index(w, x + rx, y)];
      if (x - rx - 1 >= 0) inWindow -= mask[Index(w, x - rx - 1, y)];
      across[Index(w, x, y)] = inWindow > 0 ? 1 : 0;
    }
  }
  std::vector<std::uint8_t> result(mask.size(), 0);
  for (std::int32_t x = 0; x < w; ++x) {
    std::int32_t inWindow = 0;
    for (std::int32_t y = 0; y < std::min(ry, h); ++y) inWindow += across[Index(w, x, y)];
    for (std::int32_t y = 0; y < h; ++y) {
      if (y + ry < h) inWindow += across[Index(w, x, y + ry)];
      if (y - ry - 1 >= 0) inWindow -= across[Index(w, x, y - ry - 1)];
      result[Index(w, x, y)] = inWindow > 0 ? 1 : 0;
    }
  }
  return result;
}

Box BoundingBox(const std::vector<std::uint8_t>& mask, std::int32_t w, std::int32_t h) {
  Box box{w, h, 0, 0};
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      if (!mask[Index(w, x, y)]) continue;
      box.left = std::min(box.left, x);
      box.right = std::max(box.right, x + 1);
      box.top = std::min(box.top, y);
      box.bottom = std::max(box.bottom, y + 1);
    }
  }
  if (box.right == 0) return Box{};
  return box;
}

}  // namespace quarnel
