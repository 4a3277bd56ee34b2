#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"

namespace mpegin {

// The synthesis window D[0..511] of ISO/IEC 11172-3 (Table 3-B.3) reordered by output
// sample: synthesis_window[16 * j + t] = D[32 * t + j], j = 0..31, t = 0..15.
extern const float synthesis_window[512];

// The V history of a filter: records of the last 32 slots, each the slot's V[0..63]. Record n
// (slot n mod 32) is kept at h[32 + n], and for n >= 17 also at h[n], so that the windowing of
// slot n reads h[32 + n - t], t = 0..15, without a wrap. The windowing of a slot reads its own
// record and the 15 before it, so up to 16 slots can be stored ahead of their windowing.
constexpr uint32_t kHistoryRecords = 32;
constexpr uint32_t kFirstRepeatedRecord = 17;
using VHistory = float[2 * kHistoryRecords][64];

// The windowing of one slot: out[j] = sum over taps t = 0..15 of synthesis_window[16 j + t] *
// h[32 + newest - t][32 (t & 1) + j] for the 32 output samples j, where record `newest` (taken
// mod 32) is the slot's own: even taps take the first half of V of the slots 0, 2, .. 14 back, odd taps the
// second half of the slots 1, 3, .. 15 back.
void window_slot(const VHistory& h, uint32_t newest, float* out, SimdPath path = simd_path());

// The windowing of `count` (at most 16) slots in a row: slot i's own record is newest + i
// (mod 32), its samples go to out[32 i .. 32 i + 31]. The results are those of window_slot.
void window_slots(const VHistory& h, uint32_t newest, uint32_t count, float* out,
                  SimdPath path = simd_path());

}  // namespace mpegin
