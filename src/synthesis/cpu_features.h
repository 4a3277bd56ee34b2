#pragma once

namespace mpegin {

// The vector instruction sets the hot loops may use, narrowest first. Every path computes the
// same formulas; the wider ones only take more samples per instruction.
enum class SimdPath { kBaseline = 0, kAvx = 1, kAvx2Fma = 2, kAvx512 = 3 };

// The widest path this processor runs and this build can produce, detected once. The
// environment variable MPEGIN_SIMD ("baseline", "avx", "avx2" or "avx512") narrows it, never widens it:
// the tests run the compliance streams on each path the machine has.
SimdPath simd_path();

// Text for reports: "baseline", "avx", "avx2" or "avx512".
const char* simd_path_name(SimdPath path);

}  // namespace mpegin
