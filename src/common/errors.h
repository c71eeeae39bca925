// Kernel error types. Kernels report failure only by throwing these; the text
// of each is exactly what the Python caller sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace tavik {

// The base of the kernel errors. Messages quote names the caller gave, which
// may hold NUL bytes that what() would cut at, so the whole text is kept
// beside it (shared, so that copying the exception cannot throw).
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text)
      : std::runtime_error(text), text_(std::make_shared<const std::string>(text)) {}
  std::string_view text() const noexcept { return *text_; }

 private:
  std::shared_ptr<const std::string> text_;
};

// A foreseen validation failure (Python ValueError).
struct ValueError : Error {
  using Error::Error;
};

// A size limit was exceeded (the host package's SizeViolation). The message
// always starts with "SizeViolation: ", added here once.
struct SizeViolation : Error {
  explicit SizeViolation(const std::string& what) : Error("SizeViolation: " + what) {}
};

// A broken invariant or a step that must succeed (Python PanicException). It
// remembers where it was raised so the diagnostic can name the place.
struct Panic : Error {
  explicit Panic(const std::string& what, std::source_location at = std::source_location::current())
      : Error(what), where(at) {}
  std::source_location where;
};

// A broken input rule, as data: the rule, the input it concerns (the
// argument and, for columns of one, the column, as the Python functions name
// them), the item, the offending value and the limit. Kernels throw it where
// an input names something that is not there; each face words it for its
// callers, the list face as exactly the text its contract fixes.
enum class InputRule {
  index,            // `value` indexes one of `limit` things
  support_qubit,    // a code's support names data qubit `value` of `limit`
  qubit_given,      // an instruction names no qubit
  parameter_given,  // an instruction lacks its parameter `value`, having `limit`
  qubit_in_state,   // an instruction's qubit `value` lies beyond a state of `limit` qubits
  gate_known,       // an instruction's gate is none of those on `value` qubits
};

struct InputFailure {
  InputRule rule;
  std::string_view argument;
  std::string_view column;  // empty for the argument's items themselves
  std::size_t item;
  std::uint64_t value;
  std::uint64_t limit;
  std::string_view limit_name;  // what `limit` is, as the caller sees it ("n_vars")
  std::string detail;           // the instruction's gate
  std::uint64_t offset = 0;     // qubit_in_state: the first amplitude the gate pairs beyond the state is this plus 2^value
};

// Not an Error: it has no text of its own. Copies share the failure, so that
// copying the exception cannot throw.
class InputError : public std::exception {
 public:
  InputError(InputFailure failure, std::source_location at)
      : where(at), failure_(std::make_shared<const InputFailure>(std::move(failure))) {}
  const InputFailure& failure() const noexcept { return *failure_; }
  const char* what() const noexcept override { return "an input rule is broken"; }
  std::source_location where;

 private:
  std::shared_ptr<const InputFailure> failure_;
};

// Where an index comes from: the argument, its column, and the name of what
// it indexes.
struct IndexSource {
  std::string_view argument;
  std::string_view column;
  std::string_view limit_name;
};

// The one input index check: item `item` of `source` must be below `len`.
inline void check_input_index(std::uint64_t index, std::uint64_t len, const IndexSource& source, std::size_t item,
                              std::source_location where = std::source_location::current()) {
  if (index >= len)
    throw InputError({InputRule::index, source.argument, source.column, item, index, len, source.limit_name, {}},
                     where);
}

[[noreturn]] void index_out_of_bounds(std::size_t len, std::uint64_t index,
                                      std::source_location where = std::source_location::current());

// The one index check: throws the internal failure every kernel uses for an
// index that is not below the length.
inline void check_index(std::uint64_t index, std::size_t len,
                        std::source_location where = std::source_location::current()) {
  if (index >= len) index_out_of_bounds(len, index, where);
}

template <class Container>
auto& checked(Container& c, std::uint64_t index, std::source_location where = std::source_location::current()) {
  check_index(index, c.size(), where);
  return c[static_cast<std::size_t>(index)];
}

}  // namespace tavik
