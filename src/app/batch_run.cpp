#include "app/batch_run.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "analysis/content_bounds.h"
#include "analysis/extremes.h"
#include "app/messages.h"
#include "app/ordered_pipeline.h"
#include "app/run_resources.h"
#include "imageio/jpeg_reader.h"
#include "output/packed_box_store.h"
#include "output/page_output.h"
#include "output/thumbnail.h"
#include "pages/page_table.h"
#include "report/run_report.h"
#include "system/atomic_file.h"

namespace quarnel {
namespace {

// The long side of the report's page pictures, in pixels, and the room set aside for each
// picture's JPEG bytes (a 200-pixel page takes 3 to 8 kB).
constexpr std::int32_t kThumbnailSide = 200;
constexpr std::size_t kThumbnailRoom = 16384;

// What the run learned of a page beyond its box.
struct AnalysedPage {
  PageFacts facts;  // for the report
};

// What the analysis pass makes of every page, besides finding its box.
struct AnalysisWork {
  bool makeThumbnails = false;      // for the HTML report
  PackedBoxStore* store = nullptr;  // where the boxes are kept for the output pass
};

// A page as one worker analysed it.
struct PageAnalysis {
  bool readable = false;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::optional<ContentBox> box;
  EncodedThumbnail thumbnail;  // empty unless asked for
};

void AnalysePage(std::int32_t index, const std::string& path, const RunSettings& settings,
                 const AnalysisWork& work, PageWorkspace& workspace, PageAnalysis& analysis) {
  analysis.readable = false;
  analysis.width = analysis.height = 0;
  analysis.box.reset();
  analysis.thumbnail = {};
  const auto image = LoadGray(path, workspace.decoded);
  if (!image) return;
  analysis.readable = true;
  analysis.width = image->width;
  analysis.height = image->height;
  analysis.box = FindContentBounds(*image, settings.black, settings.noise);
  if (work.makeThumbnails) analysis.thumbnail = EncodeThumbnail(*image, kThumbnailSide);
  if (analysis.box && work.store->open())
    KeepPageBox(index, *image, *analysis.box, settings.white, workspace, *work.store);
}

// Reads and analyses every page, printing progress and failures in table order. Stores each
// box found in the table and folds it into the extremes; the workers keep the boxes' pixels in
// `store` until it refuses one.
Extremes RunAnalysisPass(const RunSettings& settings, const RunOptions& options,
                         bool makeThumbnails, PageTable& table, std::vector<AnalysedPage>& pages,
                         std::vector<PageWorkspace>& workspaces, PackedBoxStore& store,
                         std::FILE* out, std::FILE* err) {
  Extremes extremes;
  const std::int32_t count = table.count();
  const AnalysisWork work{makeThumbnails, &store};
  RunOrdered<PageAnalysis>(
      count, options.workers, 2 * options.workers,
      [&](std::int32_t j, int worker, PageAnalysis& analysis) {
        AnalysePage(j, settings.inDir + table.records[static_cast<std::size_t>(j)].name, settings,
                    work, workspaces[static_cast<std::size_t>(worker)], analysis);
      },
      [&](std::int32_t j, PageAnalysis& analysis) {
        std::fprintf(out, messages::kInputProgress, j, count);
        std::fflush(out);
        AnalysedPage& page = pages[static_cast<std::size_t>(j)];
        page.facts.status = !analysis.readable ? PageStatus::kUnreadable
                            : analysis.box     ? PageStatus::kOk
                                               : PageStatus::kNoContent;
        page.facts.width = analysis.width;
        page.facts.height = analysis.height;
        // Copied into the room set aside before the pass (see RunBatch).
        page.facts.thumbnail.width = analysis.thumbnail.width;
        page.facts.thumbnail.height = analysis.thumbnail.height;
        page.facts.thumbnail.jpeg.assign(analysis.thumbnail.jpeg.begin(),
                                         analysis.thumbnail.jpeg.end());
        if (!analysis.box) {
          std::fprintf(err, messages::kAnalysisError, j);
          return true;
        }
        table.records[static_cast<std::size_t>(j)].box = analysis.box;
        FoldIntoExtremes(extremes, *analysis.box, j);
        return true;
      });
  return extremes;
}

void PrintSummary(const PageTable& table, const Extremes& extremes, std::FILE* out) {
  auto name = [&](std::int32_t index) {
    return table.records[static_cast<std::size_t>(index)].name.c_str();
  };
  std::fputs("\n", out);
  std::fprintf(out, messages::kMaxRight, name(extremes.maxRightPage), extremes.maxRight);
  std::fprintf(out, messages::kMaxTop, name(extremes.minTopPage), extremes.minTop);
  std::fprintf(out, messages::kMaxWidth, name(extremes.maxWidthPage), extremes.maxWidth);
  std::fprintf(out, messages::kMaxHeight, name(extremes.maxHeightPage), extremes.maxHeight);
  std::fflush(out);
}

// Writes every page (or, with topOnly, each distinct extreme page once) into the output folder,
// noting in each page's facts whether it was written. Returns true when every page that should
// have been written was written.
bool RunOutputPass(const RunSettings& settings, const RunOptions& options, const PageTable& table,
                   std::vector<AnalysedPage>& pages, const Extremes& extremes,
                   std::vector<PageWorkspace>& workspaces, PackedBoxStore& store, std::FILE* out,
                   std::FILE* err) {
  std::vector<std::int32_t> order;
  if (settings.topOnly) {
    order = ExtremePages(extremes);
    std::fputs(messages::kOutputTopOnly, out);
    std::fflush(out);
  } else {
    for (std::int32_t k = 0; k < table.count(); ++k) order.push_back(k);
  }

  struct RenderedPage {
    RenderStatus status = RenderStatus::kNotEncoded;
    std::vector<std::uint8_t> jpeg;  // reused from page to page
  };
  bool allWritten = true;
  RunOrdered<RenderedPage>(
      static_cast<std::int32_t>(order.size()), options.workers, 2 * options.workers,
      [&](std::int32_t n, int worker, RenderedPage& rendered) {
        const std::size_t k = static_cast<std::size_t>(order[static_cast<std::size_t>(n)]);
        const OutputPageSource source{static_cast<std::int32_t>(k),
                                      settings.inDir + table.records[k].name, table.records[k].box,
                                      pages[k].facts.status == PageStatus::kUnreadable};
        rendered.status =
            RenderOutputPage(source, extremes, settings.white, settings.quality, store,
                             workspaces[static_cast<std::size_t>(worker)], rendered.jpeg);
      },
      [&](std::int32_t n, RenderedPage& rendered) {
        const std::int32_t k = order[static_cast<std::size_t>(n)];
        AnalysedPage& page = pages[static_cast<std::size_t>(k)];
        if (!settings.topOnly) {
          std::fprintf(out, messages::kOutputProgress, k, table.count());
          std::fflush(out);
        }
        page.facts.output = PageOutput::kFailed;
        if (rendered.status == RenderStatus::kUnreadable) {
          std::fputs(messages::kOutputError, err);
          allWritten = false;
          return settings.topOnly;  // the full pass ends at a page that cannot be read
        }
        const std::string path = settings.outDir + table.records[static_cast<std::size_t>(k)].name;
        if (rendered.status != RenderStatus::kEncoded ||
            !WriteFileAtomically(path, rendered.jpeg)) {
          std::fprintf(err, messages::kCannotWrite, path.c_str());
          allWritten = false;
        } else {
          page.facts.output = PageOutput::kWritten;
        }
        return true;
      });

  if (!settings.topOnly) {
    std::fputs("\n", out);
    std::fflush(out);
  }
  return allWritten;
}

// Writes the report of the run to the path the settings name. Returns false when it could not.
bool WriteReport(const RunSettings& settings, ReportFormat format, const PageTable& table,
                 const Extremes& extremes, std::vector<AnalysedPage>& pages) {
  std::vector<PageFacts> facts;
  facts.reserve(pages.size());
  for (AnalysedPage& page : pages) facts.push_back(std::move(page.facts));
  const RunReport report{settings.inDir, settings.black, settings.white, settings.noise,
                         table,          extremes,       facts};
  const std::string text = format == ReportFormat::kCsv ? CsvReport(report) : HtmlReport(report);
  return WriteFileAtomically(
      *settings.reportPath,
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace

int RunBatch(const RunSettings& settings, const RunOptions& options, std::FILE* out,
             std::FILE* err) {
  PageTable table;
  ListInputFiles(settings.inDir, table);
  if (table.count() == 0) {
    std::fprintf(err, messages::kNoJpg, settings.inDir.empty() ? "./" : settings.inDir.c_str());
    return 1;
  }

  RunOptions effective = options;
  effective.workers = std::max(1, std::min(options.workers, table.count()));
  // Without an output pass there is nothing to keep the boxes for; with -z it writes at most four
  // pages, and reading those again costs less than keeping every page's box.
  if (settings.outDir.empty() || settings.topOnly) {
    effective.boxBudget = 0;
    effective.fileBudget = 0;
  }
  if (!effective.fileBudget) effective.fileBudget = DefaultFileBudget(settings.outDir);

  std::optional<ReportFormat> report;
  if (settings.reportPath) report = ReportFormatOf(*settings.reportPath);

  std::vector<AnalysedPage> pages(static_cast<std::size_t>(table.count()));
  // The pictures' bytes outlive their pages' decoded images. Allocated among the images as they
  // come and go, they would split the freed image memory that the next page reuses, and about
  // one page in fifteen would need fresh memory (4000 more page faults on the 60-page benchmark
  // book); set aside before any page is decoded, they stay out of the way.
  if (report == ReportFormat::kHtml) {
    for (AnalysedPage& page : pages) page.facts.thumbnail.jpeg.reserve(kThumbnailRoom);
  }
  // Each worker's memory, reused from page to page by both passes, and the kept boxes.
  std::vector<PageWorkspace> workspaces(static_cast<std::size_t>(effective.workers));
  PackedBoxStore store(table.count(), settings.outDir, *effective.fileBudget,
                       effective.boxBudget.value_or(DefaultBoxBudget()));
  const Extremes extremes = RunAnalysisPass(settings, effective, report == ReportFormat::kHtml,
                                            table, pages, workspaces, store, out, err);
  PrintSummary(table, extremes, out);

  int status = 0;
  if (!settings.outDir.empty()) {
    for (AnalysedPage& page : pages) page.facts.output = PageOutput::kSkipped;
    if (extremes.maxWidth <= 0 || extremes.maxHeight <= 0) {
      std::fputs(messages::kNoContent, err);
      status = 1;
    } else {
      if (options.betweenPasses) options.betweenPasses();
      status =
          RunOutputPass(settings, effective, table, pages, extremes, workspaces, store, out, err)
              ? 0
              : 1;
    }
  }
  if (report && !WriteReport(settings, *report, table, extremes, pages)) {
    std::fprintf(err, messages::kCannotWrite, settings.reportPath->c_str());
    status = 1;
  }
  return status;
}

}  // namespace quarnel
