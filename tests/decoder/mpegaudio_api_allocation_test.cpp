// Decoding through the C interface allocates nothing once a stream is under way, whatever the
// source: the operator new of this test binary counts while a decode loop runs.
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bitstream/test_stream.h"
#include "mpegaudio/mpegaudio.h"
#include "support/conformance.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* counted(std::size_t size) noexcept {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size != 0 ? size : 1);
}
}  // namespace

void* operator new(std::size_t size) {
  if (void* p = counted(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace mpegin {
namespace {

using bitstream_test::Bytes;

struct Feed {
  const Bytes* bytes;
  size_t position = 0;
  static ptrdiff_t read(void* user, void* buffer, size_t size) {
    auto& feed = *static_cast<Feed*>(user);
    size_t count = feed.bytes->size() - feed.position;
    if (count > size) count = size;
    if (count > 1000) count = 1000;
    std::copy_n(feed.bytes->data() + feed.position, count, static_cast<uint8_t*>(buffer));
    feed.position += count;
    return static_cast<ptrdiff_t>(count);
  }
};

TEST(ApiAllocation, DecodingAllocatesNothingAfterTheFirstFrames) {
  const std::string dir = conformance::directory();
  std::vector<conformance::StreamEntry> entries;
  if (!conformance::read_manifest(dir, entries)) GTEST_SKIP() << "no conformance streams in " << dir;
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.stream);
    const std::string path = dir + "/" + entry.stream;
    std::ifstream in(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int source = 0; source < 3; ++source) {
      SCOPED_TRACE(source);
      mpegaudio_decoder* d = mpegaudio_new();
      Feed feed{&bytes};
      const int opened = source == 0   ? mpegaudio_open_file(d, path.c_str(), 0)
                         : source == 1 ? mpegaudio_open_memory(d, bytes.data(), bytes.size(), 0)
                                       : mpegaudio_open_stream(d, &Feed::read, &feed, 0);
      ASSERT_EQ(opened, MPEGAUDIO_OK);
      mpegaudio_frame frame{};
      for (int warm_up = 0; warm_up < 2; ++warm_up) ASSERT_EQ(mpegaudio_decode(d, &frame), MPEGAUDIO_OK);
      g_allocations = 0;
      g_counting = true;
      int frames = 0;
      while (mpegaudio_decode(d, &frame) == MPEGAUDIO_OK) ++frames;
      g_counting = false;
      EXPECT_GT(frames, 0);
      EXPECT_EQ(g_allocations, 0);
      mpegaudio_delete(d);
    }
  }
}

}  // namespace
}  // namespace mpegin
