// Two decoders in one process, on two threads at once: each must give exactly what it gives
// alone. Built with ThreadSanitizer as well (MPEGIN_TSAN), which reports any shared state the
// decoders touch without synchronisation.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/conformance.h"

namespace mpegin {
namespace {

bool same_samples(const conformance::Decoded& a, const conformance::Decoded& b) {
  return a.opened && b.opened && a.channels == b.channels && a.sample_rate == b.sample_rate &&
         a.samples.size() == b.samples.size() &&
         std::memcmp(a.samples.data(), b.samples.data(), a.samples.size() * sizeof(float)) == 0;
}

TEST(TwoDecoders, OnTwoThreadsEachGivesItsOwnOutput) {
  // A Layer III stream (reservoir, hybrid filter bank) and a Layer II one (band objects).
  const std::string dir = conformance::directory();
  const std::string paths[2] = {dir + "/l3-compl.bit", dir + "/l2-fl16.bit"};
  conformance::Decoded alone[2];
  for (int i = 0; i < 2; ++i) {
    alone[i] = conformance::decode_file(paths[i]);
    if (!alone[i].opened) {
      if (conformance::required()) FAIL() << "cannot decode " << paths[i];
      GTEST_SKIP() << "conformance streams missing at " << dir;
    }
    ASSERT_FALSE(alone[i].samples.empty()) << paths[i];
  }

  // Both threads start decoding at the same moment.
  std::promise<void> start;
  std::shared_future<void> go = start.get_future().share();
  conformance::Decoded together[2];
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      go.wait();
      together[i] = conformance::decode_file(paths[i]);
    });
  }
  start.set_value();
  for (std::thread& t : threads) t.join();

  for (int i = 0; i < 2; ++i) EXPECT_TRUE(same_samples(together[i], alone[i])) << paths[i];
}

}  // namespace
}  // namespace mpegin
