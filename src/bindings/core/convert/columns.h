// Lists of tuples read column by column, for kernels that read columns
// through a view (a QUBO's rows, cols and weights; an edge list's ends and
// weights; fields' sites and values).
#pragma once

#include <cstddef>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "bindings/core/convert/qubo_term.h"
#include "common/qubo.h"
#include "partition/stoer_wagner.h"
#include "py/callable.h"
#include "py/convert.h"
#include "sim/enumeration.h"

namespace tavik::py {

// One column per field of the items, all in one block of memory, lent to the
// kernel as the view over them. One block rather than a vector per field:
// the allocator keeps a block of the size it last returned for the next call
// (glibc raises its mmap and trim thresholds to the size of a freed mapped
// block), while three columns each under that size were handed back to the
// system on every call and cost a page fault per 4 KiB the next time.
template <class View, class... T>
class Columns {
  static_assert((std::is_trivially_copyable_v<T> && ...));

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

  operator View() const { return view(std::index_sequence_for<T...>{}); }

 private:
  static constexpr std::size_t kAlign = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
  using Types = std::tuple<T...>;

  // Where column I starts in a block for `capacity` items (0 when past the
  // size_t range, which grow() has already refused).
  template <std::size_t I>
  static std::size_t offset(std::size_t capacity) {
    return [&]<std::size_t... K>(std::index_sequence<K...>) {
      return (std::size_t{0} + ... + ((capacity * sizeof(std::tuple_element_t<K, Types>) + kAlign - 1) / kAlign * kAlign));
    }(std::make_index_sequence<I>{});
  }

  template <std::size_t I>
  std::tuple_element_t<I, Types>* column() const {
    return reinterpret_cast<std::tuple_element_t<I, Types>*>(block_.get() + offset<I>(capacity_));
  }

  template <std::size_t... I>
  View view(std::index_sequence<I...>) const {
    return View{std::span<const T>(column<I>(), size_)...};
  }

  template <std::size_t... I>
  void push(std::tuple<T...> fields, std::index_sequence<I...>) {
    if (size_ == capacity_) grow(capacity_ < 8 ? 8 : 2 * capacity_);
    ((column<I>()[size_] = std::get<I>(fields)), ...);
    ++size_;
  }

  void grow(std::size_t capacity) {
    constexpr std::size_t kItem = (sizeof(T) + ... + 0) + sizeof...(T) * kAlign;
    if (capacity > (std::numeric_limits<std::size_t>::max() - kAlign) / kItem) throw std::bad_alloc();
    Columns bigger;
    bigger.block_.reset(new std::byte[offset<sizeof...(T)>(capacity)]);
    bigger.capacity_ = capacity;
    bigger.size_ = size_;
    copy_into(bigger, std::index_sequence_for<T...>{});
    *this = std::move(bigger);
  }

  template <std::size_t... I>
  void copy_into(Columns& other, std::index_sequence<I...>) const {
    if (size_ != 0) (std::memcpy(other.column<I>(), column<I>(), size_ * sizeof(T)), ...);
  }

  // A length too large to reserve is still read item by item.
  void reserve(std::size_t n) {
    try {
      if (n > capacity_) grow(n);
    } catch (const std::exception&) {
    }
  }

  std::unique_ptr<std::byte[]> block_;
  std::size_t size_ = 0, capacity_ = 0;
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
