#include "bitstream/frame_header.h"

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

bool is_single_channel(uint32_t header_word) { return mode_channels((header_word >> 6) & 3) == 1; }

// The bits later headers repeat (sync, version, sampling frequency), and with the layer
// and the bitrate index those a free-format stream's headers repeat.
constexpr uint32_t kStreamMask = 0xFFF80C00;
constexpr uint32_t kFreeFormatMask = 0xFFFEFC00;
// Shortest free-format frame body taken when measuring the distance between headers.
constexpr uint32_t kMinFreeFormatBody = 16;
// Headers after the first that must chain at a free-format length before it is taken.
constexpr int kFreeFormatChain = 3;

// Version bits 01 are reserved; MPEG-2.5 (00) is defined for Layer III only.
bool usable_version(uint32_t header_word) {
  const uint32_t version_bits = (header_word >> 19) & 3;
  return version_bits != 1 && (version_bits != 0 || ((header_word >> 17) & 3) == 1);
}

// Whether `next` could be a later header of the stream that `first` begins: the same sync,
// version and sampling frequency, a layer, and a bit rate (or free format in a free-format
// stream). The channel mode may change from frame to frame.
bool later_header(uint32_t first, uint32_t next, bool free_format) {
  const uint32_t layer_code = (next >> 17) & 3;
  const uint32_t bitrate_index = (next >> 12) & 15;
  return (next & kStreamMask) == (first & kStreamMask) && usable_version(next) && layer_code != 0 &&
         (bitrate_index != 0 || free_format) && bitrate_index != 15;
}

// Free-format headers repeat the layer and the bitrate index too.
bool same_free_format(uint32_t first, uint32_t next) {
  return (next & kFreeFormatMask) == (first & kFreeFormatMask) &&
         is_single_channel(next) == is_single_channel(first);
}

}  // namespace

bool FrameHeader::read_header(MpegFileReader& reader, Crc16*& crc_out) {
  crc_out = nullptr;
  uint32_t h = 0;
  if (!header_seen) {
    if (!find_first_header(reader, h)) return false;
    version = (h >> 19) & 1;
    mpeg25 = ((h >> 20) & 1) == 0;
    sample_frequency = (h >> 10) & 3;
    reader.set_sync_pattern(h & 0xFFF80CC0);
    reader.accept_free_format(free_format_bytes != 0);
    header_seen = true;
  } else if (!find_later_header(reader, h)) {
    return false;
  }

  decode_fields(h);
  compute_frame_size();
  if (!read_bodies) return reader.skip_frame(frame_bytes);
  if (!reader.read_frame(frame_bytes)) return false;
  if (protection_bit == 1) return true;

  crc_read = reader.get_bits(16);
  if (!crc) crc = std::make_unique<Crc16>();
  crc->value = 0xFFFF;
  crc->feed(h & 0xFFFF, 16);
  crc_out = crc.get();
  return true;
}

bool FrameHeader::find_first_header(MpegFileReader& reader, uint32_t& h) {
  status_ = DecodeStatus::kOk;
  reader.skip_id3v2_tags();
  bool first_candidate = true;
  bool reserved_frequency = false;
  while (reader.find_header(h, false)) {
    if (((h >> 10) & 3) == 3) {
      // No frame length without a sampling frequency: not a header.
      reserved_frequency = reserved_frequency || first_candidate;
    } else if (confirm_first_header(reader, h)) {
      return true;
    }
    first_candidate = false;
    reader.step_back(3);  // the search goes on one byte after the candidate's start
  }
  // A file whose first sync carried a reserved sampling frequency, and nothing after it
  // that could be decoded.
  if (reserved_frequency) status_ = DecodeStatus::kUnknownSampleFrequency;
  return false;
}

