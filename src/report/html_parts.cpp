#include "report/html_parts.h"

#include <algorithm>

#include "report/html_text.h"

namespace quarnel {

const char* ExtremeMeaning(ExtremeKind kind) {
  static constexpr const char* kMeanings[] = {"the largest right edge", "the smallest top edge",
                                              "the largest width", "the largest height"};
  return kMeanings[static_cast<int>(kind)];
}

std::string PageLink(const RunReport& report, std::int32_t index) {
  return "<a href=\"#page-" + std::to_string(index) + "\">" +
         IsolatedHtml(report.table[index].name) + "</a>";
}

bool AnyBox(const RunReport& report) {
  return std::any_of(report.table.records.begin(), report.table.records.end(),
                     [](const PageRecord& record) { return record.box().has_value(); });
}

std::string PixelChanges(std::int32_t first, const char* firstWhat, std::int32_t second,
                         const char* secondWhat) {
  auto change = [](std::int32_t amount, const char* what) {
    return amount > 0 ? std::to_string(amount) + " px " + what : std::string();
  };
  const std::string a = change(first, firstWhat), b = change(second, secondWhat);
  return a.empty() || b.empty() ? a + b : a + " and " + b;
}

std::string WindowMove(const Extremes& e, const Extremes& without) {
  return PixelChanges(e.maxRight() - without.maxRight(), "further left",
                      without.minTop() - e.minTop(), "lower");
}

}  // namespace quarnel
