#include "sim/statevector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>
#include <string_view>
#include <type_traits>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "common/progress_counter.h"
#include "common/nan_order.h"
#include "text/quote.h"
#include "platform/simd.h"
#include "sim/amplitude_lanes.h"
#include "pool/pool.h"

namespace tavik::sim {
namespace {

// [[m00, m01], [m10, m11]] acting on (a, b): a has the target bit clear, b set.
struct Matrix {
  Amplitude m00, m01, m10, m11;
};

// One compiled instruction. Gates that provably leave the state unchanged
// (a control or cz qubit beyond the state) are dropped while compiling.
// `nans`: a single-qubit gate that may meet NaNs, in its matrix or in the
// state, and so needs their order kept (common/nan_order.h). Finite matrices
// have entries of magnitude at most 1 and are unitary up to rounding, so they
// keep every amplitude finite: NaNs appear from the first gate whose matrix
// holds one (an infinite or NaN angle) on.
// kControlled (tavik.circuits' gates only): the matrix on q0 where every
// qubit of the mask `controls` is set. `gates`: how many of the caller's
// gates the op stands for (more than one once fused).
struct Op {
  enum Kind { kSingle, kCx, kCz, kSwap, kControlled } kind;
  unsigned q0, q1;
  Matrix m;
  bool nans;
  std::uint64_t controls = 0;
  std::uint64_t gates = 1;
};

constexpr double kR = 0.7071067811865476;       // the double nearest 1/√2
constexpr double kRBelow = 0.7071067811865475;  // one unit in the last place below kR

// NaN angles give NaN factors here, several of which can meet in one operation.
Amplitude times(Amplitude x, Amplitude y) {
  using namespace nan_order;
  return {sub(mul(x.re, y.re), mul(x.im, y.im)), add(mul(x.re, y.im), mul(x.im, y.re))};
}

// e^{ix}·factor, the factor a real number taken as (factor, +0.0).
Amplitude phase_times(double x, double factor) { return times({std::cos(x), std::sin(x)}, {factor, 0.0}); }

// Where an instruction's failures point: its position in the list and its gate.
struct InstructionAt {
  std::size_t item;
  const std::string& name;

  [[noreturn]] void fail(InputRule rule, std::uint64_t value, std::uint64_t limit, std::uint64_t offset = 0,
                         std::source_location where = std::source_location::current()) const {
    throw InputError({rule, "instructions", {}, item, value, limit, "n_qubits", name, offset}, where);
  }

  double parameter(const std::vector<double>& params, std::size_t k,
                   std::source_location where = std::source_location::current()) const {
    if (k >= params.size()) fail(InputRule::parameter_given, k, params.size(), 0, where);
    return params[k];
  }
};

Matrix u_matrix(double theta, double phi, double lambda) {
  const double half = theta * 0.5;
  const double c = std::cos(half), s = std::sin(half);
  const Amplitude e_lambda_s = phase_times(lambda, s);
  return {{c, 0.0}, {-e_lambda_s.re, -e_lambda_s.im}, phase_times(phi, s), phase_times(nan_order::add(phi, lambda), c)};
}

Matrix single_qubit_matrix(const InstructionAt& at, const std::vector<double>& params) {
  const std::string& name = at.name;
  if (name == "h") return {{kR, 0.0}, {kR, 0.0}, {kR, 0.0}, {-kR, 0.0}};
  if (name == "x") return {{0.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}, {0.0, 0.0}};
  if (name == "y") return {{0.0, 0.0}, {0.0, -1.0}, {0.0, 1.0}, {0.0, 0.0}};
  if (name == "z") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {-1.0, 0.0}};
  if (name == "s") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 1.0}};
  if (name == "t") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {kR, kRBelow}};
  if (name == "rx" || name == "ry" || name == "rz") {
    const double half = at.parameter(params, 0) * 0.5;
    const double c = std::cos(half), s = std::sin(half);
    if (name == "rx") return {{c, 0.0}, {0.0, -s}, {0.0, -s}, {c, 0.0}};
    if (name == "ry") return {{c, 0.0}, {-s, 0.0}, {s, 0.0}, {c, 0.0}};
    return {{c, -s}, {0.0, 0.0}, {0.0, 0.0}, {c, s}};
  }
  if (name == "u") {  // in order: the first missing parameter is the one named
    const double theta = at.parameter(params, 0), phi = at.parameter(params, 1), lambda = at.parameter(params, 2);
    return u_matrix(theta, phi, lambda);
  }
  at.fail(InputRule::gate_known, 1, 0);
}

// Validates every instruction in order and turns it into an Op. Nothing is
// observable of the instructions before a failing one (the state is
// discarded), so checking them all before the first pass is equivalent to
// failing midway.
std::vector<Op> compile(const std::vector<Instruction>& instructions, unsigned n) {
  std::vector<Op> ops;
  ops.reserve(instructions.size());
  bool nans = false;
  for (std::size_t k = 0; k < instructions.size(); ++k) {
    const auto& [name, qubits, params] = instructions[k];
    const InstructionAt at{k, name};
    if (qubits.empty()) at.fail(InputRule::qubit_given, 0, 0);
    const std::uint64_t q0 = qubits[0];
    if (qubits.size() == 1) {
      const Matrix m = single_qubit_matrix(at, params);
      // The first pair visited is (0, 2^q); qubits from 64 on have no bit in
      // any index, so their partner is beyond the state too.
      if (q0 >= n) at.fail(InputRule::qubit_in_state, q0, n);
      for (const Amplitude& x : {m.m00, m.m01, m.m10, m.m11}) nans |= !std::isfinite(x.re) || !std::isfinite(x.im);
      ops.push_back({Op::kSingle, static_cast<unsigned>(q0), 0, m, nans});
      continue;
    }
    const std::uint64_t q1 = qubits[1];
    Op::Kind kind;
    if (name == "cx")
      kind = Op::kCx;
    else if (name == "cz")
      kind = Op::kCz;
    else if (name == "swap")
      kind = Op::kSwap;
    else
      at.fail(InputRule::gate_known, 2, 0);

    if (kind == Op::kCz) {
      if (q0 >= n || q1 >= n) continue;  // no index has that bit set
    } else {
      if (q0 >= n || q0 == q1) continue;  // no index has bit q0 set and bit q1 clear
      // The first index with bit q0 set is 2^q0; its partner is 2^q0 + 2^q1
      // for cx and 2^q1 for swap.
      if (q1 >= n) at.fail(InputRule::qubit_in_state, q1, n, kind == Op::kCx ? std::uint64_t{1} << q0 : 0);
    }
    ops.push_back({kind, static_cast<unsigned>(q0), static_cast<unsigned>(q1), {}, false});
  }
  return ops;
}

