#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quarnel {

// A read-only window onto 8-bit luminance pixels (0 black, 255 white), row-major, top row first.
// `stride` is the distance in bytes from one row to the next; a view of a whole image has
// stride == width, a view of a rectangle inside a larger image has the larger image's stride.
struct GrayView {
  const std::uint8_t* data = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::ptrdiff_t stride = 0;

  const std::uint8_t* Row(std::int32_t y) const { return data + y * stride; }
  // The rectangle of `w` x `h` pixels whose top-left pixel is (x, y); the caller keeps it inside.
  GrayView Sub(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) const {
    return GrayView{data + y * stride + x, w, h, stride};
  }
};

// The writable counterpart of GrayView.
struct MutableGrayView {
  std::uint8_t* data = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::ptrdiff_t stride = 0;

  std::uint8_t* Row(std::int32_t y) const { return data + y * stride; }
  MutableGrayView Sub(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) const {
    return MutableGrayView{data + y * stride + x, w, h, stride};
  }
  operator GrayView() const { return GrayView{data, width, height, stride}; }
};

// How many pixels a page has to the inch or to the centimetre, across and down, as its file says;
// the units are JFIF's. A page whose file says nothing has kNone.
struct Density {
  enum Unit : std::uint8_t { kNone = 0, kPerInch = 1, kPerCentimetre = 2 };
  std::uint8_t unit = kNone;
  std::uint16_t x = 0;
  std::uint16_t y = 0;

  bool operator==(const Density&) const = default;
};

// An owned luminance image: width * height bytes, row stride equal to the width.
// Both sizes are at least 1 for an image that came from the decoder.
struct GrayImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::unique_ptr<std::uint8_t[]> pixels;

  // Allocates width * height bytes without initialising them: the decoder writes every byte,
  // and untouched pages of a huge allocation are never committed.
  static GrayImage Allocate(std::int32_t width, std::int32_t height) {
    GrayImage image;
    image.width = width;
    image.height = height;
    image.pixels = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(width) *
                                                                  static_cast<std::size_t>(height));
    return image;
  }

  GrayView View() const { return GrayView{pixels.get(), width, height, width}; }
};

}  // namespace quarnel
