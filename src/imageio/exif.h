#pragma once

// What a JPEG's EXIF block says about showing the image. A pure function over bytes: it is fed
// whatever a file holds, so it checks every offset against the block.

#include <cstdint>
#include <span>

#include "imageio/gray_image.h"

namespace quarnel {

struct ExifFacts {
  // How the stored pixels are turned to be shown, as EXIF numbers it: 1 as stored, 2 mirrored
  // left to right, 3 turned by 180 degrees, 4 mirrored top to bottom, 5 mirrored along the
  // main diagonal, 6 turned 90 degrees clockwise, 7 mirrored along the other diagonal, 8 turned
  // 90 degrees anticlockwise.
  int orientation = 1;
  Density density;  // XResolution, YResolution and ResolutionUnit (inch when missing)
};

// The facts of `block`, the payload of an APP1 marker: "Exif\0\0", a TIFF header ("II" or "MM",
// 42, the offset of IFD0) and IFD0. A block that is not EXIF, or that is damaged anywhere in its
// header or IFD0's entries, gives the defaults: orientation 1, no density. An orientation outside
// 1 ... 8 counts as 1. The density is both resolutions rounded to whole pixels, in inches or
// centimetres; when either is missing, rounds to 0 or exceeds 65535 (JFIF's limit) there is none.
ExifFacts ParseExif(std::span<const std::uint8_t> block);

}  // namespace quarnel
