// How the module copes when memory runs out or the host strays from the usual order of calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_test_support.h"
#include "host/module_state.h"
#include "host/mpeginput.h"
#include "platform/posix/global_memory.h"

namespace mpegin {
namespace {

class InstanceFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    host_test::write_silent_layer2(stream_, 4);
    blocks_before_ = platform::posix::live_block_count();
  }
  void TearDown() override {
    platform::posix::fail_allocation_after(-1);
    EXPECT_FALSE(decoder_context().is_open());
    EXPECT_EQ(platform::posix::live_block_count(), blocks_before_) << "blocks left behind";
  }

  MpegInputHandle open() {
    int32_t rate = 0, value = 0;
    int16_t bits = 0, channels = 0;
    return OpenFilterInput(stream_.c_str(), &rate, &bits, &channels, 0, &value);
  }

  host_test::TempDir dir_;
  host_test::ScopedEnv config_home_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  std::string stream_ = dir_.file("silence.mp2");
  std::size_t blocks_before_ = 0;
};

TEST_F(InstanceFaults, OutputRecordThatCannotBeAllocatedLeavesNoFile) {
  const std::string name = dir_.file("out.raw");
  int32_t value = -5;
  platform::posix::fail_allocation_after(0);
  EXPECT_EQ(OpenFilterOutput(name.c_str(), 0, 0, 0, 1, &value, 0), nullptr);
  EXPECT_FALSE(host_test::file_exists(name));
  EXPECT_EQ(value, -5);
}

TEST_F(InstanceFaults, InstanceThatCannotBeAllocatedOpensNothing) {
  platform::posix::fail_allocation_after(0);
  EXPECT_EQ(open(), nullptr);
  EXPECT_FALSE(decoder_context().is_open());
  MpegInputHandle handle = open();  // and the next open works
  ASSERT_NE(handle, nullptr);
  CloseFilterInput(handle);
}

TEST_F(InstanceFaults, SixteenBitReadBeforeAnyOptionsCallMakesItsBuffer) {
  MpegInputHandle handle = open();  // nothing stored: 16 bits
  ASSERT_NE(handle, nullptr);
  std::vector<int16_t> buffer(2304, 99);
  EXPECT_EQ(ReadFilterInput(handle, buffer.data(), 0), 4608);
  for (int16_t sample : buffer) ASSERT_EQ(sample, 0);
  EXPECT_EQ(ReadFilterInput(handle, buffer.data(), 0), 4608);
  CloseFilterInput(handle);
}

TEST_F(InstanceFaults, SideBufferThatCannotBeAllocatedYieldsNoData) {
  MpegInputHandle handle = open();
  ASSERT_NE(handle, nullptr);
  std::vector<int16_t> buffer(2304, 99);
  platform::posix::fail_allocation_after(0);
  EXPECT_EQ(FilterSetOptions2(handle, 0x104E20, nullptr, nullptr, nullptr), 0u);
  platform::posix::fail_allocation_after(0);
  EXPECT_EQ(ReadFilterInput(handle, buffer.data(), 0), 0);
  EXPECT_EQ(buffer[0], 99);
  EXPECT_EQ(ReadFilterInput(handle, buffer.data(), 0), 4608);  // memory is back
  CloseFilterInput(handle);
}

}  // namespace
}  // namespace mpegin
