// Kernel error types. Kernels report failure only by throwing these; the text
// of each is exactly what the Python caller sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavik {

// The base of the kernel errors. Messages quote names the caller gave, which
// may hold NUL bytes that what() would cut at, so the whole text is kept
// beside it (shared, so that copying the exception cannot throw).
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text)
      : std::runtime_error(text), text_(std::make_shared<const std::string>(text)) {}
  std::string_view text() const noexcept { return *text_; }

 private:
  std::shared_ptr<const std::string> text_;
};

// A foreseen validation failure (Python ValueError).
struct ValueError : Error {
  using Error::Error;
};

// A size limit was exceeded (the host package's SizeViolation). The message
// always starts with "SizeViolation: ", added here once.
struct SizeViolation : Error {
  explicit SizeViolation(const std::string& what) : Error("SizeViolation: " + what) {}
};

// A broken invariant or a step that must succeed (Python PanicException). It
// remembers where it was raised so the diagnostic can name the place.
struct Panic : Error {
  explicit Panic(const std::string& what, std::source_location at = std::source_location::current())
      : Error(what), where(at) {}
  std::source_location where;
};

[[noreturn]] void index_out_of_bounds(std::size_t len, std::uint64_t index,
                                      std::source_location where = std::source_location::current());

// The one index check: throws the internal failure every kernel uses for an
// index that is not below the length.
inline void check_index(std::uint64_t index, std::size_t len,
                        std::source_location where = std::source_location::current()) {
  if (index >= len) index_out_of_bounds(len, index, where);
}

template <class Container>
auto& checked(Container& c, std::uint64_t index, std::source_location where = std::source_location::current()) {
  check_index(index, c.size(), where);
  return c[static_cast<std::size_t>(index)];
}

}  // namespace tavik
