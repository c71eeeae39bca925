// The dispatch, and the one vectorised kernel no pinned-path test run sees: the failure probability at many rates
// at once (FailureSet::probabilities, which tavik.arrays and tavik.sweep call), against the portable path on every
// path this CPU runs, in one program, on random codes and rates salted with NaNs of either sign and payload,
// infinities, signed zeros, huge and subnormal values. Every other kernel's paths are checked by
// tools/test_isa_paths.sh, which runs its Python tests against the reference models on a build pinned to each path.
#include "platform/simd.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/check.test.h"
#include "common/errors.h"
#include "ecc/failure_probability.h"
#include "ecc/lookup_table.h"

namespace {

namespace simd = tavik::platform::simd;
using tavik::pool::Threads;
using tavik::test::bits;
using tavik::test::check;
using Rng = std::mt19937_64;
using Bits = std::vector<std::uint64_t>;

std::size_t below(Rng& rng, std::size_t n) { return rng() % n; }

const double kSpecial[] = {std::numeric_limits<double>::quiet_NaN(),
                           -std::numeric_limits<double>::quiet_NaN(),
                           std::bit_cast<double>(0xFFF8'0000'0000'1234),  // a payload, negative
                           INFINITY, -INFINITY, 0.0, -0.0, 0.0, -0.0,
                           std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(), 1e300, -1e300,
                           std::numeric_limits<double>::min(), 5e-324, -5e-324, 1e-300, 1.0, -1.0, 0.5};

double value(Rng& rng, double special) {
  if (std::uniform_real_distribution<double>(0, 1)(rng) < special) return kSpecial[below(rng, std::size(kSpecial))];
  return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng), static_cast<int>(below(rng, 40)) - 20);
}

// A code of random supports over up to 14 data qubits, and up to twenty rates (lanes of one walk, and more).
Bits failure_probability(Rng& rng) {
  const std::size_t n = 1 + below(rng, 14);
  std::vector<std::uint64_t> starts{0}, qubits, logical;
  for (std::size_t j = below(rng, n + 2); j-- > 0;) {
    for (std::size_t q = 0; q < n; ++q)
      if (below(rng, 3) == 0) qubits.push_back(q);
    starts.push_back(qubits.size());
  }
  for (std::size_t q = 0; q < n; ++q)
    if (below(rng, 2) == 0) logical.push_back(q);
  const tavik::ecc::FailureSet set(n, {starts, qubits}, logical, Threads::caller);
  std::vector<double> p(1 + below(rng, 20)), out(p.size());
  for (double& x : p) x = below(rng, 4) == 0 ? value(rng, 0.5) : std::uniform_real_distribution<double>(0, 1)(rng);
  set.probabilities(p, out, Threads::caller);
  Bits result{bits(set.probability(p[0]))};
  for (double x : out) result.push_back(bits(x));
  return result;
}

// A kernel of the test's own, dispatched like the others: its answer shows the path a dispatch took.
template <class Isa>
[[gnu::always_inline]] inline std::size_t register_doubles_lanes() {
  return Isa::kDoubles;
}
TAVIK_SIMD_DISPATCH(register_doubles, register_doubles_lanes)

struct Outcome {
  Bits result;
  std::string error;
  bool operator==(const Outcome&) const = default;
};

Outcome outcome(std::uint64_t seed) {
  Rng rng(seed);
  try {
    return {failure_probability(rng), ""};
  } catch (const tavik::Error& e) {
    return {{}, std::string(e.text())};
  }
}

}  // namespace

int main() {
  constexpr simd::Path kPaths[] = {simd::Path::avx2, simd::Path::avx512};
  constexpr const char* kNames[] = {"portable", "avx2", "avx512"};
  constexpr std::size_t kDoubles[] = {2, 4, 8};
  std::vector<simd::Path> wider;
  for (simd::Path p : kPaths)
    if (simd::take_path(p) && check(register_doubles() == kDoubles[static_cast<int>(p)], "dispatch"))
      wider.push_back(p);
  if (wider.empty() || !simd::take_path(simd::Path::portable) || !check(register_doubles() == 2, "dispatch")) {
    std::printf("no path to compare with the portable one on this CPU and build\n");
    return tavik::test::failures != 0 ? tavik::test::exit_code() : tavik::test::kSkipped;
  }
  for (int seed = 0; seed < 1000; ++seed) {
    simd::take_path(simd::Path::portable);
    const Outcome expected = outcome(seed);
    for (simd::Path p : wider) {
      simd::take_path(p);
      if (!check(outcome(seed) == expected, "seed " + std::to_string(seed) + ": " + kNames[static_cast<int>(p)] +
                                                " differs"))
        break;
    }
  }
  for (simd::Path p : wider) std::printf("%s: the same bits as portable\n", kNames[static_cast<int>(p)]);
  return tavik::test::exit_code();
}
