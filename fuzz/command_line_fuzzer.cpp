// libFuzzer target for the command line: the input is split at NUL bytes into arguments, parsed
// and checked. The parser gives settings, a message or an answer (the help or the version), one
// of them only; checked settings keep 0 <= black < white <= 256, noise >= 0, 1 <= quality <= 100.

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) args.emplace_back();
    if (data[i] != 0) args.back().push_back(static_cast<char>(data[i]));
  }
  const quarnel::ParseResult result = quarnel::ParseCommandLine(args);
  if (int{result.settings.has_value()} + !result.error.empty() + !result.answer.empty() != 1)
    std::abort();
  if (!result.settings || quarnel::CheckSettings(*result.settings)) return 0;
  const quarnel::RunSettings& s = *result.settings;
  if (s.black < 0 || s.black >= s.white || s.white > 256 || s.noise < 0 || s.quality < 1 ||
      s.quality > 100)
    std::abort();
  return 0;
}
