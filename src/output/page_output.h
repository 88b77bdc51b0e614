#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/extremes.h"
#include "analysis/geometry.h"
#include "analysis/page_analysis.h"
#include "imageio/jpeg_reader.h"
#include "imageio/page_source.h"
#include "output/compose.h"
#include "output/packed_box_store.h"

namespace quarnel {

// What one worker reuses from page to page, so that a run of similar pages takes no fresh
// memory: the decoded page, the output canvas, the whitening filter's scratch memory and its room
// in the store of kept boxes.
struct PageWorkspace {
  DecodeBuffer decoded;
  AnalysisWorkspace analysis;
  Canvas canvas;  // made at the first output page
  std::vector<std::uint8_t> whitenScratch;
  PackedBoxStore::WorkerArea storeArea;
};

// Keeps the box of decoded page number `index` in `store` for the output pass and returns where;
// with `white` below 256 the box is whitened as it is packed.
// Whitening reads nothing outside the box and every box lands whole on the canvas, so the
// whitened box is what the output pass would have made of it, and the canvas around it is white.
PackedBoxStore::KeptIn KeepPageBox(std::int32_t index, GrayView page, const ContentBox& box,
                                   std::int32_t white, PageWorkspace& workspace,
                                   PackedBoxStore& store);

// Where an output page comes from.
struct OutputPageSource {
  std::int32_t index = 0;         // the page's number, under which the store keeps its box
  std::string path;               // the input file
  std::optional<ContentBox> box;  // the box the analysis found, if any
  bool unreadableBefore = false;  // the analysis could not read the file
  Density density;                // what the analysis read; the output page carries it
};

enum class RenderStatus {
  kEncoded,     // `jpeg` holds the page
  kUnreadable,  // the file, read again, cannot be read
  kChanged,     // the file, read again, no longer holds the box: it changed since the analysis
  kNotEncoded,  // the encoder refused the page
};

struct RenderResult {
  RenderStatus status = RenderStatus::kNotEncoded;
  ReadFailure readFailure;  // why the file cannot be read, for kUnreadable
};

// Why the page was not encoded, as the report gives it: the reader's reason for kUnreadable,
// "changed since the analysis: its box is no longer on the page", "the JPEG encoder refused the
// page"; "" for kEncoded.
std::string ReasonText(const RenderResult& result);

// Makes the output page of one input page and encodes it into `jpeg` (white, quality: the run's
// settings). The box is taken from `store` when KeepPageBox kept it there and can be read back;
// otherwise the page is read again from `pages`. A page without content needs no pixels: it
// becomes an all-white page; so does a page unreadable in the analysis that can be read now.
RenderResult RenderOutputPage(const OutputPageSource& source, const Extremes& extremes,
                              std::int32_t white, std::int32_t quality, const PageSource& pages,
                              PackedBoxStore& store, PageWorkspace& workspace,
                              std::vector<std::uint8_t>& jpeg);

}  // namespace quarnel
