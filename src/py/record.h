// Record classes: final heap types built from a PyType_Spec around a C++
// struct. Instances own their value; attribute reads convert a copy of the
// field, so nothing handed out aliases the record.
//
// Pickling: a record's state is its fields, in declaration order, as a tuple
// of plain values (records nest as records). A class is rebuilt from a state
// by converting each item as its field and then either aggregate-initialising
// the struct (a class with a constructor: the conversions, so the checks, of
// calling it) or passing the fields to the class's validated factory (a class
// without one), which accepts exactly what the module's functions produce. The
// private module tavik._record_state is the only way in and out.
#pragma once

#include <deque>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "py/callable.h"

namespace tavik::py {

// Which structs are record classes, and whether Python code may assign to
// their fields. Opt-in, per struct, in the face's records header
// (`template <> inline constexpr py::RecordKind py::record_kind<S> = ...;`),
// so that a type without a converter fails to compile instead of converting
// as a record.
enum class RecordKind { none, read_only, writable };
template <class T>
inline constexpr RecordKind record_kind = RecordKind::none;
template <class T>
concept Record = record_kind<T> != RecordKind::none;
template <class T>
concept WritableRecord = record_kind<T> == RecordKind::writable;

// Kernels read a record in place, through a lend. A lend's value never
// changes under it: the polls of a lent value's reader may run a signal
// handler that assigns to the record's fields, and such an assignment goes
// to a copy, which becomes the record's value once the last lend ends.
template <class T>
struct Lending {
  std::size_t lends = 0;
  std::vector<std::unique_ptr<T>> copies;  // the last is the record's value
};
struct NoLending {};

template <class T>
struct Holder {
  PyObject_HEAD
  T value;
  [[no_unique_address]] std::conditional_t<WritableRecord<T>, Lending<T>, NoLending> lending;
};

template <class T>
Holder<T>* holder_of(PyObject* self) {
  return reinterpret_cast<Holder<T>*>(self);
}

// The record's current value.
template <class T>
T& value_of(PyObject* self) {
  Holder<T>* h = holder_of<T>(self);
  if constexpr (WritableRecord<T>)
    if (!h->lending.copies.empty()) return *h->lending.copies.back();
  return h->value;
}

// The value to assign to: a copy of the current one while it is lent.
template <class T>
T& value_for_assignment(PyObject* self) {
  if constexpr (WritableRecord<T>) {
    auto& lending = holder_of<T>(self)->lending;
    if (lending.lends != 0) lending.copies.push_back(std::make_unique<T>(value_of<T>(self)));
  }
  return value_of<T>(self);
}

// A record's value, read in place for as long as the lend lives.
template <class T>
class Lent {
 public:
  explicit Lent(PyObject* self) : self_(Ref::borrow(self)), value_(&value_of<T>(self)) {
    if constexpr (WritableRecord<T>) ++holder_of<T>(self)->lending.lends;
  }
  Lent(Lent&& other) noexcept : self_(std::move(other.self_)), value_(other.value_) {}
  Lent& operator=(Lent&&) = delete;
  ~Lent() {
    if constexpr (WritableRecord<T>) {
      if (!self_) return;  // moved from
      Holder<T>* h = holder_of<T>(self_.get());
      if (--h->lending.lends == 0 && !h->lending.copies.empty()) {
        h->value = std::move(*h->lending.copies.back());
        h->lending.copies.clear();
      }
    }
  }
  const T& get() const { return *value_; }
  operator const T&() const { return *value_; }

 private:
  Ref self_;
  const T* value_;
};

// The type object of each record class, set once at registration.
template <class T>
struct RecordType {
  static inline PyTypeObject* type = nullptr;
  static inline std::string name;
};

template <class T>
Ref wrap_record(PyTypeObject* type, T&& value) {
  static_assert(std::is_nothrow_move_constructible_v<T>);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  Ref obj = Ref::steal(alloc(type, 0));
  Holder<T>* h = holder_of<T>(obj.get());
  new (&h->value) T(std::move(value));
  std::construct_at(&h->lending);
  return obj;
}

// Records convert from an instance of their own class (the classes cannot be
// subclassed) and to a new instance holding the value.
template <Record T>
struct Converter<T> {
  static PyObject* check(PyObject* obj) {
    PyTypeObject* type = RecordType<T>::type;
    if (type == nullptr || !PyObject_TypeCheck(obj, type)) raise_cannot_convert(obj, RecordType<T>::name);
    return obj;
  }
  static T from(PyObject* obj) { return value_of<T>(check(obj)); }
  static Ref to(T value) { return wrap_record(RecordType<T>::type, std::move(value)); }
};

// A kernel that takes a record by const reference reads it in place.
template <Record T>
struct Held<const T&> {
  using type = Lent<T>;
  static Lent<T> from(PyObject* obj) { return Lent<T>(Converter<T>::check(obj)); }
};

namespace detail {

template <class T>
void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  Holder<T>* h = holder_of<T>(self);
  std::destroy_at(&h->lending);
  h->value.~T();
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

[[noreturn]] void raise_no_constructor(std::string_view name);

template <Text S>
PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
  return guarded([]() -> Ref { raise_no_constructor(Signature<S>::name); });
}

// Aggregate-initialises T from the constructor's parameters, in order.
template <class T, Text S, class... A>
PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  using Sig = Signature<S>;
  static_assert(Sig::arity == sizeof...(A), "the class signature must name every constructor parameter");
  static_assert(defaults_are_optional<Sig, A...>(),
                "a parameter with a default in the class signature must be a std::optional");
  return guarded([&] {
    PyObject* slots[Sig::arity + 1] = {};
    bind_arguments(callable_info<Sig>(Sig::name, "__new__"), args, kwargs, slots);
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return wrap_record(type, T{convert_argument<A>(slots[I], Sig::params[I])...});
    }(std::index_sequence_for<A...>{});
  });
}

