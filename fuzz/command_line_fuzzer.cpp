// libFuzzer target for the command line: the input is split at NUL bytes into arguments (each
// argument ends at a NUL or at the end of the input), parsed and checked. Whatever the arguments,
// the parser and the checks must give either settings that satisfy every check or exactly one of
// the fixed messages, and every number must read as atoi would (saturated at the 32-bit range).

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/messages.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "command_line_fuzzer: %s\n", what);
  std::abort();
}

bool IsFolderSetting(const std::string& folder) {
  return folder.empty() || folder.back() == '/';
}

// strtoll already saturates; clamping that to 32 bits gives the saturated atoi value.
std::int32_t ReferenceInteger(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

bool IsReportName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto endsWith = [&](const std::string& end) {
    return name.size() >= end.size() &&
           name.compare(name.size() - end.size(), end.size(), end) == 0;
  };
  return endsWith(".csv") || endsWith(".html") || endsWith(".htm");
}

void CheckSettingsResult(const quarnel::RunSettings& s) {
  const auto error = quarnel::CheckSettings(s);
  const bool rangeOk = 0 <= s.black && s.black < s.white && s.white <= 256;
  const bool noiseOk = s.noise >= 0;
  const bool topOnlyOk = !s.topOnly || !s.outDir.empty();
  const bool reportOk = !s.reportPath || IsReportName(*s.reportPath);
  if (!error) {
    if (!rangeOk || !noiseOk || !topOnlyOk || !reportOk)
      Fail("settings accepted that break a check");
    return;
  }
  // The first failing check, in the documented order.
  const char* expected = !rangeOk     ? quarnel::messages::kBlackWhiteRange
                         : !noiseOk   ? quarnel::messages::kNoiseRange
                         : !topOnlyOk ? quarnel::messages::kTopOnlyNeedsOutDir
                         : !reportOk  ? quarnel::messages::kReportName
                                      : nullptr;
  if (expected == nullptr) Fail("valid settings refused");
  if (*error != expected) Fail("wrong message for refused settings");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (!current.empty()) args.push_back(current);

  for (const std::string& arg : args) {
    if (quarnel::ParseInteger(arg.c_str()) != ReferenceInteger(arg)) {
      Fail("ParseInteger differs from atoi");
    }
  }

  const quarnel::ParseResult result = quarnel::ParseCommandLine(args);
  if (result.settings.has_value() == !result.error.empty()) {
    Fail("a parse result must hold either settings or an error text");
  }
  if (!result.settings) {
    const std::string usage = quarnel::messages::kUsage;
    const std::string versionAndUsage = std::string(quarnel::messages::kVersion) + usage;
    if (result.error != usage && result.error != versionAndUsage) {
      Fail("a usage error must be the usage line, or the version and the usage line");
    }
    return 0;
  }
  const quarnel::RunSettings& s = *result.settings;
  if (!args.empty() && (args[0].empty() || args[0][0] != '-')) Fail("accepted a non-option");
  if (!IsFolderSetting(s.inDir) || !IsFolderSetting(s.outDir)) {
    Fail("a folder setting must be empty or end in '/'");
  }
  if (quarnel::ParseCommandLine(args).settings != result.settings) Fail("parse is not stable");
  CheckSettingsResult(s);
  return 0;
}
