// The HTML overview: a header, what sets the canvas, every box in one drawing, a card per page
// and the table. One file with its style and its sorting script inline.

#include <algorithm>
#include <string>

#include "report/run_report.h"

namespace quarnel {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` (not empty), 0 if none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t smallest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1Fu, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0Fu, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07u, smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < smallest || code > 0x10FFFF || surrogate ? 0 : length;
}

// `bytes` as HTML text, also fit for a quoted attribute value: markup characters escaped, each
// byte that does not belong to well-formed UTF-8 replaced by U+FFFD.
std::string Html(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = Utf8SequenceLength(bytes);
    switch (length == 1 ? bytes[0] : '\0') {
      case '&':
        text += "&amp;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      case '"':
        text += "&quot;";
        break;
      case '\'':
        text += "&#39;";
        break;
      default:
        text += length == 0 ? std::string_view("\xEF\xBF\xBD") : bytes.substr(0, length);
    }
    bytes.remove_prefix(std::max<std::size_t>(length, 1));
  }
  return text;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
    if (left > 1) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
    if (left > 2) group |= bytes[i + 2];
    text += kDigits[(group >> 18) & 63];
    text += kDigits[(group >> 12) & 63];
    text += left > 1 ? kDigits[(group >> 6) & 63] : '=';
    text += left > 2 ? kDigits[group & 63] : '=';
  }
  return text;
}

std::string Num(std::int64_t value) {
  return std::to_string(value);
}

// The extremes as the summary and the badges name them.
const char* ExtremeTitle(ExtremeKind kind) {
  static constexpr const char* kTitles[] = {"Max Right", "Max Top", "Max Width", "Max Height"};
  return kTitles[static_cast<int>(kind)];
}

const char* ExtremeMeaning(ExtremeKind kind) {
  static constexpr const char* kMeanings[] = {"the largest right edge", "the smallest top edge",
                                              "the largest width", "the largest height"};
  return kMeanings[static_cast<int>(kind)];
}

const PageRecord& Record(const RunReport& report, std::int32_t index) {
  return report.table.records[static_cast<std::size_t>(index)];
}

std::string PageLink(const RunReport& report, std::int32_t index) {
  return "<a href=\"#page-" + Num(index) + "\">" + Html(Record(report, index).name) + "</a>";
}

std::string BoxNumbers(const ContentBox& box) {
  return "left " + Num(box.left()) + ", top " + Num(box.top) + ", right " + Num(box.right) +
         ", bottom " + Num(box.bottom()) + "; " + Num(box.width) + " × " + Num(box.height) + " px";
}

bool AnyBox(const RunReport& report) {
  return std::any_of(report.table.records.begin(), report.table.records.end(),
                     [](const PageRecord& record) { return record.box.has_value(); });
}

constexpr char kStyle[] = R"(<style>
:root{--right:#d62728;--top:#1f77b4;--width:#e67e00;--height:#2ca02c}
body{font:14px/1.45 system-ui,sans-serif;margin:0 auto;max-width:1180px;padding:16px 20px;
color:#222;background:#f7f7f5}
h1{font-size:22px;margin:0 0 6px}
h2{font-size:17px;margin:26px 0 10px;padding-bottom:4px;border-bottom:1px solid #ddd}
code{background:#ecece8;padding:1px 4px;border-radius:3px}
.facts{display:flex;flex-wrap:wrap;gap:4px 22px;margin:8px 0}.facts div{display:flex;gap:5px}
dt{color:#666}dd{margin:0;font-weight:600}
table{border-collapse:collapse;background:#fff}
td,th{padding:3px 9px;border-bottom:1px solid #e4e4e0;text-align:left;vertical-align:top}
.overview{display:flex;flex-wrap:wrap;gap:20px;align-items:flex-start}.overview>div{flex:1 1 420px}
.sw{display:inline-block;width:11px;height:11px;margin-right:6px;border:2.5px solid;
vertical-align:-1px}
.sw-right{border-color:var(--right)}.sw-top{border-color:var(--top)}
.sw-width{border-color:var(--width)}.sw-height{border-color:var(--height)}
.sw-box{border:1px solid #888}.sw-window{border:2px dashed #000}
.extremes{width:100%}.extremes td:first-child{white-space:nowrap}.wide{overflow-x:auto}
.effect{color:#444}
.all{display:block;width:100%;max-width:560px;max-height:760px;background:#fff;
border:1px solid #ccc}
.all rect{fill:none;vector-effect:non-scaling-stroke}
.all .page{fill:#fcfcfa;stroke:#ddd}
.all .box{stroke:#333;stroke-opacity:.4;stroke-width:1;pointer-events:stroke}
.all .ex{stroke-opacity:1;stroke-width:2.5}
.all a:hover rect{stroke-width:4}
.all .right{stroke:var(--right)}.all .top{stroke:var(--top)}.all .width{stroke:var(--width)}
.all .height{stroke:var(--height)}
.all .window{stroke:#000;stroke-width:1.5;stroke-dasharray:7 5;pointer-events:none}
.legend{margin:6px 0 0;color:#444}.legend>span{margin-right:14px;white-space:nowrap}
.cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(220px,1fr));gap:12px}
.card{background:#fff;border:1px solid #ddd;border-radius:6px;padding:10px}
.card.ex{border:2px solid #555}.card:target{outline:3px solid #7b3fa0}
.card h3{font-size:14px;margin:6px 0 2px;word-break:break-all}
.card p{margin:2px 0}
.thumb{position:relative;margin:0 auto;background:#eee}
.thumb img,.thumb svg{position:absolute;left:0;top:0;width:100%;height:100%}
.thumb rect{fill:rgba(123,63,160,.08);stroke:#7b3fa0;stroke-width:2;
vector-effect:non-scaling-stroke}
.placeholder{display:flex;align-items:center;justify-content:center;width:150px;height:200px;
margin:0 auto;color:#a00;border:1px dashed #c66;background:#fff5f5;text-align:center}
.status{display:inline-block;padding:0 7px;border-radius:9px;font-size:12px}
.st-ok{background:#e3f2e6}.st-none{background:#fff1cc}.st-bad{background:#fdd}
.badge{display:inline-block;padding:0 7px;margin:3px 4px 0 0;border-radius:9px;color:#fff;
font-size:12px;font-weight:600}
.b-right{background:var(--right)}.b-top{background:var(--top)}.b-width{background:var(--width)}
.b-height{background:var(--height)}
.num{color:#555;font-variant-numeric:tabular-nums}
#pages th{cursor:pointer;user-select:none;background:#ecece8;position:sticky;top:0}
#pages th[aria-sort=ascending]::after{content:" \25B2"}
#pages th[aria-sort=descending]::after{content:" \25BC"}
#pages{font-size:13px}#pages td{font-variant-numeric:tabular-nums}
</style>
)";

// Sorts the table by the column whose header is clicked (again: the other way round); numbers as
// numbers, empty cells last, ties in table order. Marks <body> once it is ready.
constexpr char kScript[] = R"(<script>
(() => {
  const table = document.getElementById("pages");
  const body = table.tBodies[0];
  const heads = Array.from(table.tHead.rows[0].cells);
  const compare = (x, y) => {
    if (x === "" || y === "") return (x === "") - (y === "");
    const a = Number(x), b = Number(y);
    if (!Number.isNaN(a) && !Number.isNaN(b)) return a - b;
    return x < y ? -1 : x > y ? 1 : 0;
  };
  heads.forEach((head, column) => head.addEventListener("click", () => {
    const descending = head.getAttribute("aria-sort") === "ascending";
    heads.forEach((h) => h.removeAttribute("aria-sort"));
    head.setAttribute("aria-sort", descending ? "descending" : "ascending");
    const rows = Array.from(body.rows);
    rows.sort((r, s) => {
      const order = compare(r.cells[column].textContent, s.cells[column].textContent);
      return (descending ? -order : order) || r.cells[0].textContent - s.cells[0].textContent;
    });
    rows.forEach((row) => body.appendChild(row));
  }));
  document.body.setAttribute("data-sortable", "ready");
})();
</script>
)";

void AppendHeader(std::string& html, const RunReport& report) {
  std::int32_t counts[3] = {};  // ok, no content, unreadable
  for (const PageFacts& page : report.pages) ++counts[static_cast<int>(page.status)];
  const Extremes& e = report.extremes;
  auto fact = [&](const char* name, const std::string& value) {
    html += "<div><dt>" + std::string(name) + "</dt><dd>" + value + "</dd></div>";
  };
  html += "<header>\n<h1>Page report</h1>\n<p>Input folder: <code>" +
          Html(report.inDir.empty() ? "./" : report.inDir) + "</code></p>\n<dl class=\"facts\">";
  fact("black", Num(report.black));
  fact("white", report.white >= 256 ? "256 (off)" : Num(report.white));
  fact("noise", report.noise == 0 ? "0 (off)" : Num(report.noise));
  html += "</dl>\n<dl class=\"facts\">";
  fact("pages", Num(report.table.count()));
  fact("with content", Num(counts[0]));
  fact("without content", Num(counts[1]));
  fact("unreadable", Num(counts[2]));
  fact("canvas", AnyBox(report) ? Num(e.maxWidth) + " × " + Num(e.maxHeight) + " px" : "none");
  html += "</dl>\n</header>\n";
}

// What the canvas would become without `page`, given the extremes of every other box. Says so
// when nothing would change, because `runnerUp` ties with the page.
std::string WithoutPage(const RunReport& report, std::int32_t page, const Extremes& without,
                        bool othersHaveBoxes, std::int32_t runnerUp) {
  const std::string start = "without " + Html(Record(report, page).name) + " ";
  if (!othersHaveBoxes) return start + "no page would have content";
  const Extremes& e = report.extremes;
  auto change = [](std::int32_t amount, const char* what) {
    return amount > 0 ? Num(amount) + " px " + what : std::string();
  };
  auto both = [](const std::string& first, const std::string& second) {
    return first.empty() || second.empty() ? first + second : first + " and " + second;
  };
  const std::string size = both(change(e.maxWidth - without.maxWidth, "narrower"),
                                change(e.maxHeight - without.maxHeight, "shorter"));
  const std::string window = both(change(e.maxRight - without.maxRight, "further left"),
                                  change(without.minTop - e.minTop, "lower"));
  if (size.empty() && window.empty())
    return start + "the canvas would stay the same: " + PageLink(report, runnerUp) +
           " ties with it";
  std::string text = start + "the canvas would ";
  if (size.empty()) {
    text += "keep its size, but the window it shows would move " + window;
  } else {
    text += "be " + size + " (" + Num(without.maxWidth) + " × " + Num(without.maxHeight) + " px)";
    if (!window.empty()) text += ", and the window it shows would move " + window;
  }
  return text;
}

void AppendExtremes(std::string& html, const RunReport& report) {
  html += "<div>\n<h2>What sets the canvas</h2>\n";
  if (!AnyBox(report)) {
    html += "<p>No page has content: there is no canvas.</p>\n</div>\n";
    return;
  }
  html +=
      "<table class=\"extremes\">\n<tr><th>extreme</th><th>page</th><th>value</th>"
      "<th>runner-up</th><th>without the page</th></tr>\n";
  for (const ExtremeKind kind : kExtremeKinds) {
    const ExtremeValue extreme = ExtremeOf(report.extremes, kind);
    Extremes without;
    bool othersHaveBoxes = false;
    for (std::int32_t j = 0; j < report.table.count(); ++j) {
      const auto& box = Record(report, j).box;
      if (j == extreme.page || !box) continue;
      FoldIntoExtremes(without, *box, j);
      othersHaveBoxes = true;
    }
    const ExtremeValue runnerUp = ExtremeOf(without, kind);
    html += "<tr><td title=\"" + std::string(ExtremeMeaning(kind)) + "\"><span class=\"sw sw-" +
            ExtremeName(kind) + "\"></span>" + ExtremeTitle(kind) + "</td><td>" +
            PageLink(report, extreme.page) + "</td><td>" + Num(extreme.value) + "</td><td>" +
            (othersHaveBoxes ? PageLink(report, runnerUp.page) + " (" + Num(runnerUp.value) + ")"
                             : std::string("none")) +
            "</td><td class=\"effect\">" +
            WithoutPage(report, extreme.page, without, othersHaveBoxes, runnerUp.page) +
            "</td></tr>\n";
  }
  html += "</table>\n</div>\n";
}

std::string RectAttributes(std::int64_t x, std::int64_t y, std::int64_t width,
                           std::int64_t height) {
  return " x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" +
         Num(std::max<std::int64_t>(width, 0)) + "\" height=\"" +
         Num(std::max<std::int64_t>(height, 0)) + "\"";
}

std::string BoxTooltip(const RunReport& report, std::int32_t index) {
  std::string text =
      Html(Record(report, index).name) + ": " + BoxNumbers(*Record(report, index).box);
  for (const ExtremeKind kind : ExtremesSetBy(report, index))
    text += "; " + std::string(ExtremeTitle(kind));
  return text;
}

// Every box in page coordinates, the extreme pages' boxes on top in their colours (a page that
// sets several gets one outline a colour, nested), and the window the canvas shows, dashed.
void AppendDrawing(std::string& html, const RunReport& report) {
  const Extremes& e = report.extremes;
  std::int64_t width = 0, height = 0;
  for (const PageFacts& page : report.pages) {
    width = std::max<std::int64_t>(width, page.width);
    height = std::max<std::int64_t>(height, page.height);
  }
  const bool anyBox = AnyBox(report);
  if (anyBox) {
    width = std::max<std::int64_t>(width, e.maxRight);
    height = std::max<std::int64_t>(height, static_cast<std::int64_t>(e.minTop) + e.maxHeight);
  }
  html += "<div>\n<h2>All boxes at once</h2>\n";
  if (width == 0 || height == 0) {
    html += "<p>No page could be read.</p>\n</div>\n";
    return;
  }
  html += "<svg class=\"all\" viewBox=\"0 0 " + Num(width) + " " + Num(height) +
          "\" role=\"img\" aria-label=\"content boxes of all pages\">\n<rect class=\"page\"" +
          RectAttributes(0, 0, width, height) + "/>\n";
  const std::int64_t inset = std::max<std::int64_t>(1, std::max(width, height) / 150);
  std::string extremes;
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    const auto& box = Record(report, j).box;
    if (!box) continue;
    const std::vector<ExtremeKind> kinds = ExtremesSetBy(report, j);
    std::string& target = kinds.empty() ? html : extremes;
    target += "<a href=\"#page-" + Num(j) + "\"><title>" + BoxTooltip(report, j) + "</title>";
    if (kinds.empty())
      target += "<rect class=\"box\"" +
                RectAttributes(box->left(), box->top, box->width, box->height) + "/>";
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      const std::int64_t in = static_cast<std::int64_t>(k) * inset;
      target += "<rect class=\"box ex " + std::string(ExtremeName(kinds[k])) + "\"" +
                RectAttributes(box->left() + in, box->top + in, box->width - 2 * in,
                               box->height - 2 * in) +
                "/>";
    }
    target += "</a>\n";
  }
  html += extremes;
  if (anyBox) {
    html += "<rect class=\"window\"" +
            RectAttributes(e.maxRight - e.maxWidth, e.minTop, e.maxWidth, e.maxHeight) + "/>\n";
  }
  html += "</svg>\n<p class=\"legend\">";
  for (const ExtremeKind kind : kExtremeKinds) {
    html += "<span><span class=\"sw sw-" + std::string(ExtremeName(kind)) + "\"></span>" +
            ExtremeTitle(kind) + "</span>";
  }
  html +=
      "<span><span class=\"sw sw-box\"></span>other pages</span>"
      "<span><span class=\"sw sw-window\"></span>what the canvas shows</span></p>\n</div>\n";
}

void AppendCard(std::string& html, const RunReport& report, std::int32_t index) {
  const PageRecord& record = Record(report, index);
  const PageFacts& page = report.pages[static_cast<std::size_t>(index)];
  const std::vector<ExtremeKind> kinds = ExtremesSetBy(report, index);
  html += "<article class=\"card" + std::string(kinds.empty() ? "" : " ex") + "\" id=\"page-" +
          Num(index) + "\">\n";
  if (page.thumbnail.jpeg.empty()) {
    html += "<div class=\"placeholder\">" +
            std::string(page.status == PageStatus::kUnreadable ? "cannot be read" : "no picture") +
            "</div>\n";
  } else {
    const PageThumbnail& thumb = page.thumbnail;
    html += "<div class=\"thumb\" style=\"width:" + Num(thumb.width) +
            "px;height:" + Num(thumb.height) + "px\"><img alt=\"\" width=\"" + Num(thumb.width) +
            "\" height=\"" + Num(thumb.height) + "\" src=\"data:image/jpeg;base64," +
            Base64(thumb.jpeg) + "\">";
    if (record.box) {
      html += "<svg viewBox=\"0 0 " + Num(page.width) + " " + Num(page.height) +
              "\" preserveAspectRatio=\"none\"><rect" +
              RectAttributes(record.box->left(), record.box->top, record.box->width,
                             record.box->height) +
              "/></svg>";
    }
    html += "</div>\n";
  }
  html += "<h3>" + Num(index) + ": " + Html(record.name) + "</h3>\n<p>";
  switch (page.status) {
    case PageStatus::kOk:
      html += "<span class=\"status st-ok\">ok</span></p>\n<p class=\"num\">" +
              BoxNumbers(*record.box) + "</p>\n";
      break;
    case PageStatus::kNoContent:
      html += "<span class=\"status st-none\">no content</span></p>\n<p class=\"num\">Error: " +
              Num(index) + " — no content box found</p>\n";
      break;
    case PageStatus::kUnreadable:
      html += "<span class=\"status st-bad\">unreadable</span></p>\n<p class=\"num\">Error: " +
              Num(index) + " — not a JPEG file, damaged, or beyond the decoder's limits</p>\n";
      break;
  }
  if (page.status != PageStatus::kUnreadable) {
    html += "<p class=\"num\">page " + Num(page.width) + " × " + Num(page.height) + " px";
    if (record.box) {
      const std::vector<std::string> fields = ReportFields(report, index);
      html += "; on the canvas at " + fields[11] + ", " + fields[12];
    }
    html += "</p>\n";
  }
  if (page.output != PageOutput::kNotAsked)
    html += "<p class=\"num\">output: " + ReportFields(report, index)[14] + "</p>\n";
  if (!kinds.empty()) {
    html += "<p>";
    for (const ExtremeKind kind : kinds) {
      html += "<span class=\"badge b-" + std::string(ExtremeName(kind)) + "\">" +
              ExtremeTitle(kind) + "</span>";
    }
    html += "</p>\n";
  }
  html += "</article>\n";
}

void AppendTable(std::string& html, const RunReport& report) {
  html += "<h2>All pages</h2>\n<div class=\"wide\">\n<table id=\"pages\">\n<thead><tr>";
  for (const char* column : kReportColumns)
    html += "<th title=\"sort\">" + std::string(column) + "</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (std::int32_t j = 0; j < report.table.count(); ++j) {
    const std::vector<std::string> fields = ReportFields(report, j);
    html += "<tr>";
    for (std::size_t i = 0; i < fields.size(); ++i) {
      html += "<td>";
      html += i == 1 ? PageLink(report, j) : Html(fields[i]);
      html += "</td>";
    }
    html += "</tr>\n";
  }
  html += "</tbody>\n</table>\n</div>\n";
}

}  // namespace

std::string HtmlReport(const RunReport& report) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>quarnel page report: " +
      Html(report.inDir.empty() ? "./" : report.inDir) + "</title>\n";
  html += kStyle;
  html += "</head>\n<body>\n";
  AppendHeader(html, report);
  html += "<section class=\"overview\">\n";
  AppendExtremes(html, report);
  AppendDrawing(html, report);
  html += "</section>\n<h2>Pages</h2>\n<section class=\"cards\">\n";
  for (std::int32_t j = 0; j < report.table.count(); ++j) AppendCard(html, report, j);
  html += "</section>\n";
  AppendTable(html, report);
  html += kScript;
  html += "</body>\n</html>\n";
  return html;
}

}  // namespace quarnel
