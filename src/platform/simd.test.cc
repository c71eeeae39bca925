// Every SIMD path this CPU runs against the portable one, in one program:
// each vectorised kernel, through the function that dispatches to it, on
// random inputs salted with NaNs of either sign and payload, infinities,
// signed zeros, huge and subnormal values, at lengths that leave a partial
// vector. Results and errors must be the same bits on every path.
#include "platform/simd.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <span>
#include <ranges>
#include <string>
#include <type_traits>
#include <vector>

#include "common/check.test.h"
#include "common/errors.h"
#include "cutting/reconstruct.h"
#include "ecc/failure_probability.h"
#include "ecc/lookup_table.h"
#include "partition/stoer_wagner_paths.h"
#include "sim/circuits.h"
#include "sim/enumeration.h"
#include "sim/statevector.h"
#include "validation/noisy_runs.h"

namespace {

namespace simd = tavik::platform::simd;
using tavik::pool::Threads;
using tavik::test::bits;
using tavik::test::check;
using Rng = std::mt19937_64;
using Bits = std::vector<std::uint64_t>;

// Numbers (doubles by their bits) and ranges of them, in order.
template <class T>
void put(Bits& out, const T& x) {
  if constexpr (std::ranges::range<T>)
    for (const auto& item : x) put(out, item);
  else if constexpr (std::is_floating_point_v<T>)
    out.push_back(bits(x));
  else
    out.push_back(static_cast<std::uint64_t>(x));
}
template <class... Ts>
Bits collect(const Ts&... xs) {
  Bits out;
  (put(out, xs), ...);
  return out;
}

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
// A third of the inputs are finite, as the kernels take a faster way then; few specials leave some results finite,
// and a NaN in some only.
double special_rate(Rng& rng) { return std::array{0.0, 0.05, 0.2}[below(rng, 3)]; }

struct Qubo {
  std::vector<std::uint64_t> rows, cols;
  std::vector<double> weights;
  Qubo(Rng& rng, std::size_t n, std::size_t terms, double special) {
    for (std::size_t k = 0; k < terms; ++k) {
      rows.push_back(below(rng, n));
      cols.push_back(below(rng, 4) == 0 ? rows.back() : below(rng, n));  // linear terms too
      weights.push_back(value(rng, special));
    }
  }
  tavik::QuboView view() const { return {rows, cols, weights}; }
};

Bits spectrum(Rng& rng) {
  const std::size_t n = 1 + below(rng, 14);
  const Qubo q(rng, n, below(rng, 40), special_rate(rng));
  const auto s = tavik::sim::qubo_energy_spectrum(q.view(), n, Threads::caller);
  return collect(s.best_assignment, s.best_energy, s.energies);
}

Bits ising_norm(Rng& rng) {
  const std::size_t n = 1 + below(rng, 14);
  const double special = special_rate(rng);
  const Qubo couplings(rng, n, below(rng, 30), special), fields(rng, n, below(rng, 10), special);
  return {bits(tavik::sim::exact_ising_norm({fields.rows, fields.weights}, couplings.view(), n, Threads::caller))};
}

Bits ising_ground_state(Rng& rng) {
  tavik::sim::LogicalGraph graph;
  const std::size_t n = 1 + below(rng, 14);
  for (std::size_t v = 0; v < n; ++v) graph.variables.push_back({std::to_string(v), ""});
  const double special = special_rate(rng);
  for (std::size_t k = below(rng, 30); k-- > 0;)
    graph.interactions.push_back({std::to_string(below(rng, n)), std::to_string(below(rng, n)), value(rng, special)});
  return collect(tavik::sim::IsingSimulator{}.solve_exact(graph));
}

// Past 10 qubits, gates on the high qubits pair whole runs of amplitudes.
Bits statevector(Rng& rng) {
  static const char* const kGates[] = {"h", "x", "y", "z", "s", "t", "rx", "ry", "rz", "u", "cx", "cz", "swap"};
  const std::size_t n = below(rng, 2) ? 11 + below(rng, 3) : 1 + below(rng, 10);
  const double special = special_rate(rng) / 2;  // a NaN spreads to most amplitudes
  std::vector<tavik::sim::Instruction> gates;
  for (std::size_t k = 1 + below(rng, 40); k-- > 0;) {
    const std::string name = kGates[below(rng, std::size(kGates))];
    std::vector<std::uint64_t> qubits{below(rng, n)};
    if (name == "cx" || name == "cz" || name == "swap") qubits.push_back(below(rng, n));
    std::vector<double> params;
    for (int p = 0; p < 3; ++p) params.push_back(value(rng, special) * 4);
    gates.emplace_back(name, qubits, params);
  }
  const tavik::sim::StateVector state = tavik::sim::run_statevector(gates, n, 0, Threads::caller);
  return collect(std::span(&state.data()->re, 2 * state.size()));
}

// Pauli terms of their own masks on a random state, past one tile of the state at times.
Bits pauli_expectations(Rng& rng) {
  const std::size_t n = 4 + below(rng, below(rng, 2) ? 17 : 8), terms = 1 + below(rng, 20);
  std::vector<tavik::sim::Amplitude> state(std::size_t{1} << n);
  for (auto& a : state) a = {value(rng, special_rate(rng) / 4), value(rng, 0)};
  std::vector<std::uint64_t> x(terms), ends(terms), z(terms);
  for (std::size_t t = 0; t < terms; ++t) x[t] = rng() % state.size(), ends[t] = t + 1, z[t] = rng() % state.size();
  std::vector<double> out(terms);
  tavik::sim::pauli_expectations(state, x, ends, z, out, Threads::caller, nullptr);
  return collect(out);
}

// Entries of 0 and 1 only (the packed energies) or of any byte.
Bits noisy_runs(Rng& rng) {
  static const double kNoise[] = {0.0, -0.0, 0.5, 1.0, 2.0, NAN, 1e-300, 0.999, 0.03};
  const std::size_t n = 1 + below(rng, 40), runs = below(rng, 80);
  const Qubo q(rng, n, below(rng, 30), special_rate(rng));
  const bool any_byte = below(rng, 4) == 0;
  std::vector<std::uint8_t> base(n);
  for (auto& b : base) b = static_cast<std::uint8_t>(any_byte ? rng() : rng() % 2);
  std::vector<std::uint8_t> flipped(n * runs);
  std::vector<double> energies(runs);
  tavik::simulate_qubo_runs(q.view(), base, kNoise[below(rng, std::size(kNoise))], rng(), flipped, energies,
                            Threads::caller);
  return collect(flipped, energies);
}

// Keys of one width (a whole word, less, more) or of mixed widths; counts up to 2^64 - 1, so the exact sums carry.
Bits parity_sum(Rng& rng) {
  tavik::cutting::Histogram::Builder builder;
  const std::size_t width = 1 + below(rng, 12);
  const bool mixed = below(rng, 4) == 0;
  for (std::size_t k = below(rng, 70); k-- > 0;) {
    std::string key(mixed ? 1 + below(rng, 20) : width, '0');
    for (char& c : key) c = "0101012"[below(rng, 7)];
    const std::uint64_t count = below(rng, 3) == 0 ? ~std::uint64_t{0} - below(rng, 3) : rng() >> below(rng, 64);
    builder.add(key, count);
  }
  return {bits(std::move(builder).build().parity_sum())};
}

Bits dense_cut(Rng& rng) {
  const std::size_t n = 2 + below(rng, 40);
  const Qubo edges(rng, n, below(rng, 3 * n), special_rate(rng));
  const tavik::Bisection b = tavik::stoer_wagner::bisect_dense({edges.rows, edges.cols, edges.weights}, n);
  return collect(b.cut_weight, b.side);
}

// A code of random supports over up to 14 data qubits.
struct Code {
  std::size_t n;
  std::vector<std::uint64_t> starts{0}, qubits;
  explicit Code(Rng& rng) : n(1 + below(rng, 14)) {
    for (std::size_t j = below(rng, n + 2); j-- > 0;) {
      for (std::size_t q = 0; q < n; ++q)
        if (below(rng, 3) == 0) qubits.push_back(q);
      starts.push_back(qubits.size());
    }
  }
  tavik::ecc::SupportRows rows() const { return {starts, qubits}; }
};

Bits lookup_table(Rng& rng) {
  const Code code(rng);
  const auto table = tavik::ecc::build_ecc_lookup_table(tavik::ecc::lookup_shape(code.n, code.rows(), {0, 0}),
                                                        Threads::caller);
  Bits out;
  for (std::uint64_t i = 0; i < table.rows(); ++i) {
    const auto [syndrome, correction] = table.row(i);
    put(out, syndrome);
    put(out, correction);
  }
  return out;
}

// One value of p, and up to twenty at once (lanes of one walk, and more).
Bits failure_probability(Rng& rng) {
  const Code code(rng);
  std::vector<std::uint64_t> logical;
  for (std::size_t q = 0; q < code.n; ++q)
    if (below(rng, 2) == 0) logical.push_back(q);
  const tavik::ecc::FailureSet set(code.n, code.rows(), logical, Threads::caller);
  std::vector<double> p(1 + below(rng, 20));
  for (double& x : p) x = below(rng, 4) == 0 ? value(rng, 0.5) : std::uniform_real_distribution<double>(0, 1)(rng);
  std::vector<double> out(p.size());
  set.probabilities(p, out, Threads::caller);
  return collect(set.probability(p[0]), out);
}

struct Kernel {
  const char* name;
  Bits (*run)(Rng&);
};

const Kernel kKernels[] = {
    {"qubo_energy_spectrum", spectrum},     {"exact_ising_norm", ising_norm},
    {"IsingSimulator", ising_ground_state}, {"run_statevector", statevector},
    {"simulate_qubo_runs", noisy_runs},     {"parity_sum", parity_sum},
    {"bisect_dense", dense_cut},            {"build_ecc_lookup_table", lookup_table},
    {"FailureSet", failure_probability},    {"pauli_expectations", pauli_expectations},
};

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

Outcome outcome(const Kernel& kernel, std::uint64_t seed) {
  Rng rng(seed);
  try {
    return {kernel.run(rng), ""};
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
  for (const Kernel& kernel : kKernels) {
    for (int seed = 0; seed < 1000; ++seed) {
      simd::take_path(simd::Path::portable);
      const Outcome expected = outcome(kernel, seed);
      for (simd::Path p : wider) {
        simd::take_path(p);
        if (!check(outcome(kernel, seed) == expected, std::string(kernel.name) + ", seed " + std::to_string(seed) +
                                                          ": " + kNames[static_cast<int>(p)] + " differs"))
          break;
      }
    }
  }
  for (simd::Path p : wider) std::printf("%s: the same bits as portable\n", kNames[static_cast<int>(p)]);
  return tavik::test::exit_code();
}
