// The native tests' one assertion. A failed check is reported and counted
// rather than fatal, so that one run shows every failing row of a table.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <source_location>
#include <string>

namespace tavik::test {

inline int failures = 0;

// `what` names the row, so a table's failure says which entry it was.
inline bool check(bool ok, const std::string& what = "",
                  std::source_location at = std::source_location::current()) {
  if (!ok) {
    ++failures;
    std::fprintf(stderr, "%s:%u: check failed %s\n", at.file_name(), static_cast<unsigned>(at.line()), what.c_str());
  }
  return ok;
}

// Doubles compare as bits: -0.0 is not +0.0, and a NaN equals its own bits.
inline std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

inline int exit_code() {
  if (failures != 0) std::fprintf(stderr, "%d checks failed\n", failures);
  return failures != 0;
}

// ctest's SKIP_RETURN_CODE (CMakeLists.txt).
inline constexpr int kSkipped = 77;

}  // namespace tavik::test
