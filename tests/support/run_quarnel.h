#pragma once

// Runs the quarnel binary as a child process for the end-to-end tests; the texts its runs print.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "imageio/gray_image.h"

namespace quarnel::testing {

struct RunResult {
  std::string out, err;  // byte for byte
  int status = -1;       // exit status; -1 when the child did not exit
  int signal = 0;        // the signal that ended the child (9 also after the timeout)
  long maxRssKiB = 0;
};

struct ChildOptions {
  std::filesystem::path workDir{};                         // the test's own when empty
  std::vector<std::pair<std::string, std::string>> env{};  // set in the child
  long long fileSizeLimit = -1;                            // RLIMIT_FSIZE; < 0: unchanged
  long long addressSpaceLimit = -1;                        // RLIMIT_AS; < 0: unchanged
  int signal = 0;  // sent when standard output contains signalAfter
  std::string signalAfter{};
  std::chrono::milliseconds timeout = std::chrono::seconds(30);  // then the child is killed
  // Standard output: read into RunResult::out, or the full device, or a pipe already closed at
  // its reading end (every write fails with EPIPE); out stays empty for the last two.
  enum class Stdout { kCaptured, kFull, kClosedPipe } stdoutTo = Stdout::kCaptured;
};

// Runs `binary` with `args` (no shell), standard input closed, no signal blocked.
RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options);
#ifdef QUARNEL_BINARY
inline RunResult RunQuarnel(const std::vector<std::string>& args, const ChildOptions& o = {}) {
  return RunProgram(QUARNEL_BINARY, args, o);
}
#endif

// The page at `path` if it is a complete one-component JPEG of width x height; else a failure.
std::optional<GrayImage> ReadOutputPage(const std::filesystem::path& path, int width, int height);

// The first `lines` (all when < 0) progress lines of a pass over `count` pages: "Input 0/3   \r"...
std::string ProgressLines(const std::string& prefix, int count, int lines = -1);

// The four summary lines, after the line feed that ends the progress lines.
using SummaryLine = std::pair<std::string, std::int32_t>;  // a page's name and the value
std::string Summary(const SummaryLine& right, const SummaryLine& top, const SummaryLine& width,
                    const SummaryLine& height);

}  // namespace quarnel::testing
