#include "output/output_pass.h"

#include <vector>

#include "imageio/jpeg_codec.h"
#include "output/compose.h"

namespace quarnel {
namespace {

enum class PageOutcome { kWritten, kUnreadable, kSaveFailed };

PageOutcome WritePage(const OutputPassSettings& settings, const PageRecord& record,
                      const Extremes& extremes, Canvas& canvas) {
  const auto image = LoadGray(settings.inDir + record.name);
  if (!image) return PageOutcome::kUnreadable;
  GrayView boxPixels;
  if (record.box) {
    // The box came from the same file in the analysis; a file changed since then may no longer
    // hold it, and is then treated as unreadable rather than read outside the image.
    if (!BoxFitsImage(*record.box, image->width, image->height)) return PageOutcome::kUnreadable;
    boxPixels = image->View().Sub(record.box->left(), record.box->top, record.box->width,
                                  record.box->height);
  }
  ComposePage(canvas, extremes, settings.white, record.box, boxPixels);
  return SaveGrayJpeg(settings.outDir + record.name, canvas.View()) ? PageOutcome::kWritten
                                                                   : PageOutcome::kSaveFailed;
}

}  // namespace

bool RunOutputPass(const OutputPassSettings& settings, const PageTable& table,
                   const Extremes& extremes, OutputPassObserver& observer) {
  Canvas canvas = Canvas::Create(extremes.maxWidth, extremes.maxHeight);
  bool allWritten = true;

  auto writeOne = [&](std::int32_t index) {
    const PageRecord& record = table.records[static_cast<std::size_t>(index)];
    const PageOutcome outcome = WritePage(settings, record, extremes, canvas);
    if (outcome == PageOutcome::kUnreadable) observer.PageUnreadable(index);
    if (outcome == PageOutcome::kSaveFailed) observer.SaveFailed(settings.outDir + record.name);
    if (outcome != PageOutcome::kWritten) allWritten = false;
    return outcome;
  };

  if (settings.topOnly) {
    observer.TopOnlyStarted();
    for (const std::int32_t index : ExtremePages(extremes)) {
      if (index < table.count()) writeOne(index);
    }
    return allWritten;
  }

  for (std::int32_t k = 0; k < table.count(); ++k) {
    observer.PageStarted(k, table.count());
    if (writeOne(k) == PageOutcome::kUnreadable) break;
  }
  observer.FullPassEnded();
  return allWritten;
}

}  // namespace quarnel
