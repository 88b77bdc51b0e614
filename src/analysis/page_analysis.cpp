#include "analysis/page_analysis.h"

#include "analysis/content_bounds.h"

namespace quarnel {

PageFindings AnalysePage(GrayView page, const AnalysisSettings& settings) {
  return PageFindings{FindContentBounds(page, settings.black, settings.noise)};
}

}  // namespace quarnel
