#pragma once

namespace mpegin {

class FrameHeader;

// Carries the current header and the single-channel flag to PcmBuffer::create.
struct DecoderSettings {
  const FrameHeader* header = nullptr;  // not owned
  bool single_channel = false;
  bool two_channels = false;  // two channels whatever the header says (a stream that widens)
};

// The process-wide record, built at static initialisation.
DecoderSettings& decoder_settings();

}  // namespace mpegin
