#include "report/run_report.h"

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

// A number of page `index`'s content box (empty for a page without one).
template <typename Number>
std::string BoxField(const RunReport& report, std::int32_t index, Number number) {
  const std::optional<ContentBox>& box = report.table[index].box();
  return box ? std::to_string(number(*box, report.extremes)) : std::string();
}

// A number of the decoded image (empty for a page that could not be read).
std::string ImageField(const PageRecord& record, std::int32_t value) {
  return record.status == PageStatus::kUnreadable ? std::string() : std::to_string(value);
}

using Box = const ContentBox&;
using All = const Extremes&;

constexpr ReportColumn kColumns[] = {
    {"page", [](const RunReport&, std::int32_t j) { return std::to_string(j); }},
    {"name", [](const RunReport& r, std::int32_t j) { return r.table[j].name; }},
    {"status",
     [](const RunReport& r, std::int32_t j) { return std::string(StatusText(r.table[j].status)); }},
    {"page_width",
     [](const RunReport& r, std::int32_t j) { return ImageField(r.table[j], r.table[j].width); }},
    {"page_height",
     [](const RunReport& r, std::int32_t j) { return ImageField(r.table[j], r.table[j].height); }},
    {"left", [](const RunReport& r,
                std::int32_t j) { return BoxField(r, j, [](Box b, All) { return b.left(); }); }},
    {"top", [](const RunReport& r,
               std::int32_t j) { return BoxField(r, j, [](Box b, All) { return b.top; }); }},
    {"right", [](const RunReport& r,
                 std::int32_t j) { return BoxField(r, j, [](Box b, All) { return b.right; }); }},
    {"bottom",
     [](const RunReport& r, std::int32_t j) {
       return BoxField(r, j, [](Box b, All) { return b.bottom(); });
     }},
    {"width", [](const RunReport& r,
                 std::int32_t j) { return BoxField(r, j, [](Box b, All) { return b.width; }); }},
    {"height", [](const RunReport& r,
                  std::int32_t j) { return BoxField(r, j, [](Box b, All) { return b.height; }); }},
    {"canvas_x",
     [](const RunReport& r, std::int32_t j) {
       return BoxField(r, j, [](Box b, All e) { return ComputePlacement(b, e).offsetX; });
     }},
    {"canvas_y",
     [](const RunReport& r, std::int32_t j) {
       return BoxField(r, j, [](Box b, All e) { return ComputePlacement(b, e).offsetY; });
     }},
    {"sets",
     [](const RunReport& r, std::int32_t j) {
       std::string sets;
       for (const ExtremeKind kind : ExtremesSetBy(r, j)) {
         if (!sets.empty()) sets += ' ';
         sets += ExtremeName(kind);
       }
       return sets;
     }},
    {"output",
     [](const RunReport& r, std::int32_t j) { return std::string(OutputText(r.table[j].output)); }},
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
