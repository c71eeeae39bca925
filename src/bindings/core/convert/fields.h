// Local fields as the list face reads them: (site, value) pairs.
#pragma once

#include <vector>

#include "py/callable.h"
#include "py/convert.h"
#include "sim/ising_backend.h"

namespace tavik::py {

// A field list converted into the columns a kernel's FieldView reads.
class FieldColumns {
 public:
  static FieldColumns from(PyObject* obj) {
    FieldColumns out;
    for_each_item(obj, [&](PyObject* item) {
      const auto [site, value] = from_py<std::tuple<std::uint64_t, double>>(item);
      out.sites_.push_back(site);
      out.values_.push_back(value);
    });
    return out;
  }
  operator sim::FieldView() const { return {sites_, values_}; }

 private:
  std::vector<std::uint64_t> sites_;
  std::vector<double> values_;
};

template <>
struct Held<sim::FieldView> {
  using type = FieldColumns;
  static FieldColumns from(PyObject* obj) { return FieldColumns::from(obj); }
};

}  // namespace tavik::py
