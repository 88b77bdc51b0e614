#include "system/memory_map.h"

#include <sys/mman.h>

namespace quarnel {

MemoryMapping::MemoryMapping(std::size_t size) {
  void* mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) return;
  data_ = static_cast<std::uint8_t*>(mapping);
  size_ = size;
}

MemoryMapping::~MemoryMapping() {
  if (data_) munmap(data_, size_);
}

}  // namespace quarnel
