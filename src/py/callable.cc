#include "py/callable.h"

#include <string>
#include <vector>

namespace tavik::py {
namespace {

std::string display_name(const CallableInfo& info) {
  std::string out;
  if (!info.owner.empty()) out.append(info.owner).append(".");
  return out.append(info.name).append("()");
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string quoted_list(const std::vector<std::string_view>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i != 0) {
      if (names.size() > 2) out += ',';
      out += i + 1 == names.size() ? " and " : " ";
    }
    out.append("'").append(names[i]).append("'");
  }
  return out;
}

}  // namespace

namespace {

void check_positional_count(const CallableInfo& info, std::size_t n_args) {
  if (n_args <= info.arity) return;
  std::string counts = info.required == info.arity
                           ? std::to_string(info.arity)
                           : "from " + std::to_string(info.required) + " to " + std::to_string(info.arity);
  raise(PyExc_TypeError, display_name(info) + " takes " + counts + " positional arguments but " +
                             std::to_string(n_args) + (n_args == 1 ? " was" : " were") + " given");
}

void bind_keyword(const CallableInfo& info, std::size_t n_args, PyObject* key, PyObject* value, PyObject** slots) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
  if (utf8 == nullptr) {
    PyErr_Clear();
    raise(PyExc_TypeError, display_name(info) + " keywords must be strings");
  }
  std::string_view keyword(utf8, static_cast<std::size_t>(size));
  std::size_t index = 0;
  while (index < info.arity && info.params[index] != keyword) ++index;
  if (index == info.arity)
    raise(PyExc_TypeError, display_name(info) + " got an unexpected keyword argument '" + std::string(keyword) + "'");
  if (index < n_args)
    raise(PyExc_TypeError, display_name(info) + " got multiple values for argument '" + std::string(keyword) + "'");
  slots[index] = value;
}

void check_missing(const CallableInfo& info, PyObject* const* slots) {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < info.required; ++i)
    if (slots[i] == nullptr) missing.push_back(info.params[i]);
  if (!missing.empty())
    raise(PyExc_TypeError, display_name(info) + " missing " + std::to_string(missing.size()) +
                               " required positional argument" + (missing.size() == 1 ? "" : "s") + ": " +
                               quoted_list(missing));
}

}  // namespace

void bind_arguments(const CallableInfo& info, PyObject* args, PyObject* kwargs, PyObject** slots) {
  const auto n_args = static_cast<std::size_t>(PyTuple_Size(args));
  check_positional_count(info, n_args);
  for (std::size_t i = 0; i < n_args; ++i) slots[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
  if (kwargs != nullptr) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(kwargs, &pos, &key, &value)) bind_keyword(info, n_args, key, value, slots);
  }
  check_missing(info, slots);
}

void bind_arguments(const CallableInfo& info, PyObject* const* args, std::size_t n_args, PyObject* kwnames,
                    PyObject** slots) {
  check_positional_count(info, n_args);
  for (std::size_t i = 0; i < n_args; ++i) slots[i] = args[i];
  if (kwnames != nullptr) {
    const Py_ssize_t n_keywords = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < n_keywords; ++k)
      bind_keyword(info, n_args, PyTuple_GetItem(kwnames, k), args[n_args + static_cast<std::size_t>(k)], slots);
  }
  check_missing(info, slots);
}

}  // namespace tavik::py
