// Private functions behind tavik.qubo: the model arrives as the columns that
// module reads it into, in the order its energy is summed.
#include <tuple>

#include "bindings/arrays/bindings.h"
#include "common/memory.h"
#include "qubo/qubo.h"

namespace tavik::bindings::arrays {
namespace {

// Weights choose the kernels' path (their exactness, the error bound), so
// they are copied like the indices: another thread writing them during the
// call cannot make the bound wrong.
qubo::Model model_of(const Copied<std::uint64_t>& rows, const Copied<std::uint64_t>& cols,
                     const Copied<double>& weights, double offset, std::uint64_t n_vars, std::uint64_t spin) {
  tavik::arrays::require_size(rows.span().size(), weights.span().size(), "rows");
  tavik::arrays::require_size(cols.span().size(), weights.span().size(), "cols");
  const qubo::Model model{{rows, cols, weights}, offset, n_vars, spin ? qubo::Vartype::spin : qubo::Vartype::binary};
  qubo::check(model);
  return model;
}

std::uint64_t* counter(const Out<std::uint64_t>& progress) {
  tavik::arrays::require_size(progress.span().size(), 1, "progress");
  return progress.span().data();
}

std::tuple<py::Ref, py::Ref> qubo_lowest(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols,
                                         Copied<double> weights, double offset, std::uint64_t n_vars,
                                         std::uint64_t spin, std::uint64_t k, std::uint64_t first,
                                         std::uint64_t last, Out<std::uint64_t> progress) {
  const qubo::Model model = model_of(rows, cols, weights, offset, n_vars, spin);
  const std::uint64_t m = qubo::lowest_count(n_vars, k, first, last);
  // With the samples tavik.qubo makes of the indices, a byte per variable.
  require_memory(m, n_vars + 2 * sizeof(double), 1);
  auto energies = new_array<double>(m);
  auto indices = new_array<std::uint64_t>(m);
  {
    const Unlocked unlocked;
    qubo::lowest(model, k, first, last, energies.span, indices.span, counter(progress), pool::Threads::pool);
  }
  return {std::move(energies.object), std::move(indices.object)};
}

std::tuple<py::Ref, py::Ref> qubo_levels(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols,
                                         Copied<double> weights, double offset, std::uint64_t n_vars,
                                         std::uint64_t spin, std::uint64_t k, Out<std::uint64_t> progress) {
  const qubo::Model model = model_of(rows, cols, weights, offset, n_vars, spin);
  std::vector<qubo::Level> levels;
  {
    const Unlocked unlocked;
    levels = qubo::levels(model, k, counter(progress), pool::Threads::pool);
  }
  auto energies = new_array<double>(levels.size());
  auto counts = new_array<std::int64_t>(levels.size());
  for (std::size_t r = 0; r < levels.size(); ++r) {
    energies.span[r] = levels[r].energy;
    counts.span[r] = static_cast<std::int64_t>(levels[r].count);
  }
  return {std::move(energies.object), std::move(counts.object)};
}

void qubo_check(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols, Copied<double> weights, double offset,
                std::uint64_t n_vars, std::uint64_t spin) {
  model_of(rows, cols, weights, offset, n_vars, spin);
}

std::uint64_t qubo_parts(std::uint64_t n_vars) { return qubo::part_count(n_vars); }

}  // namespace

void register_qubo(py::Module& m) {
  m.def<&qubo_lowest, "qubo_lowest(rows, cols, weights, offset, n_vars, spin, k, first, last, progress)">(
      "(energies, indices): the k lowest assignments of parts [first, last) by (energy, index), ascending, as\n"
      "float64 and uint64 buffers; progress[0] counts the assignments walked.");
  m.def<&qubo_levels, "qubo_levels(rows, cols, weights, offset, n_vars, spin, k, progress)">(
      "(energies, counts): the k lowest energy levels and how many assignments have each, as float64 and\n"
      "int64 buffers; progress[0] counts the assignments walked.");
  m.def<&qubo_check, "qubo_check(rows, cols, weights, offset, n_vars, spin)">(
      "Raise what qubo_lowest and qubo_levels raise for this model before they start.");
  m.def<&qubo_parts, "qubo_parts(n_vars)">("How many equal parts the assignment space of n_vars variables splits into.");
}

}  // namespace tavik::bindings::arrays
