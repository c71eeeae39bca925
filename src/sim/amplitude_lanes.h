// Two amplitudes (re, im, re, im) in one 256-bit vector (V4), or four in a
// 512-bit one (V8), for the kernels that are compiled once per SIMD path
// (platform/simd.h): the statevector's gates and the Pauli sums. A path with
// narrower registers splits each vector into several. Every helper is always
// inlined into its path's variant: an unoptimised build would otherwise call
// it as a function compiled for the baseline target, which cannot pass such
// a vector, so GCC's note that such a call's convention depends on the
// target never applies.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "sim/statevector.h"

#pragma GCC diagnostic ignored "-Wpsabi"

namespace tavik::sim::lanes {

using V4 = double __attribute__((vector_size(32)));
using U4 = std::uint64_t __attribute__((vector_size(32)));
using V8 = double __attribute__((vector_size(64)));
using U8 = std::uint64_t __attribute__((vector_size(64)));

constexpr std::uint64_t kSign = std::uint64_t{1} << 63;

template <class V = V4>
[[gnu::always_inline]] inline V load(const Amplitude* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
[[gnu::always_inline]] inline void store(Amplitude* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

// (re, im) → (im, re) in each amplitude.
[[gnu::always_inline]] inline V4 swap_parts(V4 v) { return __builtin_shufflevector(v, v, 1, 0, 3, 2); }
[[gnu::always_inline]] inline V8 swap_parts(V8 v) { return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6); }

// Sign bits flipped where `mask` has them, as the scalar negation does: a
// product with −1 would keep a NaN's sign. The builtin, not std::bit_cast,
// which unoptimised builds call as a function.
template <class V, class U>
[[gnu::always_inline]] inline V flip_signs(V v, U mask) {
  return __builtin_bit_cast(V, __builtin_bit_cast(U, v) ^ mask);
}

// Whether any lane of x or y is ±0: two compares into mask registers and a
// test, for registers of eight doubles (x86-64 only). The compilers'
// builtins, not the intrinsics: those may be inlined only into functions
// built for their instruction set, and this is inlined into templates that
// are built for it only once inlined into a path's variant.
#if defined(__x86_64__)
template <class V>
[[gnu::always_inline]] inline bool any_zero(V x, V y) {
#if defined(__clang__)
  return __builtin_reduce_or((x == V{}) | (y == V{})) != 0;
#else
  return (__builtin_ia32_cmppd512_mask(x, V{}, _CMP_EQ_OQ, 0xff, _MM_FROUND_CUR_DIRECTION) |
          __builtin_ia32_cmppd512_mask(y, V{}, _CMP_EQ_OQ, 0xff, _MM_FROUND_CUR_DIRECTION)) != 0;
#endif
}
#endif

}  // namespace tavik::sim::lanes
