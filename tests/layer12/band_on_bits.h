#pragma once

// A band object driven over a hand-built frame body, and the subband samples its
// sample sets yield.

#include <type_traits>

#include "bitstream/frame_header.h"
#include "layer12/coded_samples.h"
#include "layer12/layer2_band.h"
#include "support/bit_writer.h"

namespace mpegin::test_support {

// Header fields the Layer II bands consult.
struct Layer2Frame {
  uint32_t version = 1;
  uint32_t bitrate_index = 10;  // 192 kbit/s: high rate for one or two channels
  uint32_t mode = 0;
};

// A band whose allocation, selection (Layer II) and scale factors have been parsed
// from `bits`, with crc (if any) fed on the way, and its sample sets in `samples`.
template <class Band>
struct BandOnBits {
  BandOnBits(const BitWriter& bits, int32_t subband, Crc16* crc = nullptr, Layer2Frame frame = {})
      : body(bits), band(subband) {
    header.version = frame.version;
    header.bitrate_index = frame.bitrate_index;
    header.mode = frame.mode;
    samples.clear();
    band.parse_allocation(body.reader(), header, crc);
    if constexpr (std::is_base_of_v<Layer2Band, Band>) {
      band.parse_scale_factor_selection(body.reader(), crc);
    }
    band.parse_scale_factors(body.reader(), header, samples);
    // Every row of both channels starts out as a marker, so that a row that is neither
    // written nor cleared shows.
    for (auto& channel : out.samples)
      for (auto& row : channel)
        for (float& value : row) value = 99.0f;
    samples.clear_silent_rows(out, CodedSamples::kSlots);
  }

  MpegFileReader& reader() { return body.reader(); }
  // Reads the next Layer I sample or Layer II group of every sample set.
  void read_slot(uint32_t slot) { samples.read_layer1_slots(reader(), slot, 1, out); }
  void read_group(uint32_t group) { samples.read_layer2_groups(reader(), group, 1, out); }
  // Subband sample of `channel` at `slot`.
  float value(int channel, int slot) const { return out.samples[channel][band.subband()][slot]; }

  BodyReader body;
  FrameHeader header;
  Band band;
  CodedSamples samples;
  CodedSamples::Subbands out;
};

}  // namespace mpegin::test_support
