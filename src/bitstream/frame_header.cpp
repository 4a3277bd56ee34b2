#include "bitstream/frame_header.h"

#include <cstdio>

#include "bitstream/mpeg_file_reader.h"

namespace mpegin {

const int32_t frequency_table[2][4] = {
    {22050, 24000, 16000, 1},  // MPEG-2 LSF
    {44100, 48000, 32000, 1},  // MPEG-1
};

const uint32_t bitrate_table[2][3][16] = {
    {
        // MPEG-2 LSF, Layer I
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000,
         128000, 144000, 160000, 176000, 192000, 224000, 256000, 0},
        // MPEG-2 LSF, Layer II
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000,
         64000, 80000, 96000, 112000, 128000, 144000, 160000, 0},
        // MPEG-2 LSF, Layer III
        {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000,
         64000, 80000, 96000, 112000, 128000, 144000, 160000, 0},
    },
    {
        // MPEG-1, Layer I
        {0, 32000, 64000, 96000, 128000, 160000, 192000, 224000,
         256000, 288000, 320000, 352000, 384000, 416000, 448000, 0},
        // MPEG-1, Layer II
        {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000,
         128000, 160000, 192000, 224000, 256000, 320000, 384000, 0},
        // MPEG-1, Layer III
        {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000,
         112000, 128000, 160000, 192000, 224000, 256000, 320000, 0},
    },
};

const char* const bitrate_strings[2][3][16] = {
    {
        {"free format",
         "32 kbit/s", "48 kbit/s", "56 kbit/s", "64 kbit/s", "80 kbit/s",
         "96 kbit/s", "112 kbit/s", "128 kbit/s", "144 kbit/s", "160 kbit/s",
         "176 kbit/s", "192 kbit/s", "224 kbit/s", "256 kbit/s", "forbidden"},
        {"free format",
         "8 kbit/s", "16 kbit/s", "24 kbit/s", "32 kbit/s", "40 kbit/s",
         "48 kbit/s", "56 kbit/s", "64 kbit/s", "80 kbit/s", "96 kbit/s",
         "112 kbit/s", "128 kbit/s", "144 kbit/s", "160 kbit/s", "forbidden"},
        {"free format",
         "8 kbit/s", "16 kbit/s", "24 kbit/s", "32 kbit/s", "40 kbit/s",
         "48 kbit/s", "56 kbit/s", "64 kbit/s", "80 kbit/s", "96 kbit/s",
         "112 kbit/s", "128 kbit/s", "144 kbit/s", "160 kbit/s", "forbidden"},
    },
    {
        {"free format",
         "32 kbit/s", "64 kbit/s", "96 kbit/s", "128 kbit/s", "160 kbit/s",
         "192 kbit/s", "224 kbit/s", "256 kbit/s", "288 kbit/s", "320 kbit/s",
         "352 kbit/s", "384 kbit/s", "416 kbit/s", "448 kbit/s", "forbidden"},
        {"free format",
         "32 kbit/s", "48 kbit/s", "56 kbit/s", "64 kbit/s", "80 kbit/s",
         "96 kbit/s", "112 kbit/s", "128 kbit/s", "160 kbit/s", "192 kbit/s",
         "224 kbit/s", "256 kbit/s", "320 kbit/s", "384 kbit/s", "forbidden"},
        {"free format",
         "32 kbit/s", "40 kbit/s", "48 kbit/s", "56 kbit/s", "64 kbit/s",
         "80 kbit/s", "96 kbit/s", "112 kbit/s", "128 kbit/s", "160 kbit/s",
         "192 kbit/s", "224 kbit/s", "256 kbit/s", "320 kbit/s", "forbidden"},
    },
};

const float ms_per_frame_table[3][3] = {
    {8.707483f, 8.0f, 12.0f},
    {26.122450f, 24.0f, 36.0f},
    {26.122450f, 24.0f, 36.0f},
};

namespace {

bool valid_layer(uint32_t layer) { return layer >= 1 && layer <= 3; }

}  // namespace

