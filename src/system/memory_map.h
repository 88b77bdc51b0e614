#pragma once

// Address space taken from the system in one piece.

#include <cstddef>
#include <cstdint>

namespace quarnel {

// A private anonymous mapping of memory, readable and writable, reserved without committing it:
// pages never written cost nothing. Given back when destroyed.
class MemoryMapping {
 public:
  // Maps `size` bytes; data() is null when the system refuses (a limit on the address space).
  explicit MemoryMapping(std::size_t size);
  ~MemoryMapping();
  MemoryMapping(const MemoryMapping&) = delete;
  MemoryMapping& operator=(const MemoryMapping&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace quarnel
