#include "app/batch_run.h"

#include "analysis/content_bounds.h"
#include "analysis/extremes.h"
#include "app/messages.h"
#include "imageio/jpeg_codec.h"
#include "output/output_pass.h"
#include "pages/page_table.h"

namespace quarnel {
namespace {

// Reads and analyses every page in table order, storing each box found and folding it into
// the extremes.
Extremes RunAnalysisPass(const RunSettings& settings, PageTable& table, std::FILE* out,
                         std::FILE* err) {
  Extremes extremes;
  const std::int32_t count = table.count();
  for (std::int32_t j = 0; j < count; ++j) {
    std::fprintf(out, messages::kInputProgress, j, count);
    std::fflush(out);
    PageRecord& record = table.records[static_cast<std::size_t>(j)];
    const auto image = LoadGray(settings.inDir + record.name);
    if (image) record.box = FindContentBounds(image->View(), settings.black, settings.noise);
    if (!record.box) {
      std::fprintf(err, messages::kAnalysisError, j);
      continue;
    }
    FoldIntoExtremes(extremes, *record.box, j);
  }
  return extremes;
}

void PrintSummary(const PageTable& table, const Extremes& extremes, std::FILE* out) {
  auto name = [&](std::int32_t index) { return table.records[static_cast<std::size_t>(index)].name.c_str(); };
  std::fputs("\n", out);
  std::fprintf(out, messages::kMaxRight, name(extremes.maxRightPage), extremes.maxRight);
  std::fprintf(out, messages::kMaxTop, name(extremes.minTopPage), extremes.minTop);
  std::fprintf(out, messages::kMaxWidth, name(extremes.maxWidthPage), extremes.maxWidth);
  std::fprintf(out, messages::kMaxHeight, name(extremes.maxHeightPage), extremes.maxHeight);
  std::fflush(out);
}

class PrintingObserver final : public OutputPassObserver {
 public:
  PrintingObserver(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void TopOnlyStarted() override {
    std::fputs(messages::kOutputTopOnly, out_);
    std::fflush(out_);
  }
  void PageStarted(std::int32_t index, std::int32_t count) override {
    std::fprintf(out_, messages::kOutputProgress, index, count);
    std::fflush(out_);
  }
  void PageUnreadable(std::int32_t /*index*/) override { std::fputs(messages::kOutputError, err_); }
  void SaveFailed(const std::string& path) override {
    std::fprintf(err_, messages::kCannotWrite, path.c_str());
  }
  void FullPassEnded() override {
    std::fputs("\n", out_);
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace

int RunBatch(const RunSettings& settings, std::FILE* out, std::FILE* err) {
  PageTable table;
  ListInputFiles(settings.inDir, table);
  if (table.count() == 0) {
    std::fprintf(err, messages::kNoJpg, settings.inDir.empty() ? "./" : settings.inDir.c_str());
    return 1;
  }

  const Extremes extremes = RunAnalysisPass(settings, table, out, err);
  PrintSummary(table, extremes, out);
  if (settings.outDir.empty()) return 0;

  if (extremes.maxWidth <= 0 || extremes.maxHeight <= 0) {
    std::fputs(messages::kNoContent, err);
    return 1;
  }
  const OutputPassSettings outputSettings{settings.inDir, settings.outDir, settings.white,
                                          settings.topOnly};
  PrintingObserver observer(out, err);
  return RunOutputPass(outputSettings, table, extremes, observer) ? 0 : 1;
}

}  // namespace quarnel
