#pragma once

// The analysis of one page: what the run finds on a page's gray image.

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>

#include "analysis/geometry.h"
#include "analysis/sheet.h"
#include "imageio/gray_image.h"

namespace quarnel {

// How pages are analysed, named as in the usage message.
struct AnalysisSettings {
  std::int32_t black = 120;  // a pixel below black is content
  std::int32_t noise = 0;    // 0: the plain bounds mode
  bool sheet = false;        // -s: find the sheet of paper first, then the content on it
};

// What the analysis found on a page.
struct PageFindings {
  std::optional<ContentBox> box;  // none when the page has no content (FindContentBounds)
  // With the sheet mode, the sheet's bounding box; none without it and on a page where no sheet
  // could be told apart from the ground (whose box is then found as without the sheet mode).
  std::optional<PixelRect> sheet;
  friend bool operator==(const PageFindings&, const PageFindings&) = default;
};

// Memory that one worker's analyses reuse from page to page: a pool that keeps what a page gave
// back for the next one instead of returning it to the system.
struct AnalysisWorkspace {
  std::unique_ptr<std::pmr::memory_resource> memory =
      std::make_unique<std::pmr::unsynchronized_pool_resource>(
          std::pmr::pool_options{0, std::size_t{1} << 22});
};

// Analyses one decoded page. Keeps no state between calls but the memory of `workspace`: pages
// may be analysed on several threads at once, each with a workspace of its own.
PageFindings AnalysePage(GrayView page, const AnalysisSettings& settings,
                         AnalysisWorkspace& workspace);

}  // namespace quarnel
