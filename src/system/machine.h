#pragma once

// What the machine offers the run.

#include <cstddef>
#include <optional>
#include <string>

namespace quarnel {

// The number of CPUs this process may run on (its affinity mask, so that `taskset -c 0` gives
// one), at least 1.
int AvailableCpus();

// The bytes of physical memory; 0 when they cannot be known.
std::size_t PhysicalMemory();

// The bytes an unprivileged process may still write in the file system that holds `folder` ("" is
// the current folder); nullopt when they cannot be known.
std::optional<std::size_t> FreeSpace(const std::string& folder);

}  // namespace quarnel
