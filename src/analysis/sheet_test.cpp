#include "analysis/sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/content_bounds.h"

namespace quarnel {
namespace {

constexpr std::int32_t kW = 900;
constexpr std::int32_t kH = 1200;
constexpr std::int32_t kBlack = 120;
constexpr int kPaper = 235;
constexpr int kInk = 40;

enum class Extra { kNone, kStack, kFacing, kCard, kBehind, kCorners, kOutline, kStrays };

// A synthetic page: a ground, a sheet of paper (turned about its centre, lit unevenly) with a
// block of text lines on it, and one extra feature. The reference is this definition itself.
struct Scene {
  const char* name;
  int ground = 60;
  double degrees = 0;
  int gradient = 0;  // the paper runs from kPaper - gradient (left) to kPaper + gradient (right)
  PixelRect sheet{100, 100, 800, 1100};
  PixelRect text{180, 200, 720, 1000};  // in the sheet's own (unturned) frame
  Extra extra = Extra::kNone;
  bool found = true;
};

// Text lines 12 px tall, 10 px apart, of words 30-90 px long with 10 px spaces; every line
// spans the block from side to side, so the block's corners are ink.
struct TextBlock {
  PixelRect rect;
  std::vector<std::vector<std::pair<int, int>>> words;  // per line: [left, right)

