// Lists of tuples read column by column, for kernels that read columns
// through a view (a QUBO's rows, cols and weights; an edge list's ends and
// weights; fields' sites and values).
#pragma once

#include <exception>
#include <span>
#include <tuple>
#include <vector>

#include "bindings/core/convert/qubo_term.h"
#include "common/qubo.h"
#include "partition/stoer_wagner.h"
#include "py/callable.h"
#include "py/convert.h"
#include "sim/enumeration.h"

namespace tavik::py {

// One vector per field of the items, lent to the kernel as the view over them.
template <class View, class... T>
class Columns {
 public:
  // `fields(item)` reads one item as a tuple of its fields, with the item's
  // conversion messages.
  template <class Fields>
  static Columns read(PyObject* obj, Fields fields) {
    Columns out;
    for_each_item(
        obj, [&](PyObject* item) { out.push(fields(item), std::index_sequence_for<T...>{}); },
        [&](std::size_t n) { out.reserve(n); });
    return out;
  }

  operator View() const {
    return std::apply([](const auto&... column) { return View{std::span(column)...}; }, columns_);
  }

 private:
  template <std::size_t... I>
  void push(std::tuple<T...> fields, std::index_sequence<I...>) {
    (std::get<I>(columns_).push_back(std::get<I>(fields)), ...);
  }

  // A length too large to reserve is still read item by item.
  void reserve(std::size_t n) {
    try {
      std::apply([n](auto&... column) { (column.reserve(n), ...); }, columns_);
    } catch (const std::exception&) {
    }
  }

  std::tuple<std::vector<T>...> columns_;
};

// ((i, j), w) terms.
template <>
struct Held<QuboView> {
  using type = Columns<QuboView, std::uint64_t, std::uint64_t, double>;
  static type from(PyObject* obj) {
    return type::read(obj, [](PyObject* item) {
      const QuboTerm t = from_py<QuboTerm>(item);
      return std::tuple{t.i, t.j, t.w};
    });
  }
};

// (site, value) fields.
template <>
struct Held<sim::FieldView> {
  using type = Columns<sim::FieldView, std::uint64_t, double>;
  static type from(PyObject* obj) { return type::read(obj, &from_py<std::tuple<std::uint64_t, double>>); }
};

// (i, j, weight) edges.
template <>
struct Held<EdgeView> {
  using type = Columns<EdgeView, std::uint64_t, std::uint64_t, double>;
  static type from(PyObject* obj) {
    return type::read(obj, &from_py<std::tuple<std::uint64_t, std::uint64_t, double>>);
  }
};

}  // namespace tavik::py
