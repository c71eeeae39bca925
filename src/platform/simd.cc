#include "platform/simd.h"

namespace tavik::platform::simd {

// The CPU's feature bits as the compiler's runtime reports them, which also
// require the operating system to save the wider registers.
bool runs(Path path) noexcept {
#if defined(__x86_64__)
  switch (path) {
    case Path::avx512:
      return __builtin_cpu_supports("x86-64-v4");
    case Path::avx2:
      return __builtin_cpu_supports("x86-64-v3");
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

}  // namespace tavik::platform::simd
