#include "system/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

#include "system/file_io.h"

namespace quarnel {

std::optional<std::vector<FolderEntry>> ListFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(FolderPath(folder).c_str()), closedir);
  if (!dir) return std::nullopt;

  std::vector<FolderEntry> entries;
  const int dirFd = dirfd(dir.get());
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info {};
    // fstatat without AT_SYMLINK_NOFOLLOW follows links: a link to a page counts as a page.
    const bool regular = fstatat(dirFd, entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
    entries.push_back(FolderEntry{entry->d_name, regular});
  }
  return entries;
}

}  // namespace quarnel
