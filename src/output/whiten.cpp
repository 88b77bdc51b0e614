#include "output/whiten.h"

#include <algorithm>
#include <cstring>

#include "system/cpu_dispatch.h"

namespace quarnel {
namespace {

constexpr std::int32_t kReach = 4;  // rows and columns on each side that keep a pixel

// The rows of dark pixels entering and leaving the window of one row: counts[c] goes up by one
// for a dark entering pixel and down by one for a dark leaving one (either row may be missing),
// and flags[c] = counts[c] != 0 afterwards. Branch-free, so it vectorises.
[[gnu::always_inline]] inline void MoveWindow(std::uint8_t* __restrict counts,
                                              std::uint8_t* __restrict flags,
                                              const std::uint8_t* __restrict entering,
                                              const std::uint8_t* __restrict leaving,
                                              std::int32_t width, std::uint8_t white) {
  if (entering && leaving) {
    for (std::int32_t c = 0; c < width; ++c) {
      counts[c] =
          static_cast<std::uint8_t>(counts[c] + (entering[c] < white) - (leaving[c] < white));
      flags[c] = counts[c] != 0;
    }
  } else if (entering) {
    for (std::int32_t c = 0; c < width; ++c) {
      counts[c] = static_cast<std::uint8_t>(counts[c] + (entering[c] < white));
      flags[c] = counts[c] != 0;
    }
  } else if (leaving) {
    for (std::int32_t c = 0; c < width; ++c) {
      counts[c] = static_cast<std::uint8_t>(counts[c] - (leaving[c] < white));
      flags[c] = counts[c] != 0;
    }
  } else {
    for (std::int32_t c = 0; c < width; ++c) flags[c] = counts[c] != 0;
  }
}

// Row r from the window's flags: out[c] = row[c], or 255 when no flag of the columns c-4 ... c+4
// is set. spread[i] = OR of flags[i ... i+3], so that spread[c] | spread[c + 4] | flags[c + 8]
// covers flags[c ... c+8], the columns c-4 ... c+4.
QUARNEL_PIXEL_LOOPS void ApplyWindow(const std::uint8_t* __restrict flags,
                                     std::uint8_t* __restrict spread, const std::uint8_t* row,
                                     std::uint8_t* out, std::int32_t width) {
  for (std::int32_t i = 0; i < width + 5; ++i)
    spread[i] = flags[i] | flags[i + 1] | flags[i + 2] | flags[i + 3];
  // keep is 0 or 1; keep - 1 is 0xFF (whiten) or 0 (keep). In place and into another row as two
  // loops, so that neither needs a check of overlap to vectorise.
  if (out == row) {
    for (std::int32_t c = 0; c < width; ++c)
      out[c] |= static_cast<std::uint8_t>((spread[c] | spread[c + 4] | flags[c + 8]) - 1);
  } else {
    const std::uint8_t* __restrict from = row;
    std::uint8_t* __restrict to = out;
    for (std::int32_t c = 0; c < width; ++c)
      to[c] = from[c] | static_cast<std::uint8_t>((spread[c] | spread[c + 4] | flags[c + 8]) - 1);
  }
}

QUARNEL_PIXEL_LOOPS void MoveWindowLoop(std::uint8_t* counts, std::uint8_t* flags,
                                        const std::uint8_t* entering, const std::uint8_t* leaving,
                                        std::int32_t width, std::uint8_t white) {
  MoveWindow(counts, flags, entering, leaving, width, white);
}

}  // namespace

// For each row r, counts[c] is the number of dark pixels of column c in the rows r-4 ... r+4:
// entering rows are added and leaving rows subtracted. A pixel is kept when one of the nine
// columns c-4 ... c+4 has a count above zero. Rows whitened into themselves were light where
// they changed, so when they leave the window they still hold the dark pixels they entered with.
RowWhitener::RowWhitener(GrayView box, std::int32_t white, std::span<std::uint8_t> scratch)
    : box_(box),
      white_(static_cast<std::uint8_t>(white)),
      counts_(scratch.data()),
      flags_(counts_ + box.width),
      spread_(flags_ + box.width + 2 * kReach) {
  const std::int32_t w = box.width;
  if (w <= kReach || box.height <= kReach) return;
  std::memset(counts_, 0, static_cast<std::size_t>(w));
  std::memset(flags_, 0, static_cast<std::size_t>(w + 2 * kReach));
  for (std::int32_t r = 0; r < kReach; ++r)
    MoveWindowLoop(counts_, flags_ + kReach, box.Row(r), nullptr, w, white_);
}

void RowWhitener::WhitenRow(std::int32_t r, std::uint8_t* out) {
  const std::int32_t w = box_.width;
  const std::int32_t h = box_.height;
  if (w <= kReach || h <= kReach) {
    if (out != box_.Row(r)) std::memcpy(out, box_.Row(r), static_cast<std::size_t>(w));
    return;
  }
  MoveWindowLoop(counts_, flags_ + kReach, r + kReach < h ? box_.Row(r + kReach) : nullptr,
                 r - kReach - 1 >= 0 ? box_.Row(r - kReach - 1) : nullptr, w, white_);
  ApplyWindow(flags_, spread_, box_.Row(r), out, w);
}

void WhitenBackground(MutableGrayView box, std::int32_t white, std::span<std::uint8_t> scratch) {
  RowWhitener whitener(box, white, scratch);
  for (std::int32_t r = 0; r < box.height; ++r) whitener.WhitenRow(r, box.Row(r));
}

}  // namespace quarnel
