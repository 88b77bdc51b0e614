#include "imageio/jpeg_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

// jpeglib.h needs FILE and size_t declared before it, and jerror.h needs jpeglib.h.
#include <jpeglib.h>
// clang-format off
#include <jerror.h>
// clang-format on


// The luminance of colour pages has a hand-written AVX2 path, chosen when the processor has it.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUARNEL_X86_DISPATCH 1
#include <immintrin.h>
#else
#define QUARNEL_X86_DISPATCH 0
#endif

namespace quarnel {
namespace {

// libjpeg reports errors through a callback that must not return. Ours jumps back to the
// setjmp of the step that made the library call. Every function below that calls setjmp keeps
// only plain data in its frame and turns the jump into a false result, so no C++ object is
// ever skipped by a longjmp.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

// Warnings that mean the image data is missing or damaged. A page decoded past them would be
// analysed and written with grey or shifted bands, so the read fails instead. The extraneous
// bytes warning (junk between markers) and the informational warnings are ignored.
bool IsDamageWarning(int code) {
  switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
#if defined(C_ARITH_CODING_SUPPORTED) || defined(D_ARITH_CODING_SUPPORTED)
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      return true;
    default:
      return false;
  }
}

void EmitMessage(j_common_ptr cinfo, int msgLevel) {
  if (msgLevel >= 0) return;  // trace messages
  cinfo->err->num_warnings++;
  if (IsDamageWarning(cinfo->err->msg_code)) JumpOnError(cinfo);
}

void OutputNothing(j_common_ptr /*cinfo*/) {}

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JumpOnError;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputNothing;
}

// Called by the decoder while it reads; stops files with an absurd number of scans, each of
// which would cost a pass over the whole coefficient buffer.
void LimitScans(j_common_ptr cinfo) {
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) JumpOnError(cinfo);
}

// A source manager reading a file descriptor through a buffer of its own.
constexpr std::size_t kReadBufferSize = std::size_t{64} * 1024;

struct FdSource {
  jpeg_source_mgr pub;
  int fd;
  bool startOfFile;
  JOCTET buffer[kReadBufferSize];
};

void InitFdSource(j_decompress_ptr cinfo) {
  reinterpret_cast<FdSource*>(cinfo->src)->startOfFile = true;
}

boolean FillFdSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<FdSource*>(cinfo->src);
  ssize_t got;
  do {
    got = read(src->fd, src->buffer, kReadBufferSize);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    // The end of the file (or a read error) before the image is complete.
    cinfo->err->msg_code = src->startOfFile ? JERR_INPUT_EMPTY : JWRN_JPEG_EOF;
    JumpOnError(reinterpret_cast<j_common_ptr>(cinfo));
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = static_cast<std::size_t>(got);
  src->startOfFile = false;
  return TRUE;
}

void SkipFdSource(j_decompress_ptr cinfo, long numBytes) {
  auto* src = reinterpret_cast<FdSource*>(cinfo->src);
  if (numBytes <= 0) return;
  auto remaining = static_cast<std::size_t>(numBytes);
  while (remaining > src->pub.bytes_in_buffer) {
    remaining -= src->pub.bytes_in_buffer;
    FillFdSource(cinfo);
  }
  src->pub.next_input_byte += remaining;
  src->pub.bytes_in_buffer -= remaining;
}

void TermFdSource(j_decompress_ptr /*cinfo*/) {}

void InitFdSourceManager(FdSource& src, int fd) {
  src.pub.init_source = InitFdSource;
  src.pub.fill_input_buffer = FillFdSource;
  src.pub.skip_input_data = SkipFdSource;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermFdSource;
  src.pub.bytes_in_buffer = 0;
  src.pub.next_input_byte = nullptr;
  src.fd = fd;
  src.startOfFile = true;
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

// Reads the header, chooses the output colour space and starts decompression.
// Fails for images of zero size or beyond the pixel limit before any pixel memory is taken: the
// size is that of the frame header, and the library allocates nothing for the image's samples or
// coefficients before jpeg_start_decompress.
bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err, std::int64_t maxPixels,
                     Layout* layout) {
  if (setjmp(err->jump)) return false;
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  const std::int64_t pixels = static_cast<std::int64_t>(cinfo->image_width) *
                              static_cast<std::int64_t>(cinfo->image_height);
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

inline std::uint8_t Luminance(unsigned r, unsigned g, unsigned b) {
  return static_cast<std::uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
}

// RGBX pixels (the fourth byte unused). Each product fits 16 bits and so does their sum
// (at most 255 * 256), so 16-bit arithmetic gives the exact result with twice the lanes.
void RgbxRowToGrayPortable(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                           std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    const auto sum = static_cast<std::uint16_t>(static_cast<std::uint16_t>(src[4 * x] * 77) +
                                                static_cast<std::uint16_t>(src[4 * x + 1] * 150) +
                                                static_cast<std::uint16_t>(src[4 * x + 2] * 29));
    dst[x] = static_cast<std::uint8_t>(sum >> 8);
  }
}