// ---- tavik.circuits' gate set ---------------------------------------------------
//
// The core's gates compile here exactly as compile() compiles them (the same
// matrices and permutations, the same NaN bookkeeping), so they give the
// core's bits; every other gate is a 2×2 matrix on its last qubit, applied
// where its other qubits (the controls) are all set. Only cswap is neither:
// it runs as cx·ccx·cx, three exact exchanges of amplitudes.
struct CircuitGate {
  std::string_view name;
  unsigned qubits, params;
  std::string_view base;  // the matrix's gate ("" for the core's two-qubit permutations)
};

constexpr CircuitGate kCircuitGates[] = {
    {"h", 1, 0, "h"},       {"x", 1, 0, "x"},        {"y", 1, 0, "y"},       {"z", 1, 0, "z"},
    {"s", 1, 0, "s"},       {"t", 1, 0, "t"},        {"rx", 1, 1, "rx"},     {"ry", 1, 1, "ry"},
    {"rz", 1, 1, "rz"},     {"u", 1, 3, "u"},        {"cx", 2, 0, ""},       {"cz", 2, 0, ""},
    {"swap", 2, 0, ""},     {"id", 1, 0, "id"},      {"sdg", 1, 0, "sdg"},   {"tdg", 1, 0, "tdg"},
    {"sx", 1, 0, "sx"},     {"sxdg", 1, 0, "sxdg"},  {"p", 1, 1, "p"},       {"u1", 1, 1, "p"},
    {"u2", 1, 2, "u2"},     {"u3", 1, 3, "u"},       {"cy", 2, 0, "y"},      {"ch", 2, 0, "h"},
    {"crx", 2, 1, "rx"},    {"cry", 2, 1, "ry"},     {"crz", 2, 1, "rz"},    {"cp", 2, 1, "p"},
    {"cu1", 2, 1, "p"},     {"cu3", 2, 3, "u"},      {"ccx", 3, 0, "x"},     {"ccz", 3, 0, "z"},
    {"cswap", 3, 0, ""},
};

[[noreturn]] void circuit_fail(std::size_t item, const std::string& what) {
  throw ValueError("circuit[" + std::to_string(item) + "]: " + what);
}

Matrix circuit_matrix(const InstructionAt& at, std::string_view base, const std::vector<double>& params) {
  if (base == "sdg") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, -1.0}};
  if (base == "tdg") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {kR, -kRBelow}};  // t's conjugate
  if (base == "sx") return {{0.5, 0.5}, {0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}};
  if (base == "sxdg") return {{0.5, -0.5}, {0.5, 0.5}, {0.5, 0.5}, {0.5, -0.5}};
  if (base == "p") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {std::cos(params[0]), std::sin(params[0])}};
  if (base == "u2") return u_matrix(std::numbers::pi / 2, params[0], params[1]);
  const std::string core_name(base);
  return single_qubit_matrix(InstructionAt{at.item, core_name}, params);
}

std::vector<Op> compile_circuit(const std::vector<Instruction>& instructions, unsigned n) {
  std::vector<Op> ops;
  ops.reserve(instructions.size());
  bool nans = false;
  for (std::size_t k = 0; k < instructions.size(); ++k) {
    const auto& [name, qubits, params] = instructions[k];
    const auto gate = std::find_if(std::begin(kCircuitGates), std::end(kCircuitGates),
                                   [&](const CircuitGate& g) { return g.name == name; });
    if (gate == std::end(kCircuitGates)) circuit_fail(k, "unknown gate " + quoted_literal(name));
    const std::string gate_name = quoted_literal(name);
    if (qubits.size() != gate->qubits)
      circuit_fail(k, "gate " + gate_name + " acts on " + std::to_string(gate->qubits) + " qubit" +
                          (gate->qubits == 1 ? "" : "s") + ", got " + std::to_string(qubits.size()));
    if (params.size() != gate->params)
      circuit_fail(k, "gate " + gate_name + " takes " + std::to_string(gate->params) + " parameter" +
                          (gate->params == 1 ? "" : "s") + ", got " + std::to_string(params.size()));
    for (std::size_t i = 0; i < qubits.size(); ++i) {
      if (qubits[i] >= n)
        circuit_fail(k, "qubit " + std::to_string(qubits[i]) + " is beyond the state's " + std::to_string(n) +
                            " qubits");
      for (std::size_t j = 0; j < i; ++j)
        if (qubits[j] == qubits[i])
          circuit_fail(k, "gate " + gate_name + " names qubit " + std::to_string(qubits[i]) + " twice");
    }
    const InstructionAt at{k, name};
    if (gate->base == "id") continue;
    if (gate->name == "cswap") {
      const unsigned c = static_cast<unsigned>(qubits[0]), a = static_cast<unsigned>(qubits[1]),
                     b = static_cast<unsigned>(qubits[2]);
      const Matrix x = single_qubit_matrix(InstructionAt{k, "x"}, params);
      ops.push_back({Op::kCx, b, a, {}, false});
      ops.push_back({Op::kControlled, b, 0, x, nans, (std::uint64_t{1} << c) | (std::uint64_t{1} << a)});
      ops.push_back({Op::kCx, b, a, {}, false});
      continue;
    }
    if (gate->base.empty()) {
      const Op::Kind kind = gate->name == "cx" ? Op::kCx : gate->name == "cz" ? Op::kCz : Op::kSwap;
      ops.push_back({kind, static_cast<unsigned>(qubits[0]), static_cast<unsigned>(qubits[1]), {}, false});
      continue;
    }
    const Matrix m = circuit_matrix(at, gate->base, params);
    for (const Amplitude& x : {m.m00, m.m01, m.m10, m.m11}) nans |= !std::isfinite(x.re) || !std::isfinite(x.im);
    const unsigned target = static_cast<unsigned>(qubits.back());
    std::uint64_t controls = 0;
    for (std::size_t i = 0; i + 1 < qubits.size(); ++i) controls |= std::uint64_t{1} << qubits[i];
    ops.push_back({controls ? Op::kControlled : Op::kSingle, target, 0, m, nans, controls});
  }
  return ops;
}

