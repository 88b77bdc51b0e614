#include "report/html_text.h"

#include <algorithm>
#include <span>

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

}  // namespace

std::string EscapeHtml(std::string_view bytes) {
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

namespace {

// `name` with its bidirectional controls balanced: closers without an opener dropped, scopes
// still open at its end closed there.
std::string BalancedBidi(std::string_view name) {
  // The UTF-8 forms of the controls that open a scope, and of their closers.
  static constexpr std::string_view kEmbeddings[] = {"\u202A", "\u202B", "\u202D", "\u202E"};
  static constexpr std::string_view kIsolates[] = {"\u2066", "\u2067", "\u2068"};
  static constexpr std::string_view kPopEmbedding = "\u202C", kPopIsolate = "\u2069";
  auto startsWithAny = [](std::string_view text, std::span<const std::string_view> marks) {
    return std::any_of(marks.begin(), marks.end(),
                       [&](std::string_view mark) { return text.starts_with(mark); });
  };
  std::string balanced;
  std::string open;  // 'e' for an open embedding or override, 'i' for an open isolate
  while (!name.empty()) {
    std::size_t length = 1;
    bool keep = true;
    if (startsWithAny(name, kEmbeddings) || startsWithAny(name, kIsolates)) {
      length = 3;
      open += startsWithAny(name, kIsolates) ? 'i' : 'e';
    } else if (name.starts_with(kPopEmbedding)) {
      // Closes an embedding opened within the innermost isolate, or nothing.
      length = 3;
      keep = !open.empty() && open.back() == 'e';
      if (keep) open.pop_back();
    } else if (name.starts_with(kPopIsolate)) {
      // Closes the innermost isolate and the embeddings opened inside it, or nothing.
      length = 3;
      keep = open.find('i') != std::string::npos;
      if (keep) open.erase(open.rfind('i'));
    }
    if (keep) balanced += name.substr(0, length);
    name.remove_prefix(length);
  }
  for (auto scope = open.rbegin(); scope != open.rend(); ++scope)
    balanced += *scope == 'i' ? kPopIsolate : kPopEmbedding;
  return balanced;
}

}  // namespace

std::string IsolatedText(std::string_view name) {
  return "\u2068" + EscapeHtml(BalancedBidi(name)) + "\u2069";
}

std::string IsolatedHtml(std::string_view name) {
  return "<bdi>" + EscapeHtml(BalancedBidi(name)) + "</bdi>";
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

}  // namespace quarnel
