#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <variant>
#include <vector>

namespace quarnel {

// For readable failure messages; static, yet found by argument-dependent lookup.
static void PrintTo(const RunSettings& s, std::ostream* os) {
  *os << "{in \"" << s.inDir << "\", out \"" << s.outDir << "\", b " << s.black << ", w " << s.white
      << ", n " << s.noise << (s.topOnly ? ", z}" : "}");
}

namespace {

// The texts are spelled out here rather than taken from messages.h, so that a changed byte in
// a message shows up as a failure.
const std::string kUsage =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
const std::string kVersion = "quarnel ver 0.03\n\n";
const std::string kRange = "ERROR: black & white range (0<=b<w<255)\n";
const std::string kNoise = "ERROR: noise range (0<=n)\n";
const std::string kNeedsOut = "ERROR: -z option needs -o option\n";

// What main does before the batch run: parse, then check.
std::variant<RunSettings, std::string> ParseAndCheck(const std::vector<std::string>& args) {
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.settings) return parsed.error;
  if (auto message = CheckSettings(*parsed.settings)) return *message;
  return *parsed.settings;
}

RunSettings Settings(std::string in, std::string out, int black = 120, int white = 256,
                     int noise = 0, bool topOnly = false) {
  return RunSettings{std::move(in), std::move(out), black, white, noise, topOnly};
}

struct CommandLineCase {
  std::vector<std::string> args;
  std::variant<RunSettings, std::string> expected;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) {
  *os << "args:";
  for (const std::string& arg : c.args) *os << " \"" << arg << '"';
}

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, GivesSettingsOrMessage) {
  EXPECT_EQ(ParseAndCheck(GetParam().args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        // Defaults; folders get a '/' unless they end in one; "" counts as not given.
        CommandLineCase{{}, Settings("", "")},
        CommandLineCase{{"-i", "scans", "-o", "out"}, Settings("scans/", "out/")},
        CommandLineCase{{"-i", "scans/", "-o", "/tmp/out/"}, Settings("scans/", "/tmp/out/")},
        CommandLineCase{{"-i", "odd\\"}, Settings("odd\\/", "")},
        CommandLineCase{{"-i", "", "-o", ""}, Settings("", "")},
        CommandLineCase{{"-i", "-dashed", "-o", "my out"}, Settings("-dashed/", "my out/")},
        // Only the second character selects the option.
        CommandLineCase{{"-input", "a", "-output", "b", "-zz"},
                        Settings("a/", "b/", 120, 256, 0, true)},
        // Optional values: taken unless missing or beginning with '-'.
        CommandLineCase{{"-w"}, Settings("", "", 120, 200)},
        CommandLineCase{{"-w", "230"}, Settings("", "", 120, 230)},
        CommandLineCase{{"-w", "-z", "-o", "o"}, Settings("", "o/", 120, 200, 0, true)},
        CommandLineCase{{"-n"}, Settings("", "", 120, 256, 10)},
        CommandLineCase{{"-n", "0"}, Settings("", "", 120, 256, 0)},
        CommandLineCase{{"-n", "-3"}, kUsage},
        CommandLineCase{{"-w", ""}, kRange},  // "" does not begin with '-': white = 0
        CommandLineCase{{"-n", " -1"}, kNoise},
        // Later options override earlier ones.
        CommandLineCase{{"-i", "a", "-i", "b", "-b", "5", "-b", "7", "-w", "-w", "99"},
                        Settings("b/", "", 7, 99)},
        CommandLineCase{{"-n", "4", "-n"}, Settings("", "", 120, 256, 10)},
        // Range of black and white: 0 <= b < w <= 256.
        CommandLineCase{{"-b", "-5"}, kRange},
        CommandLineCase{{"-b", "0", "-w", "1"}, Settings("", "", 0, 1)},
        CommandLineCase{{"-b", "120", "-w", "120"}, kRange},
        CommandLineCase{{"-w", "255"}, Settings("", "", 120, 255)},
        CommandLineCase{{"-w", "256"}, Settings("", "", 120, 256)},
        CommandLineCase{{"-w", "257"}, kRange},
        CommandLineCase{{"-b", "199", "-w"}, Settings("", "", 199, 200)},
        CommandLineCase{{"-b", "200", "-w"}, kRange},
        CommandLineCase{{"-b", "abc"}, Settings("", "", 0, 256)},
        CommandLineCase{{"-b", "99999999999"}, kRange},
        CommandLineCase{{"-w", "4294967552"}, kRange},  // 2^32 + 256 must not wrap to 256
        // -z needs -o; an empty -o is no -o.
        CommandLineCase{{"-z"}, kNeedsOut}, CommandLineCase{{"-o", "", "-z"}, kNeedsOut},
        CommandLineCase{{"-z", "-o", "out"}, Settings("", "out/", 120, 256, 0, true)},
        // Order of the checks: range, then noise, then -z.
        CommandLineCase{{"-z", "-n", " -1", "-b", "-1"}, kRange},
        CommandLineCase{{"-z", "-n", " -1"}, kNoise},
        // -v: the version, then the usage; parsing stops there.
        CommandLineCase{{"-v"}, kVersion + kUsage},
        CommandLineCase{{"-i", "a", "-b", "-5", "-version"}, kVersion + kUsage},
        CommandLineCase{{"-v", "-x"}, kVersion + kUsage}, CommandLineCase{{"-x", "-v"}, kUsage},
        // Usage errors.
        CommandLineCase{{"scans"}, kUsage}, CommandLineCase{{"-i", "scans", "more"}, kUsage},
        CommandLineCase{{""}, kUsage}, CommandLineCase{{"-"}, kUsage},
        CommandLineCase{{"-I", "scans"}, kUsage}, CommandLineCase{{"-i"}, kUsage},
        CommandLineCase{{"-o", "out", "-o"}, kUsage}, CommandLineCase{{"-b"}, kUsage},
        CommandLineCase{{"-b", "-5", "-q"}, kUsage}));

struct IntegerCase {
  const char* text;
  std::int32_t expected;
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class ParseIntegerTable : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIntegerTable, ReadsLikeAtoiAndSaturates) {
  EXPECT_EQ(ParseInteger(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseIntegerTable,
    ::testing::Values(IntegerCase{"0", 0}, IntegerCase{"42", 42}, IntegerCase{"-17", -17},
                      IntegerCase{"  +12abc", 12}, IntegerCase{"\t\n\v\f\r 7", 7},
                      IntegerCase{"abc", 0}, IntegerCase{"", 0}, IntegerCase{"+", 0},
                      IntegerCase{"-", 0}, IntegerCase{"- 5", 0}, IntegerCase{"+-5", 0},
                      IntegerCase{"12 34", 12}, IntegerCase{"0x1A", 0}, IntegerCase{"1e5", 1},
                      IntegerCase{"000000000000000000000123", 123},
                      IntegerCase{"2147483647", INT32_MAX}, IntegerCase{"2147483648", INT32_MAX},
                      IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"-2147483649", INT32_MIN},
                      IntegerCase{"99999999999", INT32_MAX}, IntegerCase{"-99999999999", INT32_MIN},
                      IntegerCase{"99999999999999999999999999999", INT32_MAX},
                      IntegerCase{"-99999999999999999999999999999", INT32_MIN}));

}  // namespace
}  // namespace quarnel