// later·earlier, each entry a sum of two complex products.
Matrix product(const Matrix& later, const Matrix& earlier) {
  const auto dot = [](Amplitude a, Amplitude b, Amplitude c, Amplitude d) {
    const Amplitude x = times(a, b), y = times(c, d);
    return Amplitude{x.re + y.re, x.im + y.im};
  };
  return {dot(later.m00, earlier.m00, later.m01, earlier.m10), dot(later.m00, earlier.m01, later.m01, earlier.m11),
          dot(later.m10, earlier.m00, later.m11, earlier.m10), dot(later.m10, earlier.m01, later.m11, earlier.m11)};
}

// Folds each uncontrolled single-qubit gate into the previous one on its
// qubit when no op in between touches that qubit (they commute, acting on
// different qubits): one matrix, one pass of arithmetic, in place of a run
// of them. The products round differently from gate-by-gate application, so
// the state agrees with the unfused one to rounding, not bit for bit. A
// circuit with a non-finite matrix is left as it is: its NaNs keep their
// order only gate by gate.
std::vector<Op> fuse_single_qubit_runs(std::vector<Op> ops, unsigned n) {
  if (std::any_of(ops.begin(), ops.end(), [](const Op& op) { return op.nans; })) return ops;
  constexpr std::size_t kNone = ~std::size_t{0};
  std::vector<std::size_t> open(n, kNone);  // per qubit, the op a gate on it merges into
  std::vector<Op> fused;
  fused.reserve(ops.size());
  for (const Op& op : ops) {
    if (op.kind == Op::kSingle) {
      if (open[op.q0] != kNone) {
        Op& into = fused[open[op.q0]];
        into.m = product(op.m, into.m);
        into.gates += op.gates;
        continue;
      }
      open[op.q0] = fused.size();
    } else {
      open[op.q0] = kNone;
      if (op.kind != Op::kControlled) open[op.q1] = kNone;
      for (std::uint64_t c = op.controls; c; c &= c - 1) open[std::countr_zero(c)] = kNone;
    }
    fused.push_back(op);
  }
  return fused;
}

// ---- single-qubit kernels -----------------------------------------------------
//
// new a = m00·a + m01·b, new b = m10·a + m11·b, each complex product
// (xr·yr − xi·yi, xr·yi + xi·yr) rounded term by term. The vector form holds
// two amplitudes (re, im, re, im) per register and computes
//   m·a = mr·a + s·swap(a),  s = (−mi, +mi, −mi, +mi),
// whose real lane is mr·ar + (−mi)·ai = mr·ar − mi·ai and whose imaginary lane
// is mr·ai + mi·ar: the same roundings as the scalar formula.

using namespace lanes;

// V: two amplitudes a vector (V4) or four (V8).
template <class V>
struct MatrixLanes {
  V r00, s00, r01, s01, r10, s10, r11, s11;
};

// Built inside each kernel, in registers: a MatrixLanes kept in memory is
// aligned for 128-bit registers only, and the wider paths would load it with
// instructions that need their registers' alignment.
template <class V>
[[gnu::always_inline]] inline MatrixLanes<V> lanes(const Matrix& m) {
  // Written out, not through helpers: an unoptimised build calls those,
  // and a call cannot pass a vector wider than the baseline target.
  MatrixLanes<V> l;
  for (std::size_t k = 0; k < sizeof(V) / sizeof(double); k += 2) {
    l.r00[k] = l.r00[k + 1] = m.m00.re;
    l.r01[k] = l.r01[k + 1] = m.m01.re;
    l.r10[k] = l.r10[k + 1] = m.m10.re;
    l.r11[k] = l.r11[k + 1] = m.m11.re;
    l.s00[k] = -m.m00.im, l.s00[k + 1] = m.m00.im;
    l.s01[k] = -m.m01.im, l.s01[k + 1] = m.m01.im;
    l.s10[k] = -m.m10.im, l.s10[k + 1] = m.m10.im;
    l.s11[k] = -m.m11.im, l.s11[k + 1] = m.m11.im;
  }
  return l;
}

// The lane vectors of MatrixLanes, as bits of a mask.
enum : unsigned { kR00 = 1, kS00 = 2, kR01 = 4, kS01 = 8, kR10 = 16, kS10 = 32, kR11 = 64, kS11 = 128 };

// The arithmetic of a gate: plain, or keeping the order of NaNs (Op::nans),
// or plain with the products of the zero lane vectors kDropped left out
// (Sparse, in apply_sparse).
struct Plain {
  static constexpr unsigned kDropped = 0;
  template <class T>
  [[gnu::always_inline]] static T add(T x, T y) {
    return x + y;
  }
  template <class T>
  [[gnu::always_inline]] static T mul(T x, T y) {
    return x * y;
  }
};
template <unsigned kLanes>
struct Sparse : Plain {
  static constexpr unsigned kDropped = kLanes;
};
struct NanOrder {
  template <class T>
  [[gnu::always_inline]] static T add(T x, T y) {
    return nan_order::add(x, y);
  }
  template <class T>
  [[gnu::always_inline]] static T mul(T x, T y) {
    return nan_order::mul(x, y);
  }
};

