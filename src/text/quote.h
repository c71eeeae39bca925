// Text as a quoted literal for reprs and error messages: readable, and
// unambiguous however odd the text is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavik {

// True for the code points a quoted literal shows as \u{...}: characters that
// do not print (controls, format, unassigned, private use, surrogates, line,
// paragraph and non-ASCII space separators) and combining marks.
bool needs_unicode_escape(std::uint32_t code_point);

// `text` (UTF-8) between double quotes, with \" \\ \n \r \t \0, \u{hex} for
// the code points above, and everything else as it is.
std::string quoted_literal(std::string_view text);

}  // namespace tavik
