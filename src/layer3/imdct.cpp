#include "layer3/imdct.h"

#include "synthesis/cpu_features.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

#if MPEGIN_SSE2
// Four subbands side by side, one per lane. The operators are the plain float operations lane
// by lane, so a transform written once gives in each lane exactly what it gives on floats.
// Arrays of them start uninitialised; Float4() is zero.
struct Float4 {
  __m128 v;
  Float4() = default;
  explicit Float4(__m128 value) : v(value) {}
};
inline Float4 operator+(Float4 a, Float4 b) { return Float4(_mm_add_ps(a.v, b.v)); }
inline Float4 operator-(Float4 a, Float4 b) { return Float4(_mm_sub_ps(a.v, b.v)); }
inline Float4 operator*(Float4 a, Float4 b) { return Float4(_mm_mul_ps(a.v, b.v)); }
inline Float4 operator*(Float4 a, float b) { return Float4(_mm_mul_ps(a.v, _mm_set1_ps(b))); }
inline Float4 operator*(float a, Float4 b) { return Float4(_mm_mul_ps(_mm_set1_ps(a), b.v)); }
inline Float4 operator-(Float4 a) { return Float4(_mm_xor_ps(a.v, _mm_set1_ps(-0.0f))); }
inline Float4& operator+=(Float4& a, Float4 b) { return a = a + b; }
#endif

// The nine-point transform shared by the even and odd halves of the 36-point IMDCT.
template <typename V>
struct NinePoint {
  V y[5];
  V z[4];

  explicit NinePoint(const V* x) {  // reads x[0], x[2], ..., x[16]
    const float a1 = 1.8793852f, a2 = 1.5320889f, a4 = 0.34729636f, s3 = 1.7320508f;
    const float b1 = 1.9696155f, b5 = 1.2855753f, b7 = 0.6840403f;
    const V e0 = x[0], e1 = x[2], e2 = x[4], e3 = x[6], e4 = x[8];
    const V e5 = x[10], e6 = x[12], e7 = x[14], e8 = x[16];
    const V e00 = 2.0f * e0;
    y[0] = e00 + e6 + a1 * e2 + a2 * e4 + a4 * e8;
    z[0] = b1 * e1 + s3 * e3 + b5 * e5 + b7 * e7;
    y[1] = e2 + e00 - e4 - 2.0f * e6 - e8;
    z[1] = s3 * (e1 - e5 - e7);
    y[2] = e00 + e6 - a4 * e2 - a1 * e4 + a2 * e8;
    z[2] = b5 * e1 - s3 * e3 - b7 * e5 + b1 * e7;
    y[3] = e00 + e6 - a2 * e2 + a4 * e4 - a1 * e8;
    z[3] = b7 * e1 - s3 * e3 + b1 * e5 - b5 * e7;
    y[4] = e8 + e4 + e0 - e2 - e6;
  }
};

template <typename V>
void long_imdct(V* x, V* r, const float* window) {
  for (int k = 17; k >= 1; --k) x[k] += x[k - 1];
  for (int k = 17; k >= 3; k -= 2) x[k] += x[k - 2];

  const NinePoint<V> even(x);
  const NinePoint<V> odd(x + 1);
  // 1 / (2 cos((2m + 1) pi / 36)) for m = 8..5 (difference side) and m = 0..3 (sum side).
  const float p_scale[4] = {5.7368565f, 1.9318516f, 1.1831008f, 0.8717234f};
  const float q_scale[4] = {0.5019099f, 0.5176381f, 0.55168897f, 0.61038727f};

  // Value t[k] of the 18 transform outputs goes windowed to two samples: for k >= 9 to
  // r[k - 9] (negated) and r[26 - k], for k <= 8 to r[26 - k] and r[27 + k]. They are written
  // as they are formed, with no array of t in between.
  const auto put = [r, window](int k, V t) {
    if (k >= 9) {
      r[k - 9] = -t * window[k - 9];
    } else {
      r[27 + k] = t * window[27 + k];
    }
    r[26 - k] = t * window[26 - k];
  };
  for (int m = 0; m < 4; ++m) {
    const V p = (odd.y[m] - odd.z[m]) * p_scale[m];
    const V q = (odd.y[m] + odd.z[m]) * q_scale[m];
    const V diff = even.y[m] - even.z[m];
    const V sum = even.y[m] + even.z[m];
    put(9 + m, diff - p);
    put(8 - m, diff + p);
    put(17 - m, sum - q);
    put(m, sum + q);
  }
  const V p4 = odd.y[4] * 0.70710677f;
  put(13, even.y[4] - p4);
  put(4, even.y[4] + p4);
}