template <class A, class V>
[[gnu::always_inline]] inline void apply(const MatrixLanes<V>& l, V& a, V& b) {
  const V sa = swap_parts(a), sb = swap_parts(b);
  const V na = A::add(A::add(A::mul(l.r00, a), A::mul(l.s00, sa)), A::add(A::mul(l.r01, b), A::mul(l.s01, sb)));
  const V nb = A::add(A::add(A::mul(l.r10, a), A::mul(l.s10, sa)), A::add(A::mul(l.r11, b), A::mul(l.s11, sb)));
  a = na;
  b = nb;
}

// x + y, or the one of them that is kept.
template <bool kX, bool kY, class V>
[[gnu::always_inline]] inline V kept_sum(V x, V y) {
  if constexpr (kX && kY)
    return x + y;
  else if constexpr (kX)
    return x;
  else
    return y;
}

// (p0 + p1) + (p2 + p3) without the terms whose lane vectors, counted from
// kFirst, kDropped holds.
template <unsigned kDropped, unsigned kFirst, class V>
[[gnu::always_inline]] inline V kept_row(V p0, V p1, V p2, V p3) {
  constexpr bool k0 = !(kDropped >> kFirst & 1), k1 = !(kDropped >> (kFirst + 1) & 1),
                 k2 = !(kDropped >> (kFirst + 2) & 1), k3 = !(kDropped >> (kFirst + 3) & 1);
  static_assert(k0 || k1 || k2 || k3, "a row of a unitary matrix has a nonzero entry");
  return kept_sum<k0 || k1, k2 || k3>(kept_sum<k0, k1>(p0, p1), kept_sum<k2, k3>(p2, p3));
}

// apply() without the products of A's zero lane vectors: false, a and b
// unchanged, where a result lane is ±0. A zero product added to a nonzero
// sum leaves it as it is, so leaving the zero products out changes a result
// only where it is ±0 (the sign of a zero may differ) and elsewhere gives
// apply()'s bits. Finite values only (Plain); registers of eight doubles
// (any_zero).
template <class A, class V>
[[gnu::always_inline]] inline bool apply_sparse(const MatrixLanes<V>& l, V& a, V& b) {
  if constexpr (A::kDropped == 0) {
    apply<A>(l, a, b);
    return true;
  } else {
    const V sa = swap_parts(a), sb = swap_parts(b);
    const V na = kept_row<A::kDropped, 0>(l.r00 * a, l.s00 * sa, l.r01 * b, l.s01 * sb);
    const V nb = kept_row<A::kDropped, 4>(l.r10 * a, l.s10 * sa, l.r11 * b, l.s11 * sb);
    if (any_zero(na, nb)) return false;
    a = na;
    b = nb;
    return true;
  }
}

// m·x + n·y, each product as the vector form computes it.
template <class A>
[[gnu::always_inline]] inline Amplitude apply_row(Amplitude m, Amplitude x, Amplitude n, Amplitude y) {
  return {A::add(A::add(A::mul(m.re, x.re), A::mul(-m.im, x.im)), A::add(A::mul(n.re, y.re), A::mul(-n.im, y.im))),
          A::add(A::add(A::mul(m.re, x.im), A::mul(m.im, x.re)), A::add(A::mul(n.re, y.im), A::mul(n.im, y.re)))};
}

template <class A>
[[gnu::always_inline]] inline void apply_scalar(const Matrix& m, Amplitude& a, Amplitude& b) {
  const Amplitude na = apply_row<A>(m.m00, a, m.m01, b), nb = apply_row<A>(m.m10, a, m.m11, b);
  a = na;
  b = nb;
}

// Amplitudes a vector of the path's kernels: four where registers hold
// eight doubles, two elsewhere (the portable path splits each V4 in two).
template <class Isa>
using Wide = std::conditional_t<Isa::kDoubles == 8, V8, V4>;

// The vector pair at a and b, stored back.
template <class A, class V>
[[gnu::always_inline]] inline void apply_to_vectors(const MatrixLanes<V>& l, Amplitude* a, Amplitude* b) {
  V x = load<V>(a), y = load<V>(b);
  apply<A>(l, x, y);
  store(a, x);
  store(b, y);
}

// The pairs (a[i], b[i]) for i < count, a multiple of V's amplitudes; every
// amplitude's arithmetic is the same at any vector width.
template <class A, class V>
[[gnu::always_inline]] inline void apply_to_pairs(const MatrixLanes<V>& l, Amplitude* a, Amplitude* b,
                                                  std::size_t count) {
  for (std::size_t i = 0; i < count; i += sizeof(V) / sizeof(Amplitude)) apply_to_vectors<A>(l, a + i, b + i);
}

// Pairs across runs: count is a run's length (a multiple of four
// amplitudes). The arithmetic A is an argument so that each kind is a
// function of its own, with the plain one's loop as tight as without the
// other.
template <class Isa, class A>
[[gnu::always_inline]] inline void apply_pairs_lanes(Amplitude* a, Amplitude* b, std::size_t count, const Matrix& m,
                                                     A) {
  apply_to_pairs<A>(lanes<Wide<Isa>>(m), a, b, count);
}
TAVIK_SIMD_DISPATCH(apply_pairs, apply_pairs_lanes)

// The pairs (i, i + 2^q) of a contiguous block of len = 2^k > 2^q amplitudes.
template <class Isa, class A>
[[gnu::always_inline]] inline void apply_in_block_lanes(Amplitude* block, std::size_t len, unsigned q, const Matrix& m,
                                                        A) {
  const std::size_t half = std::size_t{1} << q;
  if (len < 4) {  // one pair: no full register
    apply_scalar<A>(m, block[0], block[half]);
    return;
  }
  // In registers: read through a reference, the matrix might change with
  // every store to the block, and each iteration would reload its eight
  // vectors (four times the loop's own loads).
  if (q >= 2) {  // a side of 2^q amplitudes is whole vectors of any width
    const MatrixLanes<Wide<Isa>> l = lanes<Wide<Isa>>(m);
    for (std::size_t base = 0; base < len; base += 2 * half)
      apply_to_pairs<A>(l, block + base, block + base + half, half);
    return;
  }
  const MatrixLanes<V4> l = lanes<V4>(m);
  if (q == 0) {
    // Pairs are neighbours: regroup two registers [a0 b0][a1 b1] as [a0 a1][b0 b1].
    for (std::size_t i = 0; i < len; i += 4) {
      const V4 v0 = load(block + i), v1 = load(block + i + 2);
      V4 a = __builtin_shufflevector(v0, v1, 0, 1, 4, 5), b = __builtin_shufflevector(v0, v1, 2, 3, 6, 7);
      apply<A>(l, a, b);
      store(block + i, __builtin_shufflevector(a, b, 0, 1, 4, 5));
      store(block + i + 2, __builtin_shufflevector(a, b, 2, 3, 6, 7));
    }
    return;
  }
  // q == 1, one vector a side: a flat loop rather than an inner loop of one turn.
  for (std::size_t i = 0; i < len; i += 4) apply_to_vectors<A>(l, block + i, block + i + 2);
}
TAVIK_SIMD_DISPATCH(apply_in_block, apply_in_block_lanes)