#if QUARNEL_X86_DISPATCH
// The same with AVX2, 32 pixels a step. 150 does not fit the signed byte weights of
// vpmaddubsw, so 150 G is taken as 22 G there plus 128 G: per pixel, vpmaddubsw gives
// 77 R + 22 G and 29 B, vpmaddwd adds them, and G << 7 is the pixel shifted right by one and
// masked. Every sum is below 2^16, exactly as above.
[[gnu::target("avx2")]] inline __m256i EightLuminances(const std::uint8_t* pixels) {
  const __m256i rgbx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
  const __m256i sum = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_maddubs_epi16(rgbx, _mm256_set1_epi32(77 | 22 << 8 | 29 << 16)),
                        _mm256_set1_epi16(1)),
      _mm256_and_si256(_mm256_srli_epi32(rgbx, 1), _mm256_set1_epi32(0x7F80)));
  return _mm256_srli_epi32(sum, 8);
}

[[gnu::target("avx2")]] void RgbxRowToGrayAvx2(const std::uint8_t* src, std::uint8_t* dst,
                                               std::int32_t width) {
  // vpackssdw and vpackuswb work within 128-bit halves; this puts the pixels back in order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  std::int32_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const std::uint8_t* p = src + 4 * static_cast<std::size_t>(x);
    const __m256i low = _mm256_packs_epi32(EightLuminances(p), EightLuminances(p + 32));
    const __m256i high = _mm256_packs_epi32(EightLuminances(p + 64), EightLuminances(p + 96));
    const __m256i gray = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), gray);
  }
  RgbxRowToGrayPortable(src + 4 * static_cast<std::size_t>(x), dst + x, width - x);
}
#endif

// The conversion for this processor, chosen once per decode.
using RowToGray = void (*)(const std::uint8_t*, std::uint8_t*, std::int32_t);
RowToGray RgbxRowToGray() {
#if QUARNEL_X86_DISPATCH
  if (__builtin_cpu_supports("avx2")) return RgbxRowToGrayAvx2;
#endif
  return RgbxRowToGrayPortable;
}

// v / 255 rounded to the nearest integer, exactly, for any v = a * b of two 8-bit values.
inline unsigned DivideBy255Rounded(unsigned v) {
  return (v + 128 + ((v + 128) >> 8)) >> 8;
}

// Inverted CMYK as written by Adobe applications: 255 means no ink. R = C * K / 255, rounded.
QUARNEL_PIXEL_LOOPS void CmykRowToGray(const std::uint8_t* __restrict src,
                                       std::uint8_t* __restrict dst, std::int32_t width) {
  for (std::int32_t x = 0; x < width; ++x) {
    const unsigned k = src[4 * x + 3];
    const unsigned r = DivideBy255Rounded(src[4 * x] * k);
    const unsigned g = DivideBy255Rounded(src[4 * x + 1] * k);
    const unsigned b = DivideBy255Rounded(src[4 * x + 2] * k);
    dst[x] = Luminance(r, g, b);
  }
}

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

// A step that failed because the library ran out of memory is not a damaged file: the run
// reports it as out of memory instead of as an unreadable page.
void ThrowIfOutOfMemory(const ErrorManager& err) {
  if (err.pub.msg_code == JERR_OUT_OF_MEMORY) throw std::bad_alloc();
}

// Decodes whatever source `attachSource` installs on the decompressor into `buffer`.
template <typename AttachSource>
std::optional<MutableGrayView> Decode(std::int64_t maxPixels, DecodeBuffer& buffer,
                                      AttachSource attachSource) {
  Decompressor decoder;
  if (!CreateDecompressor(decoder.cinfo(), decoder.err(), decoder.progress())) {
    ThrowIfOutOfMemory(*decoder.err());
    return std::nullopt;
  }
  attachSource(decoder.cinfo());
  Layout layout = Layout::kGray;
  if (!StartDecompress(decoder.cinfo(), decoder.err(), maxPixels, &layout)) {
    ThrowIfOutOfMemory(*decoder.err());
    return std::nullopt;
  }

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
  if (!ReadAllRows(decoder.cinfo(), decoder.err(), layout, pixels, scratch)) {
    ThrowIfOutOfMemory(*decoder.err());
    return std::nullopt;
  }
  // The rest of the file (normally just the end marker) is not read: the image is complete.
  return MutableGrayView{pixels, width, height, width};
}

