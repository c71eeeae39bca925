// The core's list forms (term lists, (site, value) pairs, edge lists) read
// as the core reads them, into columns for the array functions: one reader
// of each form, whichever face it serves.
#include <algorithm>
#include <span>
#include <tuple>

#include "bindings/arrays/bindings.h"
#include "bindings/core/convert/columns.h"

namespace tavik::bindings::arrays {
namespace {

template <class T>
py::Ref column(std::span<const T> values) {
  auto out = new_array<T>(values.size());
  std::copy(values.begin(), values.end(), out.span.begin());
  return std::move(out.object);
}

std::tuple<py::Ref, py::Ref, py::Ref> read_terms(QuboView terms) {
  return {column(terms.rows), column(terms.cols), column(terms.weights)};
}

std::tuple<py::Ref, py::Ref> read_fields(sim::FieldView fields) { return {column(fields.sites), column(fields.values)}; }

std::tuple<py::Ref, py::Ref, py::Ref> read_edges(EdgeView edges) {
  return {column(edges.first), column(edges.second), column(edges.weights)};
}

}  // namespace

void register_lists(py::Module& m) {
  m.def<&read_terms, "read_terms(terms)">("(rows, cols, weights) of a ((i, j), w) term list, as uint64 and float64 buffers.");
  m.def<&read_fields, "read_fields(fields)">("(sites, values) of a (site, value) list, as uint64 and float64 buffers.");
  m.def<&read_edges, "read_edges(edges)">("(u, v, w) of an (i, j, w) edge list, as uint64 and float64 buffers.");
}

}  // namespace tavik::bindings::arrays
