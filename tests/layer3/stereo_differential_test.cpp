// Joint stereo of Layer III end to end, against a peer decoder: synthetic streams that run
// mid/side and intensity stereo (MPEG-1 ratios, every position; LSF factors, both intensity
// scales) over long, short and mixed blocks are decoded here and by the mpg123 program, and
// the two outputs must agree to a fraction of a 16-bit step.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decoder/decoder_context.h"
#include "support/bit_writer.h"

namespace mpegin {
namespace {

using bitstream_test::HeaderBits;
using bitstream_test::TempFile;
using test_support::BitWriter;
using test_support::Bytes;

enum Block { kLong, kShort, kMixed };

struct StereoCase {
  const char* name;
  uint32_t version;         // 1 MPEG-1, 0 LSF
  uint32_t mode_extension;  // bit 1 mid/side, bit 0 intensity
  Block block;
  uint32_t compress1;       // the second channel's scalefac_compress (LSF: bit 0 is the scale)
  uint32_t positions;       // its scale factors (the intensity positions) cycle 0..positions-1
};

// Widths of the second channel's scale factors, in the order they are written.
std::vector<uint32_t> scale_factor_widths(const StereoCase& c) {
  std::vector<uint32_t> widths;
  auto add = [&](uint32_t count, uint32_t bits) { widths.insert(widths.end(), count, bits); };
  if (c.version == 1) {
    static const uint32_t slen[16][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {3, 0}, {1, 1},
                                         {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}, {3, 1},
                                         {3, 2}, {3, 3}, {4, 2}, {4, 3}};
    const uint32_t s1 = slen[c.compress1][0], s2 = slen[c.compress1][1];
    if (c.block == kLong) add(11, s1), add(10, s2);
    if (c.block == kShort) add(18, s1), add(18, s2);
    if (c.block == kMixed) add(8 + 9, s1), add(18, s2);
    return widths;
  }
  // LSF, intensity channel, compress / 2 below 180: lengths x/36, x%36/6, x%6.
  const uint32_t x = c.compress1 >> 1;
  const uint32_t s[3] = {x / 36, x % 36 / 6, x % 6};
  static const uint32_t counts[3][3] = {{7, 7, 7}, {12, 12, 12}, {6, 15, 12}};
  for (int part = 0; part < 3; ++part) add(counts[c.block][part], s[part]);
  return widths;
}

uint32_t next_random(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 16;
}

// Main data of one granule and channel: scale factors, then `lines` quantised values of -1, 0
// or +1 coded as quadruples with the 4-bit count1 table. Returns the bit count.
uint32_t put_channel_data(BitWriter& w, const std::vector<uint32_t>& sf_widths,
                          uint32_t position_seed, uint32_t positions, uint32_t lines,
                          uint32_t& random) {
  uint32_t bits = 0;
  for (size_t j = 0; j < sf_widths.size(); ++j) {
    uint32_t p = (static_cast<uint32_t>(j) * 3 + position_seed) % positions;
    if (positions == 16 && p == 9) p = 7;  // ratio -1: the peer divides by zero there
    w.put(p, sf_widths[j]);
    bits += sf_widths[j];
  }
  for (uint32_t q = 0; q < lines / 4; ++q) {
    uint32_t magnitudes = 0, signs = 0, sign_bits = 0;
    for (int k = 0; k < 4; ++k) {
      const uint32_t r = next_random(random) % 4;  // 0, 0, +1, -1
      magnitudes = magnitudes << 1 | (r >= 2 ? 1u : 0u);
      if (r >= 2) signs = signs << 1 | (r - 2), ++sign_bits;
    }
    w.put(15 - magnitudes, 4).put(signs, sign_bits);
    bits += 4 + sign_bits;
  }
  return bits;
}

// A stream of `frames` frames of the case, each frame's main data in its own body.
Bytes stereo_stream(const StereoCase& c, int frames) {
  HeaderBits h;
  h.version = c.version;
  h.layer = 3;
  h.bitrate_index = 14;  // 320 kbit/s (MPEG-1), 160 kbit/s (LSF)
  h.mode = 1;
  h.mode_extension = c.mode_extension;
  const bool mpeg1 = c.version == 1;
  const uint32_t granules = mpeg1 ? 2 : 1;
  const std::vector<uint32_t> widths = scale_factor_widths(c);
  // Extent of the second channel's non-zero lines: intensity begins above it.
  static const uint32_t kRightLines[] = {0, 4, 0, 24, 96, 0, 300, 8, 0, 52};
  const bool intensity = (c.mode_extension & 1) != 0;
  uint32_t random = 12345;
  Bytes stream;
  for (int f = 0; f < frames; ++f) {
    BitWriter side, main;
    side.put(0, mpeg1 ? 9 : 8).put(0, mpeg1 ? 3 : 2);  // main_data_begin, private bits
    if (mpeg1) side.put(0, 8);                          // scfsi
    for (uint32_t gr = 0; gr < granules; ++gr) {
      const uint32_t index = static_cast<uint32_t>(f) * granules + gr;
      for (uint32_t ch = 0; ch < 2; ++ch) {
        const uint32_t right_lines = intensity ? kRightLines[index % 10] : 576;
        const uint32_t bits =
            ch == 0 ? put_channel_data(main, {}, 0, 1, 576, random)
                    : put_channel_data(main, widths, index, c.positions, right_lines, random);
        side.put(bits, 12).put(0, 9).put(180, 8);  // part2_3_length, big_values, global_gain
        side.put(ch == 0 ? 0 : c.compress1, mpeg1 ? 4 : 9);
        if (c.block == kLong) {
          side.put(0, 1).put(0, 15).put(0, 7);  // no window switching, tables, regions
        } else {
          side.put(1, 1).put(2, 2).put(c.block == kMixed ? 1 : 0, 1).put(0, 10);
          side.put(ch == 0 ? 0 : 1, 3).put(0, 3).put(ch == 0 ? 2 : 0, 3);  // subblock gains
        }
        if (mpeg1) side.put(0, 1);  // preflag
        side.put(0, 1).put(1, 1);   // scalefac_scale, count1 table B
      }
    }
    bitstream_test::append_word(stream, bitstream_test::header_word(h));
    Bytes body = side.bytes();
    bitstream_test::append(body, main.bytes());
    body.resize(bitstream_test::frame_length(h) - 4, 0);
    bitstream_test::append(stream, body);
  }
  return stream;
}

std::vector<float> decode_here(const char* path) {
  std::vector<float> out;
  DecoderContext context;
  if (context.open(path) != 1) return out;
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  while (!context.end_of_stream()) {
    const uint32_t bytes = context.decode_next(frame.data());
    out.insert(out.end(), frame.begin(), frame.begin() + bytes / sizeof(float));
  }
  return out;
}

std::vector<float> decode_with_peer(const char* path) {
  std::vector<float> out;
  const std::string command = std::string("mpg123 -q --no-gapless -e f32 -s '") + path + "' 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  float block[4096];
  for (size_t n; (n = std::fread(block, sizeof(float), 4096, pipe)) > 0;) out.insert(out.end(), block, block + n);
  pclose(pipe);
  return out;
}

TEST(Layer3StereoDifferential, AgreesWithPeerDecoderOnEveryJointStereoCase) {
  if (std::system("command -v mpg123 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "*** mpg123 not installed: Layer III joint stereo NOT compared with a peer decoder ***";
  // Not compared: LSF intensity in mixed blocks, where decoders place the end of the long part
  // differently (line 36 here); MPEG-1 position 9, whose ratio -1 the peer divides by; and
  // short blocks whose second channel reaches short band 11 or 12, whose band 12 the peer
  // codes as intensity anyway (kRightLines stays below them).
  const StereoCase cases[] = {
      {"MPEG-1 mid/side, long", 1, 2, kLong, 0, 1},
      {"MPEG-1 mid/side, short", 1, 2, kShort, 0, 1},
      {"MPEG-1 mid/side, mixed", 1, 2, kMixed, 0, 1},
      {"MPEG-1 intensity 0..7, long", 1, 1, kLong, 13, 8},
      {"MPEG-1 intensity 0..7, short", 1, 1, kShort, 13, 8},
      {"MPEG-1 intensity 0..7, mixed", 1, 1, kMixed, 13, 8},
      {"MPEG-1 intensity 0..7 + mid/side, long", 1, 3, kLong, 13, 8},
      {"MPEG-1 intensity 0..7 + mid/side, short", 1, 3, kShort, 13, 8},
      {"MPEG-1 intensity 0..7 + mid/side, mixed", 1, 3, kMixed, 13, 8},
      {"MPEG-1 intensity 0..15, long", 1, 1, kLong, 15, 16},
      {"MPEG-1 intensity 0..15 + mid/side, short", 1, 3, kShort, 15, 16},
      {"LSF mid/side, long", 0, 2, kLong, 0, 1},
      {"LSF mid/side, mixed", 0, 2, kMixed, 0, 1},
      {"LSF intensity scale 0, long", 0, 1, kLong, 2 * 129, 8},
      {"LSF intensity scale 1, long", 0, 3, kLong, 2 * 129 + 1, 8},
      {"LSF intensity 0..15 in four-bit bands, long", 0, 1, kLong, 2 * 165, 16},
      {"LSF intensity scale 0, short", 0, 3, kShort, 2 * 129, 8},
      {"LSF intensity scale 1, short", 0, 1, kShort, 2 * 129 + 1, 8},
  };
  for (const StereoCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempFile file(stereo_stream(c, 20));
    const std::vector<float> ours = decode_here(file.path());
    const std::vector<float> peer = decode_with_peer(file.path());
    ASSERT_FALSE(ours.empty());
    ASSERT_EQ(ours.size(), peer.size());
    double sum = 0.0, worst = 0.0, peak = 0.0;
    for (size_t i = 0; i < ours.size(); ++i) {
      const double d = (double(ours[i]) - double(peer[i])) * 32768.0;
      sum += d * d;
      worst = std::max(worst, std::fabs(d));
      peak = std::max(peak, std::fabs(double(peer[i])) * 32768.0);
    }
    const double rms = std::sqrt(sum / double(ours.size()));
    std::printf("  %-44s rms %.5f  max %.5f LSB  (peak %.0f)\n", c.name, rms, worst, peak);
    EXPECT_LE(rms, 0.02);
    EXPECT_LE(worst, 0.25);
  }
}

}  // namespace
}  // namespace mpegin
