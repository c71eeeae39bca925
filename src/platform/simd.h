// SIMD paths. Each vectorised kernel is written once, as a function template
// over a path tag, and compiled once per instruction set; the widest path the
// CPU runs is picked once, at first use. The CMake option TAVIK_ISA pins one
// path instead, so CI can check every path's bits and the benchmarks can time
// each.
//
// The tag gives the path's register width, and kernels size their vectors of
// independent lanes by it: a vector wider than the registers is split by the
// compiler into several, and accumulators kept in such vectors spill to the
// stack. Every path does the same IEEE operation per lane in the same order
// (no lane ever feeds another), so all paths give the same bits.
//
// Usage: a kernel `template <class Isa> [[gnu::always_inline]] inline R
// f_lanes(...)`, then TAVIK_SIMD_DISPATCH(f, f_lanes) defines `f(...)`. The
// kernel must be always_inline: inlined into each path's variant it is built
// for that path's instruction set, and a kernel that cannot be inlined is a
// compile error rather than a silently slow path. The variants are plain
// functions (no ifunc), so exceptions pass through them.
#pragma once

#include <atomic>
#include <cstddef>

namespace tavik::platform::simd {

enum class Path { portable, avx2, avx512 };

// kDoubles: doubles per register.
struct Portable {  // baseline of the architecture: 128-bit registers (SSE2, NEON)
  static constexpr std::size_t kDoubles = 2;
};
struct Avx2 {  // x86-64-v3
  static constexpr std::size_t kDoubles = 4;
};
struct Avx512 {  // x86-64-v4
  static constexpr std::size_t kDoubles = 8;
};

// N lanes of T in GCC's vector extension. (A dependent vector_size written
// directly inside a function template loses its vector type; through this
// class template it keeps it.)
template <class T, std::size_t N>
struct Lanes {
  typedef T type __attribute__((vector_size(sizeof(T) * N)));
};
template <class T, std::size_t N>
using Vector = typename Lanes<T, N>::type;

// Whether this CPU, with this operating system, runs the path.
bool runs(Path path) noexcept;

// The path of a pinned build (TAVIK_ISA); the widest that runs otherwise.
Path chosen() noexcept;

// The path every dispatch takes: chosen() unless take_path() has set another.
inline std::atomic<Path>& taken() noexcept {
  static std::atomic<Path> p{chosen()};
  return p;
}

inline Path path() noexcept { return taken().load(std::memory_order_relaxed); }

// Sends every dispatch down `p` from now on, so that one test program can
// compare the paths' bits; false, changing nothing, when the CPU does not run
// p or the build has no variant for it (TAVIK_ISA pinned, or not x86-64).
bool take_path(Path p) noexcept;

}  // namespace tavik::platform::simd

#if defined(__x86_64__)
#define TAVIK_SIMD_AVX2_TARGET "avx2,fma,bmi,bmi2,lzcnt,popcnt,movbe,f16c"
#define TAVIK_SIMD_AVX512_TARGET TAVIK_SIMD_AVX2_TARGET ",avx512f,avx512vl,avx512bw,avx512dq,avx512cd"
#elif defined(TAVIK_ISA_PIN) && TAVIK_ISA_PIN != 0
#error "TAVIK_ISA=avx2 and TAVIK_ISA=avx512 need an x86-64 target"
#endif

// `name` compiled for the instruction set of tag `Isa`; never inlined, so the
// kernel's registers are not shared with its caller's code.
#define TAVIK_SIMD_VARIANT_(name, kernel, Isa, ...)                   \
  template <class... Args>                                             \
  [[gnu::noinline]] __VA_ARGS__ decltype(auto) name(Args&&... args) { \
    return kernel<Isa>(static_cast<Args&&>(args)...);                  \
  }

// TAVIK_SIMD_DISPATCH_AVX2_AT_MOST(f, f_lanes): the same, for a kernel whose
// AVX-512 variant measured slower than its AVX2 one (benchmarks/bench_isa_paths.py):
// unpinned builds send the AVX-512 path to the AVX2 variant; a build pinned
// to a path (TAVIK_ISA) still runs that path's, so every variant stays checked.
#if !defined(__x86_64__) || defined(TAVIK_ISA_PIN)
#define TAVIK_SIMD_DISPATCH_AVX2_AT_MOST(name, kernel) TAVIK_SIMD_DISPATCH(name, kernel)
#else
#define TAVIK_SIMD_DISPATCH_AVX2_AT_MOST(name, kernel)                                                            \
  TAVIK_SIMD_VARIANT_(name##_portable_, kernel, ::tavik::platform::simd::Portable)                                  \
  TAVIK_SIMD_VARIANT_(name##_avx2_, kernel, ::tavik::platform::simd::Avx2, [[gnu::target(TAVIK_SIMD_AVX2_TARGET)]]) \
  template <class... Args>                                                                                          \
  decltype(auto) name(Args&&... args) {                                                                             \
    if (::tavik::platform::simd::path() == ::tavik::platform::simd::Path::portable)                                 \
      return name##_portable_(static_cast<Args&&>(args)...);                                                        \
    return name##_avx2_(static_cast<Args&&>(args)...);                                                              \
  }
#endif

#if !defined(__x86_64__) || (defined(TAVIK_ISA_PIN) && TAVIK_ISA_PIN == 0)
#define TAVIK_SIMD_DISPATCH(name, kernel) TAVIK_SIMD_VARIANT_(name, kernel, ::tavik::platform::simd::Portable)
#elif defined(TAVIK_ISA_PIN) && TAVIK_ISA_PIN == 1
#define TAVIK_SIMD_DISPATCH(name, kernel) \
  TAVIK_SIMD_VARIANT_(name, kernel, ::tavik::platform::simd::Avx2, [[gnu::target(TAVIK_SIMD_AVX2_TARGET)]])
#elif defined(TAVIK_ISA_PIN) && TAVIK_ISA_PIN == 2
#define TAVIK_SIMD_DISPATCH(name, kernel) \
  TAVIK_SIMD_VARIANT_(name, kernel, ::tavik::platform::simd::Avx512, [[gnu::target(TAVIK_SIMD_AVX512_TARGET)]])
#else
#define TAVIK_SIMD_DISPATCH(name, kernel)                                                                           \
  TAVIK_SIMD_VARIANT_(name##_portable_, kernel, ::tavik::platform::simd::Portable)                                  \
  TAVIK_SIMD_VARIANT_(name##_avx2_, kernel, ::tavik::platform::simd::Avx2, [[gnu::target(TAVIK_SIMD_AVX2_TARGET)]]) \
  TAVIK_SIMD_VARIANT_(name##_avx512_, kernel, ::tavik::platform::simd::Avx512,                                      \
                      [[gnu::target(TAVIK_SIMD_AVX512_TARGET)]])                                                    \
  template <class... Args>                                                                                          \
  decltype(auto) name(Args&&... args) {                                                                             \
    switch (::tavik::platform::simd::path()) {                                                                      \
      case ::tavik::platform::simd::Path::avx512:                                                                   \
        return name##_avx512_(static_cast<Args&&>(args)...);                                                        \
      case ::tavik::platform::simd::Path::avx2:                                                                     \
        return name##_avx2_(static_cast<Args&&>(args)...);                                                          \
      default:                                                                                                      \
        return name##_portable_(static_cast<Args&&>(args)...);                                                      \
    }                                                                                                               \
  }
#endif
