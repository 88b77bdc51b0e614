#pragma once

#include <cstdint>
#include <string>

#include "analysis/extremes.h"
#include "pages/page_table.h"

namespace quarnel {

// What the output pass needs from the run settings.
struct OutputPassSettings {
  std::string inDir;   // "" or ends in '/'
  std::string outDir;  // ends in '/'
  std::int32_t white = 256;
  bool topOnly = false;
};

// Receives the events of the output pass, in the order they happen; the caller decides what to
// print for each.
class OutputPassObserver {
 public:
  virtual ~OutputPassObserver() = default;
  virtual void TopOnlyStarted() = 0;                                 // only with topOnly
  virtual void PageStarted(std::int32_t index, std::int32_t count) = 0;  // full pass only
  virtual void PageUnreadable(std::int32_t index) = 0;
  virtual void SaveFailed(const std::string& path) = 0;
  virtual void FullPassEnded() = 0;  // after the full pass, also when it stopped early
};

// Writes the pages of `table` into settings.outDir, each under its own name, as grayscale JPEGs
// of extremes.maxWidth x extremes.maxHeight pixels (both must be at least 1).
// - Full pass: every page in table order. A page that cannot be read (or whose file no longer
//   holds its box) ends the pass; a page without a box is written as an all-white page.
// - topOnly: each distinct page that sets an extreme, once, in the order of ExtremePages; a page
//   that cannot be read is reported and passed over.
// A save that fails is reported and the pass goes on. Returns true when every page that should
// have been written was written.
bool RunOutputPass(const OutputPassSettings& settings, const PageTable& table,
                   const Extremes& extremes, OutputPassObserver& observer);

}  // namespace quarnel