bool FrameHeader::read_header(MpegFileReader& reader, Crc16*& crc_out) {
  crc_out = nullptr;
  uint32_t h = 0;
  if (!header_seen) {
    if (!reader.find_header(h, false)) return false;
    version = (h >> 19) & 1;
    sample_frequency = (h >> 10) & 3;
    if (sample_frequency == 3) {
      std::fputs("Unknown sample frequency!\n", stderr);
      std::fflush(stderr);
      return false;
    }
    reader.set_sync_pattern(h & 0xFFF80CC0);
    header_seen = true;
  } else if (!reader.find_header(h, true)) {
    return false;
  }

  decode_fields(h);
  compute_frame_size();
  if (!reader.read_frame(frame_bytes)) return false;
  if (protection_bit == 1) return true;

  crc_read = reader.get_bits(16);
  if (!crc) crc = std::make_unique<Crc16>();
  crc->value = 0xFFFF;
  crc->feed(h & 0xFFFF, 16);
  crc_out = crc.get();
  return true;
}

void FrameHeader::decode_fields(uint32_t h) {
  protection_bit = (h >> 16) & 1;
  padding = (h >> 9) & 1;
  private_bit = (h >> 8) & 1;
  layer = (4 - ((h >> 17) & 3)) & 3;
  bitrate_index = (h >> 12) & 0xF;
  mode = (h >> 6) & 3;
  mode_extension = (h >> 4) & 3;
  intensity_bound = mode == 1 ? mode_extension * 4 + 4 : 0;
  copyright = (h >> 3) & 1;
  original = (h >> 2) & 1;
  emphasis = h & 3;
  subband_count = compute_subband_count();
  if (intensity_bound > subband_count) intensity_bound = subband_count;
}

uint32_t FrameHeader::compute_subband_count() const {
  if (layer == 1) return 32;
  if (version == 0) return 30;  // MPEG-2 LSF Layer II has one allocation table (ISO/IEC 13818-3)
  // Per-channel bitrate index; for two channels indexes 0..3 wrap to values in no range.
  uint32_t b = bitrate_index;
  if (mode != 3) b = bitrate_index == 4 ? 1 : bitrate_index - 4;
  if (b == 1 || b == 2) return sample_frequency == 2 ? 12 : 8;
  if (sample_frequency == 1 || (b >= 3 && b <= 5)) return 27;
  return 30;
}

uint32_t FrameHeader::compute_frame_size() {
  frame_bytes = 0;
  main_data_bytes = 0;
  if (!valid_layer(layer) || sample_frequency > 2) return 0;
  const uint32_t br = bitrate_table[version & 1][layer - 1][bitrate_index & 0xF];
  if (br == 0) return 0;  // free format or forbidden: no frame length
  const uint32_t f = static_cast<uint32_t>(frequency_table[version & 1][sample_frequency]);
  if (layer == 1) {
    const uint32_t slots = br * 12 / f + padding;
    frame_bytes = slots * 4 - 4;
    return frame_bytes;
  }
  // A Layer II frame holds 1152 samples in both versions; an LSF Layer III frame holds 576.
  uint32_t length = br * 144 / f;
  if (version == 0 && layer == 3) length >>= 1;
  length += padding;
  frame_bytes = length - 4;
  if (layer == 3) {
    const uint32_t side = version == 1 ? (mode == 3 ? 17 : 32) : (mode == 3 ? 9 : 17);
    const uint32_t check = protection_bit == 0 ? 2 : 0;
    main_data_bytes = length - side - check - 4;
  }
  return frame_bytes;
}

const char* FrameHeader::bitrate_string() const {
  if (!valid_layer(layer)) return "reserved";
  return bitrate_strings[version & 1][layer - 1][bitrate_index & 0xF];
}

const char* FrameHeader::version_string() const { return version == 1 ? "MPEG-1" : "MPEG-2 LSF"; }

uint64_t FrameHeader::frame_count(const MpegFileReader& reader) const {
  if (frame_bytes == 0) return 0;  // no frame length
  // frame_bytes + 4 is the frame length; a padded frame counts one byte less.
  return reader.file_size() / (uint64_t{frame_bytes} + 4 - padding);
}

float FrameHeader::ms_per_frame() const {
  if (!valid_layer(layer) || sample_frequency > 2) return 0.0f;
  const float ms = ms_per_frame_table[layer - 1][sample_frequency];
  // LSF rates are half the MPEG-1 rates of the same index: Layer I and II frames, which keep
  // their sample counts, last twice as long; an LSF Layer III frame holds half the samples.
  return version == 0 && layer != 3 ? 2.0f * ms : ms;
}

double FrameHeader::total_ms(const MpegFileReader& reader) const {
  return static_cast<double>(ms_per_frame() * static_cast<float>(frame_count(reader)));
}

int32_t FrameHeader::sample_rate() const { return frequency_table[version & 1][sample_frequency & 3]; }

}  // namespace mpegin
