#include "synthesis/fast_dct.h"

#include "synthesis/dct_factor_table.h"
#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

const DctFactorTable& factors = dct_factor_table;

}  // namespace

const float* const dct_factors = factors.f;

namespace {

// Inlined wherever it is used, so that each vector width gets its own code.
#if defined(__GNUC__) || defined(__clang__)
#define MPEGIN_DCT_INLINE inline __attribute__((always_inline))
#else
#define MPEGIN_DCT_INLINE inline
#endif

// Lee's decomposition, written out. At each size N the input y splits into the sums
// a[k] = y[k] + y[N-1-k] and the scaled differences b[k] = (y[k] - y[N-1-k]) * F[(2k+1) 32/N];
// both halves are transformed at size N/2 (A and B), and the outputs are Y[2k] = A[k],
// Y[2k+1] = B[k] + B[k+1] and Y[N-1] = B[N/2-1]. A name spells the path from the input:
// "ab3" is element 3 of the differences taken of the size-32 sums, "ay5" is odd output 5 of
// the size-16 transform of the sums. T is float, or a vector type whose lanes are independent
// transforms (one slot each) and whose operators work lane by lane, as GCC's vector types do.
template <class T>
MPEGIN_DCT_INLINE void lee_dct32_of(const T* x, T* X) {
  const float* F = factors.f;
  // Size 32: sums a*, scaled differences b*.
  const T a0 = x[0] + x[31];
  const T a1 = x[1] + x[30];
  const T a2 = x[2] + x[29];
  const T a3 = x[3] + x[28];
  const T a4 = x[4] + x[27];
  const T a5 = x[5] + x[26];
  const T a6 = x[6] + x[25];
  const T a7 = x[7] + x[24];
  const T a8 = x[8] + x[23];
  const T a9 = x[9] + x[22];
  const T a10 = x[10] + x[21];
  const T a11 = x[11] + x[20];
  const T a12 = x[12] + x[19];
  const T a13 = x[13] + x[18];
  const T a14 = x[14] + x[17];
  const T a15 = x[15] + x[16];
  const T b0 = (x[0] - x[31]) * F[1];
  const T b1 = (x[1] - x[30]) * F[3];
  const T b2 = (x[2] - x[29]) * F[5];
  const T b3 = (x[3] - x[28]) * F[7];
  const T b4 = (x[4] - x[27]) * F[9];
  const T b5 = (x[5] - x[26]) * F[11];
  const T b6 = (x[6] - x[25]) * F[13];
  const T b7 = (x[7] - x[24]) * F[15];
  const T b8 = (x[8] - x[23]) * F[17];
  const T b9 = (x[9] - x[22]) * F[19];
  const T b10 = (x[10] - x[21]) * F[21];
  const T b11 = (x[11] - x[20]) * F[23];
  const T b12 = (x[12] - x[19]) * F[25];
  const T b13 = (x[13] - x[18]) * F[27];
  const T b14 = (x[14] - x[17]) * F[29];
  const T b15 = (x[15] - x[16]) * F[31];
  // Size 16 a: sums aa*, scaled differences ab*.
  const T aa0 = a0 + a15;
  const T aa1 = a1 + a14;
  const T aa2 = a2 + a13;
  const T aa3 = a3 + a12;
  const T aa4 = a4 + a11;
  const T aa5 = a5 + a10;
  const T aa6 = a6 + a9;
  const T aa7 = a7 + a8;
  const T ab0 = (a0 - a15) * F[2];
  const T ab1 = (a1 - a14) * F[6];
  const T ab2 = (a2 - a13) * F[10];
  const T ab3 = (a3 - a12) * F[14];
  const T ab4 = (a4 - a11) * F[18];
  const T ab5 = (a5 - a10) * F[22];
  const T ab6 = (a6 - a9) * F[26];
  const T ab7 = (a7 - a8) * F[30];
  // Size 8 aa: sums aaa*, scaled differences aab*.
  const T aaa0 = aa0 + aa7;
  const T aaa1 = aa1 + aa6;
  const T aaa2 = aa2 + aa5;
  const T aaa3 = aa3 + aa4;
  const T aab0 = (aa0 - aa7) * F[4];
  const T aab1 = (aa1 - aa6) * F[12];
  const T aab2 = (aa2 - aa5) * F[20];
  const T aab3 = (aa3 - aa4) * F[28];
  // Size 4 aaa: sums aaaa*, scaled differences aaab*.
  const T aaaa0 = aaa0 + aaa3;
  const T aaaa1 = aaa1 + aaa2;
  const T aaab0 = (aaa0 - aaa3) * F[8];
  const T aaab1 = (aaa1 - aaa2) * F[24];
  // Size 2 aaaa: sums aaaaa*, scaled differences aaaab*.
  const T aaaaa0 = aaaa0 + aaaa1;
  const T aaaab0 = (aaaa0 - aaaa1) * F[16];
  // Size 2 aaab: sums aaaba*, scaled differences aaabb*.
  const T aaaba0 = aaab0 + aaab1;
  const T aaabb0 = (aaab0 - aaab1) * F[16];
  // Size 4 aaa: odd outputs B[k] + B[k+1].
  const T aaay1 = aaaba0 + aaabb0;
  // Size 4 aab: sums aaba*, scaled differences aabb*.
  const T aaba0 = aab0 + aab3;
  const T aaba1 = aab1 + aab2;
  const T aabb0 = (aab0 - aab3) * F[8];
  const T aabb1 = (aab1 - aab2) * F[24];
  // Size 2 aaba: sums aabaa*, scaled differences aabab*.
  const T aabaa0 = aaba0 + aaba1;
  const T aabab0 = (aaba0 - aaba1) * F[16];
  // Size 2 aabb: sums aabba*, scaled differences aabbb*.
  const T aabba0 = aabb0 + aabb1;
  const T aabbb0 = (aabb0 - aabb1) * F[16];
  // Size 4 aab: odd outputs B[k] + B[k+1].
  const T aaby1 = aabba0 + aabbb0;
  // Size 8 aa: odd outputs B[k] + B[k+1].
  const T aay1 = aabaa0 + aaby1;
  const T aay3 = aaby1 + aabab0;
  const T aay5 = aabab0 + aabbb0;
  // Size 8 ab: sums aba*, scaled differences abb*.
  const T aba0 = ab0 + ab7;
  const T aba1 = ab1 + ab6;
  const T aba2 = ab2 + ab5;
  const T aba3 = ab3 + ab4;
  const T abb0 = (ab0 - ab7) * F[4];
  const T abb1 = (ab1 - ab6) * F[12];
  const T abb2 = (ab2 - ab5) * F[20];
  const T abb3 = (ab3 - ab4) * F[28];
  // Size 4 aba: sums abaa*, scaled differences abab*.
  const T abaa0 = aba0 + aba3;
  const T abaa1 = aba1 + aba2;
  const T abab0 = (aba0 - aba3) * F[8];
  const T abab1 = (aba1 - aba2) * F[24];
  // Size 2 abaa: sums abaaa*, scaled differences abaab*.
  const T abaaa0 = abaa0 + abaa1;
  const T abaab0 = (abaa0 - abaa1) * F[16];
  // Size 2 abab: sums ababa*, scaled differences ababb*.
  const T ababa0 = abab0 + abab1;
  const T ababb0 = (abab0 - abab1) * F[16];
  // Size 4 aba: odd outputs B[k] + B[k+1].
  const T abay1 = ababa0 + ababb0;
  // Size 4 abb: sums abba*, scaled differences abbb*.
  const T abba0 = abb0 + abb3;
  const T abba1 = abb1 + abb2;
  const T abbb0 = (abb0 - abb3) * F[8];
  const T abbb1 = (abb1 - abb2) * F[24];
  // Size 2 abba: sums abbaa*, scaled differences abbab*.
  const T abbaa0 = abba0 + abba1;
  const T abbab0 = (abba0 - abba1) * F[16];
  // Size 2 abbb: sums abbba*, scaled differences abbbb*.
  const T abbba0 = abbb0 + abbb1;
  const T abbbb0 = (abbb0 - abbb1) * F[16];
  // Size 4 abb: odd outputs B[k] + B[k+1].
  const T abby1 = abbba0 + abbbb0;
  // Size 8 ab: odd outputs B[k] + B[k+1].
  const T aby1 = abbaa0 + abby1;
  const T aby3 = abby1 + abbab0;
  const T aby5 = abbab0 + abbbb0;
  // Size 16 a: odd outputs B[k] + B[k+1].
  const T ay1 = abaaa0 + aby1;
  const T ay3 = aby1 + abay1;
  const T ay5 = abay1 + aby3;
  const T ay7 = aby3 + abaab0;
  const T ay9 = abaab0 + aby5;
  const T ay11 = aby5 + ababb0;
  const T ay13 = ababb0 + abbbb0;
  // Size 16 b: sums ba*, scaled differences bb*.
  const T ba0 = b0 + b15;
  const T ba1 = b1 + b14;
  const T ba2 = b2 + b13;
  const T ba3 = b3 + b12;
  const T ba4 = b4 + b11;
  const T ba5 = b5 + b10;
  const T ba6 = b6 + b9;
  const T ba7 = b7 + b8;
  const T bb0 = (b0 - b15) * F[2];
  const T bb1 = (b1 - b14) * F[6];
  const T bb2 = (b2 - b13) * F[10];
  const T bb3 = (b3 - b12) * F[14];
  const T bb4 = (b4 - b11) * F[18];
  const T bb5 = (b5 - b10) * F[22];
  const T bb6 = (b6 - b9) * F[26];
  const T bb7 = (b7 - b8) * F[30];
  // Size 8 ba: sums baa*, scaled differences bab*.
  const T baa0 = ba0 + ba7;
  const T baa1 = ba1 + ba6;
  const T baa2 = ba2 + ba5;
  const T baa3 = ba3 + ba4;
  const T bab0 = (ba0 - ba7) * F[4];
  const T bab1 = (ba1 - ba6) * F[12];
  const T bab2 = (ba2 - ba5) * F[20];
  const T bab3 = (ba3 - ba4) * F[28];
  // Size 4 baa: sums baaa*, scaled differences baab*.
  const T baaa0 = baa0 + baa3;
  const T baaa1 = baa1 + baa2;
  const T baab0 = (baa0 - baa3) * F[8];
  const T baab1 = (baa1 - baa2) * F[24];
  // Size 2 baaa: sums baaaa*, scaled differences baaab*.
  const T baaaa0 = baaa0 + baaa1;
  const T baaab0 = (baaa0 - baaa1) * F[16];
  // Size 2 baab: sums baaba*, scaled differences baabb*.
  const T baaba0 = baab0 + baab1;
  const T baabb0 = (baab0 - baab1) * F[16];
  // Size 4 baa: odd outputs B[k] + B[k+1].
  const T baay1 = baaba0 + baabb0;
  // Size 4 bab: sums baba*, scaled differences babb*.
  const T baba0 = bab0 + bab3;
  const T baba1 = bab1 + bab2;
  const T babb0 = (bab0 - bab3) * F[8];
  const T babb1 = (bab1 - bab2) * F[24];
  // Size 2 baba: sums babaa*, scaled differences babab*.
  const T babaa0 = baba0 + baba1;
  const T babab0 = (baba0 - baba1) * F[16];
  // Size 2 babb: sums babba*, scaled differences babbb*.
  const T babba0 = babb0 + babb1;
  const T babbb0 = (babb0 - babb1) * F[16];
  // Size 4 bab: odd outputs B[k] + B[k+1].
  const T baby1 = babba0 + babbb0;
  // Size 8 ba: odd outputs B[k] + B[k+1].
  const T bay1 = babaa0 + baby1;
  const T bay3 = baby1 + babab0;
  const T bay5 = babab0 + babbb0;
  // Size 8 bb: sums bba*, scaled differences bbb*.
  const T bba0 = bb0 + bb7;
  const T bba1 = bb1 + bb6;
  const T bba2 = bb2 + bb5;
  const T bba3 = bb3 + bb4;
  const T bbb0 = (bb0 - bb7) * F[4];
  const T bbb1 = (bb1 - bb6) * F[12];
  const T bbb2 = (bb2 - bb5) * F[20];
  const T bbb3 = (bb3 - bb4) * F[28];
  // Size 4 bba: sums bbaa*, scaled differences bbab*.
  const T bbaa0 = bba0 + bba3;
  const T bbaa1 = bba1 + bba2;
  const T bbab0 = (bba0 - bba3) * F[8];
  const T bbab1 = (bba1 - bba2) * F[24];
  // Size 2 bbaa: sums bbaaa*, scaled differences bbaab*.
  const T bbaaa0 = bbaa0 + bbaa1;
  const T bbaab0 = (bbaa0 - bbaa1) * F[16];
  // Size 2 bbab: sums bbaba*, scaled differences bbabb*.
  const T bbaba0 = bbab0 + bbab1;
  const T bbabb0 = (bbab0 - bbab1) * F[16];
  // Size 4 bba: odd outputs B[k] + B[k+1].
  const T bbay1 = bbaba0 + bbabb0;
  // Size 4 bbb: sums bbba*, scaled differences bbbb*.
  const T bbba0 = bbb0 + bbb3;
  const T bbba1 = bbb1 + bbb2;
  const T bbbb0 = (bbb0 - bbb3) * F[8];
  const T bbbb1 = (bbb1 - bbb2) * F[24];
  // Size 2 bbba: sums bbbaa*, scaled differences bbbab*.
  const T bbbaa0 = bbba0 + bbba1;
  const T bbbab0 = (bbba0 - bbba1) * F[16];
  // Size 2 bbbb: sums bbbba*, scaled differences bbbbb*.
  const T bbbba0 = bbbb0 + bbbb1;
  const T bbbbb0 = (bbbb0 - bbbb1) * F[16];
  // Size 4 bbb: odd outputs B[k] + B[k+1].
  const T bbby1 = bbbba0 + bbbbb0;
  // Size 8 bb: odd outputs B[k] + B[k+1].
  const T bby1 = bbbaa0 + bbby1;
  const T bby3 = bbby1 + bbbab0;
  const T bby5 = bbbab0 + bbbbb0;
  // Size 16 b: odd outputs B[k] + B[k+1].
  const T by1 = bbaaa0 + bby1;
  const T by3 = bby1 + bbay1;
  const T by5 = bbay1 + bby3;
  const T by7 = bby3 + bbaab0;
  const T by9 = bbaab0 + bby5;
  const T by11 = bby5 + bbabb0;
  const T by13 = bbabb0 + bbbbb0;
  // Size 32: odd outputs B[k] + B[k+1].
  const T y1 = baaaa0 + by1;
  const T y3 = by1 + bay1;
  const T y5 = bay1 + by3;
  const T y7 = by3 + baay1;
  const T y9 = baay1 + by5;
  const T y11 = by5 + bay3;
  const T y13 = bay3 + by7;
  const T y15 = by7 + baaab0;
  const T y17 = baaab0 + by9;
  const T y19 = by9 + bay5;
  const T y21 = bay5 + by11;
  const T y23 = by11 + baabb0;
  const T y25 = baabb0 + by13;
  const T y27 = by13 + babbb0;
  const T y29 = babbb0 + bbbbb0;
  X[0] = aaaaa0;
  X[1] = y1;
  X[2] = ay1;
  X[3] = y3;
  X[4] = aay1;
  X[5] = y5;
  X[6] = ay3;
  X[7] = y7;
  X[8] = aaay1;
  X[9] = y9;
  X[10] = ay5;
  X[11] = y11;
  X[12] = aay3;
  X[13] = y13;
  X[14] = ay7;
  X[15] = y15;
  X[16] = aaaab0;
  X[17] = y17;
  X[18] = ay9;
  X[19] = y19;
  X[20] = aay5;
  X[21] = y21;
  X[22] = ay11;
  X[23] = y23;
  X[24] = aaabb0;
  X[25] = y25;
  X[26] = ay13;
  X[27] = y27;
  X[28] = aabbb0;
  X[29] = y29;
  X[30] = abbbb0;
  X[31] = bbbbb0;
}

}  // namespace

