#pragma once

// Every text the tool prints, in one place. Progress lines end in three blanks and a carriage
// return so that they overwrite each other on a console. The texts with % are printf formats.

namespace quarnel::messages {

inline constexpr char kUsage[] =
    "Usage: quarnel -i InDir [-o OutDir] [-b black] [-w [white]] [-n [noise]] [-z]\n";
inline constexpr char kVersion[] = "quarnel ver 0.03\n\n";
inline constexpr char kBlackWhiteRange[] = "ERROR: black & white range (0<=b<w<255)\n";
inline constexpr char kNoiseRange[] = "ERROR: noise range (0<=n)\n";
inline constexpr char kTopOnlyNeedsOutDir[] = "ERROR: -z option needs -o option\n";
inline constexpr char kReportName[] = "ERROR: report name must end in .csv or .html\n";

inline constexpr char kInputProgress[] = "Input %d/%d   \r";
inline constexpr char kAnalysisError[] = "Error: %d\n";
inline constexpr char kMaxRight[] = "Max Right:  %s (%d)\n";
inline constexpr char kMaxTop[] = "Max Top:    %s (%d)\n";
inline constexpr char kMaxWidth[] = "Max Width:  %s (%d)\n";
inline constexpr char kMaxHeight[] = "Max Height: %s (%d)\n";
inline constexpr char kOutputProgress[] = "Output %d/%d   \r";
inline constexpr char kCannotWrite[] = "Error: cannot write %s\n";
inline constexpr char kNoJpg[] = "ERROR: no .jpg file in %s\n";

inline constexpr char kOutputTopOnly[] = "Output Top file\n";
inline constexpr char kOutputError[] = "Error\n";
inline constexpr char kNoContent[] = "ERROR: no page has content, nothing written\n";
inline constexpr char kOutOfMemory[] = "ERROR: out of memory\n";

}  // namespace quarnel::messages