  TextBlock(PixelRect r, unsigned seed) : rect(r) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(30, 90);
    for (int top = r.top; top + 12 <= r.bottom; top += 22) {
      auto& line = words.emplace_back();
      for (int x = r.left; x < r.right; x += 10) {
        const int end = std::min(r.right, x + length(rng));
        line.emplace_back(x, r.right - end < 30 ? r.right : end);
        x = line.back().second;
      }
    }
    rect.bottom = r.top + 22 * static_cast<int>(words.size()) - 10;
  }
  bool Ink(double u, double v) const {
    if (u < rect.left || v < rect.top || u >= rect.right || v >= rect.bottom) return false;
    const int dy = static_cast<int>(v) - rect.top;
    if (dy % 22 >= 12) return false;
    for (const auto& [left, right] : words[static_cast<std::size_t>(dy / 22)])
      if (u >= left && u < right) return true;
    return false;
  }
};

bool Inside(PixelRect r, double x, double y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

// The scene's geometry once its extra feature has moved things about.
Scene Laid(Scene s) {
  if (s.extra == Extra::kFacing) {
    s.sheet = {300, 100, 880, 1100};
    s.text = {360, 200, 820, 1000};
  } else if (s.extra == Extra::kCard) {
    s.sheet = {100, 40, 800, 940};
    s.text = {180, 120, 720, 860};
  } else if (s.extra == Extra::kCorners) {
    s.ground = 110;
  }
  return s;
}

constexpr PixelRect kFacingPage{0, 100, 260, 1100};
constexpr PixelRect kGutter{260, 100, 300, 1100};
constexpr PixelRect kCardRect{250, 1000, 650, 1170};
// A blot on the sheet's left rim, clear of the text. A page number below the text, as far from
// it, is content.
constexpr PixelRect kBlot{106, 880, 121, 910};
constexpr PixelRect kPageNumber{430, 1078, 470, 1092};

PixelRect Behind(const Scene& s) {
  return {s.sheet.left + 15, s.sheet.top + 15, s.sheet.right + 15, s.sheet.bottom + 15};
}

void Render(const Scene& s, MutableGrayView out) {
  const double a = s.degrees * std::numbers::pi / 180;
  const double cs = std::cos(a), sn = std::sin(a);
  const double cx = (s.sheet.left + s.sheet.right) / 2.0, cy = (s.sheet.top + s.sheet.bottom) / 2.0;
  const TextBlock text(s.text, 7);
  const TextBlock facing({30, 200, 230, 1000}, 8);
  const TextBlock card({280, 1030, 620, 1140}, 9);
  const PixelRect behind = Behind(s);
  for (std::int32_t y = 0; y < out.height; ++y) {
    for (std::int32_t x = 0; x < out.width; ++x) {
      const double px = x + 0.5, py = y + 0.5;
      int v = s.ground;
      switch (s.extra) {
        case Extra::kStack:
          if (px >= s.sheet.right && Inside(s.sheet, s.sheet.left, py)) {
            const int d = (x - s.sheet.right) % 7;  // stripes of 3 dark and 4 light pixels
            v = d < 3 ? 100 : 210;
          }
          break;
        case Extra::kFacing:
          if (Inside(kFacingPage, px, py)) v = facing.Ink(px, py) ? kInk : 170;
          if (Inside(kGutter, px, py)) v = 130;
          break;
        case Extra::kCard:
          if (Inside(kCardRect, px, py)) v = card.Ink(px, py) ? kInk : 250;
          break;
        case Extra::kBehind:
          if (Inside(behind, px, py)) {
            const bool rim = px < behind.left + 2 || py < behind.top + 2 ||
                             px >= behind.right - 2 || py >= behind.bottom - 2;
            v = rim ? 90 : 225;
          }
          break;
        case Extra::kCorners:
          if (x + y < 160 || (kW - x) + y < 160) v = 0;
          break;
        default:
          break;
      }
      // The sheet's own frame: the pixel turned back about the sheet's centre.
      const double u = cx + cs * (px - cx) + sn * (py - cy);
      const double w = cy - sn * (px - cx) + cs * (py - cy);
      if (Inside(s.sheet, u, w)) {
        v = static_cast<int>(std::lround(
            kPaper + s.gradient * (2 * (u - s.sheet.left) / (s.sheet.right - s.sheet.left) - 1)));
        const double edge =
            std::min({u - s.sheet.left, w - s.sheet.top, s.sheet.right - u, s.sheet.bottom - w});
        if (s.extra == Extra::kOutline && edge >= 3 && edge < 5) v = 80;
        if (s.extra == Extra::kStrays && (Inside(kBlot, u, w) || Inside(kPageNumber, u, w)))
          v = kInk;
        if (text.Ink(u, w)) v = kInk;
      }
      const unsigned hash =
          (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u);
      v += static_cast<int>((hash >> 7) % 7) - 3;  // mild fixed noise
      out.Row(y)[x] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
  }
}

// The bounding box of rectangle r of the sheet's frame once the sheet is turned, clamped to the
// image.
PixelRect Turned(const Scene& s, PixelRect r) {
  const double a = s.degrees * std::numbers::pi / 180;
  const double cx = (s.sheet.left + s.sheet.right) / 2.0, cy = (s.sheet.top + s.sheet.bottom) / 2.0;
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (const double u : {r.left, r.right}) {
    for (const double v : {r.top, r.bottom}) {
      const double x = cx + std::cos(a) * (u - cx) - std::sin(a) * (v - cy);
      const double y = cy + std::sin(a) * (u - cx) + std::cos(a) * (v - cy);
      x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
  }
  return {
      std::max(0, static_cast<int>(std::floor(x0))), std::max(0, static_cast<int>(std::floor(y0))),
      std::min(kW, static_cast<int>(std::ceil(x1))), std::min(kH, static_cast<int>(std::ceil(y1)))};
}

PixelRect Union(PixelRect a, PixelRect b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

double Area(PixelRect r) {
  return std::max(0, r.right - r.left) * static_cast<double>(std::max(0, r.bottom - r.top));
}

const Scene kScenes[] = {
    {.name = "black ground", .ground = 15},
    {.name = "dark grey ground", .ground = 60},
    {.name = "mid grey ground", .ground = 110},
    {.name = "dark blue ground", .ground = 34},  // the luminance of (20, 30, 90)
    {.name = "turned -4", .degrees = -4},
    {.name = "turned -2", .degrees = -2},
    {.name = "turned +3", .degrees = 3},
    {.name = "cut by the left edge", .sheet = {-60, 100, 760, 1100}, .text = {60, 200, 680, 1000}},
    {.name = "uneven light", .gradient = 10},
    {.name = "page stack", .extra = Extra::kStack},
    {.name = "facing page", .extra = Extra::kFacing},
    {.name = "card below", .extra = Extra::kCard},
    {.name = "second sheet behind", .extra = Extra::kBehind},
    {.name = "black corners", .extra = Extra::kCorners},
    {.name = "no ground", .sheet = {0, 0, kW, kH}},
    {.name = "sheet outline", .extra = Extra::kOutline},
    {.name = "strays on the rim", .extra = Extra::kStrays},
    {.name = "turned, lit unevenly, outlined",
     .degrees = -3,
     .gradient = 10,
     .extra = Extra::kOutline},
    {.name = "paper under 10%",
     .sheet = {300, 450, 600, 750},
     .text = {330, 480, 570, 720},
     .found = false},
    {.name = "nothing but ground", .ground = 15, .sheet = {}, .text = {}, .found = false},
};

// Each scene against its definition. The sheet found lies within 3% of the image's side (plus a
// cell) of the sheet drawn, or of the union with what may pass for part of it (a page stack, the
// visible strip of a second sheet). The content box, which includes kContentMargin, is compared
// with the text block's turned bounding box widened by the same margin: it must not fall short of
// it by more than 6 px on any side and must overlap it with IoU >= 0.9.
TEST(FindSheet, SyntheticScenes) {
  GrayImage image = GrayImage::Allocate(kW, kH);
  for (const Scene& row : kScenes) {
    const Scene s = Laid(row);
    SCOPED_TRACE(s.name);
    Render(s, MutableGrayView{image.pixels.get(), kW, kH, kW});
    const std::optional<SheetFinding> finding = FindSheet(image.View(), kBlack);
    ASSERT_EQ(finding.has_value(), s.found);
    if (!finding) continue;

    const PixelRect sheet = Turned(s, s.sheet);
    PixelRect outer = sheet;
    if (s.extra == Extra::kStack) outer.right = kW;
    if (s.extra == Extra::kBehind) outer = Union(sheet, Behind(s));
    const int tx = 3 * kW / 100 + finding->content.cellSize;
    const int ty = 3 * kH / 100 + finding->content.cellSize;
    const PixelRect& got = finding->sheet;
    EXPECT_TRUE(got.left >= outer.left - tx && got.left <= sheet.left + tx) << got.left;
    EXPECT_TRUE(got.top >= outer.top - ty && got.top <= sheet.top + ty) << got.top;
    EXPECT_TRUE(got.right <= outer.right + tx && got.right >= sheet.right - tx) << got.right;
    EXPECT_TRUE(got.bottom <= outer.bottom + ty && got.bottom >= sheet.bottom - ty) << got.bottom;

    const std::optional<ContentBox> box =
        FindContentBoundsInCells(image.View(), kBlack, 0, finding->content);
    ASSERT_TRUE(box.has_value());
    PixelRect ink = Turned(s, TextBlock(s.text, 7).rect);
    if (s.extra == Extra::kStrays) ink = Union(ink, kPageNumber);
    const PixelRect want{std::max(0, ink.left - kContentMargin),
                         std::max(0, ink.top - kContentMargin),
                         std::min(kW, ink.right + kContentMargin - 1),
                         std::min(kH, ink.bottom + kContentMargin - 1)};
    const PixelRect found{box->left(), box->top, box->right, box->bottom()};
    EXPECT_LE(found.left, want.left + 6);
    EXPECT_LE(found.top, want.top + 6);
    EXPECT_GE(found.right, want.right - 6);
    EXPECT_GE(found.bottom, want.bottom - 6);
    // A blot on the rim, kept apart from the text, does not widen the box.
    EXPECT_TRUE(s.extra != Extra::kStrays || found.left >= want.left - 6) << found.left;
    const PixelRect both{std::max(found.left, want.left), std::max(found.top, want.top),
                         std::min(found.right, want.right), std::min(found.bottom, want.bottom)};
    const double iou = Area(both) / (Area(found) + Area(want) - Area(both));
    EXPECT_GE(iou, 0.9) << found.left << ' ' << found.top << ' ' << found.right << ' '
                        << found.bottom;
  }
}

// A view inside a larger buffer (stride wider than the view) gives the same finding and box.
TEST(FindSheet, SubViewMatchesWholeImage) {
  const Scene s{.name = "view", .degrees = 2, .gradient = 8, .extra = Extra::kStack};
  GrayImage whole = GrayImage::Allocate(kW, kH);
  Render(s, MutableGrayView{whole.pixels.get(), kW, kH, kW});
  const std::int32_t stride = kW + 37;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * (kH + 20), 0);
  const MutableGrayView view =
      MutableGrayView{buffer.data(), stride, kH + 20, stride}.Sub(13, 7, kW, kH);
  Render(s, view);
  const auto a = FindSheet(whole.View(), kBlack);
  const auto b = FindSheet(view, kBlack);
  ASSERT_TRUE(a.has_value() && b.has_value());
  EXPECT_EQ(a->sheet, b->sheet);
  EXPECT_EQ(a->content.cells, b->content.cells);
  EXPECT_EQ(FindContentBoundsInCells(whole.View(), kBlack, 0, a->content),
            FindContentBoundsInCells(view, kBlack, 0, b->content));
}

}  // namespace
}  // namespace quarnel
