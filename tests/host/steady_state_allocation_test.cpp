// Decoding allocates nothing once a stream is under way: every heap allocation made while the
// module delivers frames is counted, at 32 bits, 16 bits and 16 bits with dither, for each
// layer and version among the ISO compliance streams.
//
// The count covers operator new in every form and, except under AddressSanitizer (which owns
// malloc itself), malloc, calloc and realloc: this program's own definitions take the place of
// the C library's and forward to it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "host/host_test_support.h"
#include "host/mpeginput.h"
#include "host/option_word.h"
#include "support/conformance.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

inline void note_allocation() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define MPEGIN_COUNTS_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
  note_allocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  note_allocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
  note_allocation();
  return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}
// operator new takes its memory from below the counting malloc, so that it counts once.
static void* raw_malloc(std::size_t size) { return __libc_malloc(size); }
#else
#define MPEGIN_COUNTS_MALLOC 0
static void* raw_malloc(std::size_t size) { return std::malloc(size); }
#endif

namespace {

void* allocate(std::size_t size) {
  note_allocation();
  if (void* p = raw_malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  note_allocation();
  const std::size_t a = static_cast<std::size_t>(alignment) < sizeof(void*) ? sizeof(void*)
                                                                            : static_cast<std::size_t>(alignment);
  void* p = nullptr;
  if (posix_memalign(&p, a, size != 0 ? size : 1) == 0) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  note_allocation();
  return raw_malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  note_allocation();
  return raw_malloc(size != 0 ? size : 1);
}
void* operator new(std::size_t size, std::align_val_t a) { return allocate_aligned(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocate_aligned(size, a); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  try {
    return allocate_aligned(size, a);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t& t) noexcept {
  return operator new(size, a, t);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }


namespace mpegin {
namespace {

struct Stream {
  std::string name;
  std::string path;
};

// One stream for each layer, version and channel count among the compliance streams.
std::vector<Stream> one_stream_of_each_kind(const std::string& folder) {
  std::vector<conformance::StreamEntry> entries;
  std::vector<Stream> streams;
  if (!conformance::read_manifest(folder, entries)) return streams;
  std::set<std::tuple<int, std::string, int>> seen;
  for (const conformance::StreamEntry& e : entries) {
    if (seen.insert({e.layer, e.version, e.channels}).second) streams.push_back({e.stream, folder + "/" + e.stream});
  }
  return streams;
}

struct Count {
  long allocations = 0;
  long frames = 0;          // reads that delivered samples while counting
};

// Opens `path` through the module at `word`, reads `warm_up` frames, then counts the
// allocations of every further read up to the end of the stream.
Count count_steady_state(const std::string& path, uint32_t word, int warm_up) {
  Count count;
  int32_t rate = 0, value = 0;
  int16_t bits = 0, channels = 0;
  MpegInputHandle handle = OpenFilterInput(path.c_str(), &rate, &bits, &channels, 0, &value);
  EXPECT_NE(handle, nullptr) << path;
  if (handle == nullptr) return count;
  FilterSetOptions2(handle, word, &rate, &channels, &bits);
  std::vector<float> buffer(16384 / sizeof(float));
  int delivered = 0;
  for (int empty = 0; delivered < warm_up && empty < 64;) {
    if (ReadFilterInput(handle, buffer.data(), 0) > 0) {
      ++delivered;
    } else {
      ++empty;
    }
  }
  g_allocations = 0;
  g_counting = true;
  for (int empty = 0; empty < 64;) {
    if (ReadFilterInput(handle, buffer.data(), 0) > 0) {
      ++count.frames;
      empty = 0;
    } else {
      ++empty;
    }
  }
  g_counting = false;
  count.allocations = g_allocations;
  CloseFilterInput(handle);
  return count;
}

TEST(SteadyStateAllocation, TheCounterSeesTheAllocationsItIsMeantToSee) {
  g_allocations = 0;
  g_counting = true;
  int* volatile object = new int(1);   // volatile: the pair cannot be optimised away
  void* volatile block = std::malloc(24);
  g_counting = false;
  delete object;
  std::free(block);
  EXPECT_EQ(g_allocations, MPEGIN_COUNTS_MALLOC ? 2 : 1);
}

TEST(SteadyStateAllocation, ReadingFramesAllocatesNothingAtAnyWidth) {
  HOST_TEST_CONFORMANCE_FOLDER(folder);
  host_test::TempDir config;
  host_test::ScopedEnv config_home("XDG_CONFIG_HOME", config.path().c_str());
  const std::vector<Stream> streams = one_stream_of_each_kind(folder);
  ASSERT_FALSE(streams.empty());
  const struct {
    const char* name;
    uint32_t word;
  } modes[] = {{"32-bit", kWidth32Bits | 20000u},
               {"16-bit", kWidth16Bits | 20000u},
               {"16-bit dithered", kWidth16Bits | kDitherBit | 20000u}};
  for (const Stream& stream : streams) {
    for (const auto& mode : modes) {
      SCOPED_TRACE(stream.name + " at " + mode.name);
      const Count count = count_steady_state(stream.path, mode.word, 8);
      EXPECT_GT(count.frames, 0) << "the stream is shorter than the warm-up";
      EXPECT_EQ(count.allocations, 0) << "allocations over " << count.frames << " frames";
    }
  }
}

}  // namespace
}  // namespace mpegin
