#include "pages/page_table.h"

#include <algorithm>

#include "system/folder_listing.h"

namespace quarnel {
namespace {

unsigned char Upper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

bool HasJpgExtension(const std::string& name) {
  static constexpr char kExtension[] = ".JPG";
  constexpr std::size_t kLength = sizeof kExtension - 1;
  if (name.size() < kLength) return false;
  const std::size_t start = name.size() - kLength;
  for (std::size_t i = 0; i < kLength; ++i) {
    const auto expected = static_cast<unsigned char>(kExtension[i]);
    if (Upper(static_cast<unsigned char>(name[start + i])) != expected) return false;
  }
  return true;
}

bool ComesBefore(const std::string& a, const std::string& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char ca = Upper(static_cast<unsigned char>(a[i]));
    const unsigned char cb = Upper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  // Equal without regard to case: the raw bytes decide (std::string compares them unsigned).
  return a < b;
}

PageTable ListInputFiles(const std::string& inDir) {
  PageTable table;
  const auto entries = ListFolder(inDir);
  if (!entries) return table;

  std::vector<std::string> names;
  for (const FolderEntry& entry : *entries) {
    if (entry.isRegularFile && HasJpgExtension(entry.name)) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end(), ComesBefore);

  table.records.resize(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) table.records[i].name = std::move(names[i]);
  return table;
}

}  // namespace quarnel
