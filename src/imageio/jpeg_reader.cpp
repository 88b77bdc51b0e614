#include "imageio/jpeg_reader.h"

#include <algorithm>
#include <cstring>

#include "imageio/colour_to_gray.h"
#include "imageio/exif.h"
#include "imageio/jpeg_error.h"
#include "imageio/jpeg_fd_source.h"
#include "system/file_io.h"

namespace quarnel {
namespace {

// Called by the decoder while it reads; stops files with an absurd number of scans, each of
// which would cost a pass over the whole coefficient buffer.
void LimitScans(j_common_ptr cinfo) {
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) FailWith(cinfo, {ReadProblem::kTooManyScans});
}

// Owns one decompressor and releases it on every path.
class Decompressor {
 public:
  Decompressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InstallErrorManager(err_);
    cinfo_.err = &err_.pub;
    progress_.progress_monitor = LimitScans;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo_); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  jpeg_decompress_struct* cinfo() { return &cinfo_; }
  ErrorManager* err() { return &err_; }
  jpeg_progress_mgr* progress() { return &progress_; }

 private:
  jpeg_decompress_struct cinfo_;
  ErrorManager err_;
  jpeg_progress_mgr progress_{};
};

// Input layouts the row conversion knows.
enum class Layout { kGray, kRgb, kCmyk };

bool CreateDecompressor(jpeg_decompress_struct* cinfo, ErrorManager* err,
                        jpeg_progress_mgr* progress) {
  if (setjmp(err->jump)) return false;
  jpeg_create_decompress(cinfo);
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  cinfo->progress = progress;
  return true;
}

// The EXIF facts of the first APP1 marker that is EXIF (saved by the library while it read the
// header), and the density that JFIF gives instead of EXIF's when it names a unit.
ExifFacts ReadFacts(const jpeg_decompress_struct* cinfo) {
  ExifFacts facts;
  for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data_length < 4 || std::memcmp(m->data, "Exif", 4) != 0)
      continue;
    facts = ParseExif({m->data, m->data_length});
    break;
  }
  const bool jfifDensity =
      cinfo->saw_JFIF_marker && cinfo->X_density > 0 && cinfo->Y_density > 0 &&
      (cinfo->density_unit == Density::kPerInch || cinfo->density_unit == Density::kPerCentimetre);
  if (jfifDensity) facts.density = {cinfo->density_unit, cinfo->X_density, cinfo->Y_density};
  return facts;
}

// Reads the header, chooses the output colour space and starts decompression.
// Fails for images of zero size or beyond the pixel limit before any pixel memory is taken: the
// size is that of the frame header, and the library allocates nothing for the image's samples or
// coefficients before jpeg_start_decompress.
bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err, std::int64_t maxPixels,
                     Layout* layout, ExifFacts* facts) {
  if (setjmp(err->jump)) return false;
  jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  *facts = ReadFacts(cinfo);
  const std::int64_t pixels = static_cast<std::int64_t>(cinfo->image_width) *
                              static_cast<std::int64_t>(cinfo->image_height);
  if (pixels > maxPixels) err->cause = ReadFailure{ReadProblem::kTooManyPixels};
  if (pixels <= 0 || pixels > maxPixels) return false;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      *layout = Layout::kGray;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo->out_color_space = JCS_CMYK;
      *layout = Layout::kCmyk;
      break;
    default:
      // Four bytes a pixel: the luminance loop below vectorises far better than on RGB triples.
      cinfo->out_color_space = JCS_EXT_RGBX;
      *layout = Layout::kRgb;
      break;
  }
  jpeg_start_decompress(cinfo);
  return cinfo->output_width == cinfo->image_width && cinfo->output_height == cinfo->image_height;
}

constexpr int kRowsPerRead = 16;

// Colour rows are decoded into a scratch buffer at an odd address. On aligned rows the
// library's SIMD colour conversion uses non-temporal stores that bypass the cache, and reading
// the rows back for the luminance conversion then costs as much as the whole decode.
constexpr std::size_t kScratchOffset = 1;

