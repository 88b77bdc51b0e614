#pragma once

// Why a page could not be read, and a read's result: the image, or that reason.

#include <optional>
#include <string>
#include <utility>

namespace quarnel {

enum class ReadProblem {
  kCannotOpen,      // the system refused to open the file (missing, no permission, ...)
  kNotRegularFile,  // a folder, a FIFO, a device
  kCannotRead,      // the system failed to read the opened file (an I/O error)
  kEmpty,           // a file of no bytes
  kNotJpeg,         // it does not start as a JPEG file does
  kDamaged,         // damaged or cut short: the decoder found corrupt data or the file ended early
  kTooManyPixels,   // its header declares more pixels than the reader takes
  kTooMuchMemory,   // decoding it needs more whole-image memory than the decoder may take
  kTooManyScans,    // a progressive file of more scans than the decoder takes
};

struct ReadFailure {
  ReadProblem problem = ReadProblem::kDamaged;
  int error = 0;  // the system's error number (errno) for kCannotOpen and kCannotRead; else 0
};

// The reason as the report gives it: "not a JPEG file", "damaged or cut short", "more than 2^28
// pixels", "cannot open: Permission denied", ...
std::string ReasonText(const ReadFailure& failure);

// An image read, or why there is none. It tests and dereferences as std::optional does.
template <typename Image>
class ReadResult {
 public:
  // Implicit, so that a reader returns either.
  ReadResult(Image image) : image_(std::move(image)) {}
  ReadResult(ReadFailure failure) : failure_(failure) {}

  explicit operator bool() const { return image_.has_value(); }
  Image& operator*() { return *image_; }
  const Image& operator*() const { return *image_; }
  Image* operator->() { return &*image_; }
  const Image* operator->() const { return &*image_; }
  // Why there is no image; not meaningful when there is one.
  const ReadFailure& failure() const { return failure_; }

 private:
  std::optional<Image> image_;
  ReadFailure failure_;
};

}  // namespace quarnel
