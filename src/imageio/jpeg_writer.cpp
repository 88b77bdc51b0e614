#include "imageio/jpeg_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imageio/jpeg_error.h"

// clang-format off
#include <jerror.h>
// clang-format on

namespace quarnel {
namespace {

constexpr int kRowsPerWrite = 16;

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
              const GrayView* image, int quality, const Density* density) {
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
  if (density->unit != Density::kNone) {
    cinfo->write_JFIF_header = TRUE;
    cinfo->density_unit = density->unit;
    cinfo->X_density = density->x;
    cinfo->Y_density = density->y;
  }
  jpeg_start_compress(cinfo, TRUE);
  JSAMPROW rows[kRowsPerWrite];
  while (cinfo->next_scanline < cinfo->image_height) {
    const JDIMENSION first = cinfo->next_scanline;
    const JDIMENSION count = std::min<JDIMENSION>(kRowsPerWrite, cinfo->image_height - first);
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

bool EncodeGrayJpeg(GrayView image, int quality, std::vector<std::uint8_t>& bytes,
                    const Density& density) {
  if (image.width <= 0 || image.height <= 0 || image.data == nullptr) return false;
  Compressor encoder;
  VectorDestination dest{};
  dest.bytes = &bytes;
  if (!Compress(encoder.cinfo(), encoder.err(), &dest, &image, quality, &density)) {
    ThrowIfOutOfMemory(*encoder.err());
    return false;
  }
  return true;
}

}  // namespace quarnel
