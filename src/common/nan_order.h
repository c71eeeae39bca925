// Additions, subtractions and multiplications whose NaN results do not
// depend on the machine code the compiler picks.
//
// Given two NaNs, x86 returns its first operand's, but the compiler may swap
// the operands of an addition or a multiplication wherever that saves a move
// (which differs between the two-operand SSE and three-operand VEX forms, so
// between SIMD paths, and even between the lanes of one kernel once some of
// its accumulators live on the stack). Replacing the second operand by the
// first where the first is NaN means no operation ever meets two different
// NaNs: the result is the first operand's NaN, quieted, in whichever order
// the instruction takes them, and exactly x ∘ y otherwise. For doubles and
// GCC vectors of doubles (lane by lane) alike.
#pragma once

namespace tavik::nan_order {

template <class T>
[[gnu::always_inline]] inline T first_nan_or(T x, T y) {
  return x != x ? x : y;
}

template <class T>
[[gnu::always_inline]] inline T add(T x, T y) {
  return x + first_nan_or(x, y);
}

template <class T>
[[gnu::always_inline]] inline T sub(T x, T y) {
  return x - first_nan_or(x, y);
}

template <class T>
[[gnu::always_inline]] inline T mul(T x, T y) {
  return x * first_nan_or(x, y);
}

}  // namespace tavik::nan_order
