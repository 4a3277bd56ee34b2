#include "synthesis/fast_dct.h"

#include <cmath>

#include "synthesis/sse2_support.h"

namespace mpegin {

namespace {

struct DctFactors {
  float f[32];
  // The factors of the differences at sizes 32, 16 and 8, in the order the differences are taken.
  alignas(16) float size32[16];  // F[2k + 1]
  alignas(16) float size16[8];   // F[4k + 2]
  alignas(16) float size8[4];    // F[8k + 4]
  DctFactors() {
    const double pi = 3.14159265358979323846;
    f[0] = 0.0f;
    for (int j = 1; j < 32; ++j) f[j] = static_cast<float>(1.0 / (2.0 * std::cos(j * pi / 64.0)));
    for (int k = 0; k < 16; ++k) size32[k] = f[2 * k + 1];
    for (int k = 0; k < 8; ++k) size16[k] = f[4 * k + 2];
    for (int k = 0; k < 4; ++k) size8[k] = f[8 * k + 4];
  }
};

const DctFactors factors;  // computed once at start-up

}  // namespace

const float* const dct_factors = factors.f;

// Lee's decomposition, written out. At each size N the input y splits into the sums
// a[k] = y[k] + y[N-1-k] and the scaled differences b[k] = (y[k] - y[N-1-k]) * F[(2k+1) 32/N];
// both halves are transformed at size N/2 (A and B), and the outputs are Y[2k] = A[k],
// Y[2k+1] = B[k] + B[k+1] and Y[N-1] = B[N/2-1]. A name spells the path from the input:
// "ab3" is element 3 of the differences taken of the size-32 sums, "ay5" is odd output 5 of
// the size-16 transform of the sums.
void lee_dct32(const float* x, float* X) {
  const float* F = factors.f;
  // Size 32: sums a*, scaled differences b*.
  const float a0 = x[0] + x[31];
  const float a1 = x[1] + x[30];
  const float a2 = x[2] + x[29];
  const float a3 = x[3] + x[28];
  const float a4 = x[4] + x[27];
  const float a5 = x[5] + x[26];
  const float a6 = x[6] + x[25];
  const float a7 = x[7] + x[24];
  const float a8 = x[8] + x[23];
  const float a9 = x[9] + x[22];
  const float a10 = x[10] + x[21];
  const float a11 = x[11] + x[20];
  const float a12 = x[12] + x[19];
  const float a13 = x[13] + x[18];
  const float a14 = x[14] + x[17];
  const float a15 = x[15] + x[16];
  const float b0 = (x[0] - x[31]) * F[1];
  const float b1 = (x[1] - x[30]) * F[3];
  const float b2 = (x[2] - x[29]) * F[5];
  const float b3 = (x[3] - x[28]) * F[7];
  const float b4 = (x[4] - x[27]) * F[9];
  const float b5 = (x[5] - x[26]) * F[11];
  const float b6 = (x[6] - x[25]) * F[13];
  const float b7 = (x[7] - x[24]) * F[15];
  const float b8 = (x[8] - x[23]) * F[17];
  const float b9 = (x[9] - x[22]) * F[19];
  const float b10 = (x[10] - x[21]) * F[21];
  const float b11 = (x[11] - x[20]) * F[23];
  const float b12 = (x[12] - x[19]) * F[25];
  const float b13 = (x[13] - x[18]) * F[27];
  const float b14 = (x[14] - x[17]) * F[29];
  const float b15 = (x[15] - x[16]) * F[31];
  // Size 16 a: sums aa*, scaled differences ab*.
  const float aa0 = a0 + a15;
  const float aa1 = a1 + a14;
  const float aa2 = a2 + a13;
  const float aa3 = a3 + a12;
  const float aa4 = a4 + a11;
  const float aa5 = a5 + a10;
  const float aa6 = a6 + a9;
  const float aa7 = a7 + a8;
  const float ab0 = (a0 - a15) * F[2];
  const float ab1 = (a1 - a14) * F[6];
  const float ab2 = (a2 - a13) * F[10];
  const float ab3 = (a3 - a12) * F[14];
  const float ab4 = (a4 - a11) * F[18];
  const float ab5 = (a5 - a10) * F[22];
  const float ab6 = (a6 - a9) * F[26];
  const float ab7 = (a7 - a8) * F[30];
  // Size 8 aa: sums aaa*, scaled differences aab*.
  const float aaa0 = aa0 + aa7;
  const float aaa1 = aa1 + aa6;
  const float aaa2 = aa2 + aa5;
  const float aaa3 = aa3 + aa4;
  const float aab0 = (aa0 - aa7) * F[4];
  const float aab1 = (aa1 - aa6) * F[12];
  const float aab2 = (aa2 - aa5) * F[20];
  const float aab3 = (aa3 - aa4) * F[28];
  // Size 4 aaa: sums aaaa*, scaled differences aaab*.
  const float aaaa0 = aaa0 + aaa3;
  const float aaaa1 = aaa1 + aaa2;
  const float aaab0 = (aaa0 - aaa3) * F[8];
  const float aaab1 = (aaa1 - aaa2) * F[24];
  // Size 2 aaaa: sums aaaaa*, scaled differences aaaab*.
  const float aaaaa0 = aaaa0 + aaaa1;
  const float aaaab0 = (aaaa0 - aaaa1) * F[16];
  // Size 2 aaab: sums aaaba*, scaled differences aaabb*.
  const float aaaba0 = aaab0 + aaab1;
  const float aaabb0 = (aaab0 - aaab1) * F[16];
  // Size 4 aaa: odd outputs B[k] + B[k+1].
  const float aaay1 = aaaba0 + aaabb0;
  // Size 4 aab: sums aaba*, scaled differences aabb*.
  const float aaba0 = aab0 + aab3;
  const float aaba1 = aab1 + aab2;
  const float aabb0 = (aab0 - aab3) * F[8];
  const float aabb1 = (aab1 - aab2) * F[24];
  // Size 2 aaba: sums aabaa*, scaled differences aabab*.
  const float aabaa0 = aaba0 + aaba1;
  const float aabab0 = (aaba0 - aaba1) * F[16];
  // Size 2 aabb: sums aabba*, scaled differences aabbb*.
  const float aabba0 = aabb0 + aabb1;
  const float aabbb0 = (aabb0 - aabb1) * F[16];
  // Size 4 aab: odd outputs B[k] + B[k+1].
  const float aaby1 = aabba0 + aabbb0;
  // Size 8 aa: odd outputs B[k] + B[k+1].
  const float aay1 = aabaa0 + aaby1;
  const float aay3 = aaby1 + aabab0;
  const float aay5 = aabab0 + aabbb0;
  // Size 8 ab: sums aba*, scaled differences abb*.
  const float aba0 = ab0 + ab7;
  const float aba1 = ab1 + ab6;
  const float aba2 = ab2 + ab5;
  const float aba3 = ab3 + ab4;
  const float abb0 = (ab0 - ab7) * F[4];
  const float abb1 = (ab1 - ab6) * F[12];
  const float abb2 = (ab2 - ab5) * F[20];
  const float abb3 = (ab3 - ab4) * F[28];
  // Size 4 aba: sums abaa*, scaled differences abab*.
  const float abaa0 = aba0 + aba3;
  const float abaa1 = aba1 + aba2;
  const float abab0 = (aba0 - aba3) * F[8];
  const float abab1 = (aba1 - aba2) * F[24];
  // Size 2 abaa: sums abaaa*, scaled differences abaab*.
  const float abaaa0 = abaa0 + abaa1;
  const float abaab0 = (abaa0 - abaa1) * F[16];
  // Size 2 abab: sums ababa*, scaled differences ababb*.
  const float ababa0 = abab0 + abab1;
  const float ababb0 = (abab0 - abab1) * F[16];
  // Size 4 aba: odd outputs B[k] + B[k+1].
  const float abay1 = ababa0 + ababb0;
  // Size 4 abb: sums abba*, scaled differences abbb*.
  const float abba0 = abb0 + abb3;
  const float abba1 = abb1 + abb2;
  const float abbb0 = (abb0 - abb3) * F[8];
  const float abbb1 = (abb1 - abb2) * F[24];
  // Size 2 abba: sums abbaa*, scaled differences abbab*.
  const float abbaa0 = abba0 + abba1;
  const float abbab0 = (abba0 - abba1) * F[16];
  // Size 2 abbb: sums abbba*, scaled differences abbbb*.
  const float abbba0 = abbb0 + abbb1;
  const float abbbb0 = (abbb0 - abbb1) * F[16];
  // Size 4 abb: odd outputs B[k] + B[k+1].
  const float abby1 = abbba0 + abbbb0;
  // Size 8 ab: odd outputs B[k] + B[k+1].
  const float aby1 = abbaa0 + abby1;
  const float aby3 = abby1 + abbab0;
  const float aby5 = abbab0 + abbbb0;
  // Size 16 a: odd outputs B[k] + B[k+1].
  const float ay1 = abaaa0 + aby1;
  const float ay3 = aby1 + abay1;
  const float ay5 = abay1 + aby3;
  const float ay7 = aby3 + abaab0;
  const float ay9 = abaab0 + aby5;
  const float ay11 = aby5 + ababb0;
  const float ay13 = ababb0 + abbbb0;
  // Size 16 b: sums ba*, scaled differences bb*.
  const float ba0 = b0 + b15;
  const float ba1 = b1 + b14;
  const float ba2 = b2 + b13;
  const float ba3 = b3 + b12;
  const float ba4 = b4 + b11;
  const float ba5 = b5 + b10;
  const float ba6 = b6 + b9;
  const float ba7 = b7 + b8;
  const float bb0 = (b0 - b15) * F[2];
  const float bb1 = (b1 - b14) * F[6];
  const float bb2 = (b2 - b13) * F[10];
  const float bb3 = (b3 - b12) * F[14];
  const float bb4 = (b4 - b11) * F[18];
  const float bb5 = (b5 - b10) * F[22];
  const float bb6 = (b6 - b9) * F[26];
  const float bb7 = (b7 - b8) * F[30];
  // Size 8 ba: sums baa*, scaled differences bab*.
  const float baa0 = ba0 + ba7;
  const float baa1 = ba1 + ba6;
  const float baa2 = ba2 + ba5;
  const float baa3 = ba3 + ba4;
  const float bab0 = (ba0 - ba7) * F[4];
  const float bab1 = (ba1 - ba6) * F[12];
  const float bab2 = (ba2 - ba5) * F[20];
  const float bab3 = (ba3 - ba4) * F[28];
  // Size 4 baa: sums baaa*, scaled differences baab*.
  const float baaa0 = baa0 + baa3;
  const float baaa1 = baa1 + baa2;
  const float baab0 = (baa0 - baa3) * F[8];
  const float baab1 = (baa1 - baa2) * F[24];
  // Size 2 baaa: sums baaaa*, scaled differences baaab*.
  const float baaaa0 = baaa0 + baaa1;
  const float baaab0 = (baaa0 - baaa1) * F[16];
  // Size 2 baab: sums baaba*, scaled differences baabb*.
  const float baaba0 = baab0 + baab1;
  const float baabb0 = (baab0 - baab1) * F[16];
  // Size 4 baa: odd outputs B[k] + B[k+1].
  const float baay1 = baaba0 + baabb0;
  // Size 4 bab: sums baba*, scaled differences babb*.
  const float baba0 = bab0 + bab3;
  const float baba1 = bab1 + bab2;
  const float babb0 = (bab0 - bab3) * F[8];
  const float babb1 = (bab1 - bab2) * F[24];
  // Size 2 baba: sums babaa*, scaled differences babab*.
  const float babaa0 = baba0 + baba1;
  const float babab0 = (baba0 - baba1) * F[16];
  // Size 2 babb: sums babba*, scaled differences babbb*.
  const float babba0 = babb0 + babb1;
  const float babbb0 = (babb0 - babb1) * F[16];
  // Size 4 bab: odd outputs B[k] + B[k+1].
  const float baby1 = babba0 + babbb0;
  // Size 8 ba: odd outputs B[k] + B[k+1].
  const float bay1 = babaa0 + baby1;
  const float bay3 = baby1 + babab0;
  const float bay5 = babab0 + babbb0;
  // Size 8 bb: sums bba*, scaled differences bbb*.
  const float bba0 = bb0 + bb7;
  const float bba1 = bb1 + bb6;
  const float bba2 = bb2 + bb5;
  const float bba3 = bb3 + bb4;
  const float bbb0 = (bb0 - bb7) * F[4];
  const float bbb1 = (bb1 - bb6) * F[12];
  const float bbb2 = (bb2 - bb5) * F[20];
  const float bbb3 = (bb3 - bb4) * F[28];
  // Size 4 bba: sums bbaa*, scaled differences bbab*.
  const float bbaa0 = bba0 + bba3;
  const float bbaa1 = bba1 + bba2;
  const float bbab0 = (bba0 - bba3) * F[8];
  const float bbab1 = (bba1 - bba2) * F[24];
  // Size 2 bbaa: sums bbaaa*, scaled differences bbaab*.
  const float bbaaa0 = bbaa0 + bbaa1;
  const float bbaab0 = (bbaa0 - bbaa1) * F[16];
  // Size 2 bbab: sums bbaba*, scaled differences bbabb*.
  const float bbaba0 = bbab0 + bbab1;
  const float bbabb0 = (bbab0 - bbab1) * F[16];
  // Size 4 bba: odd outputs B[k] + B[k+1].
  const float bbay1 = bbaba0 + bbabb0;
  // Size 4 bbb: sums bbba*, scaled differences bbbb*.
  const float bbba0 = bbb0 + bbb3;
  const float bbba1 = bbb1 + bbb2;
  const float bbbb0 = (bbb0 - bbb3) * F[8];
  const float bbbb1 = (bbb1 - bbb2) * F[24];
  // Size 2 bbba: sums bbbaa*, scaled differences bbbab*.
  const float bbbaa0 = bbba0 + bbba1;
  const float bbbab0 = (bbba0 - bbba1) * F[16];
  // Size 2 bbbb: sums bbbba*, scaled differences bbbbb*.
  const float bbbba0 = bbbb0 + bbbb1;
  const float bbbbb0 = (bbbb0 - bbbb1) * F[16];
  // Size 4 bbb: odd outputs B[k] + B[k+1].
  const float bbby1 = bbbba0 + bbbbb0;
  // Size 8 bb: odd outputs B[k] + B[k+1].
  const float bby1 = bbbaa0 + bbby1;
  const float bby3 = bbby1 + bbbab0;
  const float bby5 = bbbab0 + bbbbb0;
  // Size 16 b: odd outputs B[k] + B[k+1].
  const float by1 = bbaaa0 + bby1;
  const float by3 = bby1 + bbay1;
  const float by5 = bbay1 + bby3;
  const float by7 = bby3 + bbaab0;
  const float by9 = bbaab0 + bby5;
  const float by11 = bby5 + bbabb0;
  const float by13 = bbabb0 + bbbbb0;
  // Size 32: odd outputs B[k] + B[k+1].
  const float y1 = baaaa0 + by1;
  const float y3 = by1 + bay1;
  const float y5 = bay1 + by3;
  const float y7 = by3 + baay1;
  const float y9 = baay1 + by5;
  const float y11 = by5 + bay3;
  const float y13 = bay3 + by7;
  const float y15 = by7 + baaab0;
  const float y17 = baaab0 + by9;
  const float y19 = by9 + bay5;
  const float y21 = bay5 + by11;
  const float y23 = by11 + baabb0;
  const float y25 = baabb0 + by13;
  const float y27 = by13 + babbb0;
  const float y29 = babbb0 + bbbbb0;
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

}  // namespace mpegin
