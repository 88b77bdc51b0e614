#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarnel {

// One entry of a folder.
struct FolderEntry {
  std::string name;            // the bare file name, bytes as the file system holds them
  bool isRegularFile = false;  // after following symbolic links; false for folders, FIFOs,
                               // sockets, devices, dangling links and link loops
};

// Lists the entries directly inside `folder` ("" is the current folder), without "." and "..",
// in no particular order. Returns nullopt when the folder does not exist or cannot be read.
std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder);

}  // namespace quarnel
