#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/page_analysis.h"
#include "imageio/gray_image.h"

namespace quarnel {

enum class PageStatus { kOk, kNoContent, kUnreadable };  // a box found; readable, no box; neither

// What became of a page in the output pass.
enum class PageOutput {
  kNotAsked,  // no output folder
  kWritten,
  kFailed,   // could not be read or written in the output pass
  kSkipped,  // not an extreme page with -z, after the page where the full pass stopped, or no
             // page had content
};

// A small grayscale picture of the whole page, encoded as JPEG.
struct PageThumbnail {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> jpeg;  // empty when none was made
};

// Everything the run knows of one page: a .jpg file directly in the input folder. The listing
// gives the name; the analysis pass the status, the size, the findings, the thumbnail and why the
// page could not be read; the output pass the output and why it failed.
struct PageRecord {
  std::string name;  // the bare file name; input path = InDir + name
  PageStatus status = PageStatus::kUnreadable;
  std::int32_t width = 0;  // the decoded image's size; 0 when unreadable
  std::int32_t height = 0;
  PageFindings findings;    // empty unless the page could be read
  PageThumbnail thumbnail;  // made only for the HTML report
  PageOutput output = PageOutput::kNotAsked;
  Density density;  // the file's, upright like the size; the output page carries it
  // Why the analysis could not read the page ("not a JPEG file", ...; empty when it could), and
  // why the output pass failed for it ("cannot write: No space left on device", ...; empty unless
  // the output failed).
  std::string readFailure;
  std::string outputFailure;

  const std::optional<ContentBox>& box() const { return findings.box; }
};

// The run's pages, in table order (the order of the progress counters, of the output pass and
// of every tie-break). Pages are referred to by their 0-based index.
struct PageTable {
  std::vector<PageRecord> records;

  std::int32_t count() const { return static_cast<std::int32_t>(records.size()); }
  PageRecord& operator[](std::int32_t index) { return records[static_cast<std::size_t>(index)]; }
  const PageRecord& operator[](std::int32_t index) const {
    return records[static_cast<std::size_t>(index)];
  }
};

// True when `name` ends in ".jpg" in any letter case.
bool HasJpgExtension(const std::string& name);

// The table order: names compared byte by byte after mapping a-z to A-Z; names equal that way
// are ordered by their raw bytes. True when `a` comes before `b`.
bool ComesBefore(const std::string& a, const std::string& b);

// Lists `inDir` ("" is the current folder; otherwise it ends in '/'): one record for every
// regular file (after following links) whose name ends in ".jpg" in any letter case, in table
// order. The table is empty when the folder does not exist, cannot be read or holds no such file.
PageTable ListInputFiles(const std::string& inDir);

}  // namespace quarnel
