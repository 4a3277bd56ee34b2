// Hostile-file runner: takes the ISO compliance streams, damages them in seeded ways (bit flips,
// byte runs, truncation, splices, forged headers, runs of another stream so that the format
// changes every few frames) and decodes every damaged copy from memory. Fails when the decoder
// hangs, delivers more than one frame per call, delivers a NaN or an infinity, lets a frame go
// without samples or changes the channel count it promised; run it under AddressSanitizer to
// catch reads and writes out of bounds.
//
//   mutate_streams [--rounds N] [--seed S] [FILE...]   (default: every stream of the manifest)
//
// Exit status: 0 all decoded soundly, 1 a failure, 77 no streams to work on.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <mpegaudio/mpegaudio.h>

#include "decode_input.h"
#include "support/conformance.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> manifest_streams() {
  namespace conf = mpegin::conformance;
  std::vector<conf::StreamEntry> entries;
  std::vector<std::string> paths;
  if (conf::read_manifest(conf::directory(), entries))
    for (const conf::StreamEntry& e : entries) paths.push_back(conf::directory() + "/" + e.stream);
  return paths;
}

Bytes load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where the next sync pattern at or after `from` begins (b.size() when none).
size_t next_sync(const Bytes& b, size_t from) {
  for (size_t i = from; i + 1 < b.size(); ++i)
    if (b[i] == 0xFF && (b[i + 1] & 0xF0) == 0xF0) return i;
  return b.size();
}

// A stream that changes format every few frames: runs of a few kilobytes from `original` and
// from `other` (another stream: another layer, channel count or rate), each run cut at a sync.
Bytes alternate(const Bytes& original, const Bytes& other, std::mt19937& rng) {
  Bytes out;
  size_t at[2] = {0, 0};
  const Bytes* sources[2] = {&original, &other};
  for (int turn = 0; turn < 16; ++turn) {
    const Bytes& b = *sources[turn & 1];
    size_t& from = at[turn & 1];
    from = next_sync(b, from);
    const size_t to = next_sync(b, std::min(b.size(), from + 1 + rng() % 4096));
    out.insert(out.end(), b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
    from = to;
  }
  return out;
}

// One kind of damage per round, chosen by the generator.
Bytes damage(const Bytes& original, const Bytes& other, std::mt19937& rng, std::string& what) {
  Bytes b = original;
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  switch (rng() % 8) {
    case 0: {  // scattered bit flips
      const size_t flips = 1 + pick(64);
      for (size_t i = 0; i < flips && !b.empty(); ++i) b[pick(b.size())] ^= uint8_t(1u << (rng() % 8));
      what = "bit flips";
      break;
    }
    case 1: {  // a run of random bytes
      if (b.empty()) break;
      const size_t at = pick(b.size()), len = 1 + pick(512);
      for (size_t i = at; i < b.size() && i < at + len; ++i) b[i] = uint8_t(rng());
      what = "random run";
      break;
    }
    case 2:  // cut short anywhere
      b.resize(pick(b.size() + 1));
      what = "truncation";
      break;
    case 3: {  // a slice moved elsewhere: frames split mid-body
      if (b.size() < 8) break;
      const size_t from = pick(b.size()), len = 1 + pick(4096), to = pick(b.size());
      Bytes slice(b.begin() + from, b.begin() + std::min(b.size(), from + len));
      b.insert(b.begin() + to, slice.begin(), slice.end());
      what = "splice";
      break;
    }
    case 4: {  // forged sync words with random header bits
      const size_t count = 1 + pick(32);
      for (size_t i = 0; i < count && b.size() >= 4; ++i) {
        const size_t at = pick(b.size() - 3);
        b[at] = 0xFF;
        b[at + 1] = uint8_t(0xE0 | (rng() & 0x1F));
        b[at + 2] = uint8_t(rng());
        b[at + 3] = uint8_t(rng());
      }
      what = "forged headers";
      break;
    }
    case 5: {  // side information and allocation fields hit right after each sync
      for (size_t i = 0; i + 12 < b.size(); ++i)
        if (b[i] == 0xFF && (b[i + 1] & 0xE0) == 0xE0 && rng() % 4 == 0)
          for (size_t k = 4; k < 12; ++k) b[i + k] = uint8_t(rng());
      what = "side information";
      break;
    }
    case 6:
      b = alternate(original, other, rng);
      what = "format changes";
      break;
    default: {  // all ones or all zeros in a region
      if (b.empty()) break;
      const size_t at = pick(b.size()), len = 1 + pick(2048);
      const uint8_t fill = rng() % 2 ? 0xFF : 0x00;
      for (size_t i = at; i < b.size() && i < at + len; ++i) b[i] = fill;
      what = fill ? "ones" : "zeros";
      break;
    }
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 12;
  unsigned seed = 20261207;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--seed") && i + 1 < argc) seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
    else files.push_back(argv[i]);
  }
  if (files.empty()) files = manifest_streams();
  if (files.empty()) {
    std::fprintf(stderr, "mutate_streams: no streams (MPEG_CONFORMANCE_DIR=%s)\n",
                 mpegin::conformance::directory().c_str());
    return mpegin::conformance::required() ? 1 : 77;
  }
  std::mt19937 rng(seed);
  int failures = 0, decoded = 0;
  for (size_t f = 0; f < files.size(); ++f) {
    const std::string& file = files[f];
    const Bytes original = load(file);
    const Bytes other = load(files[(f + 1) % files.size()]);
    for (int r = 0; r < rounds; ++r) {
      std::string what;
      const Bytes damaged = damage(original, other, rng, what);
      const uint64_t limit = damaged.size() / 4 + 2;
      // Every other round without the header walk: the first frame's channel count holds.
      const auto outcome = mpegin::fuzz::decode_memory(damaged.data(), damaged.size(), limit,
                                                       r % 2 == 0 ? 0u : MPEGAUDIO_NO_WALK);
      ++decoded;
      const char* fault = nullptr;
      if (outcome.opened && outcome.calls >= limit) fault = "never reached the end of the stream";
      else if (!outcome.bounded) fault = "delivered more than one frame in one call";
      else if (!outcome.all_finite) fault = "delivered NaN or infinity";
      else if (!outcome.consistent) fault = "a frame of another format, or a refusal while decoding";
      else if (outcome.empty_calls != 0) fault = "a frame yielded no samples";
      if (fault) {
        ++failures;
        std::fprintf(stderr, "FAIL %s round %d (%s): %s\n", file.c_str(), r, what.c_str(), fault);
      }
    }
  }
  std::printf("%d damaged streams decoded, %d failures\n", decoded, failures);
  return failures ? 1 : 0;
}
