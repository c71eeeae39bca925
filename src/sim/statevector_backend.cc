#include "sim/statevector_backend.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

#include "errors.h"

namespace tavik::sim {
namespace {

// [[m00, m01], [m10, m11]] acting on (a, b): a has the target bit clear, b set.
struct Matrix {
  Amplitude m00, m01, m10, m11;
};

// One compiled instruction. Gates that provably leave the state unchanged
// (a control or cz qubit beyond the state) are dropped while compiling.
struct Op {
  enum Kind { kSingle, kCx, kCz, kSwap } kind;
  unsigned q0, q1;
  Matrix m;
};

constexpr double kR = 0.7071067811865476;       // the double nearest 1/√2
constexpr double kRBelow = 0.7071067811865475;  // one unit in the last place below kR

Amplitude times(Amplitude x, Amplitude y) { return {x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re}; }

// e^{ix}·factor, the factor a real number taken as (factor, +0.0).
Amplitude phase_times(double x, double factor) { return times({std::cos(x), std::sin(x)}, {factor, 0.0}); }

Matrix single_qubit_matrix(const std::string& name, const std::vector<double>& params) {
  if (name == "h") return {{kR, 0.0}, {kR, 0.0}, {kR, 0.0}, {-kR, 0.0}};
  if (name == "x") return {{0.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}, {0.0, 0.0}};
  if (name == "y") return {{0.0, 0.0}, {0.0, -1.0}, {0.0, 1.0}, {0.0, 0.0}};
  if (name == "z") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {-1.0, 0.0}};
  if (name == "s") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 1.0}};
  if (name == "t") return {{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {kR, kRBelow}};
  if (name == "rx" || name == "ry" || name == "rz") {
    const double half = checked(params, 0) * 0.5;
    const double c = std::cos(half), s = std::sin(half);
    if (name == "rx") return {{c, 0.0}, {0.0, -s}, {0.0, -s}, {c, 0.0}};
    if (name == "ry") return {{c, 0.0}, {-s, 0.0}, {s, 0.0}, {c, 0.0}};
    return {{c, -s}, {0.0, 0.0}, {0.0, 0.0}, {c, s}};
  }
  if (name == "u") {
    const double theta = checked(params, 0), phi = checked(params, 1), lambda = checked(params, 2);
    const double half = theta * 0.5;
    const double c = std::cos(half), s = std::sin(half);
    const Amplitude e_lambda_s = phase_times(lambda, s);
    return {{c, 0.0}, {-e_lambda_s.re, -e_lambda_s.im}, phase_times(phi, s), phase_times(phi + lambda, c)};
  }
  throw ValueError("'" + name + "' is not a single-qubit gate");
}

// The failure for a partner index low + 2^q beyond the state. From q = 64 on
// that index no longer fits in 64 bits and is written as a power of two.
[[noreturn]] void partner_out_of_bounds(std::size_t len, std::uint64_t low, std::uint64_t q) {
  if (q < 64) index_out_of_bounds(len, low + (std::uint64_t{1} << q));
  std::string index = "2^" + std::to_string(q);
  if (low != 0) index += " + " + std::to_string(low);
  throw Panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " + index);
}

