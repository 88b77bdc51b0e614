#include "imageio/read_result.h"

#include "imageio/jpeg_reader.h"
#include "system/file_io.h"

namespace quarnel {

std::string ReasonText(const ReadFailure& failure) {
  static_assert(kMaxDecodedPixels == std::int64_t{1} << 28, "the text below names the limit");
  switch (failure.problem) {
    case ReadProblem::kCannotOpen:
      return "cannot open: " + SystemErrorText(failure.error);
    case ReadProblem::kNotRegularFile:
      return "not a regular file";
    case ReadProblem::kCannotRead:
      return "cannot read: " + SystemErrorText(failure.error);
    case ReadProblem::kEmpty:
      return "empty file";
    case ReadProblem::kNotJpeg:
      return "not a JPEG file";
    case ReadProblem::kDamaged:
      break;
    case ReadProblem::kTooManyPixels:
      return "more than 2^28 pixels";
    case ReadProblem::kTooMuchMemory:
      return "needs more than " + std::to_string(kMaxDecoderMemory >> 20) +
             " MiB of decoder memory";
    case ReadProblem::kTooManyScans:
      return "more than " + std::to_string(kMaxScans) + " scans";
  }
  return "damaged or cut short";
}

}  // namespace quarnel
