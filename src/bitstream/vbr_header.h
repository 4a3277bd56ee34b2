#pragma once

#include <cstdint>

namespace mpegin {

class FrameHeader;
class MpegFileReader;

// Encoders of variable-rate Layer III files put an information frame first: a frame whose
// body holds a Xing (or "Info") header after the side information, or a VBRI header 32 bytes
// into the body, in place of audio. It tells the number of audio frames in the file.
//
// True when the current frame (header and body read) is such a frame; `frames` then holds
// the number of audio frames it gives, or 0 when it gives none.
bool read_vbr_header(const MpegFileReader& reader, const FrameHeader& header, uint32_t& frames);

}  // namespace mpegin
