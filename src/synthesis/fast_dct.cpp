#include "synthesis/fast_dct.h"

#include <cmath>

namespace mpegin {

namespace {

struct DctFactors {
  float f[32];
  DctFactors() {
    const double pi = 3.14159265358979323846;
    f[0] = 0.0f;
    for (int j = 1; j < 32; ++j) f[j] = static_cast<float>(1.0 / (2.0 * std::cos(j * pi / 64.0)));
  }
};

const DctFactors factors;  // computed once at start-up

}  // namespace

const float* const dct_factors = factors.f;

namespace {

// One level of Lee's decomposition for size N: a[k] = y[k] + y[N-1-k] and
// b[k] = (y[k] - y[N-1-k]) / (2 cos((2k + 1) pi / 2N)); both halves are transformed at size
// N/2 and merged as Y[2k] = A[k], Y[2k+1] = B[k] + B[k+1], Y[N-1] = B[N/2-1]. The sizes are
// template arguments, so the compiler flattens the whole transform into straight-line code.
template <int N>
struct LeeDct {
  static void run(const float* y, float* Y) {
    constexpr int h = N / 2;
    float a[h], b[h], A[h], B[h];
    for (int k = 0; k < h; ++k) {
      a[k] = y[k] + y[N - 1 - k];
      b[k] = (y[k] - y[N - 1 - k]) * factors.f[(2 * k + 1) * 32 / N];
    }
    LeeDct<h>::run(a, A);
    LeeDct<h>::run(b, B);
    for (int k = 0; k < h - 1; ++k) {
      Y[2 * k] = A[k];
      Y[2 * k + 1] = B[k] + B[k + 1];
    }
    Y[N - 2] = A[h - 1];
    Y[N - 1] = B[h - 1];
  }
};

template <>
struct LeeDct<1> {
  static void run(const float* y, float* Y) { Y[0] = y[0]; }
};

}  // namespace

void fast_dct32(const float* x, float* X) { LeeDct<32>::run(x, X); }

}  // namespace mpegin
