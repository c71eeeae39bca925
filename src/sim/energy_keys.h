// The key that tells energies apart: E·1e9 rounded half away from zero,
// saturated to int64 (NaN → 0), stored biased so that unsigned order is
// signed order. Two energies are one level of a spectrum when their keys are
// equal; every kernel that reports levels computes them here.
#pragma once

#include <cstdint>
#include <limits>

#include "sim/enumeration_blocks.h"

namespace tavik::sim {

inline constexpr std::uint64_t kKeyBias = std::uint64_t{1} << 63;  // signed key order as unsigned order

// The keys of a register of energies. Truncation plus a correction is
// exactly round-half-away: the fraction x − trunc(x) is exact, and trunc(x)
// converts back to double exactly.
template <std::size_t W>
[[gnu::always_inline]] inline void store_keys(typename blocks::Width<W>::Vec energy, std::uint64_t* out) {
  using R = blocks::Width<W>;
  using Bits = typename R::Bits;
  using Vec = typename R::Vec;
  const Bits magnitude = R::broadcast(std::numeric_limits<std::int64_t>::max());
  const Vec x = energy * 1e9;
  const Vec ax = reinterpret_cast<Vec>(reinterpret_cast<Bits>(x) & magnitude);
  const Bits in_range = ax < 0x1p63;  // false for NaN
  const Vec xc = in_range ? x : Vec{};
  Bits t = __builtin_convertvector(xc, Bits);
  const Vec fraction = xc - __builtin_convertvector(t, Vec);
  const Vec af = reinterpret_cast<Vec>(reinterpret_cast<Bits>(fraction) & magnitude);
  t += (af >= 0.5) & ((x < 0.0) | 1);  // ±1 away from zero
  // A comparison's lanes are `long long` to Clang, and `long` may be another
  // type of the same width: both arms are made Bits.
  const Bits saturated = (x >= 0x1p63)
                             ? R::broadcast(std::numeric_limits<std::int64_t>::max())
                             : (reinterpret_cast<Bits>(x <= -0x1p63) & R::broadcast(std::numeric_limits<std::int64_t>::min()));
  const Bits key = (in_range ? t : saturated) ^ static_cast<std::int64_t>(kKeyBias);
  __builtin_memcpy(out, &key, sizeof(key));
}

// The energy a spectrum lists for a key.
inline double key_energy(std::uint64_t key) {
  return static_cast<double>(static_cast<std::int64_t>(key ^ kKeyBias)) / 1e9;
}

// Keys that a saturated energy (|E| ≥ 2^63 / 1e9, about 9.2e9) takes: no
// energy within range rounds to them.
inline bool key_saturated(std::uint64_t key) { return key == 0 || key == ~std::uint64_t{0}; }

}  // namespace tavik::sim