// Three 12-point transforms on the interleaved windows x[3k + j], windowed with sin(pi/12 (i + 1/2))
// and added into r[6 + 6j ..]; the window values are folded into the constants below.
template <typename V>
void short_imdct(const V* x, V* r) {
  for (int i = 0; i < 36; ++i) r[i] = V();
  for (int j = 0; j < 3; ++j) {
    V x0 = x[j], x1 = x[3 + j], x2 = x[6 + j], x3 = x[9 + j], x4 = x[12 + j], x5 = x[15 + j];
    x5 += x4;
    x4 += x3;
    x3 += x2;
    x2 += x1;
    x1 += x0;
    x5 += x3;
    x3 += x1;

    const V h = x0 + 0.5f * x4;
    const V d = 0.8660254f * x2;
    const V m = x1 + 0.5f * x5;
    const V v = 0.8660254f * x3;

    const V u = (m - v) * 1.9318516f;
    const V a = ((h - d) - u) * 0.8213398f;
    const V l = -(((h - d) + u) * 0.6302362f);

    const V f = x0 - x4;
    const V g = (x1 - x5) * 0.70710677f;
    const V b = (f - g) * 1.306563f;
    const V ff = -((f + g) * 0.5411961f);

    const V m2 = (m + v) * 0.5176381f;
    const V k = ((h + d) - m2) * 3.830649f;
    const V hh = -(((h + d) + m2) * 0.5043145f);

    V* out = r + 6 + 6 * j;
    out[0] += a * 0.13052619f;
    out[1] += b * 0.38268343f;
    out[2] += k * 0.6087614f;
    out[3] += -k * 0.7933533f;
    out[4] += -b * 0.9238795f;
    out[5] += -a * 0.9914449f;
    out[6] += l * 0.9914449f;
    out[7] += ff * 0.9238795f;
    out[8] += hh * 0.7933533f;
    out[9] += hh * 0.6087614f;
    out[10] += ff * 0.38268343f;
    out[11] += l * 0.13052619f;
  }
}

}  // namespace


void imdct(float* input, float* output, int32_t type) {
  if (type == 2) {
    short_imdct(input, output);
  } else {
    long_imdct(input, output, imdct_windows[type & 3]);
  }
}

#if MPEGIN_SSE2
namespace {

// Four rows of 18 floats (row j at rows + 18 j) to 18 vectors of one line, a subband a lane:
// 0..15 by 4 x 4 transposes, 16 and 17 one by one.
inline void load_rows(const float* rows, Float4* x) {
  for (int t = 0; t < 16; t += 4) {
    __m128 r0 = _mm_loadu_ps(rows + t);
    __m128 r1 = _mm_loadu_ps(rows + 18 + t);
    __m128 r2 = _mm_loadu_ps(rows + 36 + t);
    __m128 r3 = _mm_loadu_ps(rows + 54 + t);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    x[t] = Float4(r0);
    x[t + 1] = Float4(r1);
    x[t + 2] = Float4(r2);
    x[t + 3] = Float4(r3);
  }
  for (int t = 16; t < 18; ++t) x[t] = Float4(_mm_setr_ps(rows[t], rows[18 + t], rows[36 + t], rows[54 + t]));
}

// Four vectors of one line each (a subband a lane) turned into each subband's four lines.
inline void transpose(const Float4* v, __m128* rows) {
  __m128 r0 = v[0].v, r1 = v[1].v, r2 = v[2].v, r3 = v[3].v;
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  rows[0] = r0;
  rows[1] = r1;
  rows[2] = r2;
  rows[3] = r3;
}

// The transform of four rows of lines, a subband a lane.
inline void transform_rows(const float* rows, Float4* r, int32_t type) {
  Float4 x[18];
  load_rows(rows, x);
  if (type == 2) {
    short_imdct(x, r);
  } else {
    long_imdct(x, r, imdct_windows[type & 3]);
  }
}

}  // namespace
#endif

void imdct_4(const float* input, float (*output)[36], int32_t type) {
#if MPEGIN_SSE2
  Float4 r[36];
  transform_rows(input, r, type);
  for (int i = 0; i < 36; i += 4) {
    __m128 rows[4];
    transpose(r + i, rows);
    for (int j = 0; j < 4; ++j) _mm_storeu_ps(output[j] + i, rows[j]);
  }
#else
  for (int j = 0; j < 4; ++j) {
    float lines[18];
    for (int t = 0; t < 18; ++t) lines[t] = input[18 * j + t];
    imdct(lines, output[j], type);
  }
#endif
}