template <class T, auto Member>
PyObject* get_field(PyObject* self, void*) {
  return guarded([&] { return result_to_py(Lent<T>(self).get().*Member); });
}

template <class T, auto Member>
int set_field(PyObject* self, PyObject* value, void* name) {
  if (value == nullptr) {
    PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
    return -1;
  }
  using Field = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;
  return guarded_status([&] {
    Field converted = convert_argument<Field>(value, static_cast<const char*>(name));
    value_for_assignment<T>(self).*Member = std::move(converted);
  });
}

template <class T, Text CS, auto Fn, Text MS>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t n_args, PyObject* kwnames) noexcept {
  return guarded([&] {
    const Lent<T> lent(self);
    return bind_and_invoke<Fn, Signature<MS>, T>(Signature<CS>::name, &lent.get(), args, n_args, kwnames);
  });
}

template <class T, auto Fn>
PyObject* method_noargs(PyObject* self, PyObject*) {
  return guarded([&] { return result_to_py(std::invoke(Fn, Lent<T>(self).get())); });
}

template <class T, auto Fn>
PyObject* repr_entry(PyObject* self) {
  return guarded([&] { return to_py(std::invoke(Fn, Lent<T>(self).get())); });
}

// With the error of converting a state's field set: raises it again as
// "<record>.<field>: <message>".
[[noreturn]] void raise_field_error(std::string_view record, std::string_view field);

// References to the N fields of a record, in declaration order; the structured
// binding does not compile unless the struct has exactly N fields.
template <std::size_t N, class T>
auto fields_of(const T& v) {
  if constexpr (N == 0) {
    static_assert(std::is_empty_v<T>);
    return std::tuple<>();
  } else if constexpr (N == 1) {
    const auto& [a] = v;
    return std::tie(a);
  } else if constexpr (N == 2) {
    const auto& [a, b] = v;
    return std::tie(a, b);
  } else if constexpr (N == 3) {
    const auto& [a, b, c] = v;
    return std::tie(a, b, c);
  } else if constexpr (N == 4) {
    const auto& [a, b, c, d] = v;
    return std::tie(a, b, c, d);
  } else if constexpr (N == 5) {
    const auto& [a, b, c, d, e] = v;
    return std::tie(a, b, c, d, e);
  } else {
    static_assert(N == 6, "extend fields_of for larger records");
    const auto& [a, b, c, d, e, f] = v;
    return std::tie(a, b, c, d, e, f);
  }
}

template <class Tie>
struct Decayed;
template <class... F>
struct Decayed<std::tuple<F...>> {
  using type = std::tuple<std::remove_cvref_t<F>...>;
};

template <class T, class... A>
T aggregate(A... fields) {
  return T{std::move(fields)...};
}

// One class's pickling, as the private module looks it up by type.
struct Pickling {
  std::string_view record;
  const std::string_view* fields;
  std::size_t arity;
  Ref (*state)(PyObject* self);
  Ref (*rebuild)(PyTypeObject* type, PyObject* state);  // `state` is a tuple of `arity` items
};

void register_pickling(PyTypeObject* type, const Pickling& pickling);

// Rebuilds T from fields converted as A... and passed to Make, in order; Sig
// names the record and its fields.
template <class T, class Sig, auto Make, class Args>
struct PicklingOf;
template <class T, class Sig, auto Make, class... A>
struct PicklingOf<T, Sig, Make, std::tuple<A...>> {
  static_assert(Sig::arity == sizeof...(A), "the rebuild signature must name every field");
  static_assert(std::is_same_v<typename Decayed<decltype(fields_of<sizeof...(A)>(std::declval<const T&>()))>::type,
                               std::tuple<A...>>,
                "a record is rebuilt from its fields, in declaration order");

  static Ref state(PyObject* self) { return result_to_py(fields_of<sizeof...(A)>(Lent<T>(self).get())); }

  template <class F>
  static F field(PyObject* state, std::size_t i) {
    try {
      return from_py<F>(PyTuple_GetItem(state, static_cast<Py_ssize_t>(i)));
    } catch (const ErrorAlreadySet&) {
      raise_field_error(Sig::name, Sig::params[i]);
    }
  }

