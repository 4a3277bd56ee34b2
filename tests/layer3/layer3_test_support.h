#pragma once

// Helpers for the Layer III tests: a bit string builder, the data the stages work on, and a
// decoder standing on inert collaborators.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitstream/bit_reader.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer3/bit_reservoir.h"
#include "layer3/huffman_decoder.h"
#include "layer3/layer3_decoder.h"
#include "layer3/layer3_scratch.h"
#include "layer3/prepared_tables.h"
#include "layer3/scale_factor_band_table.h"
#include "layer3/stereo_processing.h"
#include "synthesis/sample_sink.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {
namespace test {

// Appends one byte to the reservoir.
inline void put_byte(BitReservoir& reservoir, uint32_t value) {
  const uint8_t byte = static_cast<uint8_t>(value);
  reservoir.put_bytes(&byte, 1);
}

// Decodes one symbol of table 0..33 at the reader's position, as the granule decoder
// does: a pair into x, y (v, w set to 0), or for tables 32 and 33 a quadruple into v, w, x, y.
// Tables without codes (0, 4, 14) give zeros and read nothing.
inline void decode_huffman_symbol(uint32_t table, int32_t& x, int32_t& y, int32_t& v, int32_t& w,
                                  BitReader& bits) {
  const HuffmanTable& t = huffman_tables[table];
  int32_t values[4] = {0, 0, 0, 0};
  if (t.lookup != nullptr) {
    const uint64_t window = bits.window();
    const uint32_t used = table >= 32 ? decode_huffman_quad(t, window, values)
                                      : decode_huffman_pair(t, window, values + 2);
    bits.skip(static_cast<int32_t>(used));
  }
  v = values[0];
  w = values[1];
  x = values[2];
  y = values[3];
}

// Collects bits most significant first.
class BitWriter {
 public:
  void put(uint32_t value, uint32_t width) {
    for (uint32_t k = width; k > 0; --k) bits_.push_back(((value >> (k - 1)) & 1u) != 0);
  }
  void put_string(const std::string& code) {
    for (char c : code) bits_.push_back(c == '1');
  }
  void append(const BitWriter& other) {
    bits_.insert(bits_.end(), other.bits_.begin(), other.bits_.end());
  }
  size_t size() const { return bits_.size(); }
  // The bits as bytes, the last byte padded with `fill` bits.
  std::vector<uint8_t> bytes(bool fill = false) const {
    std::vector<uint8_t> out((bits_.size() + 7) / 8, fill ? 0xFF : 0x00);
    for (size_t i = 0; i < bits_.size(); ++i) {
      const uint8_t mask = static_cast<uint8_t>(0x80u >> (i % 8));
      out[i / 8] = bits_[i] ? (out[i / 8] | mask) : (out[i / 8] & ~mask);
    }
    return out;
  }

 private:
  std::vector<bool> bits_;
};

class NullSink : public SampleSink {
 public:
  void append_block(int, const float*, uint32_t) override {}
  const float* take(uint32_t& length_bytes) override {
    length_bytes = 0;
    return nullptr;
  }
};

// What the Layer III stages of one frame work on, for a stream of the given version (1 MPEG-1,
// 0 LSF), mode and sampling frequency index: the frame's scratch data, a reservoir and the
// overlap of the hybrid filter bank; the tables a decoder prepares are prepared.
struct StageHarness {
  StageHarness(uint32_t version, uint32_t mode, uint32_t sample_frequency = 0)
      : version(version),
        mode(mode),
        channels(mode == 3 ? 1 : 2),
        band_table(band_table_index(version, false, sample_frequency)),
        scratch(new Layer3Scratch()),
        s(*scratch) {
    prepare_layer3_tables();
  }

  const ScaleFactorBandTable& bands() const { return band_tables[band_table]; }
  GranuleInfo& granule(uint32_t ch, uint32_t gr) { return s.granule(ch, gr); }
  StereoCoding coding() const { return stereo_coding(channels, mode, mode_extension, version == 0); }

  // Reads the side information from `bits` (the frame body); side_bits_read tells how much.
  bool read_side_info(const BitWriter& bits) {
    std::vector<uint8_t> bytes = bits.bytes();
    bytes.resize(bytes.size() + 8, 0);
    BitReader reader(bytes.data(), UINT32_MAX, 0, static_cast<int32_t>(bits.size()));
    const bool complete = mpegin::read_side_info(reader, version == 1, channels, s.side_info);
    side_bits_read = reader.position();
    return complete;
  }

  // Appends the bits to the reservoir (padded to whole bytes with `fill`).
  void store(const BitWriter& bits, bool fill = false) {
    for (uint8_t byte : bits.bytes(fill)) put_byte(reservoir, byte);
  }
  // Reading the reservoir from its read position up to `length` bits further.
  BitReader main_data(int32_t length = 1 << 20) const {
    return reservoir.reader(reservoir.position() + length);
  }

  uint32_t version;
  uint32_t mode;
  uint32_t mode_extension = 0;
  uint32_t channels;
  int32_t band_table;
  std::unique_ptr<Layer3Scratch> scratch;
  Layer3Scratch& s;
  BitReservoir reservoir;
  alignas(64) float overlap[2][32][18] = {};
  int32_t side_bits_read = 0;
};

// A Layer3Decoder built for a header with the given version (1 MPEG-1, 0 LSF),
// mode and sampling frequency index; the reader stands on /dev/null and frame bodies
// are placed into its buffer with load_frame.
struct DecoderHarness {
  DecoderHarness(uint32_t version, uint32_t mode, uint32_t sample_frequency = 0)
      : reader("/dev/null"), filter0(0), filter1(1) {
    header.layer = 3;
    header.version = version;
    header.mode = mode;
    header.sample_frequency = sample_frequency;
  }

  // Places `body` as the current frame body and resets the read cursor.
  void load_frame(const BitWriter& body) {
    const std::vector<uint8_t> bytes = body.bytes();
    reader.set_body(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  uint32_t frame_bits_read() const { return reader.bits_read(); }

  MpegFileReader reader;
  FrameHeader header;
  SynthesisFilter filter0;
  SynthesisFilter filter1;
  NullSink sink;
};

}  // namespace test
}  // namespace mpegin
