#include "imageio/jpeg_error.h"

#include <new>

// clang-format off
#include <jerror.h>
// clang-format on

namespace quarnel {

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

[[noreturn]] void FailWith(j_common_ptr cinfo, ReadFailure cause) {
  reinterpret_cast<ErrorManager*>(cinfo->err)->cause = cause;
  JumpOnError(cinfo);
}

namespace {

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

}  // namespace

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JumpOnError;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputNothing;
  err.cause.reset();
}

void ThrowIfOutOfMemory(const ErrorManager& err) {
  if (err.pub.msg_code == JERR_OUT_OF_MEMORY) throw std::bad_alloc();
}

ReadFailure FailureOf(const ErrorManager& err) {
  ThrowIfOutOfMemory(err);
  if (err.cause) return *err.cause;
  switch (err.pub.msg_code) {
    case JERR_NO_SOI:
      return {ReadProblem::kNotJpeg};
    case JERR_INPUT_EMPTY:
      return {ReadProblem::kEmpty};
    case JERR_NO_BACKING_STORE:
      return {ReadProblem::kTooMuchMemory};
    default:
      return {ReadProblem::kDamaged};
  }
}

}  // namespace quarnel
