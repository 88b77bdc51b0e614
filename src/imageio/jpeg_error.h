#pragma once

// libjpeg's errors and warnings as results: the library's error callback jumps back to the step
// that made the library call, which turns the jump into a false result. Only imageio/ includes
// this header (and jpeglib.h).

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <optional>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "imageio/read_result.h"

namespace quarnel {

// libjpeg reports errors through a callback that must not return. Ours jumps back to the
// setjmp of the step that made the library call. Every function that calls setjmp keeps only
// plain data in its frame and turns the jump into a false result, so no C++ object is ever
// skipped by a longjmp.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  // Why the step failed, when our own checks stopped it rather than the library.
  std::optional<ReadFailure> cause;
};

// Jumps to the setjmp of the step under way.
[[noreturn]] void JumpOnError(j_common_ptr cinfo);

// Notes why the step under way fails, and jumps to its setjmp.
[[noreturn]] void FailWith(j_common_ptr cinfo, ReadFailure cause);

// Makes `err` jump on errors and on the warnings that mean damaged image data, and print nothing.
void InstallErrorManager(ErrorManager& err);

// A step that failed because the library ran out of memory is not a damaged file: this throws
// std::bad_alloc for it, so that the run reports it as out of memory instead of as an unreadable
// page.
void ThrowIfOutOfMemory(const ErrorManager& err);

// Why the decoder's step failed: the cause our checks noted, else what the library's error says
// (no start-of-image marker: not a JPEG; an empty file; whole-image memory beyond the limit, which
// the library would put in a backing store it does not have). Every other error, and every
// warning the error manager jumps on, is damage. Throws std::bad_alloc as ThrowIfOutOfMemory.
ReadFailure FailureOf(const ErrorManager& err);

}  // namespace quarnel
