// Exact sums of 64-bit counts: an unsigned 128-bit integer in two words,
// since not every compiler has a 128-bit integer type.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tavik {

struct UInt128 {
  std::uint64_t hi = 0, lo = 0;

  UInt128& operator+=(std::uint64_t x) {
    lo += x;
    hi += lo < x;  // the carry
    return *this;
  }
  friend UInt128 operator-(UInt128 a, UInt128 b) { return {a.hi - b.hi - (a.lo < b.lo), a.lo - b.lo}; }
  friend bool operator<(UInt128 a, UInt128 b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
};

// The double nearest to `value` (ties to even), rounded once.
inline double to_double(UInt128 value) {
  if (value.hi == 0) return static_cast<double>(value.lo);
  // The top 64 bits, with any bit shifted out kept as a sticky low bit: 64
  // bits leave 11 below a double's 53, so the sticky bit can only break a
  // tie, as the bits it stands for would, and one rounding remains.
  const int shift = 64 - std::countl_zero(value.hi);
  const std::uint64_t top = shift == 64 ? value.hi : value.hi << (64 - shift) | value.lo >> shift;
  const std::uint64_t shifted_out = shift == 64 ? value.lo : value.lo << (64 - shift);
  return std::ldexp(static_cast<double>(top | (shifted_out != 0)), shift);
}

// The double nearest to a - b, as a signed difference; +0.0 when equal.
inline double difference_to_double(UInt128 a, UInt128 b) { return a < b ? -to_double(b - a) : to_double(a - b); }

}  // namespace tavik
