#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The JPEG quality of the written pages unless -q asks for another.
inline constexpr std::int32_t kDefaultQuality = 50;

enum class ReportFormat { kCsv, kHtml };

// The format a report file name asks for: ".csv" gives the table, ".html" or ".htm" the
// overview, in any letter case. nullopt for any other name.
std::optional<ReportFormat> ReportFormatOf(std::string_view path);

// The run's settings, named as in the usage message. They do not change after the checks.
struct RunSettings {
  std::string inDir;   // "" (the current folder) or a folder ending in '/'
  std::string outDir;  // "" (no output pass) or a folder ending in '/'
  std::int32_t black = 120;
  std::int32_t white = 256;       // 256: no whitening
  std::int32_t noise = 0;         // 0: plain bounds mode
  bool extremePagesOnly = false;  // -z: write only the pages that set the extremes
  bool sheet = false;             // -s: find the sheet of paper first, then the content on it
  std::int32_t quality = kDefaultQuality;  // of the written pages
  // -r: the report file, its name ending in .csv or .html (.htm), which gives the format.
  std::optional<std::string> reportPath = std::nullopt;
  std::optional<ReportFormat> reportFormat = std::nullopt;  // nullopt for a name of neither

  friend bool operator==(const RunSettings&, const RunSettings&) = default;
};

// What the arguments ask for: a run with these settings; or a usage error, the text to print
// on standard error; or an answer (the help, the version), the text to print on standard output
// before ending with status 0.
struct ParseResult {
  std::optional<RunSettings> settings;
  std::string error;
  std::string answer;
};

// Reads an integer as atoi does (leading white space, an optional sign, decimal digits up to the
// first other character, no digits giving 0), saturating at the 32-bit range.
std::int32_t ParseInteger(const char* text);

// Parses the arguments after the program name, left to right. Options are selected by their
// second character (-input acts as -i), but --help and --version only as whole arguments.
// Parsing ends at the first -v (a usage error), -h... or --help (the help), or --version (the
// version): a usage error met before it wins, and the arguments after it are not looked at.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// "quarnel" and the arguments as a shell command that gives them back: an argument with any
// character other than letters, digits and "-_./=:,+@%" in single quotes (a quote as '\'').
std::string QuotedCommandLine(const std::vector<std::string>& args);

// Checks parsed settings; returns the message for the first check that fails, in the order
// black/white range, noise range, -z without -o, quality range, report name.
std::optional<std::string> CheckSettings(const RunSettings& settings);

}  // namespace quarnel
