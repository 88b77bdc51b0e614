#pragma once

#include <string>

#include "imageio/gray_image.h"
#include "imageio/jpeg_reader.h"

namespace quarnel {

// Where a run reads its pages: the run asks for each page by its path, in the analysis pass and
// again in the output pass. Read is called from several threads at once.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // The page at `path` decoded into `buffer`, as LoadGray gives it, or why it cannot be read.
  virtual ReadResult<MutableGrayView> Read(const std::string& path, DecodeBuffer& buffer) const = 0;
};

// The pages as their JPEG files hold them.
class JpegFiles final : public PageSource {
 public:
  ReadResult<MutableGrayView> Read(const std::string& path, DecodeBuffer& buffer) const override {
    return LoadGray(path, buffer);
  }
};

}  // namespace quarnel
