// libFuzzer target for the JPEG reader. Images that declare more than 1024 x 1024 pixels are
// passed over once the header is read: the decoder's logic is the same for small images, and the
// limits for large ones have tests of their own. Every pixel of a decoded image is read, so that
// a short buffer shows up under AddressSanitizer, and an image read from memory is read again
// through the reader's own file source, which must agree. Running out of memory
// (std::bad_alloc) is an allowed outcome.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <new>
#include <numeric>

#include "imageio/jpeg_codec.h"

namespace {

long Sum(const std::optional<quarnel::GrayImage>& image) {
  if (!image) return -1;
  const auto* p = image->pixels.get();
  return std::accumulate(p, p + std::size_t(image->width) * image->height, 0L);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const long fromMemory = Sum(quarnel::LoadGrayFromMemory(data, size, 1 << 20));
    if (fromMemory < 0) return 0;
    const int fd = memfd_create("page.jpg", MFD_CLOEXEC);
    if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    const long fromFile = Sum(quarnel::LoadGray("/proc/self/fd/" + std::to_string(fd)));
    close(fd);
    if (fromFile != fromMemory) std::abort();  // the two sources disagree
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
