#include "app/batch_run.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "analysis/content_bounds.h"
#include "analysis/extremes.h"
#include "app/messages.h"
#include "app/ordered_pipeline.h"
#include "imageio/atomic_file.h"
#include "imageio/jpeg_codec.h"
#include "output/compose.h"
#include "pages/page_table.h"

namespace quarnel {
namespace {

// What the analysis learned of a page beyond its box.
struct AnalysedPage {
  bool readable = false;
  GrayImage keptBox;  // the decoded box, kept for the output pass while it fits the budget
};

// A page as one worker analysed it.
struct PageAnalysis {
  bool readable = false;
  std::optional<ContentBox> box;
  GrayImage boxPixels;  // empty unless asked for
};

// The box's pixels on their own, stride = box width. A box that covers the whole image takes
// the image's buffer over instead of copying it.
GrayImage CutOutBox(GrayImage image, const ContentBox& box) {
  if (box.width == image.width && box.height == image.height) return image;
  GrayImage cut = GrayImage::Allocate(box.width, box.height);
  const GrayView from = image.View().Sub(box.left(), box.top, box.width, box.height);
  for (std::int32_t y = 0; y < box.height; ++y) {
    std::memcpy(
        cut.pixels.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(box.width),
        from.Row(y), static_cast<std::size_t>(box.width));
  }
  return cut;
}

PageAnalysis AnalysePage(const std::string& path, const RunSettings& settings, bool keepBox) {
  PageAnalysis analysis;
  auto image = LoadGray(path);
  if (!image) return analysis;
  analysis.readable = true;
  analysis.box = FindContentBounds(image->View(), settings.black, settings.noise);
  if (analysis.box && keepBox) analysis.boxPixels = CutOutBox(std::move(*image), *analysis.box);
  return analysis;
}

std::size_t ByteCount(const GrayImage& image) {
  return static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

// Reads and analyses every page, printing progress and failures in table order. Stores each
// box found in the table, folds it into the extremes and keeps its pixels while they fit.
Extremes RunAnalysisPass(const RunSettings& settings, const RunOptions& options, PageTable& table,
                         std::vector<AnalysedPage>& pages, std::FILE* out, std::FILE* err) {
  Extremes extremes;
  std::size_t kept = 0;
  const std::int32_t count = table.count();
  const bool keepBoxes = options.boxBudget > 0;
  RunOrdered<PageAnalysis>(
      count, options.workers, 2 * options.workers,
      [&](std::int32_t j, int /*worker*/) {
        return AnalysePage(settings.inDir + table.records[static_cast<std::size_t>(j)].name,
                           settings, keepBoxes);
      },
      [&](std::int32_t j, PageAnalysis analysis) {
        std::fprintf(out, messages::kInputProgress, j, count);
        std::fflush(out);
        AnalysedPage& page = pages[static_cast<std::size_t>(j)];
        page.readable = analysis.readable;
        if (!analysis.box) {
          std::fprintf(err, messages::kAnalysisError, j);
          return true;
        }
        table.records[static_cast<std::size_t>(j)].box = analysis.box;
        FoldIntoExtremes(extremes, *analysis.box, j);
        const std::size_t size = ByteCount(analysis.boxPixels);
        if (size > 0 && kept + size <= options.boxBudget) {
          kept += size;
          page.keptBox = std::move(analysis.boxPixels);
        }
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

// An output page ready to be written, or the news that its file cannot be read.
struct RenderedPage {
  bool unreadable = false;
  std::optional<std::vector<std::uint8_t>> jpeg;  // nullopt: encoding failed
};

// Composes and encodes one output page. The box comes from the analysis when it was kept;
// otherwise the page is read again, and a file that no longer holds the box counts as
// unreadable. A readable page without content needs no pixels: it becomes an all-white page.
RenderedPage RenderPage(const RunSettings& settings, const PageRecord& record,
                        const AnalysedPage& page, const Extremes& extremes, Canvas& canvas) {
  std::optional<GrayImage> reread;
  GrayView boxPixels;
  if (record.box && page.keptBox.pixels) {
    boxPixels = page.keptBox.View();
  } else if (record.box || !page.readable) {
    reread = LoadGray(settings.inDir + record.name);
    if (!reread) return RenderedPage{true, std::nullopt};
    if (record.box) {
      const ContentBox& box = *record.box;
      if (!BoxFitsImage(box, reread->width, reread->height))
        return RenderedPage{true, std::nullopt};
      boxPixels = reread->View().Sub(box.left(), box.top, box.width, box.height);
    }
  }
  ComposePage(canvas, extremes, settings.white, record.box, boxPixels);
  return RenderedPage{false, EncodeGrayJpeg(canvas.View(), settings.quality)};
}

// Writes every page (or, with topOnly, each distinct extreme page once) into the output folder.
// Returns true when every page that should have been written was written.
bool RunOutputPass(const RunSettings& settings, const RunOptions& options, const PageTable& table,
                   std::vector<AnalysedPage>& pages, const Extremes& extremes, std::FILE* out,
                   std::FILE* err) {
  std::vector<std::int32_t> order;
  if (settings.topOnly) {
    order = ExtremePages(extremes);
    std::fputs(messages::kOutputTopOnly, out);
    std::fflush(out);
  } else {
    for (std::int32_t k = 0; k < table.count(); ++k) order.push_back(k);
  }

  bool allWritten = true;
  std::vector<Canvas> canvases(static_cast<std::size_t>(options.workers));
  RunOrdered<RenderedPage>(
      static_cast<std::int32_t>(order.size()), options.workers, 2 * options.workers,
      [&](std::int32_t n, int worker) {
        Canvas& canvas = canvases[static_cast<std::size_t>(worker)];
        if (canvas.pixels.empty()) canvas = Canvas::Create(extremes.maxWidth, extremes.maxHeight);
        const std::int32_t k = order[static_cast<std::size_t>(n)];
        return RenderPage(settings, table.records[static_cast<std::size_t>(k)],
                          pages[static_cast<std::size_t>(k)], extremes, canvas);
      },
      [&](std::int32_t n, RenderedPage rendered) {
        const std::int32_t k = order[static_cast<std::size_t>(n)];
        pages[static_cast<std::size_t>(k)].keptBox = GrayImage{};  // no longer needed
        if (!settings.topOnly) {
          std::fprintf(out, messages::kOutputProgress, k, table.count());
          std::fflush(out);
        }
        if (rendered.unreadable) {
          std::fputs(messages::kOutputError, err);
          allWritten = false;
          return settings.topOnly;  // the full pass ends at a page that cannot be read
        }
        const std::string path = settings.outDir + table.records[static_cast<std::size_t>(k)].name;
        if (!rendered.jpeg || !WriteFileAtomically(path, *rendered.jpeg)) {
          std::fprintf(err, messages::kCannotWrite, path.c_str());
          allWritten = false;
        }
        return true;
      });

  if (!settings.topOnly) {
    std::fputs("\n", out);
    std::fflush(out);
  }
  return allWritten;
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
  // Without an output pass there is nothing to keep the boxes for.
  if (settings.outDir.empty()) effective.boxBudget = 0;

  std::vector<AnalysedPage> pages(static_cast<std::size_t>(table.count()));
  const Extremes extremes = RunAnalysisPass(settings, effective, table, pages, out, err);
  PrintSummary(table, extremes, out);
  if (settings.outDir.empty()) return 0;

  if (extremes.maxWidth <= 0 || extremes.maxHeight <= 0) {
    std::fputs(messages::kNoContent, err);
    return 1;
  }
  if (options.betweenPasses) options.betweenPasses();
  return RunOutputPass(settings, effective, table, pages, extremes, out, err) ? 0 : 1;
}

}  // namespace quarnel
