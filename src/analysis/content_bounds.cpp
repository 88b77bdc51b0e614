#include "analysis/content_bounds.h"

#include <algorithm>
#include <vector>

namespace quarnel {
namespace {

// Pixels are tested in chunks: the minimum of a chunk vectorises, and only the chunk that holds
// the first dark pixel is looked at one pixel at a time.
constexpr std::int32_t kChunk = 32;

inline std::uint8_t ChunkMin(const std::uint8_t* p) {
  std::uint8_t m = 255;
  for (std::int32_t k = 0; k < kChunk; ++k) m = std::min(m, p[k]);
  return m;
}

// The first x in [from, to) with row[x] < black, or -1.
std::int32_t FirstDark(const std::uint8_t* row, std::int32_t from, std::int32_t to, int black) {
  std::int32_t x = from;
  while (x + kChunk <= to && ChunkMin(row + x) >= black) x += kChunk;
  for (; x < to; ++x) {
    if (row[x] < black) return x;
  }
  return -1;
}

// The last x in [from, to) with row[x] < black, or -1.
std::int32_t LastDark(const std::uint8_t* row, std::int32_t from, std::int32_t to, int black) {
  std::int32_t end = to;  // pixels from `end` on are known to be light
  while (end - kChunk >= from && ChunkMin(row + end - kChunk) >= black) end -= kChunk;
  for (std::int32_t x = end - 1; x >= from; --x) {
    if (row[x] < black) return x;
  }
  return -1;
}

struct Edges {
  std::int32_t top = -1;
  std::int32_t bottom = -1;
  std::int32_t left = -1;
  std::int32_t right = -1;
};

// The exact bounding box of the dark pixels. Each scan stops at the first dark pixel it meets;
// the left and right edges are looked for only in the rows top ... bottom, and each row is read
// only as far as it can still move the edge found so far.
Edges FindPlainEdges(GrayView image, int black) {
  Edges edges;
  const std::int32_t w = image.width;
  for (std::int32_t y = 0; y < image.height; ++y) {
    if (FirstDark(image.Row(y), 0, w, black) >= 0) {
      edges.top = y;
      break;
    }
  }
  if (edges.top < 0) return edges;
  for (std::int32_t y = image.height - 1; y >= edges.top; --y) {
    if (FirstDark(image.Row(y), 0, w, black) >= 0) {
      edges.bottom = y;
      break;
    }
  }
  std::int32_t left = w;
  for (std::int32_t y = edges.top; y <= edges.bottom && left > 0; ++y) {
    const std::int32_t x = FirstDark(image.Row(y), 0, left, black);
    if (x >= 0) left = x;
  }
  std::int32_t right = -1;
  for (std::int32_t y = edges.top; y <= edges.bottom && right < w - 1; ++y) {
    const std::int32_t x = LastDark(image.Row(y), right + 1, w, black);
    if (x >= 0) right = x;
  }
  edges.left = left;
  edges.right = right;
  return edges;
}

// The edges that ScanProfileEdge finds on the row and the column profile.
Edges EdgesOfProfiles(const std::vector<std::int32_t>& rows,
                      const std::vector<std::int32_t>& columns, std::int32_t noise) {
  const auto h = static_cast<std::int32_t>(rows.size());
  const auto w = static_cast<std::int32_t>(columns.size());
  Edges edges;
  edges.top = ScanProfileEdge(rows.data(), h, true, noise);
  edges.bottom = ScanProfileEdge(rows.data(), h, false, noise);
  edges.left = ScanProfileEdge(columns.data(), w, true, noise);
  edges.right = ScanProfileEdge(columns.data(), w, false, noise);
  return edges;
}

// Edges from the row and column profiles, both filled in one pass over the image.
Edges FindNoiseTolerantEdges(GrayView image, int black, std::int32_t noise) {
  const std::int32_t w = image.width;
  const std::int32_t h = image.height;
  std::vector<std::int32_t> rowProfile(static_cast<std::size_t>(h), 0);
  std::vector<std::int32_t> columnProfile(static_cast<std::size_t>(w), 0);
  std::int32_t* __restrict columns = columnProfile.data();
  for (std::int32_t y = 0; y < h; ++y) {
    const std::uint8_t* __restrict row = image.Row(y);
    std::int32_t count = 0;
    for (std::int32_t x = 0; x < w; ++x) {
      const std::int32_t dark = row[x] < black ? 1 : 0;
      columns[x] += dark;
      count += dark;
    }
    rowProfile[static_cast<std::size_t>(y)] = count;
  }
  return EdgesOfProfiles(rowProfile, columnProfile, noise);
}

// The edges of the dark pixels that lie in the cells of `mask`: exact, or with noise > 0 from
// profiles of those pixels alone.
Edges FindEdgesInCells(GrayView image, int black, std::int32_t noise, const CellMask& mask) {
  // The spans of pixel columns that the mask's runs of cells cover, for each row of cells.
  struct Span {
    std::int32_t x0, x1;
  };
  const std::int32_t cell = mask.cellSize;
  std::vector<std::vector<Span>> spans(static_cast<std::size_t>(mask.rows));
  for (std::int32_t cy = 0; cy < mask.rows; ++cy) {
    for (std::int32_t cx = 0; cx < mask.columns;) {
      if (!mask.Has(cx, cy)) {
        ++cx;
        continue;
      }
      std::int32_t end = cx;
      while (end < mask.columns && mask.Has(end, cy)) ++end;
      spans[static_cast<std::size_t>(cy)].push_back({cx * cell, std::min(image.width, end * cell)});
      cx = end;
    }
  }
  auto spansOf = [&](std::int32_t y) -> const std::vector<Span>& {
    return spans[static_cast<std::size_t>(y / cell)];
  };
  const std::int32_t h = std::min(image.height, mask.rows * cell);

  Edges edges;
  if (noise != 0) {
    std::vector<std::int32_t> rowProfile(static_cast<std::size_t>(image.height), 0);
    std::vector<std::int32_t> columnProfile(static_cast<std::size_t>(image.width), 0);
    for (std::int32_t y = 0; y < h; ++y) {
      const std::uint8_t* row = image.Row(y);
      std::int32_t count = 0;
      for (const Span& span : spansOf(y)) {
        for (std::int32_t x = span.x0; x < span.x1; ++x) {
          const std::int32_t dark = row[x] < black ? 1 : 0;
          columnProfile[static_cast<std::size_t>(x)] += dark;
          count += dark;
        }
      }
      rowProfile[static_cast<std::size_t>(y)] = count;
    }
    return EdgesOfProfiles(rowProfile, columnProfile, noise);
  }

  // As FindPlainEdges: the top and bottom rows first, then each row read only as far as it can
  // still move the left or the right edge.
  auto hasDark = [&](std::int32_t y) {
    for (const Span& span : spansOf(y)) {
      if (FirstDark(image.Row(y), span.x0, span.x1, black) >= 0) return true;
    }
    return false;
  };
  for (std::int32_t y = 0; y < h && edges.top < 0; ++y) {
    if (hasDark(y)) edges.top = y;
  }
  if (edges.top < 0) return edges;
  for (std::int32_t y = h - 1; y >= edges.top && edges.bottom < 0; --y) {
    if (hasDark(y)) edges.bottom = y;
  }
  std::int32_t left = image.width;
  std::int32_t right = -1;
  for (std::int32_t y = edges.top; y <= edges.bottom; ++y) {
    const std::uint8_t* row = image.Row(y);
    for (const Span& span : spansOf(y)) {
      if (span.x0 < left) {
        const std::int32_t x = FirstDark(row, span.x0, std::min(span.x1, left), black);
        if (x >= 0) left = x;
      }
      if (span.x1 - 1 > right) {
        const std::int32_t x = LastDark(row, std::max(span.x0, right + 1), span.x1, black);
        if (x >= 0) right = x;
      }
    }
  }
  edges.left = left;
  edges.right = right;
  return edges;
}

// The box of the edges found, widened by the margin; nullopt when no edge was found, for a
// single row or column of content and for crossed edges.
std::optional<ContentBox> BoxOfEdges(const Edges& edges, GrayView image) {
  if (edges.top < 0 || edges.bottom < 0 || edges.left < 0 || edges.right < 0) return std::nullopt;
  if (edges.right <= edges.left || edges.bottom <= edges.top) return std::nullopt;
  const std::int32_t top = std::max(edges.top - kContentMargin, 0);
  const std::int32_t left = std::max(edges.left - kContentMargin, 0);
  const std::int32_t right = std::min(edges.right + kContentMargin, image.width);
  const std::int32_t bottom = std::min(edges.bottom + kContentMargin, image.height);
  return ContentBox{right, top, right - left, bottom - top};
}

}  // namespace

std::int32_t ScanProfileEdge(const std::int32_t* profile, std::int32_t length, bool forward,
                             std::int32_t noise) {
  enum class State { kSeek, kRun, kGap };
  State state = State::kSeek;
  std::int32_t result = -1;
  std::int32_t gapStart = 0;
  const std::int32_t step = forward ? 1 : -1;
  // Steps in scan order from index a to index i.
  auto distance = [forward](std::int32_t a, std::int32_t i) { return forward ? i - a : a - i; };

  for (std::int32_t n = 0, i = forward ? 0 : length - 1; n < length; ++n, i += step) {
    const std::int32_t v = profile[i];
    if (state == State::kSeek && v != 0) {
      result = i;  // a candidate starts here
      state = State::kRun;
    }
    if (state == State::kRun) {
      if (v > noise || distance(result, i) > noise) return result;  // accepted
      if (v == 0) {
        gapStart = i;
        state = State::kGap;
      }
    }
    if (state == State::kGap) {
      // The entry that ends a gap is not tested for acceptance at this index.
      if (v != 0) state = State::kRun;
      if (distance(gapStart, i) > noise) state = State::kSeek;  // the candidate is dropped
    }
  }
  return result;
}

std::optional<ContentBox> FindContentBounds(GrayView image, std::int32_t black,
                                            std::int32_t noise) {
  if (image.width <= 0 || image.height <= 0 || black <= 0) return std::nullopt;
  const Edges edges =
      noise != 0 ? FindNoiseTolerantEdges(image, black, noise) : FindPlainEdges(image, black);
  return BoxOfEdges(edges, image);
}

std::optional<ContentBox> FindContentBoundsInCells(GrayView image, std::int32_t black,
                                                   std::int32_t noise, const CellMask& mask) {
  if (image.width <= 0 || image.height <= 0 || black <= 0) return std::nullopt;
  return BoxOfEdges(FindEdgesInCells(image, black, noise, mask), image);
}

}  // namespace quarnel
