// The decoder's lookup table as Python sees it: a list of
// (syndrome_bits, error_bits) tuples, ascending by syndrome, each bit a 0/1
// int. Built straight from the compact table, without an intermediate list of
// per-row vectors.
#pragma once

#include "ecc/decoder.h"
#include "py/convert.h"

namespace tavik::py {

template <>
struct Converter<ecc::LookupTable> {
  static Ref to(const ecc::LookupTable& value) {
    const Ref bits[2] = {to_py(std::uint64_t{0}), to_py(std::uint64_t{1})};
    const auto bit_list = [&bits](std::uint64_t word, unsigned count) {
      Ref list = Ref::steal(PyList_New(count));
      for (unsigned b = 0; b < count; ++b)
        PyList_SetItem(list.get(), b, Py_NewRef(bits[(word >> b) & 1].get()));
      return list;
    };
    const ecc::CorrectionTable& table = value.table;
    Ref rows = Ref::steal(PyList_New(static_cast<Py_ssize_t>(table.space.size())));
    for (std::uint64_t index = 0; index < table.space.size(); ++index) {
      const auto [s, number] = table.space.ascending(static_cast<std::uint32_t>(index));
      Ref syndrome = bit_list(s, value.n_stabilizers);
      Ref correction = bit_list(table.correction(number), value.n_data);
      Ref row = Ref::steal(PyTuple_New(2));
      PyTuple_SetItem(row.get(), 0, syndrome.release());
      PyTuple_SetItem(row.get(), 1, correction.release());
      PyList_SetItem(rows.get(), static_cast<Py_ssize_t>(index), row.release());
    }
    return rows;
  }
};

}  // namespace tavik::py
