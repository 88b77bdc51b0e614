#include "report/run_report.h"

#include <filesystem>
#include <optional>

namespace quarnel {
namespace {

// Quotes a field that holds a comma, a double quote, CR or LF, doubling its quotes.
void AppendCsvField(std::string& line, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    line += field;
    return;
  }
  line += '"';
  for (const char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

void AppendCsvLine(std::string& text, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ',';
    AppendCsvField(text, fields[i]);
  }
  text += '\n';
}

// The numbers of a page's content box as the report shows them.
struct BoxNumbers {
  std::int32_t left, top, right, bottom, width, height;
  std::int32_t canvasX, canvasY;  // its placement on the canvas
};

std::optional<BoxNumbers> NumbersOf(const RunReport& report, std::int32_t index) {
  const std::optional<ContentBox>& box = report.table[index].box();
  if (!box) return std::nullopt;
  const Placement at = ComputePlacement(*box, report.extremes);
  return BoxNumbers{box->left(), box->top,    box->right, box->bottom(),
                    box->width,  box->height, at.offsetX, at.offsetY};
}

// A number of the page's content box; empty for a page without one.
template <std::int32_t BoxNumbers::*kNumber>
std::string BoxColumn(const RunReport& report, std::int32_t index) {
  const std::optional<BoxNumbers> numbers = NumbersOf(report, index);
  return numbers ? std::to_string((*numbers).*kNumber) : std::string();
}

// A number of the decoded image; empty for a page that could not be read.
template <std::int32_t PageRecord::*kNumber>
std::string ImageColumn(const RunReport& report, std::int32_t index) {
  const PageRecord& record = report.table[index];
  return record.status == PageStatus::kUnreadable ? std::string() : std::to_string(record.*kNumber);
}

// A side of the sheet's bounding box; empty without the sheet mode or where no sheet was found.
template <std::int32_t PixelRect::*kSide>
std::string SheetColumn(const RunReport& report, std::int32_t index) {
  const std::optional<PixelRect>& sheet = report.table[index].findings.sheet;
  return sheet ? std::to_string((*sheet).*kSide) : std::string();
}

std::string PageColumn(const RunReport&, std::int32_t index) {
  return std::to_string(index);
}

std::string NameColumn(const RunReport& report, std::int32_t index) {
  return report.table[index].name;
}

std::string StatusColumn(const RunReport& report, std::int32_t index) {
  return StatusText(report.table[index].status);
}

std::string SetsColumn(const RunReport& report, std::int32_t index) {
  std::string sets;
  for (const ExtremeKind kind : ExtremesSetBy(report, index)) {
    if (!sets.empty()) sets += ' ';
    sets += ExtremeName(kind);
  }
  return sets;
}

std::string OutputColumn(const RunReport& report, std::int32_t index) {
  return OutputText(report.table[index].output);
}

// Why the page failed: the analysis's reason, or the output pass's, or, when both failed for
// different reasons, the two as "READ; output: OUTPUT".
std::string ReasonColumn(const RunReport& report, std::int32_t index) {
  const PageRecord& record = report.table[index];
  if (record.outputFailure.empty() || record.outputFailure == record.readFailure)
    return record.readFailure;
  if (record.readFailure.empty()) return record.outputFailure;
  return record.readFailure + "; output: " + record.outputFailure;
}

constexpr ReportColumn kColumns[] = {
    {"page", PageColumn},
    {"name", NameColumn},
    {"status", StatusColumn},
    {"page_width", ImageColumn<&PageRecord::width>},
    {"page_height", ImageColumn<&PageRecord::height>},
    {"left", BoxColumn<&BoxNumbers::left>},
    {"top", BoxColumn<&BoxNumbers::top>},
    {"right", BoxColumn<&BoxNumbers::right>},
    {"bottom", BoxColumn<&BoxNumbers::bottom>},
    {"width", BoxColumn<&BoxNumbers::width>},
    {"height", BoxColumn<&BoxNumbers::height>},
    {"canvas_x", BoxColumn<&BoxNumbers::canvasX>},
    {"canvas_y", BoxColumn<&BoxNumbers::canvasY>},
    {"sets", SetsColumn},
    {"output", OutputColumn},
    {"sheet_left", SheetColumn<&PixelRect::left>},
    {"sheet_top", SheetColumn<&PixelRect::top>},
    {"sheet_right", SheetColumn<&PixelRect::right>},
    {"sheet_bottom", SheetColumn<&PixelRect::bottom>},
    {"reason", ReasonColumn},
};

}  // namespace

const char* StatusText(PageStatus status) {
  switch (status) {
    case PageStatus::kOk:
      return "ok";
    case PageStatus::kNoContent:
      return "no content";
    case PageStatus::kUnreadable:
      break;
  }
  return "unreadable";
}

const char* OutputText(PageOutput output) {
  switch (output) {
    case PageOutput::kWritten:
      return "written";
    case PageOutput::kFailed:
      return "failed";
    case PageOutput::kSkipped:
      return "skipped";
    case PageOutput::kNotAsked:
      break;
  }
  return "";
}

std::vector<ExtremeKind> ExtremesSetBy(const RunReport& report, std::int32_t index) {
  std::vector<ExtremeKind> kinds;
  // Only a page with a box takes part in the extremes; the first box folded sets all four.
  if (!report.table[index].box()) return kinds;
  for (const ExtremeKind kind : kExtremeKinds) {
    if (report.extremes[kind].page == index) kinds.push_back(kind);
  }
  return kinds;
}

std::string UrlPath(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string path;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
        (byte >= '0' && byte <= '9') || std::string_view("-._~/").find(c) != std::string::npos) {
      path += c;
    } else {
      path += '%';
      path += kHex[byte >> 4];
      path += kHex[byte & 15];
    }
  }
  return path;
}

std::string FolderHref(std::string_view folder, std::string_view reportPath,
                       std::string_view currentFolder) {
  namespace fs = std::filesystem;
  const fs::path current(currentFolder);
  const fs::path target = (current / folder / "").lexically_normal();
  const fs::path from = (current / reportPath).parent_path().lexically_normal() / "";
  const fs::path relative = target.lexically_relative(from);
  int ups = 0;
  for (const fs::path& part : relative) ups += part == "..";
  if (relative.empty() || ups > 1) return "file://" + UrlPath(target.string());
  const std::string text = relative.string();
  return text == "." || text == "./" ? std::string() : UrlPath(text);
}

std::optional<Extremes> ExtremesWithout(const PageTable& table,
                                        const std::vector<std::int32_t>& pages) {
  std::vector<bool> leftOut(table.records.size());
  for (const std::int32_t page : pages) leftOut[static_cast<std::size_t>(page)] = true;
  std::optional<Extremes> without;
  for (std::int32_t j = 0; j < table.count(); ++j) {
    const std::optional<ContentBox>& box = table[j].box();
    if (!box || leftOut[static_cast<std::size_t>(j)]) continue;
    if (!without) without.emplace();
    FoldIntoExtremes(*without, *box, j);
  }
  return without;
}

std::span<const ReportColumn> ReportColumns() {
  return kColumns;
}

std::string CsvReport(const RunReport& report) {
  std::string text;
  std::vector<std::string> fields;
  for (const ReportColumn& column : kColumns) fields.emplace_back(column.name);
  AppendCsvLine(text, fields);
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    fields.clear();
    for (const ReportColumn& column : kColumns) fields.push_back(column.text(report, j));
    AppendCsvLine(text, fields);
  }
  return text;
}

}  // namespace quarnel
