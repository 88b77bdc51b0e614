// libFuzzer target for the JPEG reader: each input is decoded from memory and, through a
// memory-backed file, by the reader's own file source. Both must agree, and every pixel of a
// decoded image is read, so that a short buffer shows up under AddressSanitizer. Running out of
// memory (std::bad_alloc) is an allowed outcome.

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
  const int fd = memfd_create("page.jpg", MFD_CLOEXEC);
  if (fd < 0 || write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
  try {
    const long fromMemory = Sum(quarnel::LoadGrayFromMemory(data, size));
    const long fromFile = Sum(quarnel::LoadGray("/proc/self/fd/" + std::to_string(fd)));
    if (fromMemory != fromFile) std::abort();  // the two sources disagree
  } catch (const std::bad_alloc&) {
  }
  close(fd);
  return 0;
}
