// Exhaustive QUBO and Ising evaluation, and the logical-graph records of the
// `sim` module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/big_buffer.h"
#include "common/qubo.h"
#include "pool/pool.h"

namespace tavik::sim {

struct Variable {
  std::string name;
  std::string domain;  // carried, never interpreted
};

struct Interaction {
  std::string i;  // variable names
  std::string j;
  double weight;
};

struct LogicalGraph {
  std::vector<Variable> variables;
  std::vector<Interaction> interactions;
};

// Position of each variable name; a repeated name maps to its last position.
std::unordered_map<std::string_view, std::size_t> variable_positions(const LogicalGraph& graph);

struct IsingSimulator {
  // Ground state over all 2^N spin configurations (N ≤ 20) of
  // E = Σ w·s_i·s_j (+ w·s_i for a self-interaction); ties to the lowest
  // configuration index, whose bit k is variable k (set = +1).
  std::vector<std::int8_t> solve_exact(const LogicalGraph& graph) const;
};

struct Spectrum {
  std::vector<std::uint8_t> best_assignment;
  double best_energy;
  std::vector<double> energies;  // ascending, one per distinct energy key
  auto as_tuple() const { return std::tie(best_assignment, best_energy, energies); }
};

// Every 0/1 assignment of n_vars ≤ 20 variables, index order; the lowest
// energy (first strict minimum) and the distinct energies rounded to 1e-9.
// The same on any number of threads.
Spectrum qubo_energy_spectrum(QuboView qubo, std::uint64_t n_vars, pool::Threads threads);

// The same in two steps, for a caller that holds the energies itself: their
// number is known only once every assignment has been scanned, which the
// constructor does (with qubo_energy_spectrum's errors); fill then writes them.
class SpectrumScan {
 public:
  SpectrumScan(QuboView qubo, std::uint64_t n_vars, pool::Threads threads);

  // The first strict minimum: its energy and its assignment index (bit k is
  // variable k).
  double best_energy() const { return best_energy_; }
  std::uint64_t best_index() const { return best_index_; }
  std::size_t distinct() const { return distinct_; }
  // The distinct energies, ascending, into `energies` of distinct() values.
  void fill(std::span<double> energies) const;

 private:
  BigBuffer<std::uint64_t> keys_;  // ascending distinct energy keys first
  std::size_t distinct_ = 0;
  double best_energy_ = 0.0;
  std::uint64_t best_index_ = 0;
};

// Local fields as two columns: field values[k] on site sites[k].
struct FieldView {
  std::span<const std::uint64_t> sites;
  std::span<const double> values;

  std::size_t size() const { return values.size(); }
  bool empty() const { return values.empty(); }
};

// max over all spin configurations of |Σ Δh·s + Σ ΔJ·s_i·s_j| (n_sites ≤ 20).
double exact_ising_norm(FieldView dh, QuboView dj, std::uint64_t n_sites, pool::Threads threads);

}  // namespace tavik::sim
