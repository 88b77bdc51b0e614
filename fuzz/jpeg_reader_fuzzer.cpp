// libFuzzer target for the JPEG reader. Images that declare more than 1024 x 1024 pixels are
// passed over once the header is read: the decoder's logic is the same for small images, and the
// limits for large ones have tests of their own. Every pixel of a decoded image is read, so that
// a short buffer shows up under AddressSanitizer. Running out of memory (std::bad_alloc) is an
// allowed outcome. (The reader's file source differs from the memory source only in how it
// fetches bytes; the codec test reads every seed both ways.)

#include <new>
#include <numeric>

#include "imageio/jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const auto image = quarnel::LoadGrayFromMemory(data, size, 1 << 20);
    const std::uint8_t* pixels = image ? image->pixels.get() : data;
    const std::size_t count = image ? std::size_t(image->width) * image->height : 0;
    volatile long sum = std::accumulate(pixels, pixels + count, 0L);
    (void)sum;
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