#if MPEGIN_SSE2
namespace {

// The overlap-add of four subbands from their transforms, given lane by lane: result(i) is output
// i of the four, a subband a lane. The results go back to rows four lines at a time and are added
// or kept from there: no 36-sample results are stored and read again.
template <typename Result>
inline void overlap_rows(float* lines, float (*kept)[18], Result result) {
  for (int t = 0; t < 16; t += 4) {
    const Float4 first[4] = {result(t), result(t + 1), result(t + 2), result(t + 3)};
    __m128 rows[4];
    transpose(first, rows);
    for (int j = 0; j < 4; ++j) {
      _mm_storeu_ps(lines + 18 * j + t, _mm_add_ps(rows[j], _mm_loadu_ps(kept[j] + t)));
    }
    const Float4 second[4] = {result(18 + t), result(19 + t), result(20 + t), result(21 + t)};
    transpose(second, rows);
    for (int j = 0; j < 4; ++j) _mm_storeu_ps(kept[j] + t, rows[j]);
  }
  alignas(16) float tail[4][4];  // lines 16, 17 and their second halves 34, 35, lane by lane
  _mm_store_ps(tail[0], result(16).v);
  _mm_store_ps(tail[1], result(17).v);
  _mm_store_ps(tail[2], result(34).v);
  _mm_store_ps(tail[3], result(35).v);
  for (int j = 0; j < 4; ++j) {
    lines[18 * j + 16] = tail[0][j] + kept[j][16];
    lines[18 * j + 17] = tail[1][j] + kept[j][17];
    kept[j][16] = tail[2][j];
    kept[j][17] = tail[3][j];
  }
}

#if MPEGIN_WIDE_VECTORS
// Eight and sixteen subbands side by side: the compiler's vector types, whose operators are the
// plain float operations lane by lane like Float4's (and whose lanes may be read as floats). The transforms are inlined into the
// functions below (flatten) and so built with their instruction sets; the lines come in and go
// out through the four-subband transposes.
typedef float Float8 __attribute__((vector_size(32)));
typedef float Float16 __attribute__((vector_size(64)));

// The transforms of `Groups` x 4 subbands held lane by lane in x, and their overlap-add into
// `lines` (72 lines a group of four) and `kept`. Inlined into the callers, which give the
// instruction set; the lambda reads the results' lanes from memory, since lambdas do not take
// it.
template <int Groups, typename V>
inline void transform_overlap_groups(V* x, float* lines, float (*kept)[18], int32_t type) {
  V r[36];
  if (type == 2) {
    short_imdct(x, r);
  } else {
    long_imdct(x, r, imdct_windows[type & 3]);
  }
  const float* results = reinterpret_cast<const float*>(r);
  for (int j = 0; j < Groups; ++j) {
    overlap_rows(lines + 72 * j, kept + 4 * j, [results, j](int i) {
      return Float4(_mm_loadu_ps(results + 4 * Groups * i + 4 * j));
    });
  }
}

__attribute__((target("avx"), flatten)) void imdct_8_overlap(float* lines, float (*kept)[18],
                                                             int32_t type) {
  Float4 low[18], high[18];
  load_rows(lines, low);
  load_rows(lines + 72, high);
  Float8 x[18];
  for (int t = 0; t < 18; ++t) x[t] = reinterpret_cast<Float8>(_mm256_set_m128(high[t].v, low[t].v));
  transform_overlap_groups<2>(x, lines, kept, type);
}

__attribute__((target("avx512f"), optimize("fp-contract=off"), flatten)) void imdct_16_overlap(float* lines, float (*kept)[18],
                                                                  int32_t type) {
  Float4 quarter[4][18];
  for (int j = 0; j < 4; ++j) load_rows(lines + 72 * j, quarter[j]);
  Float16 x[18];
  for (int t = 0; t < 18; ++t) {
    __m512 v = _mm512_castps128_ps512(quarter[0][t].v);
    v = _mm512_insertf32x4(v, quarter[1][t].v, 1);
    v = _mm512_insertf32x4(v, quarter[2][t].v, 2);
    v = _mm512_insertf32x4(v, quarter[3][t].v, 3);
    x[t] = reinterpret_cast<Float16>(v);
  }
  transform_overlap_groups<4>(x, lines, kept, type);
}
#endif

}  // namespace
#endif

void imdct_4_overlap(float* lines, float (*kept)[18], int32_t type) {
#if MPEGIN_SSE2
  Float4 r[36];
  transform_rows(lines, r, type);
  overlap_rows(lines, kept, [&r](int i) { return r[i]; });
#else
  float result[4][36];
  imdct_4(lines, result, type);
  for (int j = 0; j < 4; ++j) {
    for (int t = 0; t < 18; ++t) {
      lines[18 * j + t] = result[j][t] + kept[j][t];
      kept[j][t] = result[j][18 + t];
    }
  }
#endif
}

void imdct_overlap(float* lines, float (*kept)[18], int32_t type, int32_t subbands, SimdPath path) {
  int32_t sb = 0;
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    for (; sb + 16 <= subbands; sb += 16) imdct_16_overlap(lines + 18 * sb, kept + sb, type);
  }
  if (path >= SimdPath::kAvx) {
    for (; sb + 8 <= subbands; sb += 8) imdct_8_overlap(lines + 18 * sb, kept + sb, type);
  }
#endif
  (void)path;
  for (; sb < subbands; sb += 4) imdct_4_overlap(lines + 18 * sb, kept + sb, type);
}

}  // namespace mpegin
