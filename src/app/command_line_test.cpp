#include "app/command_line.h"

#include <gtest/gtest.h>

#include <variant>

namespace quarnel {

// For readable failure messages; static, yet found by argument-dependent lookup.
static void PrintTo(const RunSettings& s, std::ostream* os) {
  *os << "{in \"" << s.inDir << "\", out \"" << s.outDir << "\", b " << s.black << ", w " << s.white
      << ", n " << s.noise << (s.topOnly ? ", z}" : "}");
}

namespace {

// Spelled out rather than taken from messages.h, so that a changed byte shows up as a failure.
const std::string kUsage =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
const std::string kVersion = "quarnel ver 0.03\n\n" + kUsage;  // and then the usage
const std::string kRange = "ERROR: black & white range (0<=b<w<255)\n";
const std::string kNoise = "ERROR: noise range (0<=n)\n";
const std::string kNeedsOut = "ERROR: -z option needs -o option\n";

using Args = std::vector<std::string>;
using S = RunSettings;  // {inDir, outDir, black, white, noise, topOnly}
using Result = std::variant<S, std::string>;

// What main does before the batch run: parse, then check.
Result ParseAndCheck(const Args& args) {
  const ParseResult p = ParseCommandLine(args);
  const std::optional<std::string> message = p.settings ? CheckSettings(*p.settings) : p.error;
  return message ? Result(*message) : *p.settings;
}

TEST(CommandLine, GivesSettings) {
  const std::pair<Args, S> cases[] = {
      // Folders get a '/' unless they end in one; "" counts as not given; a required value is
      // taken whatever it begins with; only the second character selects the option.
      {{}, S{}},
      {{"-i", "scans", "-o", "/tmp/out/"}, S{"scans/", "/tmp/out/"}},
      {{"-i", "", "-o", ""}, S{}},
      {{"-i", "-dashed", "-o", "my out"}, S{"-dashed/", "my out/"}},
      {{"-input", "a", "-output", "b", "-zz"}, S{"a/", "b/", 120, 256, 0, true}},
      // Optional values: taken unless missing or beginning with '-'.
      {{"-w"}, S{"", "", 120, 200}},
      {{"-w", "230"}, S{"", "", 120, 230}},
      {{"-w", "-z", "-o", "o"}, S{"", "o/", 120, 200, 0, true}},
      {{"-n"}, S{"", "", 120, 256, 10}},
      // Later options override earlier ones, also a value by a bare optional flag.
      {{"-i", "a", "-i", "b", "-b", "5", "-b", "7", "-w", "-w", "99"}, S{"b/", "", 7, 99}},
      {{"-n", "4", "-n"}, S{"", "", 120, 256, 10}},
      // The limits of 0 <= b < w <= 256.
      {{"-b", "0", "-w", "1"}, S{"", "", 0, 1}},
      {{"-w", "256"}, S{}}};
  for (const auto& [args, expected] : cases)
    EXPECT_EQ(ParseAndCheck(args), Result(expected)) << ::testing::PrintToString(args);
}

TEST(CommandLine, GivesMessages) {
  const std::pair<std::string, std::vector<Args>> cases[] = {
      // Usage errors, also before a range error found later; -n takes no value beginning with '-'.
      {kUsage,
       {Args{"scans"}, Args{""}, Args{"-"}, Args{"-I", "scans"}, Args{"-i"},
        Args{"-o", "out", "-o"}, Args{"-b"}, Args{"-b", "-5", "-q"}, Args{"-n", "-3"},
        Args{"-x", "-v"}}},
      // Parsing stops at -v, not before.
      {kVersion, {Args{"-v"}, Args{"-i", "a", "-b", "-5", "-version"}, Args{"-v", "-x"}}},
      // "" is a value, 0; 2^32 + 256 saturates rather than wrapping to 256; range comes first.
      {kRange,
       {Args{"-w", ""}, Args{"-b", "-5"}, Args{"-b", "120", "-w", "120"}, Args{"-w", "257"},
        Args{"-w", "4294967552"}, Args{"-z", "-n", " -1", "-b", "-1"}}},
      {kNoise, {Args{"-n", " -1"}, Args{"-z", "-n", " -1"}}},
      {kNeedsOut, {Args{"-z"}, Args{"-o", "", "-z"}}}};  // an empty -o is none
  for (const auto& [message, argLists] : cases) {
    for (const Args& args : argLists)
      EXPECT_EQ(ParseAndCheck(args), Result(message)) << ::testing::PrintToString(args);
  }
}

// Long runs of digits neither overflow nor lose leading zeros.
TEST(ParseInteger, ReadsLikeAtoiAndSaturates) {
  const std::pair<std::int32_t, std::vector<const char*>> cases[] = {
      {0, {"abc", "", "-", "- 5", "+-5"}},
      {-17, {"-17"}},
      {12, {"  +12abc", "\t\n\v\f\r 12"}},
      {123, {"000000000000000000000123"}},
      {INT32_MAX, {"2147483647", "2147483648", "4294967306", "99999999999999999999999999999"}},
      {INT32_MIN, {"-2147483648", "-2147483649", "-99999999999999999999999999999"}}};
  for (const auto& [expected, texts] : cases)
    for (const char* text : texts) EXPECT_EQ(ParseInteger(text), expected) << text;
}

}  // namespace
}  // namespace quarnel
