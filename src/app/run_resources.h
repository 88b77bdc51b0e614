#pragma once

#include <cstddef>
#include <string>

namespace quarnel {

// How many bytes of packed content boxes the analysis may keep in memory for the output pass
// where the output folder cannot hold them in a file: the smaller of 320 MiB and a quarter of the
// physical memory, so that a run's peak memory stays modest on any machine. Where the file can be
// made, memory buys no time over it.
std::size_t DefaultBoxBudget();

// How many bytes of packed content boxes the analysis may keep in a file in `folder`: the
// smaller of half the physical memory, so that the kernel can cache them all, and half the space
// free in the folder's file system, so that the output pages keep room. A box kept there spares
// the output pass a decode of its page; 0 when the free space cannot be known.
std::size_t DefaultFileBudget(const std::string& folder);

}  // namespace quarnel
