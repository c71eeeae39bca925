// The decoder's lookup table as Python sees it: a list of
// (syndrome_bits, error_bits) tuples, ascending by syndrome, each bit a 0/1
// int. Built straight from the compact table, without an intermediate list of
// per-row vectors.
#pragma once

#include <algorithm>
#include <bit>

#include "ecc/lookup_table.h"
#include "py/convert.h"

namespace tavik::py {

template <>
struct Converter<ecc::LookupTable> {
  static Ref to(const ecc::LookupTable& value) {
    // Every bit list starts as a slice of one list of zeros (a copy of item
    // pointers) and only its set bits are replaced.
    const Ref one = to_py(std::uint64_t{1});
    Ref zeros = Ref::steal(PyList_New(0));
    {
      const Ref zero = to_py(std::uint64_t{0});
      for (unsigned b = 0; b < std::max(value.n_data, value.n_stabilizers); ++b)
        if (PyList_Append(zeros.get(), zero.get()) < 0) throw_error_already_set();
    }
    const auto bit_list = [&](std::uint64_t word, unsigned count) {
      Ref list = Ref::steal(PyList_GetSlice(zeros.get(), 0, count));
      for (; word != 0; word &= word - 1)
        PyList_SetItem(list.get(), std::countr_zero(word), Py_NewRef(one.get()));
      return list;
    };
    Ref rows = Ref::steal(PyList_New(static_cast<Py_ssize_t>(value.rows())));
    BatchedPoll poll;
    for (std::uint64_t index = 0; index < value.rows(); ++index) {
      poll.step(value.n_data + value.n_stabilizers);
      const auto [s, c] = value.row(index);
      Ref syndrome = bit_list(s, value.n_stabilizers);
      Ref correction = bit_list(c, value.n_data);
      Ref row = Ref::steal(PyTuple_New(2));
      PyTuple_SetItem(row.get(), 0, syndrome.release());
      PyTuple_SetItem(row.get(), 1, correction.release());
      PyList_SetItem(rows.get(), static_cast<Py_ssize_t>(index), row.release());
    }
    return rows;
  }
};

}  // namespace tavik::py
