#include "app/command_line.h"

#include <algorithm>
#include <limits>

#include "app/messages.h"

namespace quarnel {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A folder argument: "" means not given; otherwise it gets a '/' unless it ends in one.
std::string FolderArgument(const std::string& arg) {
  if (arg.empty() || arg.back() == '/') return arg;
  return arg + '/';
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  const std::string_view end = text.substr(text.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = end[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

ParseResult UsageError(std::string prefix = {}) {
  return ParseResult{std::nullopt, std::move(prefix) + messages::kUsage, {}};
}

ParseResult Help() {
  return ParseResult{std::nullopt, {}, std::string(messages::kUsage) + messages::kHelp};
}

// Reads -q's value: a whole number written in digits only (no sign, blank or other character).
// Anything else gives 0, which is out of the quality range.
std::int32_t ParseQuality(const std::string& text) {
  // Three digits hold every valid quality; leading zeros aside, more are out of range anyway.
  const std::size_t first = std::min(text.find_first_not_of('0'), text.size());
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      text.size() - first > 3)
    return 0;
  return text.size() == first ? 0 : std::stoi(text.substr(first));
}

}  // namespace

std::optional<ReportFormat> ReportFormatOf(std::string_view path) {
  if (EndsWithNoCase(path, ".csv")) return ReportFormat::kCsv;
  if (EndsWithNoCase(path, ".html") || EndsWithNoCase(path, ".htm")) return ReportFormat::kHtml;
  return std::nullopt;
}

std::int32_t ParseInteger(const char* text) {
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // Accumulate towards the sign so that the most negative value needs no special case.
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  std::int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const int digit = *text - '0';
    value = negative ? value * 10 - digit : value * 10 + digit;
    if (value > kMax) return static_cast<std::int32_t>(kMax);
    if (value < kMin) return static_cast<std::int32_t>(kMin);
  }
  return static_cast<std::int32_t>(value);
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  RunSettings settings;
  const std::size_t count = args.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') return UsageError();
    if (arg == "--help") return Help();
    if (arg == "--version") return ParseResult{std::nullopt, {}, messages::kVersionLine};
    const char option = arg.size() > 1 ? arg[1] : '\0';
    const bool hasNext = i + 1 < count;
    // An optional value is taken when the next argument exists and does not begin with '-'.
    const bool optionalValueFollows = hasNext && (args[i + 1].empty() || args[i + 1][0] != '-');
    switch (option) {
      case 'i':
        if (!hasNext) return UsageError();
        settings.inDir = FolderArgument(args[++i]);
        break;
      case 'o':
        if (!hasNext) return UsageError();
        settings.outDir = FolderArgument(args[++i]);
        break;
      case 'b':
        if (!hasNext) return UsageError();
        settings.black = ParseInteger(args[++i].c_str());
        break;
      case 'w':
        settings.white = optionalValueFollows ? ParseInteger(args[++i].c_str()) : 200;
        break;
      case 'n':
        settings.noise = optionalValueFollows ? ParseInteger(args[++i].c_str()) : 10;
        break;
      case 'z':
        settings.extremePagesOnly = true;
        break;
      case 's':
        settings.sheet = true;
        break;
      case 'q':
        if (!hasNext) return UsageError();
        settings.quality = ParseQuality(args[++i]);
        break;
      case 'r':
        if (!hasNext) return UsageError();
        settings.reportPath = args[++i];
        settings.reportFormat = ReportFormatOf(*settings.reportPath);
        break;
      case 'h':
        return Help();
      case 'v':
        return UsageError(messages::kVersion);
      default:
        return UsageError();
    }
  }
  return ParseResult{settings, {}, {}};
}

std::string QuotedCommandLine(const std::vector<std::string>& args) {
  std::string line = "quarnel";
  for (const std::string& arg : args) {
    const bool plain = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             std::string_view("-_./=:,+@%").find(c) != std::string_view::npos;
    });
    line += ' ';
    if (plain) {
      line += arg;
      continue;
    }
    line += '\'';
    for (const char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  return line;
}

std::optional<std::string> CheckSettings(const RunSettings& settings) {
  if (!(0 <= settings.black && settings.black < settings.white && settings.white <= 256)) {
    return messages::kBlackWhiteRange;
  }
  if (settings.noise < 0) return messages::kNoiseRange;
  if (settings.extremePagesOnly && settings.outDir.empty()) return messages::kTopOnlyNeedsOutDir;
  if (settings.quality < 1 || settings.quality > 100) return messages::kQualityRange;
  if (settings.reportPath && !settings.reportFormat) return messages::kReportName;
  return std::nullopt;
}

}  // namespace quarnel
