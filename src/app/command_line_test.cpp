#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/messages.h"

namespace quarnel {
namespace {

// Spelled out rather than taken from messages.h, so that a changed byte shows up as a failure.
const std::string kUsage =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
const std::string kVersion = "quarnel ver 0.03\n\n" + kUsage;
const std::string kRange = "ERROR: black & white range (0<=b<w<255)\n";
const std::string kNoise = "ERROR: noise range (0<=n)\n";
const std::string kNeedsOut = "ERROR: -z option needs -o option\n";
const std::string kQuality = "ERROR: quality range (1<=q<=100)\n";
const std::string kHelp = kUsage + messages::kHelp;

// What main does before the batch run, as one line: the settings, or the text to print.
std::string ParseAndCheck(const std::vector<std::string>& args) {
  const ParseResult p = ParseCommandLine(args);
  if (!p.settings) return p.error + p.answer;
  if (const auto message = CheckSettings(*p.settings)) return *message;
  const RunSettings& s = *p.settings;
  return "in '" + s.inDir + "' out '" + s.outDir + "' b " + std::to_string(s.black) + " w " +
         std::to_string(s.white) + " n " + std::to_string(s.noise) + " q " +
         std::to_string(s.quality) + (s.extremePagesOnly ? " z" : "") +
         (s.reportPath ? " r " + *s.reportPath : "") + (s.sheet ? " s" : "");
}

TEST(CommandLine, Table) {
  const std::string d = "in '' out '' b 120 w 256 n 0 q 50";  // the defaults
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      // clang-format off
      {{}, d}, {{"-i", "", "-o", ""}, d}, {{"-n", "0"}, d},
      // Folders get a '/' unless they end in one; "" is none; values are taken whatever they
      // begin with; only the second character selects the option.
      {{"-i", "scans", "-o", "/tmp/out/"}, "in 'scans/' out '/tmp/out/' b 120 w 256 n 0 q 50"},
      {{"-input", "-dashed", "-output", "b", "-zz"}, "in '-dashed/' out 'b/' b 120 w 256 n 0 q 50 z"},
      // Optional values: taken unless missing or beginning with '-'; later options override.
      {{"-w", "-z", "-o", "o", "-n"}, "in '' out 'o/' b 120 w 200 n 10 q 50 z"},
      {{"-b", "5", "-b", " +7x", "-w", "-w", "99", "-n", "4"}, "in '' out '' b 7 w 99 n 4 q 50"},
      {{"-b", "0", "-w", "1"}, "in '' out '' b 0 w 1 n 0 q 50"},
      {{"-b", "000000000000000000000254", "-w", "255"}, "in '' out '' b 254 w 255 n 0 q 50"},
      {{"-q", "1", "-q", "0100"}, "in '' out '' b 120 w 256 n 0 q 100"},
      {{"-r", "-a.Htm", "-r", "b.CSV"}, "in '' out '' b 120 w 256 n 0 q 50 r b.CSV"},
      {{"-s"}, d + " s"}, {{"-sheet", "-o", "o"}, "in '' out 'o/' b 120 w 256 n 0 q 50 s"},
      // Usage errors, also before a range error found later; parsing ends at -v, -h, --help and
      // --version, without a check, but not before.
      {{"scans"}, kUsage}, {{""}, kUsage}, {{"-I", "x"}, kUsage}, {{"-o", "out", "-o"}, kUsage},
      {{"-b"}, kUsage}, {{"-q"}, kUsage}, {{"-r"}, kUsage}, {{"-n", "-3"}, kUsage},
      {{"-b", "-5", "-q"}, kUsage}, {{"-x", "-v"}, kUsage}, {{"x", "-help"}, kUsage},
      {{"--versions"}, kUsage}, {{"-i", "a", "-b", "-5", "-version"}, kVersion},
      {{"-b", "300", "--help", "-x"}, kHelp}, {{"-hx"}, kHelp}, {{"--version", "-v"}, "quarnel 0.03\n"},
      // "" reads as 0; numbers saturate rather than wrap; the checks come in their order.
      {{"-w", ""}, kRange}, {{"-b", "-5"}, kRange}, {{"-b", "120", "-w", "120"}, kRange},
      {{"-w", "257"}, kRange}, {{"-w", "4294967552"}, kRange}, {{"-b", "99999999999"}, kRange},
      {{"-b", "-99999999999"}, kRange}, {{"-z", "-n", " -1", "-b", "-1"}, kRange},
      {{"-z", "-n", " -1"}, kNoise}, {{"-o", "", "-z"}, kNeedsOut},
      {{"-q", "101", "-z"}, kNeedsOut}, {{"-q", "-5", "-i", "x"}, kQuality},
      {{"-r", "r.txt", "-q", "0"}, kQuality},
      // -q takes digits only: anything else is out of its range.
      {{"-q", "1e2"}, kQuality}, {{"-q", "1.5"}, kQuality}, {{"-q", "9O"}, kQuality},
      {{"-q", "50x"}, kQuality}, {{"-q", " 50"}, kQuality}, {{"-q", "+50"}, kQuality},
      {{"-q", ""}, kQuality}, {{"-q", "00"}, kQuality}, {{"-q", "4294967346"}, kQuality},
      {{"-q", "00000000000000000000000000099"}, "in '' out '' b 120 w 256 n 0 q 99"},
      {{"-r", ".html.txt"}, "ERROR: report name must end in .csv or .html\n"}};
  // clang-format on
  for (const auto& [args, expected] : cases)
    EXPECT_EQ(ParseAndCheck(args), expected) << ::testing::PrintToString(args);
}

// The report's record of the command line, pasted into a shell, gives back the arguments.
TEST(QuotedCommandLine, AShellTakesTheArgumentsBack) {
  EXPECT_EQ(QuotedCommandLine({"-i", "my scans/", "-r", "it's.html", "", "-b=1,2+@%:"}),
            "quarnel -i 'my scans/' -r 'it'\\''s.html' '' -b=1,2+@%:");
}

}  // namespace
}  // namespace quarnel