// Decodes every row into `out` (stride = width). Colour rows pass through `scratch`, which
// holds kScratchOffset bytes and then kRowsPerRead rows of output_components samples each.
bool ReadAllRows(jpeg_decompress_struct* cinfo, ErrorManager* err, Layout layout, std::uint8_t* out,
                 std::uint8_t* scratch) {
  if (setjmp(err->jump)) return false;
  const std::int32_t width = static_cast<std::int32_t>(cinfo->output_width);
  const std::size_t scratchStride =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(cinfo->output_components);
  const RowToGray rgbxToGray = RgbxRowToGray();
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION first = cinfo->output_scanline;
    const JDIMENSION wanted =
        std::min<JDIMENSION>(kRowsPerRead, cinfo->output_height - cinfo->output_scanline);
    for (JDIMENSION i = 0; i < wanted; ++i) {
      rows[i] = layout == Layout::kGray
                    ? out + static_cast<std::size_t>(first + i) * static_cast<std::size_t>(width)
                    : scratch + kScratchOffset + i * scratchStride;
    }
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, wanted);
    if (got == 0) return false;  // a suspending source cannot happen here; be safe anyway
    if (layout == Layout::kGray) continue;
    for (JDIMENSION i = 0; i < got; ++i) {
      std::uint8_t* dst =
          out + static_cast<std::size_t>(first + i) * static_cast<std::size_t>(width);
      if (layout == Layout::kRgb) {
        rgbxToGray(rows[i], dst, width);
      } else {
        CmykRowToGray(rows[i], dst, width);
      }
    }
  }
  return true;
}

// Turns `stored` (a whole image in `buffer`'s pixels, stride = width) upright as EXIF
// `orientation` asks. Mirrors and the half turn stay in place; the other four swap rows and
// columns into the buffer's turned memory, which then becomes its pixel memory.
MutableGrayView TurnUpright(MutableGrayView stored, int orientation, DecodeBuffer& buffer) {
  const auto w = static_cast<std::size_t>(stored.width);
  const auto h = static_cast<std::size_t>(stored.height);
  std::uint8_t* const in = stored.data;
  switch (orientation) {
    case 1:
      return stored;
    case 2:
      for (std::size_t y = 0; y < h; ++y) std::reverse(in + y * w, in + (y + 1) * w);
      return stored;
    case 3:
      std::reverse(in, in + w * h);
      return stored;
    case 4:
      for (std::size_t y = 0; y < h / 2; ++y)
        std::swap_ranges(in + y * w, in + (y + 1) * w, in + (h - 1 - y) * w);
      return stored;
    default:
      break;
  }
  // Stored pixel (x, y) lands in column u and row v of the upright image, which is h wide; the
  // copy goes tile by tile so that both sides stay in the cache.
  const bool mirrorU = orientation == 6 || orientation == 7;  // u = h - 1 - y, else u = y
  const bool mirrorV = orientation == 7 || orientation == 8;  // v = w - 1 - x, else v = x
  std::uint8_t* const out = buffer.Turned(w * h);
  constexpr std::size_t kTile = 64;
  for (std::size_t y0 = 0; y0 < h; y0 += kTile) {
    for (std::size_t x0 = 0; x0 < w; x0 += kTile) {
      for (std::size_t y = y0; y < std::min(h, y0 + kTile); ++y) {
        const std::size_t u = mirrorU ? h - 1 - y : y;
        for (std::size_t x = x0; x < std::min(w, x0 + kTile); ++x)
          out[(mirrorV ? w - 1 - x : x) * h + u] = in[y * w + x];
      }
    }
  }
  buffer.KeepTurned();
  return MutableGrayView{out, stored.height, stored.width, stored.height};
}

