#pragma once

// Every text the tool prints, in one place. Progress lines end in three blanks and a carriage
// return so that they overwrite each other on a console. The texts with % are printf formats.

namespace quarnel::messages {

inline constexpr char kUsage[] =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
inline constexpr char kVersion[] = "quarnel ver 0.03\n\n";
inline constexpr char kVersionLine[] = "quarnel 0.03\n";  // --version, on standard output

// The help (-h, --help), printed on standard output after the usage line: every option with its
// default, the exit statuses and where the manual page is.
inline constexpr char kHelp[] =
    "Finds the content box of every .jpg page in InDir, prints which pages set the extremes\n"
    "and, with -o, writes every page onto one common canvas.\n"
    "\n"
    "  -i InDir     the folder of scanned pages (default: the current folder)\n"
    "  -o OutDir    write the pages into this existing folder (default: no output)\n"
    "  -b black     a pixel below black (0 black ... 255 white) is content (default 120)\n"
    "  -w [white]   whiten the background: a pixel with nothing below white within four\n"
    "               rows and columns becomes 255 (default off, 256; -w alone: 200)\n"
    "  -n [noise]   pass over specks cut off by more than noise empty rows or columns\n"
    "               (default off, 0; -n alone: 10)\n"
    "  -s           find the sheet of paper first and the content on it, leaving out the\n"
    "               ground, page edges, a facing page or a card around the sheet: for\n"
    "               camera captures and scans on a dark or grey ground (default off)\n"
    "  -z           write only the pages that set the extremes (needs -o)\n"
    "  -q quality   JPEG quality of the written pages, 1 ... 100 (default 50)\n"
    "  -r FILE      write a report of every page: FILE.csv a table, FILE.html an overview\n"
    "               (default: no report)\n"
    "  -h, --help   print this help on standard output and exit with status 0\n"
    "  --version    print the version on standard output and exit with status 0\n"
    "  -v           print the version and the usage on standard error, exit with status 255\n"
    "\n"
    "Exit status:\n"
    "  0      the job was done (pages reported with \"Error: N\" do not change it)\n"
    "  1      no .jpg file in InDir; -o given but no page has content; a page could not be\n"
    "         read or written in the output pass; or standard output could not be written\n"
    "  255    a usage or settings error (nothing was read or written)\n"
    "  128+N  ended by signal N (interrupt, termination, hang-up, ...)\n"
    "\n"
    "Manual page: man quarnel (doc/quarnel.1 in the source tree)\n";
inline constexpr char kBlackWhiteRange[] = "ERROR: black & white range (0<=b<w<255)\n";
inline constexpr char kNoiseRange[] = "ERROR: noise range (0<=n)\n";
inline constexpr char kTopOnlyNeedsOutDir[] = "ERROR: -z option needs -o option\n";
inline constexpr char kQualityRange[] = "ERROR: quality range (1<=q<=100)\n";
inline constexpr char kReportName[] = "ERROR: report name must end in .csv or .html\n";

inline constexpr char kInputProgress[] = "Input %d/%d   \r";
inline constexpr char kAnalysisError[] = "Error: %d\n";
inline constexpr char kMaxRight[] = "Max Right:  %s (%d)\n";
inline constexpr char kMaxTop[] = "Max Top:    %s (%d)\n";
inline constexpr char kMaxWidth[] = "Max Width:  %s (%d)\n";
inline constexpr char kMaxHeight[] = "Max Height: %s (%d)\n";
// The summary's lines, one an extreme, in the order of ExtremeKind.
inline constexpr const char* kExtremeLines[] = {kMaxRight, kMaxTop, kMaxWidth, kMaxHeight};
inline constexpr char kOutputProgress[] = "Output %d/%d   \r";
inline constexpr char kCannotWrite[] = "Error: cannot write %s\n";
inline constexpr char kCannotWriteStandardOutput[] = "Error: cannot write standard output\n";
inline constexpr char kNoJpg[] = "ERROR: no .jpg file in %s\n";

inline constexpr char kOutputTopOnly[] = "Output Top file\n";
inline constexpr char kOutputError[] = "Error\n";
inline constexpr char kNoContent[] = "ERROR: no page has content, nothing written\n";
inline constexpr char kOutOfMemory[] = "ERROR: out of memory\n";

}  // namespace quarnel::messages
