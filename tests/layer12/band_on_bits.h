#pragma once

// A band object driven over a hand-built frame body, and the filters it emits into.

#include <optional>
#include <type_traits>
#include <vector>

#include "bitstream/frame_header.h"
#include "layer12/layer2_band.h"
#include "support/bit_writer.h"
#include "support/filter_probe.h"

namespace mpegin::test_support {

// What one emit_sample stored, seen through fresh filters.
struct Emitted {
  bool result = false;
  std::vector<float> filter0;
  std::vector<float> filter1;

  std::optional<float> value0(int subband) const { return stored_value(filter0, subband, 0); }
  std::optional<float> value1(int subband) const { return stored_value(filter1, subband, 1); }
};

inline Emitted emit(SubbandBand& band, int32_t channel_select) {
  SynthesisFilter filter0(0);
  SynthesisFilter filter1(1);
  Emitted out;
  out.result = band.emit_sample(channel_select, filter0, &filter1);
  out.filter0 = response(filter0);
  out.filter1 = response(filter1);
  return out;
}

// Header fields the Layer II bands consult.
struct Layer2Frame {
  uint32_t version = 1;
  uint32_t bitrate_index = 10;  // 192 kbit/s: high rate for one or two channels
  uint32_t mode = 0;
};

// A band whose allocation, selection (Layer II) and scale factors have been parsed
// from `bits`, with crc (if any) fed on the way.
template <class Band>
struct BandOnBits {
  BandOnBits(const BitWriter& bits, int32_t subband, Crc16* crc = nullptr, Layer2Frame frame = {})
      : body(bits), band(subband) {
    header.version = frame.version;
    header.bitrate_index = frame.bitrate_index;
    header.mode = frame.mode;
    band.parse_allocation(body.reader(), header, crc);
    if constexpr (std::is_base_of_v<Layer2Band, Band>) {
      band.parse_scale_factor_selection(body.reader(), crc);
    }
    band.parse_scale_factors(body.reader(), header);
  }

  MpegFileReader& reader() { return body.reader(); }

  BodyReader body;
  FrameHeader header;
  Band band;
};

}  // namespace mpegin::test_support