// Validates every instruction in order and turns it into an Op. Nothing is
// observable of the instructions before a failing one (the state is
// discarded), so checking them all before the first pass is equivalent to
// failing midway.
std::vector<Op> compile(const std::vector<Instruction>& instructions, unsigned n) {
  const std::size_t len = std::size_t{1} << n;
  std::vector<Op> ops;
  ops.reserve(instructions.size());
  for (const auto& [name, qubits, params] : instructions) {
    const std::uint64_t q0 = checked(qubits, 0);
    if (qubits.size() == 1) {
      const Matrix m = single_qubit_matrix(name, params);
      // The first pair visited is (0, 2^q); qubits from 64 on have no bit in
      // any index, so their partner is beyond the state too.
      if (q0 >= n) partner_out_of_bounds(len, 0, q0);
      ops.push_back({Op::kSingle, static_cast<unsigned>(q0), 0, m});
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
      throw ValueError("'" + name + "' is not a supported two-qubit gate");

    if (kind == Op::kCz) {
      if (q0 >= n || q1 >= n) continue;  // no index has that bit set
    } else {
      if (q0 >= n || q0 == q1) continue;  // no index has bit q0 set and bit q1 clear
      // The first index with bit q0 set is 2^q0; its partner is 2^q0 + 2^q1
      // for cx and 2^q1 for swap.
      if (q1 >= n) partner_out_of_bounds(len, kind == Op::kCx ? std::uint64_t{1} << q0 : 0, q1);
    }
    ops.push_back({kind, static_cast<unsigned>(q0), static_cast<unsigned>(q1), {}});
  }
  return ops;
}

// ---- single-qubit gates ---------------------------------------------------
//
// new a = m00·a + m01·b, new b = m10·a + m11·b, each complex product
// (xr·yr − xi·yi, xr·yi + xi·yr) rounded term by term. The vector form holds
// two amplitudes (re, im, re, im) per register and computes
//   m·a = mr·a + s·swap(a),  s = (−mi, +mi, −mi, +mi),
// whose real lane is mr·ar + (−mi)·ai = mr·ar − mi·ai and whose imaginary lane
// is mr·ai + mi·ar: the same roundings as the scalar formula.

using V4 = double __attribute__((vector_size(32)));

inline V4 load(const Amplitude* p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline void store(Amplitude* p, V4 v) { std::memcpy(p, &v, sizeof v); }

inline V4 swap_parts(V4 v) { return __builtin_shufflevector(v, v, 1, 0, 3, 2); }

struct MatrixLanes {
  V4 r00, s00, r01, s01, r10, s10, r11, s11;
};

inline MatrixLanes lanes(const Matrix& m) {
  auto r = [](Amplitude x) { return V4{x.re, x.re, x.re, x.re}; };
  auto s = [](Amplitude x) { return V4{-x.im, x.im, -x.im, x.im}; };
  return {r(m.m00), s(m.m00), r(m.m01), s(m.m01), r(m.m10), s(m.m10), r(m.m11), s(m.m11)};
}

[[gnu::always_inline]] inline void apply(const MatrixLanes& l, V4& a, V4& b) {
  const V4 sa = swap_parts(a), sb = swap_parts(b);
  const V4 na = (l.r00 * a + l.s00 * sa) + (l.r01 * b + l.s01 * sb);
  const V4 nb = (l.r10 * a + l.s10 * sa) + (l.r11 * b + l.s11 * sb);
  a = na;
  b = nb;
}

inline void apply_scalar(const Matrix& m, Amplitude& a, Amplitude& b) {
  const Amplitude na{(m.m00.re * a.re + -m.m00.im * a.im) + (m.m01.re * b.re + -m.m01.im * b.im),
                     (m.m00.re * a.im + m.m00.im * a.re) + (m.m01.re * b.im + m.m01.im * b.re)};
  const Amplitude nb{(m.m10.re * a.re + -m.m10.im * a.im) + (m.m11.re * b.re + -m.m11.im * b.im),
                     (m.m10.re * a.im + m.m10.im * a.re) + (m.m11.re * b.im + m.m11.im * b.re)};
  a = na;
  b = nb;
}

[[gnu::target_clones("avx2", "default")]]
void apply_single(Amplitude* state, std::size_t len, unsigned q, const Matrix& m) {
  const std::size_t half = std::size_t{1} << q;
  if (len < 4) {  // one or two amplitudes: no full register
    for (std::size_t i = 0; i + half < len; i += 2 * half) apply_scalar(m, state[i], state[i + half]);
    return;
  }
  const MatrixLanes l = lanes(m);
  if (q == 0) {
    // Pairs are neighbours: regroup two registers [a0 b0][a1 b1] as [a0 a1][b0 b1].
    for (std::size_t i = 0; i < len; i += 4) {
      const V4 v0 = load(state + i), v1 = load(state + i + 2);
      V4 a = __builtin_shufflevector(v0, v1, 0, 1, 4, 5), b = __builtin_shufflevector(v0, v1, 2, 3, 6, 7);
      apply(l, a, b);
      store(state + i, __builtin_shufflevector(a, b, 0, 1, 4, 5));
      store(state + i + 2, __builtin_shufflevector(a, b, 2, 3, 6, 7));
    }
    return;
  }
  for (std::size_t base = 0; base < len; base += 2 * half) {
    Amplitude* lo = state + base;
    Amplitude* hi = lo + half;
    for (std::size_t i = 0; i < half; i += 2) {
      V4 a = load(lo + i), b = load(hi + i);
      apply(l, a, b);
      store(lo + i, a);
      store(hi + i, b);
    }
  }
}

// ---- two-qubit gates --------------------------------------------------------
//
// Each touches only indices whose bits lo and hi are clear plus a fixed
// offset; those come in contiguous runs of 2^lo.

template <class F>
[[gnu::always_inline]] inline void for_each_run(std::size_t len, unsigned lo, unsigned hi, F f) {
  const std::size_t lo_size = std::size_t{1} << lo, hi_size = std::size_t{1} << hi;
  for (std::size_t outer = 0; outer < len; outer += 2 * hi_size)
    for (std::size_t start = outer; start < outer + hi_size; start += 2 * lo_size) f(start, lo_size);
}

inline void negate(Amplitude& x) {
  x.re = -x.re;
  x.im = -x.im;
}

void apply_two_qubit(Amplitude* state, std::size_t len, const Op& op) {
  const std::size_t m0 = std::size_t{1} << op.q0, m1 = std::size_t{1} << op.q1;
  if (op.kind == Op::kCz && op.q0 == op.q1) {
    for (std::size_t base = m0; base < len; base += 2 * m0)
      for (std::size_t i = base; i < base + m0; ++i) negate(state[i]);
    return;
  }
  const unsigned lo = std::min(op.q0, op.q1), hi = std::max(op.q0, op.q1);
  switch (op.kind) {
    case Op::kCx:  // bit q0 set, q1 clear ↔ both set
      for_each_run(len, lo, hi, [&](std::size_t start, std::size_t n) {
        for (std::size_t i = start + m0; i < start + m0 + n; ++i) std::swap(state[i], state[i + m1]);
      });
      break;
    case Op::kSwap:  // bit q0 set, q1 clear ↔ q0 clear, q1 set
      for_each_run(len, lo, hi, [&](std::size_t start, std::size_t n) {
        for (std::size_t i = start; i < start + n; ++i) std::swap(state[i + m0], state[i + m1]);
      });
      break;
    case Op::kCz:
      for_each_run(len, lo, hi, [&](std::size_t start, std::size_t n) {
        for (std::size_t i = start + m0 + m1; i < start + m0 + m1 + n; ++i) negate(state[i]);
      });
      break;
    case Op::kSingle:
      break;
  }
}

}  // namespace

StateVector::StateVector(unsigned n_qubits) : size_(std::size_t{1} << n_qubits) {
  amplitudes_.reset(static_cast<Amplitude*>(std::calloc(size_, sizeof(Amplitude))));
  if (!amplitudes_) throw std::bad_alloc();
}

StateVector run_statevector(const std::vector<Instruction>& instructions, std::uint64_t n_qubits) {
  if (n_qubits > kMaxStatevectorQubits) throw SizeViolation("run_statevector requires n_qubits <= 24");
  const auto n = static_cast<unsigned>(n_qubits);
  StateVector state(n);
  state.data()[0] = {1.0, 0.0};
  for (const Op& op : compile(instructions, n)) {
    if (op.kind == Op::kSingle)
      apply_single(state.data(), state.size(), op.q0, op.m);
    else
      apply_two_qubit(state.data(), state.size(), op);
  }
  return state;
}

}  // namespace tavik::sim
