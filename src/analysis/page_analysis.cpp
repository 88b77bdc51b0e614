#include "analysis/page_analysis.h"

#include "analysis/content_bounds.h"

namespace quarnel {

PageFindings AnalysePage(GrayView page, const AnalysisSettings& settings,
                         AnalysisWorkspace& workspace) {
  if (settings.sheet) {
    if (const auto found = FindSheet(page, settings.black, workspace.memory.get())) {
      return PageFindings{
          FindContentBoundsInCells(page, settings.black, settings.noise, found->content),
          found->sheet};
    }
  }
  return PageFindings{FindContentBounds(page, settings.black, settings.noise), std::nullopt};
}

}  // namespace quarnel
