#include "analysis/cell_grid.h"

#include <algorithm>

namespace quarnel {

CellStats MeasureCells(GrayView image, std::int32_t cellSize, std::int32_t black,
                       std::pmr::memory_resource* memory) {
  CellStats stats{0, 0, 1, 0, 0, Mask(memory), Labels(memory)};
  stats.width = image.width;
  stats.height = image.height;
  stats.cellSize = cellSize;
  stats.columns = (image.width + cellSize - 1) / cellSize;
  stats.rows = (image.height + cellSize - 1) / cellSize;
  const std::size_t count = static_cast<std::size_t>(stats.columns) * stats.rows;
  stats.mean.assign(count, 0);
  stats.dark.assign(count, 0);

  // Each band of cellSize rows is summed column by column first, in 16 bits (loops that
  // vectorise; flushed every kRowsIn16Bits rows), then each cell adds up its columns.
  constexpr std::int32_t kRowsIn16Bits = 257;  // 257 * 255 < 65536
  const auto width = static_cast<std::size_t>(image.width);
  std::pmr::vector<std::uint16_t> sum(width, memory);
  std::pmr::vector<std::uint16_t> dark(width, memory);
  std::pmr::vector<std::uint32_t> cellSum(static_cast<std::size_t>(stats.columns), memory);
  std::pmr::vector<std::uint32_t> cellDark(static_cast<std::size_t>(stats.columns), memory);
  const auto threshold = static_cast<std::uint8_t>(std::clamp(black, 0, 255));  // 0: none dark
  for (std::int32_t cy = 0; cy < stats.rows; ++cy) {
    std::fill(cellSum.begin(), cellSum.end(), 0u);
    std::fill(cellDark.begin(), cellDark.end(), 0u);
    const std::int32_t y0 = cy * cellSize;
    const std::int32_t y1 = std::min(image.height, y0 + cellSize);
    for (std::int32_t from = y0; from < y1; from += kRowsIn16Bits) {
      std::fill(sum.begin(), sum.end(), std::uint16_t{0});
      std::fill(dark.begin(), dark.end(), std::uint16_t{0});
      for (std::int32_t y = from; y < std::min(y1, from + kRowsIn16Bits); ++y) {
        const std::uint8_t* __restrict row = image.Row(y);
        std::uint16_t* __restrict s = sum.data();
        std::uint16_t* __restrict d = dark.data();
        for (std::size_t x = 0; x < width; ++x) {
          s[x] = static_cast<std::uint16_t>(s[x] + row[x]);
          d[x] = static_cast<std::uint16_t>(d[x] + (row[x] < threshold ? 1 : 0));
        }
      }
      for (std::int32_t cx = 0; cx < stats.columns; ++cx) {
        const std::int32_t x0 = cx * cellSize;
        const std::int32_t x1 = std::min(image.width, x0 + cellSize);
        for (std::int32_t x = x0; x < x1; ++x) {
          cellSum[static_cast<std::size_t>(cx)] += sum[static_cast<std::size_t>(x)];
          cellDark[static_cast<std::size_t>(cx)] += dark[static_cast<std::size_t>(x)];
        }
      }
    }
    for (std::int32_t cx = 0; cx < stats.columns; ++cx) {
      const std::int32_t x0 = cx * cellSize;
      const std::int32_t x1 = std::min(image.width, x0 + cellSize);
      const auto pixels = static_cast<std::uint32_t>((x1 - x0) * (y1 - y0));
      const std::size_t i = Index(stats.columns, cx, cy);
      stats.mean[i] =
          static_cast<std::uint8_t>((cellSum[static_cast<std::size_t>(cx)] + pixels / 2) / pixels);
      stats.dark[i] = static_cast<std::int32_t>(cellDark[static_cast<std::size_t>(cx)]);
    }
  }
  return stats;
}

std::pmr::vector<Component> LabelComponents(const Mask& mask, std::int32_t w, std::int32_t h,
                                            bool eight, Labels& labels) {
  std::pmr::memory_resource* memory = labels.get_allocator().resource();
  // Runs of mask cells, row by row; a run joins the runs of the row above that touch it (union
  // and find over the runs), then each set of joined runs gets its label in order of its first run.
  struct Run {
    std::int32_t y, x0, x1;  // cells x0 ... x1 - 1 of row y
  };
  std::pmr::vector<Run> runs(memory);
  Labels parent(memory);
  auto find = [&](std::int32_t r) {
    while (parent[static_cast<std::size_t>(r)] != r) {
      parent[static_cast<std::size_t>(r)] =
          parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(r)])];
      r = parent[static_cast<std::size_t>(r)];
    }
    return r;
  };
  const std::int32_t reach = eight ? 1 : 0;
  std::size_t above = 0;  // the first run of the row above
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint8_t* row = mask.data() + Index(w, 0, y);
    const std::size_t first = runs.size();
    for (std::int32_t x = 0; x < w;) {
      if (!row[x]) {
        ++x;
        continue;
      }
      const std::int32_t x0 = x;
      while (x < w && row[x]) ++x;
      const auto id = static_cast<std::int32_t>(runs.size());
      runs.push_back({y, x0, x});
      parent.push_back(id);
      for (std::size_t k = above; k < first; ++k) {
        const Run& up = runs[k];
        if (up.x1 + reach <= x0 || up.x0 >= x + reach) continue;
        const std::int32_t a = find(id);
        const std::int32_t b = find(static_cast<std::int32_t>(k));
        if (a != b) parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
      }
    }
    above = first;
  }

  labels.assign(mask.size(), 0);
  std::pmr::vector<Component> components(memory);
  Labels labelOf(runs.size(), 0, memory);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const Run& run = runs[k];
    const auto root = static_cast<std::size_t>(find(static_cast<std::int32_t>(k)));
    if (labelOf[root] == 0) {
      components.push_back(Component{0, run.x0, run.y, run.x1, run.y + 1});
      labelOf[root] = static_cast<std::int32_t>(components.size());
    }
    const std::int32_t label = labelOf[root];
    Component& part = components[static_cast<std::size_t>(label - 1)];
    part.cells += run.x1 - run.x0;
    part.left = std::min(part.left, run.x0);
    part.right = std::max(part.right, run.x1);
    part.bottom = run.y + 1;
    std::fill(labels.begin() + static_cast<std::ptrdiff_t>(Index(w, run.x0, run.y)),
              labels.begin() + static_cast<std::ptrdiff_t>(Index(w, run.x1, run.y)), label);
  }
  return components;
}

