#pragma once

#include <cstddef>

namespace quarnel {

// The number of CPUs this process may run on (its affinity mask, so that `taskset -c 0` gives
// one), at least 1.
int AvailableCpus();

// How many bytes of decoded content boxes the analysis may keep for the output pass: the
// smaller of 1 GiB and a quarter of the physical memory.
std::size_t DefaultBoxBudget();

}  // namespace quarnel
