// Frames whose fields ask for more bits than their bodies hold are damaged: they are concealed
// in their place, never decoded from bytes that are not theirs.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/decoder_context.h"
#include "support/frame_builder.h"

namespace mpegin {
namespace {

using bitstream_test::TempFile;
using test_support::Bytes;
using test_support::FrameBuilder;
using test_support::HeaderBits;

struct Decoded {
  std::vector<float> samples;
  uint32_t concealed = 0;
};

Decoded decode(std::initializer_list<Bytes> frames) {
  Bytes stream;
  for (const Bytes& f : frames) bitstream_test::append(stream, f);
  TempFile file(stream);
  DecoderContext context;
  Decoded out;
  if (context.open(file.path()) != 1) return out;
  std::vector<float> frame(DecoderContext::kMaxFrameOutputBytes / sizeof(float));
  for (uint32_t bytes; (bytes = context.decode_next(frame.data())) != 0;)
    out.samples.insert(out.samples.end(), frame.begin(), frame.begin() + bytes / sizeof(float));
  out.concealed = context.events().concealed_frames;
  return out;
}

// A stereo Layer II frame at 192 kbit/s, 44.1 kHz, whose eleven lowest subbands take 16-bit
// samples in both channels: some 1600 bytes of samples in a 626-byte frame.
Bytes over_allocated_layer2_frame(const HeaderBits& h) {
  FrameBuilder frame(h);
  test_support::BitWriter& body = frame.body();
  for (int sb = 0; sb < 30; ++sb) {
    const uint32_t width = sb < 11 ? 4 : (sb < 23 ? 3 : 2);
    const uint32_t allocation = sb < 11 ? 15 : 0;
    body.put_checked(allocation, width).put_checked(allocation, width);
  }
  for (int set = 0; set < 22; ++set) body.put_checked(2, 2);  // one scale factor each
  body.zeros(22 * 6);
  return frame.finish();
}

TEST(OverRead, LayerTwoFrameAllocatingMoreThanItsBodyIsConcealedLikeAFailedCheck) {
  HeaderBits h;
  h.layer = 2;
  h.bitrate_index = 10;
  h.protected_frame = true;
  const Bytes tone = test_support::layer2_tone_frame(h, 26);
  Bytes failed = tone;
  failed[4] ^= 0xFF;  // the check word
  const Decoded got = decode({tone, tone, over_allocated_layer2_frame(h), tone});
  const Decoded expected = decode({tone, tone, failed, tone});
  ASSERT_EQ(expected.concealed, 1u);
  EXPECT_EQ(got.concealed, 1u);
  ASSERT_EQ(got.samples.size(), 4u * 1152 * 2);
  EXPECT_EQ(got.samples, expected.samples);
}

}  // namespace
}  // namespace mpegin