bool FrameHeader::confirm_first_header(MpegFileReader& reader, uint32_t h) {
  if (!usable_version(h)) return false;
  FrameHeader probe;
  probe.version = (h >> 19) & 1;
  probe.mpeg25 = ((h >> 20) & 1) == 0;
  probe.sample_frequency = (h >> 10) & 3;
  probe.decode_fields(h);
  if (!valid_layer(probe.layer)) return false;

  if (probe.bitrate_index == 0) {
    // Free format: the frame reaches to the next header of the same layer, free format too,
    // and that frame, of the same length give or take its padding, is followed by another
    // one (or ends the audio).
    // The length is the first distance to such a header that the next headers confirm: the
    // frame data may hold a sync pattern of its own.
    const uint32_t slot = probe.layer == 1 ? 4 : 1;
    const uint32_t padding_bytes = probe.padding * slot;
    const uint32_t longest = MpegFileReader::kMaxFrameBytes - 4 + padding_bytes;
    for (uint32_t from = kMinFreeFormatBody, body = 0;
         from <= longest && reader.find_ahead(from, longest, kFreeFormatMask, h & kFreeFormatMask,
                                              is_single_channel(h), body);
         from = body + 1) {
      const uint32_t length = body + 4 - padding_bytes;
      if (free_format_chain(reader, h, body, length)) {
        free_format_bytes = length;
        return true;
      }
    }
    return false;
  }
  free_format_bytes = 0;
  const uint32_t body = probe.compute_frame_size();
  if (body == 0 || body > MpegFileReader::kMaxFrameBytes) return false;
  if (reader.bytes_ahead(body + 1) == body) return true;  // the audio ends with this frame
  uint32_t next = 0;
  return reader.peek_word(body, next) && later_header(h, next, false);
}

bool FrameHeader::free_format_chain(MpegFileReader& reader, uint32_t h, uint32_t at,
                                    uint32_t length) {
  // Three headers after the first, each where the one before ends by `length` and its own
  // padding slot (or the audio ends exactly there).
  const uint32_t slot = ((h >> 17) & 3) == 3 ? 4 : 1;
  for (int seen = 0; seen < kFreeFormatChain; ++seen) {
    uint32_t next = 0;
    if (reader.bytes_ahead(at + 1) == at) return seen > 0;
    if (!reader.peek_word(at, next) || !same_free_format(h, next)) return false;
    at += length + ((next >> 9) & 1) * slot;
  }
  return true;
}

uint32_t FrameHeader::body_length(uint32_t h, uint32_t version, uint32_t sample_frequency,
                                  uint32_t free_format_bytes) {
  FrameHeader probe;
  probe.version = version;
  probe.mpeg25 = ((h >> 20) & 1) == 0;
  probe.sample_frequency = sample_frequency;
  probe.free_format_bytes = free_format_bytes;
  probe.decode_fields(h);
  const uint32_t body = probe.compute_frame_size();
  return body <= MpegFileReader::kMaxFrameBytes ? body : 0;
}

bool FrameHeader::followed_at(MpegFileReader& reader, uint32_t h, uint32_t body, bool free_format) {
  // The audio ends where the frame does, or a later header of the same stream begins there.
  uint32_t next = 0;
  return body != 0 && (reader.bytes_ahead(body + 1) == body ||
                       (reader.peek_word(body, next) && later_header(h, next, free_format)));
}

bool FrameHeader::rate_changes_at(MpegFileReader& reader, uint32_t w) {
  // A header of another version or sampling frequency that the next header confirms: the
  // stream goes on at another rate.
  const uint32_t frequency = (w >> 10) & 3;
  if (frequency == 3 || ((w >> 12) & 15) == 0 || !usable_version(w)) return false;
  const bool confirmed = followed_at(reader, w, body_length(w, (w >> 19) & 1, frequency, 0), false);
  if (confirmed) changed_header = w;
  return confirmed;
}

bool FrameHeader::find_later_header(MpegFileReader& reader, uint32_t& h) {
  // The next frame normally starts where this one ended; a file joined to this one may begin
  // with its tags. A header found further on, past damaged or foreign bytes, that changes the
  // channel count is taken only when a header of the stream follows at its length.
  reader.skip_id3v2_tags();
  const uint64_t expected = reader.position();
  const bool single = channel_count() == 1;
  while (reader.find_header(h, false)) {
    // An MPEG-2.5 stream holds Layer III frames only: other layers are passed over as junk.
    if ((h & kStreamMask) == reader.sync_pattern && usable_version(h)) {
      const bool has_length = ((h >> 12) & 15) != 0 || free_format_bytes != 0;
      if (has_length && (reader.position() - 4 == expected || is_single_channel(h) == single ||
                         confirmed_by_next(reader, h)))
        return true;
    } else if (rate_changes_at(reader, h)) {
      return false;
    }
    reader.step_back(3);
  }
  return false;
}

bool FrameHeader::confirmed_by_next(MpegFileReader& reader, uint32_t h) const {
  return followed_at(reader, h, body_length(h, version, sample_frequency, free_format_bytes),
                     free_format_bytes != 0);
}

