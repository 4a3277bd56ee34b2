#include "synthesis/cpu_features.h"

#include <cstdlib>
#include <cstring>

#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

SimdPath detect() {
  SimdPath widest = SimdPath::kBaseline;
#if MPEGIN_WIDE_VECTORS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx")) widest = SimdPath::kAvx;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) widest = SimdPath::kAvx2Fma;
  // AVX-512 F and DQ, with the registers' state saved by the system (the library checks it).
  if (widest == SimdPath::kAvx2Fma && __builtin_cpu_supports("avx512f") &&
      __builtin_cpu_supports("avx512dq"))
    widest = SimdPath::kAvx512;
#endif
  const char* wanted = std::getenv("MPEGIN_SIMD");
  if (wanted == nullptr) return widest;
  SimdPath limit = widest;
  if (std::strcmp(wanted, "baseline") == 0 || std::strcmp(wanted, "sse2") == 0) {
    limit = SimdPath::kBaseline;
  } else if (std::strcmp(wanted, "avx") == 0) {
    limit = SimdPath::kAvx;
  } else if (std::strcmp(wanted, "avx2") == 0) {
    limit = SimdPath::kAvx2Fma;
  }
  return static_cast<int>(limit) < static_cast<int>(widest) ? limit : widest;
}

}  // namespace

SimdPath simd_path() {
  static const SimdPath path = detect();
  return path;
}

const char* simd_path_name(SimdPath path) {
  switch (path) {
    case SimdPath::kAvx:
      return "avx";
    case SimdPath::kAvx2Fma:
      return "avx2";
    case SimdPath::kAvx512:
      return "avx512";
    default:
      return "baseline";
  }
}

}  // namespace mpegin
