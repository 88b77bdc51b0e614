#pragma once

#include <cstdint>

namespace quarnel {

// The content box of a page, margin included. It covers the image columns
// right - width ... right - 1 and the image rows top ... top + height - 1: the left and top
// edges are inclusive, the right and bottom edges exclusive.
struct ContentBox {
  std::int32_t right = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  std::int32_t left() const { return right - width; }
  std::int32_t bottom() const { return top + height; }
  friend bool operator==(const ContentBox&, const ContentBox&) = default;
};

// A rectangle of image pixels: left and top inclusive, right and bottom exclusive.
struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// True when the box lies wholly inside an image of `width` x `height` pixels.
bool BoxFitsImage(const ContentBox& box, std::int32_t width, std::int32_t height);

}  // namespace quarnel
