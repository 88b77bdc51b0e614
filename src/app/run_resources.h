#pragma once

#include <cstddef>

namespace quarnel {

// The number of CPUs this process may run on (its affinity mask, so that `taskset -c 0` gives
// one), at least 1.
int AvailableCpus();

// How many bytes of packed content boxes the analysis may keep for the output pass: the smaller
// of 320 MiB and a quarter of the physical memory. Every kept box spares the output pass a
// decode, so the budget buys time to its last byte; 320 MiB holds about 90 whitened 4-megapixel
// scans and keeps a run's peak memory under 400 MiB.
std::size_t DefaultBoxBudget();

}  // namespace quarnel