// Decodes whatever source `attachSource` installs on the decompressor into `buffer`.
template <typename AttachSource>
ReadResult<MutableGrayView> Decode(std::int64_t maxPixels, DecodeBuffer& buffer,
                                   AttachSource attachSource) {
  Decompressor decoder;
  if (!CreateDecompressor(decoder.cinfo(), decoder.err(), decoder.progress()))
    return FailureOf(*decoder.err());
  attachSource(decoder.cinfo());
  Layout layout = Layout::kGray;
  ExifFacts facts;
  if (!StartDecompress(decoder.cinfo(), decoder.err(), maxPixels, &layout, &facts))
    return FailureOf(*decoder.err());
  if (facts.orientation >= 5) std::swap(facts.density.x, facts.density.y);
  buffer.SetDensity(facts.density);

  const auto width = static_cast<std::int32_t>(decoder.cinfo()->output_width);
  const auto height = static_cast<std::int32_t>(decoder.cinfo()->output_height);
  std::uint8_t* pixels =
      buffer.Pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  std::uint8_t* scratch = nullptr;
  if (layout != Layout::kGray) {
    scratch = buffer.Rows(kScratchOffset +
                          static_cast<std::size_t>(kRowsPerRead) * static_cast<std::size_t>(width) *
                              static_cast<std::size_t>(decoder.cinfo()->output_components));
  }
  if (!ReadAllRows(decoder.cinfo(), decoder.err(), layout, pixels, scratch))
    return FailureOf(*decoder.err());
  // The rest of the file (normally just the end marker) is not read: the image is complete.
  return TurnUpright(MutableGrayView{pixels, width, height, width}, facts.orientation, buffer);
}

// The image a fresh buffer was decoded into, taken out of it.
ReadResult<GrayImage> TakeImage(const ReadResult<MutableGrayView>& view, DecodeBuffer& buffer) {
  if (!view) return view.failure();
  GrayImage image;
  image.width = view->width;
  image.height = view->height;
  image.pixels = buffer.TakePixels();
  return image;
}

}  // namespace

std::uint8_t* DecodeBuffer::Pixels(std::size_t bytes) {
  if (bytes > pixelCapacity_) {
    pixels_.reset();  // the old pixels are not needed: give the memory back first
    pixelCapacity_ = 0;
    pixels_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    pixelCapacity_ = bytes;
  }
  return pixels_.get();
}

std::uint8_t* DecodeBuffer::Rows(std::size_t bytes) {
  if (bytes > rowCapacity_) {
    rows_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    rowCapacity_ = bytes;
  }
  return rows_.get();
}

std::uint8_t* DecodeBuffer::Turned(std::size_t bytes) {
  if (bytes > turnedCapacity_) {
    turned_.reset();
    turnedCapacity_ = 0;
    turned_ = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    turnedCapacity_ = bytes;
  }
  return turned_.get();
}

void DecodeBuffer::KeepTurned() {
  std::swap(pixels_, turned_);
  std::swap(pixelCapacity_, turnedCapacity_);
}

std::unique_ptr<std::uint8_t[]> DecodeBuffer::TakePixels() {
  pixelCapacity_ = 0;
  return std::move(pixels_);
}

ReadResult<MutableGrayView> LoadGray(const std::string& path, DecodeBuffer& buffer) {
  const OpenedFile file = OpenRegularFile(path);
  if (!file.fd.valid())
    return ReadFailure{file.error ? ReadProblem::kCannotOpen : ReadProblem::kNotRegularFile,
                       file.error};
  auto source = std::make_unique<FdSource>();
  InitFdSourceManager(*source, file.fd.get());
  return Decode(kMaxDecodedPixels, buffer,
                [&](jpeg_decompress_struct* cinfo) { cinfo->src = &source->pub; });
}

ReadResult<GrayImage> LoadGrayFromMemory(const std::uint8_t* data, std::size_t size,
                                         std::int64_t maxPixels, Density* density) {
  if (data == nullptr || size == 0) return ReadFailure{ReadProblem::kEmpty};
  DecodeBuffer buffer;
  auto image =
      TakeImage(Decode(maxPixels, buffer,
                       [&](jpeg_decompress_struct* cinfo) { jpeg_mem_src(cinfo, data, size); }),
                buffer);
  if (density != nullptr) *density = buffer.density();
  return image;
}

}  // namespace quarnel