// ---- tiles ----------------------------------------------------------------------
//
// Every gate pairs or permutes amplitudes that differ only in its own qubits'
// bits, and computes each pair from that pair alone. A run of gates whose
// qubits all lie in a set S therefore maps each "tile" (the indices that
// agree on every bit outside S) to itself, and applying the whole run tile by
// tile performs, for every amplitude, exactly the operations of applying the
// gates one after another over the whole state, in the same order: the
// results are bit for bit the same, with one pass over memory per run of
// gates instead of one per gate.
//
// S is the low kRunBits bits (tiles are made of contiguous runs of 2^kRunBits
// amplitudes) plus up to kMaxHigh higher qubits, so a tile of at most
// 2^(kRunBits + kMaxHigh) amplitudes stays in the core's cache.

constexpr unsigned kRunBits = 10;
constexpr unsigned kMaxHigh = 5;

// A two-qubit gate in tile coordinates: local index = r·2^run_bits + x, with
// bit j of r standing for the j-th high qubit. It acts on the runs r whose
// `constrained_high` bits equal `set_high` (each paired with run r ^
// flip_high) and within them on two-amplitude vectors: those whose index v =
// x / 2 has its `constrained` bits equal to `set`, each paired with vector
// v ^ flip of the partner run. Local bit 0, the lane within a vector, is in
// the lane operation instead.
struct LocalPermutation {
  std::uint64_t constrained_high, set_high, flip_high;
  std::size_t constrained, set, flip;
  enum Lanes {
    kNegate,          // both amplitudes of the vector
    kNegateOdd,       // the odd amplitude
    kExchange,        // both amplitudes with the partner's
    kExchangeOdd,     // the odd amplitude with the partner's odd one
    kExchangeCross,   // the odd amplitude with the partner's even one
    kExchangeInside,  // the two amplitudes of the vector with each other
  } lanes;
};

struct Step {
  const Op* op;
  bool high;          // single-qubit gate on a high qubit
  unsigned position;  // its in-run qubit, or its high slot
  LocalPermutation permutation;
  std::size_t controls_high = 0, controls_low = 0;  // kControlled: the runs and in-run bits that must be set
  unsigned zero_lanes = 0;                          // kSingle: its pattern of zero lane vectors (zero_lanes())
};

// Zero lane vectors of the gates that have them: diagonal (rz, t, s, z, p),
// real (h, ry, x), real on the diagonal and imaginary off it (rx, y).
constexpr unsigned kDiagonal = kR01 | kS01 | kR10 | kS10, kReal = kS00 | kS01 | kS10 | kS11,
                   kImaginaryOff = kS00 | kR01 | kR10 | kS11;

// The first of those patterns whose lane vectors are all zero in m, or 0.
unsigned zero_lanes(const Matrix& m) {
  unsigned zeros = 0, bit = 1;
  for (const Amplitude& x : {m.m00, m.m01, m.m10, m.m11}) {
    if (x.re == 0.0) zeros |= bit;
    if (x.im == 0.0) zeros |= bit << 1;
    bit <<= 2;
  }
  for (unsigned pattern : {kDiagonal, kReal, kImaginaryOff})
    if ((zeros & pattern) == pattern) return pattern;
  return 0;
}

// f(arithmetic) with the arithmetic of a plain single-qubit step.
template <class F>
void with_arithmetic(const Step& step, F f) {
  switch (step.zero_lanes) {
    case kDiagonal:
      return f(Sparse<kDiagonal>{});
    case kReal:
      return f(Sparse<kReal>{});
    case kImaginaryOff:
      return f(Sparse<kImaginaryOff>{});
    default:
      return f(Plain{});
  }
}

struct Group {
  std::vector<unsigned> high;  // the high qubits, in slot order
  std::vector<Step> steps;
};


// One vector x of the permutation and its partner y.
template <LocalPermutation::Lanes kLanes>
[[gnu::always_inline]] inline void permute_vector(Amplitude* x, Amplitude* y) {
  const V4 u = load(x);
  if constexpr (kLanes == LocalPermutation::kNegate) {
    store(x, flip_signs(u, U4{kSign, kSign, kSign, kSign}));
  } else if constexpr (kLanes == LocalPermutation::kNegateOdd) {
    store(x, flip_signs(u, U4{0, 0, kSign, kSign}));
  } else if constexpr (kLanes == LocalPermutation::kExchangeInside) {
    store(x, __builtin_shufflevector(u, u, 2, 3, 0, 1));
  } else {
    const V4 w = load(y);
    if constexpr (kLanes == LocalPermutation::kExchange) {
      store(x, w);
      store(y, u);
    } else if constexpr (kLanes == LocalPermutation::kExchangeOdd) {
      store(x, __builtin_shufflevector(u, w, 0, 1, 6, 7));
      store(y, __builtin_shufflevector(w, u, 0, 1, 6, 7));
    } else {
      store(x, __builtin_shufflevector(u, w, 0, 1, 4, 5));
      store(y, __builtin_shufflevector(u, w, 2, 3, 6, 7));
    }
  }
}

