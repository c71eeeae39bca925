// The one rounding of the exact 128-bit sums to double, against the compiler's own 128-bit conversion, which rounds
// once, to even: sparse values (a few set bits) meet ties often, dense ones the ordinary cases, and the top word
// takes every width up to all 64 bits, past any sum test_reconstruct can reach. Carries, borrows and the signed
// difference are that test's, on its counts near 2^64.
#include "common/uint128.h"

#include <cstdint>
#include <random>
#include <string>

#include "common/check.test.h"

int main() {
#if !defined(__SIZEOF_INT128__)
  return tavik::test::kSkipped;
#else
  __extension__ using U128 = unsigned __int128;
  std::mt19937_64 rng(7);
  for (int round = 0; round < 200000; ++round) {
    U128 x = 0;
    if (round % 2 == 0) {
      for (int k = 0; k <= round % 7; ++k) x |= static_cast<U128>(1) << (rng() % 128);
    } else {
      x = (static_cast<U128>(rng()) << 64 | rng()) >> (rng() % 128);
    }
    const tavik::UInt128 v{static_cast<std::uint64_t>(x >> 64), static_cast<std::uint64_t>(x)};
    if (!tavik::test::check(tavik::test::bits(tavik::to_double(v)) == tavik::test::bits(static_cast<double>(x)),
                            std::to_string(v.hi) + ":" + std::to_string(v.lo)))
      break;
  }
  return tavik::test::exit_code();
#endif
}
