#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "imageio/gray_image.h"

namespace quarnel {

// A box's pixels kept between the passes, packed without loss: each row is a sequence of runs,
// alternately of white pixels (255, only their number stored) and of other pixels (their number,
// then the pixels as they are), starting with a white run that may be empty. A run's number is a
// variable-length integer (7 bits a byte, low bits first). Runs of white are found in whole
// chunks of kPackChunk pixels, so that the packing reads a row many pixels an instruction; a row
// of a whitened page is mostly white runs, a row of an unwhitened scan one run of other pixels.

inline constexpr std::int32_t kPackChunk = 16;

// The most bytes PackBox can need for a box of `width` x `height` pixels.
std::size_t PackedSizeBound(std::int32_t width, std::int32_t height);

// The rows of a box to pack: row(y) is asked for y = 0 ... height - 1 in order, and the pointer
// it returns (width pixels) is read before the next row is asked for.
using BoxRows = std::function<const std::uint8_t*(std::int32_t y)>;

// Packs a box of `width` x `height` pixels into out[0 ...] and returns the number of bytes used;
// `out` holds at least PackedSizeBound(width, height) bytes.
std::size_t PackBox(std::int32_t width, std::int32_t height, const BoxRows& rows,
                    std::uint8_t* out);

// Writes a box packed by PackBox into `target`, which has the box's width and height. Returns
// false, with `target` partly written, when `packed` does not hold exactly such a box.
[[nodiscard]] bool UnpackBox(std::span<const std::uint8_t> packed, MutableGrayView target);

}  // namespace quarnel