// The image a fresh buffer was decoded into, taken out of it.
std::optional<GrayImage> TakeImage(const std::optional<MutableGrayView>& view,
                                   DecodeBuffer& buffer) {
  if (!view) return std::nullopt;
  GrayImage image;
  image.width = view->width;
  image.height = view->height;
  image.pixels = buffer.TakePixels();
  return image;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A destination manager that collects the encoded bytes in a vector.
struct VectorDestination {
  jpeg_destination_mgr pub;
  std::vector<std::uint8_t>* bytes;
};

constexpr std::size_t kInitialOutputSize = std::size_t{256} * 1024;

bool Grow(std::vector<std::uint8_t>& bytes, std::size_t size) {
  try {
    bytes.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// A vector used before starts at its old capacity, so that a page like the last one needs no
// more memory.
void InitVectorDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  if (!Grow(*dest->bytes, std::max(kInitialOutputSize, dest->bytes->capacity()))) {
    cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
    JumpOnError(reinterpret_cast<j_common_ptr>(cinfo));
  }
  dest->pub.next_output_byte = dest->bytes->data();
  dest->pub.free_in_buffer = dest->bytes->size();
}

boolean EmptyVectorDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  const std::size_t used = dest->bytes->size();
  if (!Grow(*dest->bytes, used * 2)) {
    cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
    JumpOnError(reinterpret_cast<j_common_ptr>(cinfo));
  }
  dest->pub.next_output_byte = dest->bytes->data() + used;
  dest->pub.free_in_buffer = dest->bytes->size() - used;
  return TRUE;
}

void TermVectorDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
  dest->bytes->resize(dest->bytes->size() - dest->pub.free_in_buffer);
}

bool Compress(jpeg_compress_struct* cinfo, ErrorManager* err, VectorDestination* dest,
              const GrayView* image, int quality) {
  if (setjmp(err->jump)) return false;
  jpeg_create_compress(cinfo);
  dest->pub.init_destination = InitVectorDestination;
  dest->pub.empty_output_buffer = EmptyVectorDestination;
  dest->pub.term_destination = TermVectorDestination;
  cinfo->dest = &dest->pub;
  cinfo->image_width = static_cast<JDIMENSION>(image->width);
  cinfo->image_height = static_cast<JDIMENSION>(image->height);
  cinfo->input_components = 1;
  cinfo->in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->next_scanline < cinfo->image_height) {
    const JDIMENSION first = cinfo->next_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerRead, cinfo->image_height - first);
    for (JDIMENSION i = 0; i < count; ++i) {
      // libjpeg takes non-const rows but only reads them when compressing.
      rows[i] = const_cast<JSAMPROW>(image->Row(static_cast<std::int32_t>(first + i)));
    }
    jpeg_write_scanlines(cinfo, rows, count);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

class Compressor {
 public:
  Compressor() {
    std::memset(&cinfo_, 0, sizeof cinfo_);
    InstallErrorManager(err_);
    cinfo_.err = &err_.pub;
  }
  ~Compressor() { jpeg_destroy_compress(&cinfo_); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  jpeg_compress_struct* cinfo() { return &cinfo_; }
  ErrorManager* err() { return &err_; }

 private:
  jpeg_compress_struct cinfo_;
  ErrorManager err_;
};

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

std::unique_ptr<std::uint8_t[]> DecodeBuffer::TakePixels() {
  pixelCapacity_ = 0;
  return std::move(pixels_);
}

std::optional<MutableGrayView> LoadGray(const std::string& path, DecodeBuffer& buffer) {
  // O_NONBLOCK: opening a FIFO must never wait for a writer; regular files ignore the flag.
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  auto source = std::make_unique<FdSource>();
  InitFdSourceManager(*source, fd.get());
  return Decode(kMaxDecodedPixels, buffer,
                [&](jpeg_decompress_struct* cinfo) { cinfo->src = &source->pub; });
}

std::optional<GrayImage> LoadGray(const std::string& path) {
  DecodeBuffer buffer;
  return TakeImage(LoadGray(path, buffer), buffer);
}

std::optional<GrayImage> LoadGrayFromMemory(const std::uint8_t* data, std::size_t size,
                                            std::int64_t maxPixels) {
  if (data == nullptr || size == 0) return std::nullopt;
  DecodeBuffer buffer;
  return TakeImage(Decode(maxPixels, buffer,
                          [&](jpeg_decompress_struct* cinfo) { jpeg_mem_src(cinfo, data, size); }),
                   buffer);
}

bool EncodeGrayJpeg(GrayView image, int quality, std::vector<std::uint8_t>& bytes) {
  if (image.width <= 0 || image.height <= 0 || image.data == nullptr) return false;
  Compressor encoder;
  VectorDestination dest{};
  dest.bytes = &bytes;
  if (!Compress(encoder.cinfo(), encoder.err(), &dest, &image, quality)) {
    ThrowIfOutOfMemory(*encoder.err());
    return false;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> EncodeGrayJpeg(GrayView image, int quality) {
  std::vector<std::uint8_t> bytes;
  if (!EncodeGrayJpeg(image, quality, bytes)) return std::nullopt;
  return bytes;
}

}  // namespace quarnel
