#include "imageio/jpeg_fd_source.h"

#include <unistd.h>

#include <cerrno>

// clang-format off
#include <jerror.h>
// clang-format on

#include "imageio/jpeg_error.h"
#include "system/file_io.h"

namespace quarnel {
namespace {

void InitFdSource(j_decompress_ptr cinfo) {
  reinterpret_cast<FdSource*>(cinfo->src)->startOfFile = true;
}

boolean FillFdSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<FdSource*>(cinfo->src);
  const ssize_t got =
      RetryOnInterrupt([src] { return read(src->fd, src->buffer, kReadBufferSize); });
  if (got < 0) FailWith(reinterpret_cast<j_common_ptr>(cinfo), {ReadProblem::kCannotRead, errno});
  if (got == 0) {
    // The end of the file before the image is complete.
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

}  // namespace

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

}  // namespace quarnel
