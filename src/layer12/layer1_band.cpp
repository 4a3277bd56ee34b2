#include "layer12/layer1_band.h"

#include "bitstream/crc16.h"
#include "bitstream/mpeg_file_reader.h"
#include "layer12/scale_factor_table.h"

namespace mpegin {

void Layer1Band::Channel::read_allocation(MpegFileReader& reader) { allocation = reader.get_bits(4); }

void Layer1Band::Channel::read_scale_factor(MpegFileReader& reader) {
  scale_factor = scale_factor_table[reader.get_bits(6)];
}

void Layer1Band::feed(Crc16* crc, uint32_t allocation) {
  if (crc != nullptr) crc->feed(allocation, 4);
}

void Layer1Band::parse_allocation(MpegFileReader& reader, const FrameHeader&, Crc16* crc) {
  channel0_.read_allocation(reader);
  feed(crc, channel0_.allocation);
}

void Layer1Band::parse_scale_factors(MpegFileReader& reader, const FrameHeader&,
                                     CodedSamples& samples) {
  if (channel0_.allocation == 0) return;
  channel0_.read_scale_factor(reader);
  samples.add_layer1(index(), channel0_.allocation, CodedSamples::kFirst, channel0_.scale_factor,
                     0.0f);
}

}  // namespace mpegin
