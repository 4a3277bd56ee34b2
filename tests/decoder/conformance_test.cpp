// Decodes every ISO compliance stream and compares it with the reference PCM.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "support/conformance.h"

namespace mpegin {
namespace {

using conformance::StreamEntry;

const char* const kStreams[] = {
    "l1-fl1.bit",  "l1-fl2.bit",       "l1-fl3.bit",       "l1-fl4.bit",      "l1-fl5.bit",
    "l1-fl6.bit",  "l1-fl7.bit",       "l1-fl8.bit",       "l2-fl10.bit",     "l2-fl11.bit",
    "l2-fl12.bit", "l2-fl13.bit",      "l2-fl14.bit",      "l2-fl15.bit",     "l2-fl16.bit",
    "l2-test32.bit", "l3-compl.bit",   "l3-he_32khz.bit",  "l3-he_48khz.bit", "l3-hecommon.bit",
    "l3-si.bit",   "l3-si_block.bit",  "l3-si_huff.bit",   "M2L3_compl24.bit", "M2L3_noise.bit",
};

// Skips with a loud message when the streams are absent, or fails when they are required.
#define REQUIRE_CONFORMANCE_STREAMS(entries)                                              \
  do {                                                                                    \
    const std::string dir = conformance::directory();                                     \
    if (!conformance::read_manifest(dir, entries)) {                                      \
      if (conformance::required()) FAIL() << "conformance streams missing at " << dir;    \
      std::fprintf(stderr, "\n*** SKIPPING CONFORMANCE: no manifest.tsv at %s ***\n"      \
                   "*** (set MPEG_CONFORMANCE_DIR) ***\n\n", dir.c_str());                \
      GTEST_SKIP() << "conformance streams missing at " << dir;                          \
    }                                                                                     \
  } while (0)

class ConformanceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ConformanceTest, MatchesReference) {
  std::vector<StreamEntry> entries;
  REQUIRE_CONFORMANCE_STREAMS(entries);
  const auto it = std::find_if(entries.begin(), entries.end(),
                               [](const StreamEntry& e) { return e.stream == GetParam(); });
  ASSERT_NE(it, entries.end()) << GetParam() << " is not in the manifest";
  const StreamEntry& entry = *it;
  const std::string dir = conformance::directory();

  const conformance::Decoded decoded = conformance::decode_file(dir + "/" + entry.stream);
  ASSERT_TRUE(decoded.opened) << entry.stream;
  EXPECT_EQ(decoded.channels, entry.channels);
  EXPECT_EQ(decoded.sample_rate, entry.rate);
  EXPECT_EQ(decoded.layer, entry.layer);

  std::vector<int16_t> reference;
  ASSERT_TRUE(conformance::read_pcm16(dir + "/" + entry.reference, reference)) << entry.reference;
  EXPECT_EQ(static_cast<int64_t>(reference.size()), entry.reference_samples);

  const conformance::Comparison result = conformance::compare(decoded.samples, reference, entry);
  std::printf("%s\n", conformance::table_row(entry, result).c_str());
  EXPECT_GE(result.compared, result.required) << "decoded " << decoded.samples.size() << " samples";
  EXPECT_LT(result.rms, 0.32);
  EXPECT_LE(result.max_abs, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Iso, ConformanceTest, ::testing::ValuesIn(kStreams),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name = name.substr(0, name.find('.'));
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The manifest lists exactly the streams above, so that none goes untested.
TEST(ConformanceManifest, ListsEveryStream) {
  std::vector<StreamEntry> entries;
  REQUIRE_CONFORMANCE_STREAMS(entries);
  ASSERT_EQ(entries.size(), std::size(kStreams));
  for (const char* stream : kStreams) {
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                            [&](const StreamEntry& e) { return e.stream == stream; }))
        << stream;
  }
}

}  // namespace
}  // namespace mpegin