int32_t FrameHeader::changed_sample_rate() const {
  if (changed_header == 0) return 0;
  const int32_t rate = frequency_table[(changed_header >> 19) & 1][(changed_header >> 10) & 3];
  return ((changed_header >> 20) & 1) == 0 ? rate / 2 : rate;
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
  if (bitrate_index == 0 && free_format_bytes != 0) {
    b = free_format_channel_index();
  } else if (channel_count() == 2) {
    b = bitrate_index == 4 ? 1 : bitrate_index - 4;
  }
  if (b == 1 || b == 2) return sample_frequency == 2 ? 12 : 8;
  if (sample_frequency == 1 || (b >= 3 && b <= 5)) return 27;
  return 30;
}

uint32_t FrameHeader::free_format_channel_index() const {
  // The bit rate of one channel of a free-format Layer II frame, as the single-channel index
  // of the same rate: 32, 48, 56, 64 and 80 kbit/s are indexes 1 to 5; above that 6.
  const uint64_t f = static_cast<uint64_t>(frequency_table[version & 1][sample_frequency & 3]);
  uint64_t per_channel = uint64_t{free_format_bytes} * f / 144;
  if (channel_count() == 2) per_channel /= 2;
  static const uint64_t kUpper[5] = {40000, 52000, 60000, 72000, 88000};
  uint32_t b = 1;
  while (b <= 5 && per_channel >= kUpper[b - 1]) ++b;
  return b;
}

uint32_t FrameHeader::compute_frame_size() {
  frame_bytes = 0;
  main_data_bytes = 0;
  if (!valid_layer(layer) || sample_frequency > 2) return 0;
  const uint32_t br = bitrate_table[version & 1][layer - 1][bitrate_index & 0xF];
  if (br == 0 && (bitrate_index != 0 || free_format_bytes == 0)) return 0;  // no frame length
  const auto f = static_cast<uint32_t>(sample_rate());
  if (br == 0) {
    // Free format: the measured length, padded by one slot.
    return set_lengths(free_format_bytes + padding * (layer == 1 ? 4 : 1));
  }
  if (layer == 1) {
    const uint32_t slots = br * 12 / f + padding;
    frame_bytes = slots * 4 - 4;
    return frame_bytes;
  }
  // A Layer II frame holds 1152 samples in both versions; an LSF (or MPEG-2.5) Layer III
  // frame holds 576.
  uint32_t length = br * 144 / f;
  if (version == 0 && layer == 3) length >>= 1;
  return set_lengths(length + padding);
}

uint32_t FrameHeader::set_lengths(uint32_t length) {
  frame_bytes = length - 4;
  if (layer == 3) {
    const uint32_t side = side_info_bytes();
    const uint32_t check = protection_bit == 0 ? 2 : 0;
    main_data_bytes = length > side + check + 4 ? length - side - check - 4 : 0;
  }
  return frame_bytes;
}

const char* FrameHeader::bitrate_string() const {
  if (!valid_layer(layer)) return "reserved";
  return bitrate_strings[version & 1][layer - 1][bitrate_index & 0xF];
}

const char* FrameHeader::version_string() const {
  if (version == 1) return "MPEG-1";
  return mpeg25 ? "MPEG-2.5" : "MPEG-2 LSF";
}

uint64_t FrameHeader::frame_count(const MpegFileReader& reader) const {
  if (frame_bytes == 0) return 0;  // no frame length
  // frame_bytes + 4 is the frame length; a padded frame counts one byte less.
  return reader.audio_bytes() / (uint64_t{frame_bytes} + 4 - padding);
}

float FrameHeader::ms_per_frame() const {
  if (!valid_layer(layer) || sample_frequency > 2) return 0.0f;
  const float ms = ms_per_frame_table[layer - 1][sample_frequency];
  // LSF rates are half the MPEG-1 rates of the same index: Layer I and II frames, which keep
  // their sample counts, last twice as long; an LSF Layer III frame holds half the samples.
  // MPEG-2.5 frames, at half the LSF rates, last twice as long again.
  if (version == 0 && mpeg25) return 2.0f * ms;
  return version == 0 && layer != 3 ? 2.0f * ms : ms;
}

uint32_t FrameHeader::samples_per_frame() const {
  if (!valid_layer(layer)) return 0;
  if (layer == 1) return 384;
  return layer == 3 && version == 0 ? 576 : 1152;
}

double FrameHeader::total_ms(const MpegFileReader& reader) const {
  return static_cast<double>(ms_per_frame() * static_cast<float>(frame_count(reader)));
}

int32_t FrameHeader::sample_rate() const {
  const int32_t rate = frequency_table[version & 1][sample_frequency & 3];
  return version == 0 && mpeg25 ? rate / 2 : rate;
}

}  // namespace mpegin
