// Text signatures, parsed at compile time. A binding names a callable once, by
// the signature line its docstring starts with ("name(a, b=3)"); parameter
// names, the required count and the docstring all come from that one text.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tavik::py {

template <std::size_t N>
struct Text {
  char chars[N]{};
  consteval Text(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

namespace detail {

// string_view::find(char) compares a pointer into the signature text with
// null, which GCC does not accept as a constant expression once the
// sanitizers instrument it; an index loop has no pointer comparison.
constexpr std::size_t find(std::string_view s, char c) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (s[i] == c) return i;
  return std::string_view::npos;
}

constexpr std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Calls visit(item) for each comma-separated parameter, "$self" excluded.
template <class Visit>
constexpr void for_each_param(std::string_view inner, Visit visit) {
  while (!inner.empty()) {
    auto comma = find(inner, ',');
    auto item = trim(inner.substr(0, comma));
    if (!item.empty() && item != "$self") visit(item);
    if (comma == std::string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
}

}  // namespace detail

template <Text S>
struct Signature {
  static constexpr std::string_view text = S.view();
  static constexpr std::size_t open = detail::find(text, '(');
  // A class declared without parentheses has no constructor.
  static constexpr bool callable = open != std::string_view::npos;
  static constexpr std::string_view name = text.substr(0, open);
  static constexpr std::string_view inner = callable ? text.substr(open + 1, text.rfind(')') - open - 1) : "";

  static constexpr std::size_t arity = [] {
    std::size_t n = 0;
    detail::for_each_param(inner, [&](std::string_view) { ++n; });
    return n;
  }();

  static constexpr std::size_t required = [] {
    std::size_t n = 0;
    detail::for_each_param(inner, [&](std::string_view p) { n += detail::find(p, '=') == std::string_view::npos; });
    return n;
  }();

  static constexpr std::array<std::string_view, arity> params = [] {
    std::array<std::string_view, arity> out{};
    std::size_t n = 0;
    detail::for_each_param(inner, [&](std::string_view p) { out[n++] = detail::trim(p.substr(0, detail::find(p, '='))); });
    return out;
  }();
};

}  // namespace tavik::py
