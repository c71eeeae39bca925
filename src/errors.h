// Kernel error types. Kernels report failure only by throwing these; the text
// of each is exactly what the Python caller sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <source_location>
#include <stdexcept>
#include <string>

namespace tavik {

// A foreseen validation failure (Python ValueError).
struct ValueError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A size limit was exceeded (the host package's SizeViolation). The message
// always starts with "SizeViolation: ", added here once.
struct SizeViolation : std::runtime_error {
  explicit SizeViolation(const std::string& what) : std::runtime_error("SizeViolation: " + what) {}
};

// A broken invariant or a step that must succeed (Python PanicException). It
// remembers where it was raised so the diagnostic can name the place.
struct Panic : std::runtime_error {
  explicit Panic(const std::string& what, std::source_location at = std::source_location::current())
      : std::runtime_error(what), where(at) {}
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
