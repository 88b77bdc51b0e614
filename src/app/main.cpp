#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/messages.h"
#include "system/file_io.h"
#include "system/machine.h"
#include "system/signals.h"

namespace {

// The process status of a usage or settings error (-1 as an 8-bit status).
constexpr int kSettingsErrorStatus = 255;

// Ends a run whose standard output was closed from the start, or could not all be written:
// what it was to print is lost, which the status reports.
int EndWithStandardOutput(bool outputClosed, int status) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || outputClosed) {
    std::fputs(quarnel::messages::kCannotWriteStandardOutput, stderr);
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed standard output or error would be the number of the next file opened (the kept boxes,
  // an output page), and the progress or the errors would be written into it. On /dev/null they
  // take no file's place; the output lost that way is reported at the end.
  const bool outputClosed = quarnel::OpenClosedStandardStreams().output;
  // A signal whose default action ends the process (interrupt, termination, hang-up, quit, ...)
  // ends the run with the conventional status 128 + signal. Output files are written with these
  // signals held back, so when the run ends no temporary file exists and every output file is
  // either complete or untouched.
  quarnel::EndProcessOnTerminationSignals();
  // Past a file-size limit a write fails (and the page is reported) instead of killing the run.
  // Nor does a closed standard output (a reader such as "head" gone) stop the run: the writes
  // fail, the pages are still written, and the lost output is reported at the end.
  quarnel::IgnoreWriteFailureSignals();
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const quarnel::ParseResult parsed = quarnel::ParseCommandLine(args);
    if (!parsed.answer.empty()) {
      std::fputs(parsed.answer.c_str(), stdout);
      return EndWithStandardOutput(outputClosed, 0);
    }
    if (!parsed.settings) {
      std::fputs(parsed.error.c_str(), stderr);
      return kSettingsErrorStatus;
    }
    if (const auto problem = quarnel::CheckSettings(*parsed.settings)) {
      std::fputs(problem->c_str(), stderr);
      return kSettingsErrorStatus;
    }
    quarnel::RunOptions options;
    options.workers = quarnel::AvailableCpus();
    options.arguments = args;
    const int status = quarnel::RunBatch(*parsed.settings, options, stdout, stderr);
    // The progress and the summary (the only product of a run without -o) must have arrived.
    return EndWithStandardOutput(outputClosed, status);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs(quarnel::messages::kOutOfMemory, stderr);
    return 1;
  }
}
