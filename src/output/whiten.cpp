#include "output/whiten.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

// For each row r, counts[c] is the number of dark pixels of column c in the rows r-4 ... r+4:
// entering rows are added and leaving rows subtracted. A pixel is kept when one of the nine
// columns c-4 ... c+4 has a count above zero. Whitened pixels were light and stay light, so the
// rows subtracted after being whitened still hold the dark pixels they held when added.
QUARNEL_PIXEL_LOOPS void WhitenBackground(MutableGrayView box, std::int32_t white,
                                          std::span<std::uint8_t> scratch) {
  const std::int32_t w = box.width;
  const std::int32_t h = box.height;
  if (w <= kReach || h <= kReach) return;
  const auto whiteByte = static_cast<std::uint8_t>(white);

  std::uint8_t* __restrict counts = scratch.data();          // w entries, each 0 ... 9
  std::uint8_t* __restrict flags = counts + w;               // w + 8: column c at flags[c + 4]
  std::uint8_t* __restrict spread = flags + w + 2 * kReach;  // w + 8
  std::memset(counts, 0, static_cast<std::size_t>(w));
  std::memset(flags, 0, static_cast<std::size_t>(w + 2 * kReach));

  for (std::int32_t r = 0; r < std::min(kReach, h - 1); ++r)
    MoveWindow(counts, flags + kReach, box.Row(r), nullptr, w, whiteByte);
  for (std::int32_t r = 0; r < h; ++r) {
    MoveWindow(counts, flags + kReach, r + kReach < h ? box.Row(r + kReach) : nullptr,
               r - kReach - 1 >= 0 ? box.Row(r - kReach - 1) : nullptr, w, whiteByte);
    // spread[i] = OR of flags[i ... i+3]; then OR of flags[c ... c+8] gives columns c-4 ... c+4.
    for (std::int32_t i = 0; i < w + 5; ++i)
      spread[i] = flags[i] | flags[i + 1] | flags[i + 2] | flags[i + 3];
    std::uint8_t* __restrict row = box.Row(r);
    for (std::int32_t c = 0; c < w; ++c) {
      const std::uint8_t keep = spread[c] | spread[c + 4] | flags[c + 8];  // 0 or 1
      row[c] |= static_cast<std::uint8_t>(keep - 1);                       // 0 keeps, 0xFF whitens
    }
  }
}

}  // namespace quarnel