// The vectors a + 2v, each with its partner b + 2(v ^ p.flip), for the v <
// vectors (a power of two) whose p.constrained bits (at most two, lo ≤ hi)
// equal p.set: runs of 2^lo vectors, in nested loops so that no run's start
// waits on the previous one's; single vectors in one flat loop.
template <LocalPermutation::Lanes kLanes>
[[gnu::always_inline]] inline void permute_vectors(Amplitude* a, Amplitude* b, std::size_t vectors,
                                                   const LocalPermutation& p) {
  const unsigned lo = std::countr_zero(p.constrained ? p.constrained : vectors);
  const unsigned hi = p.constrained ? static_cast<unsigned>(std::bit_width(p.constrained)) - 1 : lo;
  const std::size_t run = std::size_t{1} << lo, step = std::size_t{2} << lo, span = std::size_t{1} << hi;
  for (std::size_t outer = 0; outer < vectors; outer += 2 * span) {
    if (run == 1) {
      for (std::size_t v = outer + p.set; v < outer + span + p.set; v += 2)
        permute_vector<kLanes>(a + 2 * v, b + 2 * (v ^ p.flip));
      continue;
    }
    for (std::size_t start = outer + p.set; start < outer + span + p.set; start += step) {
      Amplitude* x = a + 2 * start;
      Amplitude* y = b + 2 * (start ^ p.flip);
      for (std::size_t i = 0; i < 2 * run; i += 2) permute_vector<kLanes>(x + i, y + i);
    }
  }
}

template <LocalPermutation::Lanes kLanes>
[[gnu::always_inline]] inline void permute_runs(Amplitude* const* runs, std::size_t run_count, std::size_t run_len,
                                                const LocalPermutation& p) {
  for (std::size_t r = 0; r < run_count; ++r)
    if ((r & p.constrained_high) == p.set_high)
      permute_vectors<kLanes>(runs[r], runs[r ^ p.flip_high], run_len / 2, p);
}

template <class Isa>
[[gnu::always_inline]] inline void apply_permutation_lanes(Amplitude* const* runs, std::size_t run_count,
                                                           std::size_t run_len, const LocalPermutation& p) {
  switch (p.lanes) {
    case LocalPermutation::kNegate:
      return permute_runs<LocalPermutation::kNegate>(runs, run_count, run_len, p);
    case LocalPermutation::kNegateOdd:
      return permute_runs<LocalPermutation::kNegateOdd>(runs, run_count, run_len, p);
    case LocalPermutation::kExchange:
      return permute_runs<LocalPermutation::kExchange>(runs, run_count, run_len, p);
    case LocalPermutation::kExchangeOdd:
      return permute_runs<LocalPermutation::kExchangeOdd>(runs, run_count, run_len, p);
    case LocalPermutation::kExchangeCross:
      return permute_runs<LocalPermutation::kExchangeCross>(runs, run_count, run_len, p);
    case LocalPermutation::kExchangeInside:
      return permute_runs<LocalPermutation::kExchangeInside>(runs, run_count, run_len, p);
  }
}
TAVIK_SIMD_DISPATCH(apply_permutation, apply_permutation_lanes)

// A controlled gate's pairs (a[i - back], b[i]) for the i below len that
// have every bit of `need` set (the supersets of `need`, in order), one pair
// at a time: the scalar form rounds as the vector form does.
template <class A>
void apply_pairs_where(Amplitude* a, Amplitude* b, std::size_t len, std::size_t need, std::size_t back,
                       const Matrix& m) {
  for (std::size_t i = need; i < len; i = (i + 1) | need) apply_scalar<A>(m, a[i - back], b[i]);
}

template <class A>
void apply_single(Amplitude* const* runs, std::size_t run_count, std::size_t run_len, const Step& step, A arithmetic) {
  const std::size_t need_high = step.controls_high, need_low = step.controls_low;
  if (step.high) {
    const std::size_t bit = std::size_t{1} << step.position;
    for (std::size_t r = 0; r < run_count; ++r) {
      if ((r & bit) || (r & need_high) != need_high) continue;
      if (need_low == 0)
        apply_pairs(runs[r], runs[r | bit], run_len, step.op->m, arithmetic);
      else
        apply_pairs_where<A>(runs[r], runs[r | bit], run_len, need_low, 0, step.op->m);
    }
  } else {
    const std::size_t half = std::size_t{1} << step.position;
    for (std::size_t r = 0; r < run_count; ++r) {
      if ((r & need_high) != need_high) continue;
      if (need_low == 0)
        apply_in_block(runs[r], run_len, step.position, step.op->m, arithmetic);
      else
        apply_pairs_where<A>(runs[r], runs[r], run_len, need_low | half, half, step.op->m);
    }
  }
}

// ---- two gates a load ---------------------------------------------------------
//
// Over a tile, which lies in the core's cache, a gate is bound about as
// much by its loads and stores as by its arithmetic: halving either alone
// measured no faster. So two consecutive single-qubit gates on different
// qubits, each a whole vector apart (a qubit of the run from 2 up, or a
// high slot), go over the quads of vectors they mix together: a quad is
// loaded once, gets the first gate on its two pairs, then the second gate
// on its two pairs, and is stored once; and the gates' zero products are
// left out (apply_sparse). Every amplitude gets the same operations in the
// same order as gate after gate, and the same bits.

// A step's distance to its partners: runs apart (a high slot's bit) or
// amplitudes apart within the run.
struct Stride {
  std::size_t runs, amplitudes;
};

Stride stride(const Step& step) {
  const std::size_t bit = std::size_t{1} << step.position;
  return step.high ? Stride{bit, 0} : Stride{0, bit};
}

bool pairs_up(const Step& first, const Step& second) {
  const auto vector_apart = [](const Step& s) {
    return s.op->kind == Op::kSingle && !s.op->nans && (s.high || s.position >= 2);
  };
  return vector_apart(first) && vector_apart(second) && (first.high != second.high || first.position != second.position);
}

