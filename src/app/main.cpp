#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/messages.h"
#include "system/machine.h"
#include "system/signals.h"

namespace {

// The process status of a usage or settings error (-1 as an 8-bit status).
constexpr int kSettingsErrorStatus = 255;

}  // namespace

int main(int argc, char** argv) {
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
      return 0;
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
    const int status = quarnel::RunBatch(*parsed.settings, options, stdout, stderr);
    // The progress and the summary (the only product of a run without -o) must have arrived.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
      std::fputs(quarnel::messages::kCannotWriteStandardOutput, stderr);
      return 1;
    }
    return status;
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs(quarnel::messages::kOutOfMemory, stderr);
    return 1;
  }
}
