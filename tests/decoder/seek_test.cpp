// Seeking to a frame gives that frame and the ones after it exactly as a decode from the
// start does: samples bit for bit, positions, offsets and flags (gapless trimming included),
// on the conformance streams, on long stitched streams (past the frame index's first entries
// and the seek's look-back window) and on one with a run of damaged frames.
#include "mpegaudio/mpegaudio.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fuzz/hostile_fixtures.h"
#include "support/conformance.h"

namespace mpegin {
namespace {

using Bytes = std::vector<uint8_t>;

struct Frame {
  std::vector<float> samples;
  uint64_t position = 0;
  uint64_t byte_offset = 0;
  uint32_t flags = 0;
};

Frame take(const mpegaudio_frame& f) {
  Frame out;
  out.samples.assign(f.samples, f.samples + f.sample_count * static_cast<size_t>(f.channels));
  out.position = f.position;
  out.byte_offset = f.byte_offset;
  out.flags = f.flags;
  return out;
}

bool operator==(const Frame& a, const Frame& b) {
  return a.position == b.position && a.byte_offset == b.byte_offset && a.flags == b.flags &&
         a.samples.size() == b.samples.size() &&
         (a.samples.empty() || std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * 4) == 0);
}

class Decoder {
 public:
  explicit Decoder(const Bytes& bytes, unsigned flags = 0) : d_(mpegaudio_new()) {
    open_ = mpegaudio_open_memory(d_, bytes.data(), bytes.size(), flags);
  }
  ~Decoder() { mpegaudio_delete(d_); }
  bool open() const { return open_ == MPEGAUDIO_OK; }
  mpegaudio_decoder* get() { return d_; }
  std::vector<Frame> frames(size_t most = SIZE_MAX) {
    std::vector<Frame> out;
    mpegaudio_frame f{};
    while (out.size() < most && mpegaudio_decode(d_, &f) == MPEGAUDIO_OK) out.push_back(take(f));
    return out;
  }

 private:
  mpegaudio_decoder* d_;
  int open_;
};

// Seeks to every `step`-th frame (and the last ones) and compares the next frames.
void expect_exact_seeks(const Bytes& bytes, size_t step = 1, size_t compared = 3) {
  Decoder whole(bytes);
  if (!whole.open()) return;
  const std::vector<Frame> reference = whole.frames();
  Decoder seeking(bytes);
  const size_t n = reference.size();
  for (size_t target = 0; target <= n; target = target + step < n || target == n ? target + step : n) {
    SCOPED_TRACE("frame " + std::to_string(target) + " of " + std::to_string(n));
    ASSERT_EQ(mpegaudio_seek_frame(seeking.get(), target), MPEGAUDIO_OK);
    const std::vector<Frame> got = seeking.frames(compared);
    ASSERT_EQ(got.size(), std::min(compared, n - target));
    for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == reference[target + i]) << "frame " << target + i;
    if (target == n) break;
  }
}

Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<conformance::StreamEntry> conformance_streams(std::string& dir) {
  std::vector<conformance::StreamEntry> entries;
  dir = conformance::directory();
  conformance::read_manifest(dir, entries);
  return entries;
}

TEST(Seek, EveryFrameOfTheConformanceStreams) {
  std::string dir;
  const auto entries = conformance_streams(dir);
  if (entries.empty()) {
    if (conformance::required()) FAIL() << "no conformance streams in " << dir;
    GTEST_SKIP() << "no conformance streams in " << dir;
  }
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.stream);
    expect_exact_seeks(read_bytes(dir + "/" + entry.stream));
  }
}

// Long streams: every Layer III conformance stream four times over (a few hundred to a few
// thousand frames), seeking at a stride that meets every distance from an index entry; and the
// first stream of each layer with a run of frames destroyed in the middle, so that later frames
// are concealed (Layer III: they reach back into main data that is not there).
TEST(Seek, LongAndDamagedStreams) {
  std::string dir;
  const auto entries = conformance_streams(dir);
  if (entries.empty()) GTEST_SKIP() << "no conformance streams in " << dir;
  bool damaged[4] = {};
  for (const auto& entry : entries) {
    if (entry.layer < 1 || entry.layer > 3) continue;
    SCOPED_TRACE(entry.stream);
    const Bytes one = read_bytes(dir + "/" + entry.stream);
    Bytes four;
    for (int i = 0; i < 4; ++i) four.insert(four.end(), one.begin(), one.end());
    if (entry.layer == 3) expect_exact_seeks(four, 37, 2);
    if (!damaged[entry.layer]) {
      damaged[entry.layer] = true;
      Bytes hurt = four;
      for (size_t i = hurt.size() / 2; i < hurt.size() / 2 + 3000; ++i) hurt[i] = static_cast<uint8_t>(i * 7);
      expect_exact_seeks(hurt, 1, 2);
    }
  }
}

// Headers at their extremes, side information at its limits, wrong check words, cut frames.
// Not compared: protected frames of random bytes after a first frame that is decoded unchecked
// and reads past its end, into bytes the frame buffer held before (which a seek cannot
// restore); a decode from the start conceals the rest from that frame.
TEST(Seek, HostileFixtures) {
  for (const hostile::Fixture& fixture : hostile::fixtures()) {
    SCOPED_TRACE(fixture.name);
    const std::string suffix = "_crc_random";
    if (fixture.name.size() > suffix.size() && fixture.name.compare(fixture.name.size() - suffix.size(), suffix.size(), suffix) == 0)
      continue;
    expect_exact_seeks(fixture.bytes);
  }
}

TEST(Seek, RefusedWithoutTheWalk) {
  const Bytes bytes = hostile::detail::silent_layer2(8);
  Decoder unwalked(bytes, MPEGAUDIO_NO_WALK);
  ASSERT_TRUE(unwalked.open());
  EXPECT_EQ(mpegaudio_seek_frame(unwalked.get(), 2), MPEGAUDIO_NOT_SEEKABLE);
  EXPECT_EQ(unwalked.frames().size(), 8u) << "a refused seek leaves the decoder where it was";
  mpegaudio_decoder* closed = mpegaudio_new();
  EXPECT_EQ(mpegaudio_seek_frame(closed, 0), MPEGAUDIO_NOT_OPEN);
  mpegaudio_delete(closed);
}

}  // namespace
}  // namespace mpegin
