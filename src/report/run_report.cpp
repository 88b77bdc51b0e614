#include "report/run_report.h"

#include "output/compose.h"

namespace quarnel {
namespace {

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

}  // namespace

std::optional<ReportFormat> ReportFormatOf(std::string_view path) {
  if (EndsWithNoCase(path, ".csv")) return ReportFormat::kCsv;
  if (EndsWithNoCase(path, ".html") || EndsWithNoCase(path, ".htm")) return ReportFormat::kHtml;
  return std::nullopt;
}

ExtremeValue ExtremeOf(const Extremes& extremes, ExtremeKind kind) {
  switch (kind) {
    case ExtremeKind::kRight:
      return {extremes.maxRight, extremes.maxRightPage};
    case ExtremeKind::kTop:
      return {extremes.minTop, extremes.minTopPage};
    case ExtremeKind::kWidth:
      return {extremes.maxWidth, extremes.maxWidthPage};
    case ExtremeKind::kHeight:
      break;
  }
  return {extremes.maxHeight, extremes.maxHeightPage};
}

const char* ExtremeName(ExtremeKind kind) {
  static constexpr const char* kNames[] = {"right", "top", "width", "height"};
  return kNames[static_cast<int>(kind)];
}

std::vector<ExtremeKind> ExtremesSetBy(const RunReport& report, std::int32_t index) {
  std::vector<ExtremeKind> kinds;
  // Only a page with a box takes part in the extremes; the first box folded sets all four.
  if (!report.table.records[static_cast<std::size_t>(index)].box) return kinds;
  for (const ExtremeKind kind : kExtremeKinds) {
    if (ExtremeOf(report.extremes, kind).page == index) kinds.push_back(kind);
  }
  return kinds;
}

std::vector<std::string> ReportFields(const RunReport& report, std::int32_t index) {
  const PageRecord& record = report.table.records[static_cast<std::size_t>(index)];
  const PageFacts& facts = report.pages[static_cast<std::size_t>(index)];
  std::vector<std::string> fields(std::size(kReportColumns));
  fields[0] = std::to_string(index);
  fields[1] = record.name;
  fields[2] = StatusText(facts.status);
  if (facts.status != PageStatus::kUnreadable) {
    fields[3] = std::to_string(facts.width);
    fields[4] = std::to_string(facts.height);
  }
  if (record.box) {
    const ContentBox& box = *record.box;
    const Placement at = ComputePlacement(box, report.extremes);
    const std::int32_t numbers[] = {box.left(), box.top,    box.right,  box.bottom(),
                                    box.width,  box.height, at.offsetX, at.offsetY};
    for (std::size_t i = 0; i < std::size(numbers); ++i) fields[5 + i] = std::to_string(numbers[i]);
  }
  std::string& sets = fields[13];
  for (const ExtremeKind kind : ExtremesSetBy(report, index)) {
    if (!sets.empty()) sets += ' ';
    sets += ExtremeName(kind);
  }
  fields[14] = OutputText(facts.output);
  return fields;
}

std::string CsvReport(const RunReport& report) {
  std::string text;
  AppendCsvLine(text,
                std::vector<std::string>(std::begin(kReportColumns), std::end(kReportColumns)));
  for (std::int32_t j = 0; j < report.table.count(); ++j)
    AppendCsvLine(text, ReportFields(report, j));
  return text;
}

}  // namespace quarnel
