#include "text/quote.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "text/unicode_tables.h"

namespace tavik {

bool needs_unicode_escape(std::uint32_t code_point) {
  const auto& ranges = unicode::kEscapedRanges;
  // The first range whose last code point is not below code_point.
  auto it = std::lower_bound(ranges.begin(), ranges.end(), code_point,
                             [](const std::array<std::uint32_t, 2>& r, std::uint32_t cp) { return r[1] < cp; });
  return it != ranges.end() && (*it)[0] <= code_point;
}

namespace {

void append_unicode_escape(std::string& out, std::uint32_t code_point) {
  char digits[8];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, code_point, 16);
  out += "\\u{";
  out.append(digits, end);
  out += '}';
}

// Decodes one UTF-8 sequence at text[i], advancing i. Labels come from Python
// str objects and are valid UTF-8; a stray byte is still shown, as an escape
// of its value, rather than trusted.
std::uint32_t next_code_point(std::string_view text, std::size_t& i, bool& valid) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  valid = true;
  if (lead < 0x80) return text[i++];
  std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || i + length > text.size()) {
    valid = false;
    return byte(i++);
  }
  std::uint32_t cp = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      valid = false;
      return byte(i++);
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += length;
  return cp;
}

}  // namespace

std::string quoted_literal(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    bool valid;
    const std::uint32_t cp = next_code_point(text, i, valid);
    switch (cp) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    if (!valid || needs_unicode_escape(cp))
      append_unicode_escape(out, cp);
    else
      out.append(text.substr(start, i - start));
  }
  out += '"';
  return out;
}

}  // namespace tavik
