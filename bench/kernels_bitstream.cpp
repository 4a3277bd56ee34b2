// Bit reading and frame finding: MpegFileReader::get_bits over a frame body, the header and
// body read of consecutive frames, and the search through bytes that hold no stream.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"
#include "bitstream/test_stream.h"

namespace {

using mpegin::Crc16;
using mpegin::FrameHeader;
using mpegin::MpegFileReader;
using mpegin::bitstream_test::Bytes;
using mpegin::bitstream_test::HeaderBits;
using mpegin::bitstream_test::TempFile;

Bytes random_bytes(size_t count, uint32_t seed, uint8_t top) {
  std::mt19937 random(seed);
  Bytes out(count);
  for (auto& b : out) b = static_cast<uint8_t>(random() % (uint32_t{top} + 1));
  return out;
}

// Field widths in the proportions of a Layer II frame: allocations, scale factors, samples.
constexpr uint32_t kWidths[16] = {4, 4, 3, 2, 6, 6, 5, 5, 7, 3, 10, 4, 16, 5, 9, 6};

void BM_GetBits(benchmark::State& state) {
  const uint32_t body = MpegFileReader::kMaxFrameBytes;
  Bytes contents = {0xFF, 0xFD, 0xE0, 0x00};
  mpegin::bitstream_test::append(contents, random_bytes(body, 1, 0xFF));
  TempFile file(contents);
  MpegFileReader reader(file.path());
  uint32_t word = 0;
  if (!reader.find_header(word, false) || !reader.read_frame(body)) {
    state.SkipWithError("no frame");
    return;
  }
  uint64_t bits = 0;
  for (auto _ : state) {
    reader.bits().set_position(0);
    uint32_t sum = 0;
    uint32_t read = 0;
    for (uint32_t i = 0; read + 16 < body * 8; ++i) {
      const uint32_t n = kWidths[i & 15];
      sum += reader.get_bits(n);
      read += n;
    }
    benchmark::DoNotOptimize(sum);
    bits += read;
  }
  state.SetBytesProcessed(static_cast<int64_t>(bits / 8));
}
BENCHMARK(BM_GetBits);

// Consecutive Layer II frames, 384 kbit/s at 44.1 kHz (1253/1254 bytes), read header by header.
void BM_ReadFrames(benchmark::State& state) {
  Bytes contents;
  constexpr int kFrames = 2000;
  for (int i = 0; i < kFrames; ++i) {
    HeaderBits h;
    h.layer = 2;
    h.bitrate_index = 14;
    h.padding = static_cast<uint32_t>(i % 3 == 0);
    mpegin::bitstream_test::append(contents, mpegin::bitstream_test::make_frame(h, static_cast<uint8_t>(i)));
  }
  TempFile file(contents);
  int64_t frames = 0;
  for (auto _ : state) {
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    while (header.read_header(reader, crc)) ++frames;
  }
  state.SetItemsProcessed(frames);
  state.SetBytesProcessed(static_cast<int64_t>(contents.size()) * state.iterations());
}
BENCHMARK(BM_ReadFrames)->Unit(benchmark::kMillisecond);

// The search for a first frame through 16 MB that hold none: random bytes, and 0xFF bytes
// (every byte a sync).
void BM_RejectJunk(benchmark::State& state) {
  const bool all_ff = state.range(0) == 1;
  const size_t size = size_t{16} << 20;
  TempFile file(all_ff ? Bytes(size, 0xFF) : random_bytes(size, 7, 0xFF));
  for (auto _ : state) {
    MpegFileReader reader(file.path());
    FrameHeader header;
    Crc16* crc = nullptr;
    benchmark::DoNotOptimize(header.read_header(reader, crc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(size) * state.iterations());
  state.SetLabel(all_ff ? "0xFF bytes" : "random bytes");
}
BENCHMARK(BM_RejectJunk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
