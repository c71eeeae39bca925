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

// Index-based scanning: std::string_view::find compares pointers, which some
// compilers refuse in constant evaluation under sanitizer instrumentation.
constexpr std::size_t find(std::string_view s, char c, std::size_t from = 0) {
  for (std::size_t i = from; i < s.size(); ++i)
    if (s[i] == c) return i;
  return std::string_view::npos;
}

constexpr std::size_t rfind(std::string_view s, char c) {
  for (std::size_t i = s.size(); i-- > 0;)
    if (s[i] == c) return i;
  return std::string_view::npos;
}

constexpr std::string_view trim(std::string_view s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && s[begin] == ' ') ++begin;
  while (end > begin && s[end - 1] == ' ') --end;
  return s.substr(begin, end - begin);
}

// Calls visit(item) for each comma-separated parameter, "$self" excluded.
template <class Visit>
constexpr void for_each_param(std::string_view inner, Visit visit) {
  for (std::size_t begin = 0; begin < inner.size();) {
    std::size_t comma = find(inner, ',', begin);
    if (comma == std::string_view::npos) comma = inner.size();
    const auto item = trim(inner.substr(begin, comma - begin));
    if (!item.empty() && item != "$self") visit(item);
    begin = comma + 1;
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
  static constexpr std::string_view inner = callable ? text.substr(open + 1, detail::rfind(text, ')') - open - 1) : "";

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

  static_assert(
      [] {
        bool defaulted = false, ordered = true;
        detail::for_each_param(inner, [&](std::string_view p) {
          const bool has_default = detail::find(p, '=') != std::string_view::npos;
          ordered &= has_default || !defaulted;
          defaulted |= has_default;
        });
        return ordered;
      }(),
      "parameters with defaults come last in a text signature");

  static constexpr std::array<std::string_view, arity> params = [] {
    std::array<std::string_view, arity> out{};
    std::size_t n = 0;
    detail::for_each_param(inner, [&](std::string_view p) { out[n++] = detail::trim(p.substr(0, detail::find(p, '='))); });
    return out;
  }();
};

}  // namespace tavik::py