void lee_dct32(const float* x, float* X) { lee_dct32_of(x, X); }

#if MPEGIN_SSE2

namespace {

__m128 reversed(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }

// One Lee step on `n` vectors (4n values): sums[i] = y[i] + reversed(y[n-1-i]) and
// differences[i] = (y[i] - reversed(y[n-1-i])) * factors[i], for i < n/2.
void lee_step(const __m128* y, int n, const float* factors, __m128* sums, __m128* differences) {
  for (int i = 0; i < n / 2; ++i) {
    const __m128 mirror = reversed(y[n - 1 - i]);
    sums[i] = _mm_add_ps(y[i], mirror);
    differences[i] = _mm_mul_ps(_mm_sub_ps(y[i], mirror), _mm_load_ps(factors + 4 * i));
  }
}

// The size-4 transforms of four groups at once: `g` holds the four groups, one per vector, and
// comes back holding the four outputs of each group, one group per vector.
inline void size4_transforms(__m128* g) {
  const float* F = factors.f;
  _MM_TRANSPOSE4_PS(g[0], g[1], g[2], g[3]);  // now lane = group, vector = element
  const __m128 s0 = _mm_add_ps(g[0], g[3]);
  const __m128 s1 = _mm_add_ps(g[1], g[2]);
  const __m128 d0 = _mm_mul_ps(_mm_sub_ps(g[0], g[3]), _mm_set1_ps(F[8]));
  const __m128 d1 = _mm_mul_ps(_mm_sub_ps(g[1], g[2]), _mm_set1_ps(F[24]));
  const __m128 f16 = _mm_set1_ps(F[16]);
  const __m128 dd = _mm_mul_ps(_mm_sub_ps(d0, d1), f16);
  g[0] = _mm_add_ps(s0, s1);
  g[1] = _mm_add_ps(_mm_add_ps(d0, d1), dd);
  g[2] = _mm_mul_ps(_mm_sub_ps(s0, s1), f16);
  g[3] = dd;
  _MM_TRANSPOSE4_PS(g[0], g[1], g[2], g[3]);
}

// Y[2k] = A[k], Y[2k+1] = B[k] + B[k+1], Y[2 half - 1] = B[half - 1], on `n` vectors of A and
// of B. The last B is added to -0, which leaves every value as it is, signed zeros included.
void merge(const __m128* A, const __m128* B, int n, __m128* Y) {
  for (int i = 0; i < n; ++i) {
    const __m128 next = i + 1 < n ? B[i + 1] : _mm_set1_ps(-0.0f);
    const __m128 shifted = _mm_shuffle_ps(_mm_move_ss(B[i], next), _mm_move_ss(B[i], next),
                                          _MM_SHUFFLE(0, 3, 2, 1));  // B[k + 1]
    const __m128 odd = _mm_add_ps(B[i], shifted);
    Y[2 * i] = _mm_unpacklo_ps(A[i], odd);
    Y[2 * i + 1] = _mm_unpackhi_ps(A[i], odd);
  }
}

}  // namespace

