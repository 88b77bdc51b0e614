#pragma once

// Bytes made fit for an HTML page.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// `bytes` as HTML text, also fit for a quoted attribute value: markup characters escaped, each
// byte that does not belong to well-formed UTF-8 replaced by U+FFFD.
std::string EscapeHtml(std::string_view bytes);

// A page name (or folder) set apart from the text around it, escaped as EscapeHtml does: its
// bidirectional controls (embeddings, overrides, isolates) reverse nothing outside it. For text
// that holds no markup (a title, a tooltip), the name is wrapped in U+2068 FIRST STRONG ISOLATE
// ... U+2069 POP DIRECTIONAL ISOLATE; the name's own controls are balanced first (unmatched
// closers dropped, open ones closed at its end), so that none ends the isolate early.
std::string IsolatedText(std::string_view name);
// The same in HTML text, as a <bdi> element.
std::string IsolatedHtml(std::string_view name);

// `bytes` in Base64 (RFC 4648, with padding), as a data: URL takes them.
std::string Base64(const std::vector<std::uint8_t>& bytes);

}  // namespace quarnel
