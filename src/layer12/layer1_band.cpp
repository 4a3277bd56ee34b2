#include "layer12/layer1_band.h"

#include "bitstream/crc16.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/layer1_tables.h"
#include "layer12/scale_factor_table.h"
#include "synthesis/synthesis_filter.h"

namespace mpegin {

namespace {
constexpr int32_t kSamplesPerFrame = 12;
}  // namespace

void Layer1Band::Channel::read_allocation(MpegFileReader& reader) {
  allocation = reader.get_bits(4);
  if (allocation != 0) {
    sample_bits = allocation + 1;
    factor = layer1_factor[allocation];
    offset = layer1_offset[allocation];
  }
}

void Layer1Band::Channel::read_scale_factor(MpegFileReader& reader) {
  scale_factor = scale_factor_table[reader.get_bits(6)];
}

void Layer1Band::Channel::read_sample(MpegFileReader& reader) {
  sample = static_cast<float>(reader.get_bits(sample_bits));
}

void Layer1Band::feed(Crc16* crc, uint32_t allocation) {
  if (crc != nullptr) crc->feed(allocation, 4);
}

void Layer1Band::parse_allocation(MpegFileReader& reader, const FrameHeader&, Crc16* crc) {
  channel0_.read_allocation(reader);
  feed(crc, channel0_.allocation);
}

void Layer1Band::parse_scale_factors(MpegFileReader& reader, const FrameHeader&) {
  if (channel0_.allocation != 0) channel0_.read_scale_factor(reader);
}

bool Layer1Band::parse_samples(MpegFileReader& reader) {
  if (channel0_.allocation != 0) channel0_.read_sample(reader);
  if (++sample_counter_ < kSamplesPerFrame) return false;
  sample_counter_ = 0;
  return true;
}

}  // namespace mpegin
