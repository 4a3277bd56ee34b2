// What reading met, as MpegInputStreamEvents tells a host: damaged frames concealed in place,
// counted with the position of the first.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <string>
#include <vector>

#include "host/host_test_support.h"
#include "host/loaded_module.h"
#include "support/frame_starts.h"

namespace mpegin::host_test {
namespace {

using test_support::frame_starts;

TEST(StreamEvents, DamagedFramesAreCountedWithTheFirstPosition) {
  HOST_TEST_CONFORMANCE_FOLDER(folder);
  const LoadedModule& m = loaded_module();
  const auto events_of = reinterpret_cast<MpegInputStreamEventsFn>(dlsym(m.library, "MpegInputStreamEvents"));
  ASSERT_NE(events_of, nullptr);
  struct Case {
    const char* name;
    size_t flip_at;              // a byte of allocation or side information
    std::vector<size_t> frames;  // damaged frames
    uint32_t frame_samples;
  } cases[] = {{"l1-fl1.bit", 8, {10}, 384},
               {"l2-fl10.bit", 8, {12, 20}, 1152},
               {"l3-hecommon.bit", 10, {10}, 1152},
               {"l2-fl10.bit", 8, {}, 1152}};
  for (const Case& c : cases) {
    const std::string path = folder + "/" + c.name;
    std::string bytes = read_file(path);
    const std::vector<size_t> starts = frame_starts(path);
    for (size_t frame : c.frames) bytes[starts.at(frame) + 4 + c.flip_at] ^= 0x5A;
    TempDir dir;
    write_file(dir.file("damaged.mp3"), bytes);

    int32_t rate = 0, value = 0;
    int16_t bits = 0, channels = 0;
    MpegInputHandle handle = m.OpenFilterInput(dir.file("damaged.mp3").c_str(), &rate, &bits, &channels, 0, &value);
    ASSERT_NE(handle, nullptr) << c.name;
    m.FilterSetOptions2(handle, 0x204E20u, &rate, &channels, &bits);
    std::vector<uint8_t> buffer(16384);
    uint64_t delivered = 0;
    for (int32_t n; (n = m.ReadFilterInput(handle, buffer.data(), 0)) > 0;) delivered += static_cast<uint64_t>(n);

    MpegStreamEvents events{};
    events.size = 8;   // a host that knows only the first fields gets only those
    events.first_concealed_sample = 99;
    EXPECT_EQ(events_of(handle, &events), 8u);
    EXPECT_EQ(events.first_concealed_sample, 99u);
    events.size = sizeof events;
    ASSERT_EQ(events_of(handle, &events), sizeof events);
    m.CloseFilterInput(handle);
    EXPECT_EQ(events_of(handle, &events), 0u) << "closed";

    EXPECT_EQ(events.concealed_frames, c.frames.size()) << c.name;
    const uint64_t first = c.frames.empty() ? 0 : c.frames[0] * c.frame_samples;
    EXPECT_EQ(events.first_concealed_sample, first) << c.name;
    EXPECT_EQ(events.first_concealed_ms, (first * 1000 + rate / 2) / rate) << c.name;
    EXPECT_EQ(events.decoded_samples, delivered / 4 / channels) << c.name;
    EXPECT_EQ(events.expected_samples, events.decoded_samples) << c.name;
    EXPECT_EQ(events.format_change_layer, 0) << c.name;
    EXPECT_EQ(events.changed_rate, 0) << c.name;
  }
}

}  // namespace
}  // namespace mpegin::host_test
