#include "app/batch_run.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "analysis/extremes.h"
#include "analysis/page_analysis.h"
#include "app/messages.h"
#include "app/ordered_pipeline.h"
#include "app/run_resources.h"
#include "imageio/jpeg_writer.h"
#include "output/packed_box_store.h"
#include "output/page_output.h"
#include "output/thumbnail.h"
#include "pages/page_table.h"
#include "report/run_report.h"
#include "system/atomic_file.h"
#include "system/machine.h"

namespace quarnel {
namespace {

// The long side of the report's page pictures, in pixels, and the room set aside for each
// picture's JPEG bytes, more than such a picture takes.
constexpr std::int32_t kThumbnailSide = 200;
constexpr std::size_t kThumbnailRoom = 16384;

// What the passes share: the run's settings and machinery.
struct Run {
  const RunSettings& settings;
  int workers = 1;
  const PageSource& pages;
  bool makeThumbnails = false;  // for the HTML report
  PackedBoxStore& store;        // where the boxes are kept for the output pass
  const FileWriter& files;      // where the output pages and the report are written
  std::vector<PageWorkspace>& workspaces;
  std::FILE* out;
  std::FILE* err;
};

// The thumbnail of a decoded page into `thumbnail`, whose memory it keeps; `jpeg` is scratch.
void MakePageThumbnail(GrayView page, std::vector<std::uint8_t>& jpeg, PageThumbnail& thumbnail) {
  const GrayImage small = MakeThumbnail(page, kThumbnailSide);
  if (!EncodeGrayJpeg(small.View(), kThumbnailQuality, jpeg)) return;
  thumbnail.width = small.width;
  thumbnail.height = small.height;
  thumbnail.jpeg.assign(jpeg.begin(), jpeg.end());
}

// Reads and analyses page `index` into its record, and keeps its box in the store for the
// output pass while the store takes boxes.
void ReadAndAnalysePage(const Run& run, std::int32_t index, PageWorkspace& workspace,
                        std::vector<std::uint8_t>& thumbnailScratch, PageRecord& record) {
  const auto image = run.pages.Read(run.settings.inDir + record.name, workspace.decoded);
  if (!image) {  // the record stays as listed: unreadable
    record.readFailure = ReasonText(image.failure());
    return;
  }
  record.width = image->width;
  record.height = image->height;
  record.density = workspace.decoded.density();
  record.findings = AnalysePage(
      *image, {run.settings.black, run.settings.noise, run.settings.sheet}, workspace.analysis);
  record.status = record.box() ? PageStatus::kOk : PageStatus::kNoContent;
  if (run.makeThumbnails) MakePageThumbnail(*image, thumbnailScratch, record.thumbnail);
  if (record.box() && run.store.open())
    KeepPageBox(index, *image, *record.box(), run.settings.white, workspace, run.store);
}

// Reads and analyses every page, printing progress and failures in table order, and folds the
// boxes found into the extremes. Each page's record is filled by the worker that analyses it and
// read here, in table order, once that worker is done with it.
Extremes RunAnalysisPass(const Run& run, PageTable& table) {
  Extremes extremes;
  const std::int32_t count = table.count();
  struct Scratch {
    std::vector<std::uint8_t> thumbnailJpeg;  // reused from page to page
  };
  RunOrdered<Scratch>(
      count, run.workers, 2 * run.workers,
      [&](std::int32_t j, int worker, Scratch& scratch) {
        ReadAndAnalysePage(run, j, run.workspaces[static_cast<std::size_t>(worker)],
                           scratch.thumbnailJpeg, table[j]);
      },
      [&](std::int32_t j, Scratch&) {
        std::fprintf(run.out, messages::kInputProgress, j, count);
        std::fflush(run.out);
        if (const auto& box = table[j].box()) {
          FoldIntoExtremes(extremes, *box, j);
        } else {
          std::fprintf(run.err, messages::kAnalysisError, j);
        }
        return true;
      });
  return extremes;
}

void PrintSummary(const PageTable& table, const Extremes& extremes, std::FILE* out) {
  std::fputs("\n", out);
  for (const ExtremeKind kind : kExtremeKinds) {
    const Extreme& extreme = extremes[kind];
    std::fprintf(out, messages::kExtremeLines[static_cast<int>(kind)],
                 table[extreme.page].name.c_str(), extreme.value);
  }
  std::fflush(out);
}

// Writes every page (or, with -z, each distinct extreme page once) into the output folder,
// noting in each page's record whether it was written, and if not, why, and in `stoppedAt` the
// page where the full pass stopped, if it did. Returns true when every page that should have been
// written was written.
bool RunOutputPass(const Run& run, PageTable& table, const Extremes& extremes,
                   std::optional<std::int32_t>& stoppedAt) {
  const RunSettings& settings = run.settings;
  std::vector<std::int32_t> order;
  if (settings.extremePagesOnly) {
    order = ExtremePages(extremes);
    std::fputs(messages::kOutputTopOnly, run.out);
    std::fflush(run.out);
  } else {
    for (std::int32_t k = 0; k < table.count(); ++k) order.push_back(k);
  }

  struct RenderedPage {
    RenderResult result;
    std::vector<std::uint8_t> jpeg;  // reused from page to page
  };
  bool allWritten = true;
  RunOrdered<RenderedPage>(
      static_cast<std::int32_t>(order.size()), run.workers, 2 * run.workers,
      [&](std::int32_t n, int worker, RenderedPage& rendered) {
        const std::int32_t k = order[static_cast<std::size_t>(n)];
        const PageRecord& record = table[k];
        const OutputPageSource source{k, settings.inDir + record.name, record.box(),
                                      record.status == PageStatus::kUnreadable, record.density};
        rendered.result = RenderOutputPage(
            source, extremes, settings.white, settings.quality, run.pages, run.store,
            run.workspaces[static_cast<std::size_t>(worker)], rendered.jpeg);
      },
      [&](std::int32_t n, RenderedPage& rendered) {
        const std::int32_t k = order[static_cast<std::size_t>(n)];
        PageRecord& record = table[k];
        if (!settings.extremePagesOnly) {
          std::fprintf(run.out, messages::kOutputProgress, k, table.count());
          std::fflush(run.out);
        }
        record.output = PageOutput::kFailed;
        const RenderStatus status = rendered.result.status;
        record.outputFailure = ReasonText(rendered.result);
        if (status == RenderStatus::kUnreadable || status == RenderStatus::kChanged) {
          std::fputs(messages::kOutputError, run.err);
          allWritten = false;
          if (settings.extremePagesOnly) return true;
          stoppedAt = k;  // the full pass ends at a page that cannot be read
          return false;
        }
        const std::string path = settings.outDir + record.name;
        if (status == RenderStatus::kEncoded) {
          WriteStatus written = run.files.Write(path, rendered.jpeg);
          // Kept boxes never cost a page its place on the disk: their file is given back, and the
          // page written again (the pages not yet written are then read again).
          if (written.noSpace() && run.store.GiveBackFile())
            written = run.files.Write(path, rendered.jpeg);
          if (!written.written()) record.outputFailure = ReasonText(written);
        }
        if (!record.outputFailure.empty()) {
          std::fprintf(run.err, messages::kCannotWrite, path.c_str());
          allWritten = false;
        } else {
          record.output = PageOutput::kWritten;
        }
        return true;
      });

  if (!settings.extremePagesOnly) {
    std::fputs("\n", run.out);
    std::fflush(run.out);
  }
  return allWritten;
}

// Writes the report of the run to the path the settings name. Returns false when it could not.
bool WriteReport(const RunSettings& settings, const RunOptions& options, const FileWriter& files,
                 const PageTable& table, const Extremes& extremes, const std::string& startedAt,
                 std::optional<std::int32_t> outputStoppedAt) {
  RunReport report{settings.inDir, settings.black, settings.white, settings.noise,
                   table,          extremes,       settings.sheet};
  report.outputStoppedAt = outputStoppedAt;
  const std::string_view versionLine = messages::kVersionLine;
  const std::string commandLine = QuotedCommandLine(options.arguments);
  const std::string currentFolder = CurrentFolder();
  report.facts = {versionLine.substr(0, versionLine.size() - 1),
                  startedAt,
                  commandLine,
                  settings.outDir,
                  settings.quality,
                  settings.extremePagesOnly,
                  FolderHref(settings.inDir, *settings.reportPath, currentFolder),
                  FolderHref(settings.outDir, *settings.reportPath, currentFolder)};
  const std::string text =
      settings.reportFormat == ReportFormat::kCsv ? CsvReport(report) : HtmlReport(report);
  return files
      .Write(*settings.reportPath,
             std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
      .written();
}

}  // namespace

int RunBatch(const RunSettings& settings, const RunOptions& options, std::FILE* out,
             std::FILE* err) {
  const std::string startedAt = options.startedAt.value_or(LocalTimeNow());
  PageTable table = ListInputFiles(settings.inDir);
  if (table.count() == 0) {
    std::fprintf(err, messages::kNoJpg, settings.inDir.empty() ? "./" : settings.inDir.c_str());
    return 1;
  }

  const int workers = std::max(1, std::min(options.workers, table.count()));
  // Without an output pass there is nothing to keep the boxes for; with -z it writes at most four
  // pages, and reading those again costs less than keeping every page's box.
  const bool keepBoxes = !settings.outDir.empty() && !settings.extremePagesOnly;
  const std::size_t fileBudget =
      !keepBoxes ? 0 : options.fileBudget.value_or(DefaultFileBudget(settings.outDir));
  const std::size_t memoryBudget =
      !keepBoxes ? 0 : options.memoryBudget.value_or(DefaultBoxBudget());

  const bool makeThumbnails = settings.reportFormat == ReportFormat::kHtml;
  // The pictures' bytes outlive their pages' decoded images. Allocated among the images as they
  // come and go, they would split the freed image memory that the next page reuses, and pages
  // would need fresh memory; set aside before any page is decoded, they stay out of the way.
  if (makeThumbnails) {
    for (PageRecord& record : table.records) record.thumbnail.jpeg.reserve(kThumbnailRoom);
  }
  // Each worker's memory, reused from page to page by both passes, and the kept boxes.
  std::vector<PageWorkspace> workspaces(static_cast<std::size_t>(workers));
  PackedBoxStore store(table.count(), settings.outDir, fileBudget, memoryBudget);
  const JpegFiles jpegFiles;
  const FileWriter atomicFiles;
  const FileWriter& files = options.files ? *options.files : atomicFiles;
  const Run run{settings,       workers, options.pages ? *options.pages : jpegFiles,
                makeThumbnails, store,   files,
                workspaces,     out,     err};
  const Extremes extremes = RunAnalysisPass(run, table);
  PrintSummary(table, extremes, out);

  int status = 0;
  std::optional<std::int32_t> outputStoppedAt;
  if (!settings.outDir.empty()) {
    for (PageRecord& record : table.records) record.output = PageOutput::kSkipped;
    if (extremes.maxWidth() <= 0 || extremes.maxHeight() <= 0) {
      std::fputs(messages::kNoContent, err);
      status = 1;
    } else {
      status = RunOutputPass(run, table, extremes, outputStoppedAt) ? 0 : 1;
    }
  }
  if (settings.reportPath &&
      !WriteReport(settings, options, files, table, extremes, startedAt, outputStoppedAt)) {
    std::fprintf(err, messages::kCannotWrite, settings.reportPath->c_str());
    status = 1;
  }
  return status;
}

}  // namespace quarnel
