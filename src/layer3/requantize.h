#pragma once

#include <cstdint>

#include "synthesis/cpu_features.h"

namespace mpegin {

struct GranuleInfo;
struct Layer3ScaleFactors;
struct ScaleFactorBandTable;

// The spectrum of one channel's granule from its Huffman values: lines [0, count) of quantized
// become sign(v) |v|^(4/3) times the global gain, then times the step of their scale factor band
// (and subblock gain in short blocks); the other lines of out[576] are 0. The same results on
// every `path`.
void requantize(const int32_t* quantized, int32_t count, const GranuleInfo& gi,
                const Layer3ScaleFactors& sf, const ScaleFactorBandTable& table, float* out,
                SimdPath path = simd_path());

}  // namespace mpegin
