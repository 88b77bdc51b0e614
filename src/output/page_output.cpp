#include "output/page_output.h"

#include "imageio/jpeg_writer.h"
#include "output/whiten.h"

namespace quarnel {

PackedBoxStore::KeptIn KeepPageBox(std::int32_t index, GrayView page, const ContentBox& box,
                                   std::int32_t white, PageWorkspace& workspace,
                                   PackedBoxStore& store) {
  const GrayView pixels = page.Sub(box.left(), box.top, box.width, box.height);
  if (white >= 256)
    return store.Keep(
        index, box.width, box.height, [&](std::int32_t y) { return pixels.Row(y); },
        workspace.storeArea);
  // Each row is whitened into a row of scratch memory and packed from there while it is in the
  // cache.
  const std::size_t scratch = WhitenScratchSize(box.width);
  if (workspace.whitenScratch.size() < scratch + static_cast<std::size_t>(box.width))
    workspace.whitenScratch.resize(scratch + static_cast<std::size_t>(box.width));
  RowWhitener whitener(pixels, white, std::span(workspace.whitenScratch).first(scratch));
  std::uint8_t* row = workspace.whitenScratch.data() + scratch;
  return store.Keep(
      index, box.width, box.height,
      [&](std::int32_t y) {
        whitener.WhitenRow(y, row);
        return static_cast<const std::uint8_t*>(row);
      },
      workspace.storeArea);
}

RenderResult RenderOutputPage(const OutputPageSource& source, const Extremes& extremes,
                              std::int32_t white, std::int32_t quality, const PageSource& pages,
                              PackedBoxStore& store, PageWorkspace& workspace,
                              std::vector<std::uint8_t>& jpeg) {
  Canvas& canvas = workspace.canvas;
  if (canvas.width != extremes.maxWidth() || canvas.height != extremes.maxHeight())
    canvas = Canvas::Create(extremes.maxWidth(), extremes.maxHeight());
  // A kept box that cannot be read back whole (a failing disk) is made again from its page.
  std::optional<std::span<const std::uint8_t>> kept;
  if (source.box) kept = store.Take(source.index, workspace.storeArea);
  const bool placed = kept && ComposePackedPage(canvas, extremes, *source.box, *kept);
  if (!placed && (source.box || source.unreadableBefore)) {
    const auto page = pages.Read(source.path, workspace.decoded);
    if (!page) return {RenderStatus::kUnreadable, page.failure()};
    GrayView boxPixels;
    if (source.box) {
      const ContentBox& box = *source.box;
      if (!BoxFitsImage(box, page->width, page->height)) return {RenderStatus::kChanged, {}};
      boxPixels = GrayView(*page).Sub(box.left(), box.top, box.width, box.height);
    }
    ComposePage(canvas, extremes, white, source.box, boxPixels);
  } else if (!placed) {
    ComposePage(canvas, extremes, white, std::nullopt, GrayView{});
  }
  return {EncodeGrayJpeg(canvas.View(), quality, jpeg, source.density) ? RenderStatus::kEncoded
                                                                       : RenderStatus::kNotEncoded,
          {}};
}

std::string ReasonText(const RenderResult& result) {
  switch (result.status) {
    case RenderStatus::kEncoded:
      break;
    case RenderStatus::kUnreadable:
      return ReasonText(result.readFailure);
    case RenderStatus::kChanged:
      return "changed since the analysis: its box is no longer on the page";
    case RenderStatus::kNotEncoded:
      return "the JPEG encoder refused the page";
  }
  return "";
}

}  // namespace quarnel