// The same operations as lee_dct32 in the same order, four at a time: the results are equal.
void fast_dct32(const float* x, float* X) {
  __m128 y[8];
  for (int i = 0; i < 8; ++i) y[i] = _mm_loadu_ps(x + 4 * i);
  __m128 s32[8];  // sums a (vectors 0-3) and differences b (vectors 4-7) of size 32
  lee_step(y, 8, factors.size32, s32, s32 + 4);
  __m128 s16[8];  // aa, ab, ba, bb
  lee_step(s32, 4, factors.size16, s16, s16 + 2);
  lee_step(s32 + 4, 4, factors.size16, s16 + 4, s16 + 6);
  __m128 s8[8];  // aaa, aab, aba, abb, baa, bab, bba, bbb
  for (int i = 0; i < 4; ++i) lee_step(s16 + 2 * i, 2, factors.size8, s8 + 2 * i, s8 + 2 * i + 1);
  size4_transforms(s8);
  size4_transforms(s8 + 4);
  __m128 y8[8], y16[8], y32[8];  // aa, ab, ba, bb; then a, b; then the result
  for (int i = 0; i < 4; ++i) merge(s8 + 2 * i, s8 + 2 * i + 1, 1, y8 + 2 * i);
  for (int i = 0; i < 2; ++i) merge(y8 + 4 * i, y8 + 4 * i + 2, 2, y16 + 4 * i);
  merge(y16, y16 + 4, 4, y32);
  for (int i = 0; i < 8; ++i) _mm_storeu_ps(X + 4 * i, y32[i]);
}

