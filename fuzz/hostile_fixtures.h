// Hostile files made on the spot, shared by the tests of the decoder, the module and mpegdec:
// files too short to hold a header, files cut inside a header or a frame, other formats under
// an MPEG name, random bytes, runs of ones and zeros, headers with every field at its extremes,
// Layer III side information at its limits, wrong check words and tags whose size runs past
// the end of the file. Each comes with the outcome every caller must see.
//
// Header-only: the test binaries include it with the tests' own folder on the include path.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/frame_builder.h"

namespace mpegin::hostile {

using Bytes = std::vector<uint8_t>;
using bitstream_test::HeaderBits;

enum class Outcome {
  kRefused,  // the open fails: there is no complete frame in the file
  kDecodes,  // the open succeeds and at least one frame of samples comes out
  kEnds,     // either; whatever comes out, the stream ends
};

struct Fixture {
  std::string name;  // usable as a test name
  Bytes bytes;
  Outcome outcome;
};

namespace detail {

inline Bytes random_bytes(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(count);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// A body of `count` bytes: all `fill`, or seeded random bytes when fill is 0x5A.
inline Bytes filler(size_t count, uint8_t fill, uint32_t seed) {
  return fill == 0x5A ? random_bytes(count, seed) : Bytes(count, fill);
}

inline bool has_length(const HeaderBits& h) {
  return h.layer >= 1 && h.layer <= 3 && h.bitrate_index >= 1 && h.bitrate_index <= 14 &&
         h.sample_frequency <= 2;
}

// `frames` frames of this header with bodies of `fill` (frames without a length get 400 bytes).
inline Bytes stream_of(const HeaderBits& h, int frames, uint8_t fill, uint32_t seed) {
  Bytes out;
  for (int i = 0; i < frames; ++i) {
    const size_t length = has_length(h) ? bitstream_test::frame_length(h) : 400;
    bitstream_test::append_word(out, bitstream_test::header_word(h));
    bitstream_test::append(out, filler(length - 4, fill, seed + static_cast<uint32_t>(i)));
  }
  return out;
}

inline HeaderBits layer2_header() { return HeaderBits{}; }  // MPEG-1 Layer II 128 kbit/s 44.1 kHz stereo

inline Bytes silent_layer2(int frames) { return stream_of(layer2_header(), frames, 0x00, 0); }

inline void append_text(Bytes& out, const char* text) {
  for (; *text; ++text) out.push_back(static_cast<uint8_t>(*text));
}
inline void append_le32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void append_be32(Bytes& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// One second of 16-bit stereo 44.1 kHz PCM in a RIFF/WAVE file: a quiet sine with noise, so
// that small negative samples put 0xFF bytes next to each other, as real recordings do.
inline Bytes wave_file() {
  std::mt19937 rng(11);
  Bytes data;
  for (int i = 0; i < 44100 * 2; ++i) {
    const int v = static_cast<int>(40.0 * ((i * 7919) % 200 - 100) / 100.0) + static_cast<int>(rng() % 9) - 4;
    data.push_back(static_cast<uint8_t>(v & 0xFF));
    data.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  Bytes out;
  append_text(out, "RIFF");
  append_le32(out, static_cast<uint32_t>(36 + data.size()));
  append_text(out, "WAVEfmt ");
  append_le32(out, 16);
  const uint8_t fmt[] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
  out.insert(out.end(), fmt, fmt + sizeof fmt);
  append_text(out, "data");
  append_le32(out, static_cast<uint32_t>(data.size()));
  bitstream_test::append(out, data);
  return out;
}

// A PNG signature and chunks around 40 KiB of compressed-looking (random) image data.
inline Bytes png_file() {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  append_be32(out, 13);
  append_text(out, "IHDR");
  append_be32(out, 640);
  append_be32(out, 480);
  const uint8_t ihdr[] = {8, 6, 0, 0, 0, 0x12, 0x34, 0x56, 0x78};  // then a (made-up) CRC
  out.insert(out.end(), ihdr, ihdr + sizeof ihdr);
  const Bytes image = random_bytes(40000, 12);
  append_be32(out, static_cast<uint32_t>(image.size()));
  append_text(out, "IDAT");
  bitstream_test::append(out, image);
  append_be32(out, 0xDEADBEEF);
  append_be32(out, 0);
  append_text(out, "IEND");
  append_be32(out, 0xAE426082);
  return out;
}

// An ID3v2.4 tag header declaring (close to) the largest size the four sync-safe bytes hold.
inline Bytes id3_header_past_end() { return {'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}; }

// Headers with every field at each end of its range (and the reserved and forbidden codes),
// on a 128 kbit/s MPEG-1 Layer II stereo header; bodies of zeros, ones and random bytes.
inline void add_header_extremes(std::vector<Fixture>& out) {
  struct Field {
    const char* name;
    uint32_t HeaderBits::*member;
    std::vector<uint32_t> values;
  };
  const Field fields[] = {
      {"version", &HeaderBits::version, {0, 1}},
      {"layer", &HeaderBits::layer, {0, 1, 2, 3}},
      {"bitrate", &HeaderBits::bitrate_index, {0, 1, 14, 15}},
      {"frequency", &HeaderBits::sample_frequency, {0, 2, 3}},
      {"padding", &HeaderBits::padding, {1}},
      {"private", &HeaderBits::private_bit, {1}},
      {"mode", &HeaderBits::mode, {1, 2, 3}},
      {"extension", &HeaderBits::mode_extension, {3}},
      {"copyright", &HeaderBits::copyright, {1}},
      {"original", &HeaderBits::original, {1}},
      {"emphasis", &HeaderBits::emphasis, {2, 3}},
  };
  const struct {
    const char* name;
    uint8_t fill;
  } bodies[] = {{"zeros", 0x00}, {"ones", 0xFF}, {"random", 0x5A}};
  uint32_t seed = 100;
  for (const auto& body : bodies) {
    for (const Field& field : fields) {
      for (uint32_t value : field.values) {
        for (bool protect : {false, true}) {
          HeaderBits h = layer2_header();
          h.*field.member = value;
          h.protected_frame = protect;
          out.push_back({std::string("header_") + field.name + std::to_string(value) + (protect ? "_crc_" : "_") +
                             body.name,
                         stream_of(h, 6, body.fill, seed++), Outcome::kEnds});
        }
      }
    }
    // Everything at once, low and high (high: LSF Layer I 256 kbit/s 16 kHz single channel).
    HeaderBits low = layer2_header();
    low.version = 0;
    low.layer = 3;
    low.bitrate_index = 1;
    low.sample_frequency = 0;
    HeaderBits high = layer2_header();
    high.version = 0;
    high.layer = 1;
    high.bitrate_index = 14;
    high.sample_frequency = 2;
    high.padding = high.private_bit = high.copyright = high.original = 1;
    high.mode = high.mode_extension = high.emphasis = 3;
    out.push_back({std::string("header_all_low_") + body.name, stream_of(low, 6, body.fill, seed++), Outcome::kEnds});
    out.push_back(
        {std::string("header_all_high_") + body.name, stream_of(high, 6, body.fill, seed++), Outcome::kEnds});
  }
}

// Layer III side information at its limits: part2_3_length 4095, big_values 511, global gain
// 255, the largest scale factor selection, the unused Huffman tables 4 and 14, each block type
// (0 with window switching is forbidden), mixed blocks, the largest region counts, and
// main_data_begin 0 or 511; the main data after it is ones or random bytes.
inline void add_layer3_side_info(std::vector<Fixture>& out) {
  struct Block {
    const char* name;
    bool switching;
    uint32_t type;
    uint32_t mixed;
  };
  const Block blocks[] = {{"long", false, 0, 0},   {"start", true, 1, 0}, {"short", true, 2, 0},
                          {"mixed", true, 2, 1},  {"stop", true, 3, 0},  {"forbidden", true, 0, 0}};
  uint32_t seed = 500;
  for (bool lsf : {false, true}) {
    HeaderBits h = layer2_header();
    h.layer = 3;
    h.version = lsf ? 0 : 1;
    h.mode = lsf ? 3 : 1;  // LSF single channel; MPEG-1 joint stereo (both stereo tools on)
    h.mode_extension = 3;
    h.protected_frame = true;
    const uint32_t channels = lsf ? 1 : 2, granules = lsf ? 1 : 2;
    for (const Block& block : blocks) {
      for (uint32_t table : {4u, 14u}) {
        for (uint32_t begin : {0u, 511u}) {
          for (uint8_t fill : {uint8_t{0xFF}, uint8_t{0x5A}}) {
            Bytes stream;
            for (int frame = 0; frame < 8; ++frame) {
              test_support::FrameBuilder builder(h);
              test_support::BitWriter& bits = builder.body();
              bits.put_checked(lsf ? begin & 0xFF : begin, lsf ? 8 : 9);
              bits.put_checked(0, lsf ? 1 : 3);  // private bits
              if (!lsf) bits.put_checked(0xFF, 8);  // scfsi: every band shares
              for (uint32_t g = 0; g < granules * channels; ++g) {
                bits.put_checked(4095, 12).put_checked(511, 9).put_checked(255, 8);
                bits.put_checked(lsf ? 511 : 15, lsf ? 9 : 4);
                bits.put_checked(block.switching ? 1 : 0, 1);
                if (block.switching) {
                  bits.put_checked(block.type, 2).put_checked(block.mixed, 1);
                  bits.put_checked(table, 5).put_checked(table, 5);
                  bits.put_checked(7, 3).put_checked(7, 3).put_checked(7, 3);
                } else {
                  bits.put_checked(table, 5).put_checked(table, 5).put_checked(table, 5);
                  bits.put_checked(15, 4).put_checked(7, 3);
                }
                if (!lsf) bits.put_checked(1, 1);  // preflag
                bits.put_checked(1, 1).put_checked(1, 1);
              }
              const size_t body_bytes = bitstream_test::frame_length(h) - 6;
              for (uint8_t b : filler(body_bytes - bits.bytes().size(), fill, seed + frame)) bits.put(b, 8);
              bitstream_test::append(stream, builder.finish());
            }
            ++seed;
            out.push_back({std::string("layer3_") + (lsf ? "lsf_" : "mpeg1_") + block.name + "_table" +
                               std::to_string(table) + "_begin" + std::to_string(begin) +
                               (fill == 0xFF ? "_ones" : "_random"),
                           stream, Outcome::kEnds});
          }
        }
      }
    }
  }
}

// Protected streams of each layer whose check words are all wrong: the first frame is decoded
// unchecked; the Layer I and II frames after it fail their check.
inline void add_wrong_check_words(std::vector<Fixture>& out) {
  for (uint32_t layer : {1u, 2u, 3u}) {
    HeaderBits h = layer2_header();
    h.layer = layer;
    h.protected_frame = true;
    for (uint16_t word : {uint16_t{0x0000}, uint16_t{0xFFFF}}) {
      Bytes stream;
      for (int frame = 0; frame < 6; ++frame) {
        test_support::FrameBuilder builder(h);
        Bytes bytes = builder.finish();  // an all-zero body: silence, with a right check word
        bytes[4] = static_cast<uint8_t>(word >> 8);
        bytes[5] = static_cast<uint8_t>(word);
        bitstream_test::append(stream, bytes);
      }
      out.push_back({"wrong_check_words_layer" + std::to_string(layer) + (word ? "_ones" : "_zeros"), stream,
                     Outcome::kDecodes});
    }
  }
}

}  // namespace detail

// Every fixture; sizes stay under a few megabytes in all.
inline std::vector<Fixture> fixtures() {
  using detail::silent_layer2;
  std::vector<Fixture> out;
  out.push_back({"empty", {}, Outcome::kRefused});
  out.push_back({"one_byte", {0xFF}, Outcome::kRefused});
  out.push_back({"two_bytes", {0xFF, 0xFD}, Outcome::kRefused});
  out.push_back({"three_bytes", {0xFF, 0xFD, 0x90}, Outcome::kRefused});
  {
    Bytes header_only = silent_layer2(1);
    header_only.resize(4);
    out.push_back({"header_only", header_only, Outcome::kRefused});
    Bytes first_cut = silent_layer2(1);
    first_cut.resize(first_cut.size() / 2);
    out.push_back({"cut_inside_first_frame", first_cut, Outcome::kRefused});
  }
  {
    const size_t frame = bitstream_test::frame_length(detail::layer2_header());
    Bytes in_header = silent_layer2(7);
    in_header.resize(6 * frame + 2);
    out.push_back({"cut_inside_header", in_header, Outcome::kDecodes});
    Bytes in_frame = silent_layer2(7);
    in_frame.resize(6 * frame + frame / 2);
    out.push_back({"cut_inside_frame", in_frame, Outcome::kDecodes});
  }
  out.push_back({"ones_only", Bytes(65536, 0xFF), Outcome::kRefused});
  out.push_back({"zeros_only", Bytes(65536, 0x00), Outcome::kRefused});
  out.push_back({"random_bytes", detail::random_bytes(1 << 20, 7), Outcome::kEnds});
  out.push_back({"wave_renamed", detail::wave_file(), Outcome::kEnds});
  out.push_back({"png_renamed", detail::png_file(), Outcome::kEnds});
  {
    Bytes tag_only = detail::id3_header_past_end();
    bitstream_test::append(tag_only, Bytes(100, 0x00));
    out.push_back({"id3_size_past_end_no_audio", tag_only, Outcome::kRefused});
    Bytes tagged = detail::id3_header_past_end();
    bitstream_test::append(tagged, silent_layer2(6));
    out.push_back({"id3_size_past_end_then_audio", tagged, Outcome::kEnds});
  }
  detail::add_header_extremes(out);
  detail::add_layer3_side_info(out);
  detail::add_wrong_check_words(out);
  return out;
}

// A fixture's name for a parameterised test.
struct FixtureName {
  template <class ParamInfo>
  std::string operator()(const ParamInfo& info) const {
    return info.param.name;
  }
};

}  // namespace mpegin::hostile