Mask FloodFrom(const Mask& mask, const Mask& seeds, std::int32_t w, std::int32_t h) {
  Mask reached(mask.size(), 0, mask.get_allocator());
  std::pmr::vector<std::size_t> stack(mask.get_allocator());
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    if (seeds[i] && mask[i]) {
      reached[i] = 1;
      stack.push_back(i);
    }
  }
  const auto width = static_cast<std::size_t>(w);
  while (!stack.empty()) {
    const std::size_t at = stack.back();
    stack.pop_back();
    const auto x = static_cast<std::int32_t>(at % width);
    const auto y = static_cast<std::int32_t>(at / width);
    for (std::int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny) {
      for (std::int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
        const std::size_t next = Index(w, nx, ny);
        if (mask[next] && !reached[next]) {
          reached[next] = 1;
          stack.push_back(next);
        }
      }
    }
  }
  return reached;
}

Mask Dilate(const Mask& mask, std::int32_t w, std::int32_t h, std::int32_t rx, std::int32_t ry) {
  // Separable: along each row with a running count of the cells in the window, then down the
  // columns with one running count per column, row by row (loops over whole rows vectorise).
  Mask across(mask.size(), 0, mask.get_allocator());
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint8_t* in = mask.data() + Index(w, 0, y);
    std::uint8_t* out = across.data() + Index(w, 0, y);
    std::int32_t inWindow = 0;
    for (std::int32_t x = 0; x < std::min(rx, w); ++x) inWindow += in[x];
    for (std::int32_t x = 0; x < w; ++x) {
      if (x + rx < w) inWindow += in[x + rx];
      if (x - rx - 1 >= 0) inWindow -= in[x - rx - 1];
      out[x] = inWindow > 0 ? 1 : 0;
    }
  }
  Mask result(mask.size(), 0, mask.get_allocator());
  Labels counts(static_cast<std::size_t>(w), 0, mask.get_allocator());
  std::int32_t* __restrict count = counts.data();
  for (std::int32_t y = 0; y < std::min(ry, h); ++y) {
    const std::uint8_t* in = across.data() + Index(w, 0, y);
    for (std::int32_t x = 0; x < w; ++x) count[x] += in[x];
  }
  for (std::int32_t y = 0; y < h; ++y) {
    if (y + ry < h) {
      const std::uint8_t* __restrict in = across.data() + Index(w, 0, y + ry);
      for (std::int32_t x = 0; x < w; ++x) count[x] += in[x];
    }
    if (y - ry - 1 >= 0) {
      const std::uint8_t* __restrict in = across.data() + Index(w, 0, y - ry - 1);
      for (std::int32_t x = 0; x < w; ++x) count[x] -= in[x];
    }
    std::uint8_t* __restrict out = result.data() + Index(w, 0, y);
    for (std::int32_t x = 0; x < w; ++x) out[x] = count[x] > 0 ? 1 : 0;
  }
  return result;
}

Box BoundingBox(const Mask& mask, std::int32_t w, std::int32_t h) {
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
