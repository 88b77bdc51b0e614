#pragma once

// Runs the built quarnel binary as a child process for the end-to-end tests, and the texts its
// runs are expected to print.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quarnel::testing {

struct RunResult {
  std::string out;                      // standard output, byte for byte
  std::string err;                      // standard error, byte for byte
  int status = -1;                      // exit status; -1 when the child did not exit normally
  int signal = 0;                       // the signal that ended the child, or 0
  bool timedOut = false;                // the child was killed after the timeout
  bool signalSent = false;              // ChildOptions::signal was sent
  std::chrono::milliseconds elapsed{};  // from the start of the child to its end
  long maxRssKiB = 0;  // the child's peak resident memory (with the test's own before the exec)
};

// How RunProgram starts the child and what it does to it while it runs.
struct ChildOptions {
  std::filesystem::path workDir{};  // the test's own working folder when empty
  std::chrono::milliseconds timeout = std::chrono::seconds(60);
  std::vector<std::pair<std::string, std::string>> env{};  // set (or replaced) in the child
  long long fileSizeLimit = -1;                            // RLIMIT_FSIZE in bytes; < 0: unchanged
  long long addressSpaceLimit = -1;                        // RLIMIT_AS in bytes; < 0: unchanged
  // Sends `signal` (0: none) `signalDelay` after the child's standard output first contains
  // `signalAfterOutput` (after the start when that is empty).
  int signal = 0;
  std::string signalAfterOutput{};
  std::chrono::milliseconds signalDelay{0};
};

// Runs `binary` with `args` (argv[1] ...; no shell is involved, so any bytes are safe) in
// `workDir` (the test's own working folder when empty), with standard input closed. A child
// still running after `timeout` is killed, and the result says so.
RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir = {},
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

// The same with every option. The child starts with no signal blocked.
RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                     const ChildOptions& options);

#ifdef QUARNEL_BINARY
// RunProgram on the quarnel binary under test (the end-to-end test program knows its path).
inline RunResult RunQuarnel(const std::vector<std::string>& args,
                            const std::filesystem::path& workDir = {}) {
  return RunProgram(QUARNEL_BINARY, args, workDir);
}
inline RunResult RunQuarnel(const std::vector<std::string>& args, const ChildOptions& options) {
  return RunProgram(QUARNEL_BINARY, args, options);
}
#endif

// The first `lines` progress lines of a pass over `count` pages ("Input 0/3   \r", ...), or all
// of them when `lines` is negative; `prefix` is "Input" or "Output".
std::string ProgressLines(const std::string& prefix, int count, int lines = -1);

// The four summary lines, preceded by the line feed that ends the progress lines.
struct SummaryLine {
  std::string name;
  std::int32_t value;
};
std::string Summary(const SummaryLine& right, const SummaryLine& top, const SummaryLine& width,
                    const SummaryLine& height);

}  // namespace quarnel::testing
