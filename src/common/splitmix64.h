// The SplitMix64 generator's step and finaliser: the noisy runs draw their
// flips from it, and the hash tables spread their keys with it.
#pragma once

#include <cstdint>

namespace tavik {

// The golden-ratio increment between consecutive states.
inline constexpr std::uint64_t kSplitMix64Gamma = 0x9E3779B97F4A7C15;

// The finaliser, for one word or a GCC vector of words (lane by lane);
// always inlined, as a call could not pass a vector wider than the
// caller's baseline target.
template <class Words>
[[gnu::always_inline]] inline Words splitmix64_mix(Words z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
  return z ^ (z >> 31);
}

}  // namespace tavik
