#include "platform/simd.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tavik::platform::simd {

#if defined(__x86_64__)
namespace {

// The register state the operating system saves on a context switch.
[[gnu::target("xsave")]] unsigned long long saved_state() { return _xgetbv(0); }

// The x86-64 microarchitecture levels, read from CPUID and the saved state
// directly rather than through the compiler's runtime, which not every
// compiler knows the levels by or links by default.
struct Levels {
  bool v3 = false, v4 = false;
};

Levels levels() {
  unsigned a, b, c1, d;
  if (!__get_cpuid_count(1, 0, &a, &b, &c1, &d)) return {};
  unsigned b7 = 0, c7, d7;
  if (!__get_cpuid_count(7, 0, &a, &b7, &c7, &d7)) b7 = 0;
  unsigned c81 = 0, b81, d81;
  if (!__get_cpuid_count(0x80000001, 0, &a, &b81, &c81, &d81)) c81 = 0;
  const auto all = [](unsigned reg, unsigned bits) { return (reg & bits) == bits; };
  const bool v2 = all(c1, bit_CMPXCHG16B | bit_POPCNT | bit_SSE3 | bit_SSSE3 | bit_SSE4_1 | bit_SSE4_2) &&
                  all(c81, bit_LAHF_LM);
  if (!v2 || !all(c1, bit_XSAVE | bit_OSXSAVE)) return {};
  const unsigned long long state = saved_state();
  constexpr unsigned long long kYmm = 0x6, kZmm = 0xE6;  // SSE, AVX; opmask, upper ZMM, high ZMM
  Levels l;
  l.v3 = (state & kYmm) == kYmm && all(c1, bit_AVX | bit_F16C | bit_FMA | bit_MOVBE) &&
         all(b7, bit_AVX2 | bit_BMI | bit_BMI2) && all(c81, bit_ABM);
  l.v4 = l.v3 && (state & kZmm) == kZmm &&
         all(b7, bit_AVX512F | bit_AVX512BW | bit_AVX512CD | bit_AVX512DQ | bit_AVX512VL);
  return l;
}

}  // namespace
#endif

// Whether the CPU has every feature of the path and the operating system
// saves its wider registers.
bool runs(Path path) noexcept {
#if defined(__x86_64__)
  static const Levels l = levels();
  switch (path) {
    case Path::avx512:
      return l.v4;
    case Path::avx2:
      return l.v3;
    case Path::portable:
      return true;
  }
#endif
  return path == Path::portable;
}

Path chosen() noexcept {
#if defined(TAVIK_ISA_PIN)
  return static_cast<Path>(TAVIK_ISA_PIN);
#else
  if (runs(Path::avx512)) return Path::avx512;
  return runs(Path::avx2) ? Path::avx2 : Path::portable;
#endif
}

bool take_path(Path p) noexcept {
#if defined(__x86_64__) && !defined(TAVIK_ISA_PIN)
  if (!runs(p)) return false;
  taken().store(p, std::memory_order_relaxed);
  return true;
#else
  return p == path();
#endif
}

}  // namespace tavik::platform::simd
