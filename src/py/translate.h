// The one place where failures become Python exceptions.
#pragma once

#include <source_location>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/interrupt.h"
#include "py/ref.h"

namespace tavik::py {

// Qualified name of the type of `obj`, as the messages name it.
std::string type_name(PyObject* obj);

// Every message reaches Python whole, by length: it may quote caller-given
// text holding NUL bytes.
[[noreturn]] void raise(PyObject* exception_type, std::string_view message);

// "'<type>' object cannot be converted to '<target>'"
[[noreturn]] void raise_cannot_convert(PyObject* obj, std::string_view target);

// With a conversion error set: an exception of exactly TypeError becomes
// "argument '<param>': <message>", keeping its __cause__; others pass unchanged.
void prefix_argument_error(std::string_view param) noexcept;

// Turns the C++ exception being handled into exactly one Python exception.
void set_error_from_current_exception() noexcept;

// Sets an exception of `exception_type`, or of the package's PanicException
// with its diagnostic on standard error naming `where`; never throws.
void set_error(PyObject* exception_type, std::string_view message);
void set_panic(std::string_view message, const std::source_location& where);

// How a module words a broken input rule for its callers, as one exception
// set; each module sets its own as it initialises.
using InputWording = void (*)(const InputError&) noexcept;
void set_input_wording(InputWording wording);

// The stop check of every call into this face: runs the signal handlers that
// are due (a call holds the interpreter lock throughout) and stops the call
// when one raised, as Ctrl-C's does, leaving that exception set.
bool signal_handler_raised();

// Runs `body` (returning a Ref) and hands its result to the interpreter, or
// null with one exception set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  const StopCheckScope stop(&signal_handler_raised);
  try {
    return body().release();
  } catch (...) {
    set_error_from_current_exception();
    return nullptr;
  }
}

// Same for slots that report failure with -1.
template <class Body>
int guarded_status(Body&& body) noexcept {
  const StopCheckScope stop(&signal_handler_raised);
  try {
    body();
    return 0;
  } catch (...) {
    set_error_from_current_exception();
    return -1;
  }
}

}  // namespace tavik::py
