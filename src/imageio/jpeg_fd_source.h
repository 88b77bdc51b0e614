#pragma once

// A libjpeg source manager that reads a file descriptor through a buffer of its own.

#include <cstddef>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace quarnel {

inline constexpr std::size_t kReadBufferSize = std::size_t{64} * 1024;

struct FdSource {
  jpeg_source_mgr pub;
  int fd;
  bool startOfFile;
  JOCTET buffer[kReadBufferSize];
};

// Makes `src` read `fd`, which stays open while the decompressor reads; install it with
// cinfo->src = &src.pub. A read error fails the step under way (FailWith, with the system's
// error); the end of the file before the image is complete is an error of the library (an empty
// file, or else damage).
void InitFdSourceManager(FdSource& src, int fd);

}  // namespace quarnel