template <class Isa, class A, class B>
[[gnu::always_inline]] inline void apply_two_lanes(Amplitude* const* runs, std::size_t run_count, std::size_t run_len,
                                                   const Matrix& m1, Stride s1, const Matrix& m2, Stride s2, A, B) {
  using V = Wide<Isa>;
  constexpr std::size_t kStep = sizeof(V) / sizeof(Amplitude);
  const MatrixLanes<V> l1 = lanes<V>(m1), l2 = lanes<V>(m2);
  const std::size_t high = s1.runs | s2.runs, low = s1.amplitudes | s2.amplitudes;
  for (std::size_t r = 0; r < run_count; ++r) {
    if (r & high) continue;
    Amplitude* const p0 = runs[r];
    Amplitude* const p1 = runs[r | s1.runs] + s1.amplitudes;
    Amplitude* const p2 = runs[r | s2.runs] + s2.amplitudes;
    Amplitude* const p3 = runs[r | high] + low;
    // x: the vectors of the run with neither gate's bit set.
    const auto next = [low](std::size_t x) { return ((x | low | (kStep - 1)) + 1) & ~low; };
    if constexpr (Isa::kDoubles < 8) {
      // Sixteen registers hold a quad or both matrices, not both (quads
      // measured 7-10% slower a gate here): the set of runs gets the first
      // gate, then the second.
      for (std::size_t x = 0; x < run_len; x = next(x)) {
        apply_to_vectors<Plain>(l1, p0 + x, p1 + x);
        apply_to_vectors<Plain>(l1, p2 + x, p3 + x);
      }
      for (std::size_t x = 0; x < run_len; x = next(x)) {
        apply_to_vectors<Plain>(l2, p0 + x, p2 + x);
        apply_to_vectors<Plain>(l2, p1 + x, p3 + x);
      }
    } else {
      // Sparse matrices leave out their zero products until the first quad
      // where that might change a zero's sign (a state with zero
      // amplitudes), and go on with all products from there.
      bool sparse = A::kDropped || B::kDropped;
      for (std::size_t x = 0; x < run_len; x = next(x)) {
        V v0 = load<V>(p0 + x), v1 = load<V>(p1 + x), v2 = load<V>(p2 + x), v3 = load<V>(p3 + x);
        if (sparse) {
          V w0 = v0, w1 = v1, w2 = v2, w3 = v3;
          if (apply_sparse<A>(l1, w0, w1) && apply_sparse<A>(l1, w2, w3) && apply_sparse<B>(l2, w0, w2) &&
              apply_sparse<B>(l2, w1, w3)) {
            store(p0 + x, w0);
            store(p1 + x, w1);
            store(p2 + x, w2);
            store(p3 + x, w3);
            continue;
          }
          sparse = false;
        }
        apply<Plain>(l1, v0, v1);
        apply<Plain>(l1, v2, v3);
        apply<Plain>(l2, v0, v2);
        apply<Plain>(l2, v1, v3);
        store(p0 + x, v0);
        store(p1 + x, v1);
        store(p2 + x, v2);
        store(p3 + x, v3);
      }
    }
  }
}
TAVIK_SIMD_DISPATCH(apply_two, apply_two_lanes)

void apply_step(Amplitude* const* runs, std::size_t run_count, std::size_t run_len, const Step& step) {
  if (step.op->kind != Op::kSingle && step.op->kind != Op::kControlled) {
    apply_permutation(runs, run_count, run_len, step.permutation);
  } else if (step.op->nans) {
    apply_single(runs, run_count, run_len, step, NanOrder{});
  } else {
    apply_single(runs, run_count, run_len, step, Plain{});
  }
}

// Tiles are disjoint and each is computed from itself alone, so they split
// across threads with every amplitude's arithmetic unchanged.
void apply_group(Amplitude* state, unsigned n, const Group& group, pool::Threads threads) {
  const unsigned run_bits = std::min(n, kRunBits);
  const std::size_t run_len = std::size_t{1} << run_bits;
  const std::size_t run_count = std::size_t{1} << group.high.size();

  // Tile t spreads its bits over the positions from run_bits up that are not
  // high qubits.
  std::vector<unsigned> spread;
  for (unsigned b = run_bits; b < n; ++b)
    if (std::find(group.high.begin(), group.high.end(), b) == group.high.end()) spread.push_back(b);
  std::vector<std::size_t> run_offset(run_count, 0);
  for (std::size_t r = 0; r < run_count; ++r)
    for (std::size_t j = 0; j < group.high.size(); ++j)
      if (r >> j & 1) run_offset[r] += std::size_t{1} << group.high[j];

  // A job of a few tiles is worth handing to another thread.
  const std::size_t grain = std::max<std::size_t>(1, (std::size_t{1} << 15) / (run_count * run_len));
  pool::parallel_for(threads, std::size_t{1} << spread.size(), grain, [&](std::size_t begin, std::size_t end) {
    std::vector<Amplitude*> runs(run_count);
    for (std::size_t t = begin; t < end; ++t) {
      poll_interrupt(run_count * run_len * group.steps.size());
      std::size_t base = 0;
      for (std::size_t k = 0; k < spread.size(); ++k)
        if (t >> k & 1) base += std::size_t{1} << spread[k];
      for (std::size_t r = 0; r < run_count; ++r) runs[r] = state + base + run_offset[r];

      const std::vector<Step>& steps = group.steps;
      for (std::size_t k = 0; k < steps.size(); ++k) {
        if (k + 1 < steps.size() && pairs_up(steps[k], steps[k + 1])) {
          const Step &first = steps[k], &second = steps[k + 1];
          with_arithmetic(first, [&](auto a) {
            with_arithmetic(second, [&](auto b) {
              apply_two(runs.data(), run_count, run_len, first.op->m, stride(first), second.op->m, stride(second), a, b);
            });
          });
          ++k;
        } else {
          apply_step(runs.data(), run_count, run_len, steps[k]);
        }
      }
    }
  });
}