  static Ref rebuild(PyTypeObject* type, PyObject* state) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      std::tuple<A...> fields{field<A>(state, I)...};  // braced: converted in order
      return wrap_record(type, std::apply(Make, std::move(fields)));
    }(std::index_sequence_for<A...>{});
  }

  static constexpr Pickling entry{Sig::name, Sig::params.data(), Sig::arity, &state, &rebuild};
};

// Everything a type object points into; kept for the life of the process.
struct ClassStorage {
  std::string type_name;
  std::string doc;
  std::deque<std::string> strings;  // method names and docstrings; a deque never moves them
  std::vector<PyGetSetDef> getset;
  std::vector<PyMethodDef> methods;
  std::vector<PyType_Slot> slots;
  PyType_Spec type_spec{};
};

// Builds the type and keeps its storage alive; returns a new reference.
Ref create_type(std::unique_ptr<ClassStorage> storage, std::size_t basicsize, destructor dealloc, newfunc tp_new,
                reprfunc repr);

}  // namespace detail

// Declares a record class: its text signature ("Name(params)", or just
// "Name" for a class without a constructor), its documentation, attributes,
// methods and repr, in declaration order.
template <class T, Text S>
class Class {
  using Sig = Signature<S>;
  static_assert(Record<T>, "declare the struct a record (py::record_kind) in the face's records header");

 public:
  explicit Class(const char* doc) : storage_(std::make_unique<detail::ClassStorage>()) {
    storage_->type_name = "builtins." + std::string(Sig::name);
    storage_->doc = Sig::callable ? std::string(Sig::text) + "\n--\n\n" + doc : doc;
  }

  // The constructor: the class signature's parameters, converted as A...,
  // aggregate-initialise the record.
  template <class... A>
  Class& init() {
    tp_new_ = &detail::construct<T, S, A...>;
    pickling_ = &detail::PicklingOf<T, Sig, &detail::aggregate<T, A...>, std::tuple<A...>>::entry;
    return *this;
  }

  // How a class without a constructor is rebuilt from its pickled state: its
  // fields, named by the signature "(field, ...)", pass through Factory, which
  // throws ValueError for a record the module's functions cannot produce.
  template <auto Factory, Text RS>
  Class& rebuild() {
    static_assert(!Sig::callable, "a class with a constructor is rebuilt through it");
    using Args = typename FnTraits<decltype(Factory)>::Args;
    pickling_ = &detail::PicklingOf<T, RebuildSig<RS>, Factory, Args>::entry;
    return *this;
  }

  template <auto Member>
  Class& get(const char* name, const char* doc = nullptr) {
    storage_->getset.push_back({name, &detail::get_field<T, Member>, nullptr, doc, nullptr});
    return *this;
  }

  // A writable attribute; assignment converts like an argument named `name`.
  template <auto Member>
  Class& rw(const char* name, const char* doc = nullptr) {
    static_assert(WritableRecord<T>, "a record with a writable attribute is declared RecordKind::writable");
    storage_->getset.push_back({name, &detail::get_field<T, Member>, &detail::set_field<T, Member>, doc,
                                const_cast<char*>(name)});
    return *this;
  }

  template <auto Fn, Text MS>
  Class& method(const char* doc) {
    using M = Signature<MS>;
    auto& text = storage_->strings.emplace_back(std::string(M::text) + "\n--\n\n" + doc);
    auto& name = storage_->strings.emplace_back(M::name);
    if constexpr (M::arity == 0)
      storage_->methods.push_back({name.c_str(), &detail::method_noargs<T, Fn>, METH_NOARGS, text.c_str()});
    else
      storage_->methods.push_back(
          {name.c_str(), as_method(&detail::method_entry<T, S, Fn, MS>), kCallFlags, text.c_str()});
    return *this;
  }

  template <auto Fn>
  Class& repr() {
    repr_ = &detail::repr_entry<T, Fn>;
    return *this;
  }

  static constexpr std::string_view name() { return Sig::name; }

  // Creates the type object (once, at registration) and returns it.
  Ref create() {
    Ref type = detail::create_type(std::move(storage_), sizeof(Holder<T>), &detail::dealloc<T>,
                                   tp_new_ ? tp_new_ : &detail::no_constructor<S>, repr_);
    RecordType<T>::type = reinterpret_cast<PyTypeObject*>(Ref::borrow(type.get()).release());
    RecordType<T>::name = std::string(Sig::name);
    if (pickling_ == nullptr) raise(PyExc_SystemError, std::string(Sig::name) + " declares no way to be rebuilt");
    detail::register_pickling(RecordType<T>::type, *pickling_);
    return type;
  }

 private:
  // The class's name with the rebuild signature's fields.
  template <Text RS>
  struct RebuildSig : Signature<RS> {
    static constexpr std::string_view name = Sig::name;
  };

  std::unique_ptr<detail::ClassStorage> storage_;
  const detail::Pickling* pickling_ = nullptr;
  newfunc tp_new_ = nullptr;
  reprfunc repr_ = nullptr;
};

// Puts the private module tavik._record_state, with state(record) and
// rebuild(cls, state), into sys.modules.
void publish_record_state();

}  // namespace tavik::py