#else

void fast_dct32(const float* x, float* X) { lee_dct32(x, X); }

#endif

namespace {

// Slot by slot, for the slots that do not fill a vector.
void dct32_slots_one_by_one(const float* x, uint32_t stride, uint32_t count, float* X) {
  for (uint32_t t = 0; t < count; ++t) {
    float in[32];
    for (uint32_t k = 0; k < 32; ++k) in[k] = x[k * stride + t];
    fast_dct32(in, X + 32 * t);
  }
}

#if MPEGIN_VECTOR_OPERATORS
// Four slots, one per lane.
void dct32_four_slots(const float* x, uint32_t stride, float* X) {
  __m128 in[32], out[32];
  for (uint32_t k = 0; k < 32; ++k) in[k] = _mm_loadu_ps(x + k * stride);
  lee_dct32_of(in, out);
  for (int m = 0; m < 32; m += 4) {
    _MM_TRANSPOSE4_PS(out[m], out[m + 1], out[m + 2], out[m + 3]);
    for (int t = 0; t < 4; ++t) _mm_storeu_ps(X + 32 * t + m, out[m + t]);
  }
}
#endif

#if MPEGIN_WIDE_VECTORS
// Eight slots, one per lane.
__attribute__((target("avx"))) void dct32_eight_slots(const float* x, uint32_t stride, float* X) {
  __m256 in[32], out[32];
  for (uint32_t k = 0; k < 32; ++k) in[k] = _mm256_loadu_ps(x + k * stride);
  lee_dct32_of(in, out);
  for (int m = 0; m < 32; m += 8) {
    // Eight outputs of eight slots turned into eight outputs of each slot.
    __m256* o = out + m;
    const __m256 t0 = _mm256_unpacklo_ps(o[0], o[1]), t1 = _mm256_unpackhi_ps(o[0], o[1]);
    const __m256 t2 = _mm256_unpacklo_ps(o[2], o[3]), t3 = _mm256_unpackhi_ps(o[2], o[3]);
    const __m256 t4 = _mm256_unpacklo_ps(o[4], o[5]), t5 = _mm256_unpackhi_ps(o[4], o[5]);
    const __m256 t6 = _mm256_unpacklo_ps(o[6], o[7]), t7 = _mm256_unpackhi_ps(o[6], o[7]);
    const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
    _mm256_storeu_ps(X + 0 * 32 + m, _mm256_permute2f128_ps(u0, u4, 0x20));
    _mm256_storeu_ps(X + 1 * 32 + m, _mm256_permute2f128_ps(u1, u5, 0x20));
    _mm256_storeu_ps(X + 2 * 32 + m, _mm256_permute2f128_ps(u2, u6, 0x20));
    _mm256_storeu_ps(X + 3 * 32 + m, _mm256_permute2f128_ps(u3, u7, 0x20));
    _mm256_storeu_ps(X + 4 * 32 + m, _mm256_permute2f128_ps(u0, u4, 0x31));
    _mm256_storeu_ps(X + 5 * 32 + m, _mm256_permute2f128_ps(u1, u5, 0x31));
    _mm256_storeu_ps(X + 6 * 32 + m, _mm256_permute2f128_ps(u2, u6, 0x31));
    _mm256_storeu_ps(X + 7 * 32 + m, _mm256_permute2f128_ps(u3, u7, 0x31));
  }
}

// GCC 12's unmasked forms of these pass an "undefined" vector that its own -Wuninitialized
// flags; the masked forms with every lane selected are the same instructions.
MPEGIN_TARGET_AVX512 inline __m512 unpacklo16(__m512 a, __m512 b) {
  return _mm512_mask_unpacklo_ps(a, 0xffff, a, b);
}
MPEGIN_TARGET_AVX512 inline __m512 unpackhi16(__m512 a, __m512 b) {
  return _mm512_mask_unpackhi_ps(a, 0xffff, a, b);
}
template <int kImm>
MPEGIN_TARGET_AVX512 inline __m512 shuffle_quarters(__m512 a, __m512 b) {
  return _mm512_mask_shuffle_f32x4(a, 0xffff, a, b, kImm);
}

// Sixteen slots, one per lane. The outputs are turned in two blocks of 16 outputs by 16 slots:
// pairs of rows interleaved, then 4 x 4 turns inside each 128-bit quarter, then the quarters
// moved into place.
MPEGIN_TARGET_AVX512 void dct32_sixteen_slots(const float* x, uint32_t stride,
                                                             float* X) {
  __m512 in[32], out[32];
  for (uint32_t k = 0; k < 32; ++k) in[k] = _mm512_loadu_ps(x + k * stride);
  lee_dct32_of(in, out);
  for (int m = 0; m < 32; m += 16) {
    const __m512* o = out + m;
    // u[4 a + j], quarter q: outputs m + 4a .. m + 4a + 3 of slot 4q + j.
    __m512 u[16];
    for (int a = 0; a < 4; ++a) {
      const __m512* r = o + 4 * a;
      const __m512 t0 = unpacklo16(r[0], r[1]), t1 = unpackhi16(r[0], r[1]);
      const __m512 t2 = unpacklo16(r[2], r[3]), t3 = unpackhi16(r[2], r[3]);
      u[4 * a + 0] = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
      u[4 * a + 1] = _mm512_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
      u[4 * a + 2] = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
      u[4 * a + 3] = _mm512_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int j = 0; j < 4; ++j) {
      const __m512 p0 = shuffle_quarters<_MM_SHUFFLE(1, 0, 1, 0)>(u[j], u[4 + j]);
      const __m512 p1 = shuffle_quarters<_MM_SHUFFLE(3, 2, 3, 2)>(u[j], u[4 + j]);
      const __m512 p2 = shuffle_quarters<_MM_SHUFFLE(1, 0, 1, 0)>(u[8 + j], u[12 + j]);
      const __m512 p3 = shuffle_quarters<_MM_SHUFFLE(3, 2, 3, 2)>(u[8 + j], u[12 + j]);
      _mm512_storeu_ps(X + 32 * (0 + j) + m, shuffle_quarters<_MM_SHUFFLE(2, 0, 2, 0)>(p0, p2));
      _mm512_storeu_ps(X + 32 * (4 + j) + m, shuffle_quarters<_MM_SHUFFLE(3, 1, 3, 1)>(p0, p2));
      _mm512_storeu_ps(X + 32 * (8 + j) + m, shuffle_quarters<_MM_SHUFFLE(2, 0, 2, 0)>(p1, p3));
      _mm512_storeu_ps(X + 32 * (12 + j) + m, shuffle_quarters<_MM_SHUFFLE(3, 1, 3, 1)>(p1, p3));
    }
  }
}
#endif

}  // namespace

void dct32_slots(const float* x, uint32_t stride, uint32_t count, float* X, SimdPath path) {
#if MPEGIN_WIDE_VECTORS
  if (path >= SimdPath::kAvx512) {
    for (; count >= 16; count -= 16, x += 16, X += 16 * 32) dct32_sixteen_slots(x, stride, X);
  }
  if (path >= SimdPath::kAvx) {
    for (; count >= 8; count -= 8, x += 8, X += 8 * 32) dct32_eight_slots(x, stride, X);
  }
#endif
#if MPEGIN_VECTOR_OPERATORS
  for (; count >= 4; count -= 4, x += 4, X += 4 * 32) dct32_four_slots(x, stride, X);
#endif
  (void)path;
  dct32_slots_one_by_one(x, stride, count, X);
}

}  // namespace mpegin
