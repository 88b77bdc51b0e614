#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/messages.h"

namespace {

// The process status of a usage or settings error (-1 as an 8-bit status).
constexpr int kSettingsErrorStatus = 255;

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const quarnel::ParseResult parsed = quarnel::ParseCommandLine(args);
    if (!parsed.settings) {
      std::fputs(parsed.error.c_str(), stderr);
      return kSettingsErrorStatus;
    }
    if (const auto problem = quarnel::CheckSettings(*parsed.settings)) {
      std::fputs(problem->c_str(), stderr);
      return kSettingsErrorStatus;
    }
    return quarnel::RunBatch(*parsed.settings, stdout, stderr);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fputs(quarnel::messages::kOutOfMemory, stderr);
    return 1;
  }
}
