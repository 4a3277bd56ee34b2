#pragma once

#include <cstdint>

#include "decoder/stream_info.h"

namespace mpegin {

class Crc16;
class FrameHeader;
class MpegFileReader;
struct EncoderTag;

// The first audio frame of a stream: its header (and body) read into `header`. An encoder's
// information frame ahead of it is no audio: it is passed over and the frame count it gives
// goes to `tagged_frames` (0 without one), its encoder extension to `tag` when given. False
// when the stream holds no audio frame.
bool read_first_audio_header(MpegFileReader& reader, FrameHeader& header, Crc16*& crc,
                             uint32_t& tagged_frames, EncoderTag* tag = nullptr);

// Number of audio frames: the information frame's count when there is one, else the estimate
// from the audio bytes and the first frame's length.
uint64_t stream_frame_count(const FrameHeader& first, const MpegFileReader& reader,
                            uint32_t tagged_frames);

// The stream as the first audio frame describes it. The duration is exact with an information
// frame's count and an estimate from the file size without one.
void describe_stream(FrameHeader& first, const MpegFileReader& reader, uint32_t tagged_frames,
                     StreamInfo& info);

}  // namespace mpegin
