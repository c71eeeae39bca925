// The exact 128-bit sums and their one rounding to double: carries and borrows between the words, ties to even
// decided by bits far below the kept ones, the round-up that carries into the next power of two, and the signed
// difference the parity sums report.
#include "common/uint128.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "common/check.test.h"

namespace {

using tavik::UInt128;
using tavik::test::bits;
using tavik::test::check;

constexpr std::uint64_t kAll = ~std::uint64_t{0};

std::string show(UInt128 v) { return std::to_string(v.hi) + ":" + std::to_string(v.lo); }
bool same(UInt128 a, UInt128 b) { return a.hi == b.hi && a.lo == b.lo; }

struct Rounding {
  UInt128 value;
  double expected;
};

const double k64 = 0x1p64;
// The top word alone spans 64 bits, 11 more than a double keeps.
const Rounding kRoundings[] = {
    {{0, (1ULL << 53) + 1}, 0x1p53},                     // a tie below 2^64, to even
    {{1, 0x800}, k64},                                    // a tie: down to even
    {{1, 0x801}, k64 + 0x1p12},                           // the bit shifted out breaks it
    {{1, 0x1800}, k64 + 0x1p13},                          // a tie: up to even
    {{(1ULL << 53) + 1, 0}, 0x1p117},                     // a tie across the words
    {{(1ULL << 53) + 1, 1}, 0x1p117 + 0x1p65},            // broken by the lowest bit of all
    {{(((1ULL << 53) - 2) << 11) | 0x400, 0}, std::ldexp((1ULL << 53) - 2, 75)},  // a tie in the top word
    {{(((1ULL << 53) - 2) << 11) | 0x400, 1}, std::ldexp((1ULL << 53) - 1, 75)},  // broken by the other word
    {{kAll, kAll}, 0x1p128},                              // rounds up into the next power
    {{1ULL << 63, 0}, 0x1p127},
};

}  // namespace

int main() {
  // Carries and borrows.
  UInt128 sum{0, kAll};
  sum += 1;
  check(same(sum, {1, 0}), show(sum));
  sum += kAll;
  sum += kAll;
  check(same(sum, {2, kAll - 1}), show(sum));
  check(same(UInt128{1, 0} - UInt128{0, 1}, {0, kAll}));
  check(UInt128{0, kAll} < UInt128{1, 0} && !(UInt128{1, 0} < UInt128{0, kAll}) && !(UInt128{1, 0} < UInt128{1, 0}));

  for (const Rounding& r : kRoundings)
    check(bits(tavik::to_double(r.value)) == bits(r.expected), show(r.value) + " -> " + std::to_string(r.expected));

  // Signed: the even sum minus the odd one, +0.0 when they are equal.
  check(bits(tavik::difference_to_double({0, 5}, {0, 7})) == bits(-2.0));
  check(bits(tavik::difference_to_double({3, 9}, {3, 9})) == bits(0.0));
  check(bits(tavik::difference_to_double({0, 1}, {1, 1})) == bits(-k64));
  check(bits(tavik::difference_to_double({1, 0}, {0, 1})) == bits(k64));

#if defined(__SIZEOF_INT128__)
  __extension__ using U128 = unsigned __int128;
  // The compiler's own 128-bit conversion rounds once, to even: sparse values
  // (a few set bits) meet ties often, dense ones the ordinary cases.
  std::mt19937_64 rng(7);
  for (int round = 0; round < 200000; ++round) {
    U128 x = 0;
    if (round % 2 == 0) {
      for (int k = 0; k <= round % 7; ++k) x |= static_cast<U128>(1) << (rng() % 128);
    } else {
      x = (static_cast<U128>(rng()) << 64 | rng()) >> (rng() % 128);
    }
    const UInt128 v{static_cast<std::uint64_t>(x >> 64), static_cast<std::uint64_t>(x)};
    if (!check(bits(tavik::to_double(v)) == bits(static_cast<double>(x)), show(v))) break;
  }
#endif
  return tavik::test::exit_code();
}