// Splits the ops into groups of consecutive ops that touch at most kMaxHigh
// qubits at or above the run bits, and expresses each op in tile coordinates.
std::vector<Group> plan(const std::vector<Op>& ops, unsigned n) {
  const unsigned run_bits = std::min(n, kRunBits);
  std::vector<Group> groups;
  for (const Op& op : ops) {
    const bool single = op.kind == Op::kSingle || op.kind == Op::kControlled;
    std::vector<unsigned> qubits{op.q0};
    if (!single && op.q1 != op.q0) qubits.push_back(op.q1);
    for (std::uint64_t c = op.controls; c; c &= c - 1) qubits.push_back(static_cast<unsigned>(std::countr_zero(c)));

    std::vector<unsigned> high = groups.empty() ? std::vector<unsigned>{} : groups.back().high;
    for (unsigned q : qubits)
      if (q >= run_bits && std::find(high.begin(), high.end(), q) == high.end()) high.push_back(q);
    if (groups.empty() || high.size() > kMaxHigh) {
      groups.emplace_back();
      high.clear();
      for (unsigned q : qubits)
        if (q >= run_bits) high.push_back(q);
    }
    Group& group = groups.back();
    group.high = high;

    // Local bit of a qubit: its own bit in the run, or run_bits + its slot.
    auto local = [&](unsigned q) -> std::uint64_t {
      if (q < run_bits) return std::uint64_t{1} << q;
      const auto slot = std::find(high.begin(), high.end(), q) - high.begin();
      return std::uint64_t{1} << (run_bits + slot);
    };
    Step step{&op, false, 0, {}};
    if (single) {
      step.high = op.q0 >= run_bits;
      step.zero_lanes = zero_lanes(op.m);
      step.position = static_cast<unsigned>(std::countr_zero(local(op.q0)) - (step.high ? run_bits : 0));
      for (std::uint64_t c = op.controls; c; c &= c - 1) {
        const std::uint64_t bit = local(static_cast<unsigned>(std::countr_zero(c)));
        if (bit >> run_bits)
          step.controls_high |= static_cast<std::size_t>(bit >> run_bits);
        else
          step.controls_low |= static_cast<std::size_t>(bit);
      }
    } else {
      std::uint64_t b0 = local(op.q0), b1 = local(op.q1);
      // swap is symmetric in its qubits: the lane bit, if either is it, goes first.
      if (op.kind == Op::kSwap && b1 == 1) std::swap(b0, b1);
      std::uint64_t constrained, set, flip = 0;
      if (op.kind == Op::kCz) {
        constrained = set = b0 | b1;  // both set (one bit when q0 == q1)
      } else {
        constrained = b0 | b1;
        set = b0;  // q0 set, q1 clear
        flip = op.kind == Op::kCx ? b1 : b0 | b1;
      }
      using P = LocalPermutation;
      P::Lanes lanes;
      if (!(constrained & 1))
        lanes = op.kind == Op::kCz ? P::kNegate : P::kExchange;
      else if (op.kind == Op::kCz)
        lanes = P::kNegateOdd;
      else if (op.kind == Op::kSwap)
        lanes = P::kExchangeCross;
      else
        lanes = b0 == 1 ? P::kExchangeOdd : P::kExchangeInside;  // cx: the lane bit the control, or the target
      const std::uint64_t low_mask = (std::uint64_t{1} << run_bits) - 1;
      step.permutation = {constrained >> run_bits, set >> run_bits, flip >> run_bits,
                          (constrained & low_mask) >> 1, (set & low_mask) >> 1, (flip & low_mask) >> 1, lanes};
    }
    group.steps.push_back(step);
  }
  return groups;
}

// |0…0⟩ in `state`, then the ops in order; progress (when given) counts the
// ops done.
void run_ops(const std::vector<Op>& ops, unsigned n_qubits, std::span<Amplitude> state, pool::Threads threads,
             std::uint64_t* progress) {
  // Zero-filled by hand: on huge pages that is far cheaper than faulting in
  // calloc's lazily zeroed 4 KiB pages one at a time.
  pool::parallel_blocks(threads, state.size(), std::size_t{1} << 16, [&](std::size_t begin, std::size_t end) {
    std::fill(state.begin() + begin, state.begin() + end, Amplitude{0.0, 0.0});
  });
  state[0] = {1.0, 0.0};
  for (const Group& group : plan(ops, n_qubits)) {
    apply_group(state.data(), n_qubits, group, threads);
    std::uint64_t gates = 0;
    for (const Step& step : group.steps) gates += step.op->gates;
    add_progress(progress, gates);
  }
}

}  // namespace

StateVector::StateVector(unsigned n_qubits)
    : amplitudes_(big_buffer<Amplitude>(std::size_t{1} << n_qubits)), size_(std::size_t{1} << n_qubits) {}

unsigned statevector_qubits(std::uint64_t n_qubits) {
  if (n_qubits > kMaxStatevectorQubits) throw SizeViolation("run_statevector requires n_qubits <= 24");
  return static_cast<unsigned>(n_qubits);
}

void run_statevector(const std::vector<Instruction>& instructions, unsigned n_qubits, std::span<Amplitude> state,
                     pool::Threads threads) {
  run_ops(compile(instructions, n_qubits), n_qubits, state, threads, nullptr);
}

std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> circuit_gates() {
  std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> gates;
  for (const CircuitGate& g : kCircuitGates) gates.emplace_back(std::string(g.name), g.qubits, g.params);
  return gates;
}

std::uint64_t run_circuit(const std::vector<Instruction>& instructions, unsigned n_qubits, bool fuse,
                          std::span<Amplitude> state, pool::Threads threads, std::uint64_t* progress) {
  std::vector<Op> ops = compile_circuit(instructions, n_qubits);
  std::uint64_t gates = 0;
  for (const Op& op : ops) gates += op.gates;
  if (fuse) ops = fuse_single_qubit_runs(std::move(ops), n_qubits);
  run_ops(ops, n_qubits, state, threads, progress);
  return gates;
}

StateVector run_statevector(const std::vector<Instruction>& instructions, std::uint64_t n_qubits,
                            std::size_t result_bytes_per_amplitude, pool::Threads threads) {
  const unsigned n = statevector_qubits(n_qubits);
  require_memory(std::size_t{1} << n, 1, sizeof(Amplitude) + result_bytes_per_amplitude);
  StateVector state(n);
  run_statevector(instructions, n, {state.data(), state.size()}, threads);
  return state;
}

}  // namespace tavik::sim
