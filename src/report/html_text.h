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

// `bytes` in Base64 (RFC 4648, with padding), as a data: URL takes them.
std::string Base64(const std::vector<std::uint8_t>& bytes);

}  // namespace quarnel
