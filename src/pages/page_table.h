#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {

// The content box of a page, margin included. It covers the image columns
// right - width ... right - 1 and the image rows top ... top + height - 1: the left and top
// edges are inclusive, the right and bottom edges exclusive.
struct ContentBox {
  std::int32_t right = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;

  std::int32_t left() const { return right - width; }
  std::int32_t bottom() const { return top + height; }
  friend bool operator==(const ContentBox&, const ContentBox&) = default;
};

// One page of the run: a .jpg file directly in the input folder.
struct PageRecord {
  std::string name;               // the bare file name; input path = InDir + name
  std::optional<ContentBox> box;  // set only when the page's analysis succeeded
};

// The run's pages, in table order (the order of the progress counters, of the output pass and
// of every tie-break). Pages are referred to by their 0-based index.
struct PageTable {
  std::vector<PageRecord> records;

  std::int32_t count() const { return static_cast<std::int32_t>(records.size()); }
};

// True when `name` ends in ".jpg" in any letter case.
bool HasJpgExtension(const std::string& name);

// The table order: names compared byte by byte after mapping a-z to A-Z; names equal that way
// are ordered by their raw bytes. True when `a` comes before `b`.
bool ComesBefore(const std::string& a, const std::string& b);

// Lists `inDir` ("" is the current folder; otherwise it ends in '/') into `table`: one record
// for every regular file (after following links) whose name ends in ".jpg" in any letter case,
// in table order. Returns false, with an empty table, when the folder does not exist, cannot be
// read or holds no entry with such a name; true otherwise (also when every such entry was a
// folder or another non-file, leaving the table empty).
bool ListInputFiles(const std::string& inDir, PageTable& table);

}  // namespace quarnel
