#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "system/machine.h"

namespace quarnel {

// How many bytes of packed content boxes the analysis may keep in memory for the output pass
// where the output folder cannot hold them in a file: the smaller of 320 MiB and a quarter of the
// `physical` memory (a quarter of 320 MiB when that is unknown, 0), so that a run's peak memory
// stays modest on any machine. Where the file can be made, memory buys no time over it.
std::size_t BoxBudget(std::size_t physical);
std::size_t DefaultBoxBudget();

// How many bytes of packed content boxes the analysis may keep in a file in a folder on a file
// system with `space`: the smaller of half the `physical` memory, so that the kernel can cache
// them all, and half the free space, so that the output pages keep room. A file system that lives
// in memory holds the file in memory, so there the file gets no more than BoxBudget. A box kept
// there spares the output pass a decode of its page; 0 when the space cannot be known.
std::size_t FileBudget(const std::optional<FileSystemSpace>& space, std::size_t physical);
std::size_t DefaultFileBudget(const std::string& folder);

}  // namespace quarnel
