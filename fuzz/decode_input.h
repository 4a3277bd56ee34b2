// Shared by the fuzz targets and the mutation runner: decode bytes held in memory to the end and
// check the decoder's promises on hostile input; write bytes to a file for the module target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mpegin::fuzz {

struct DecodeOutcome {
  bool opened = false;
  uint64_t calls = 0;        // frames delivered (mpegaudio_decode calls before the end)
  uint64_t samples = 0;      // floats delivered
  bool all_finite = true;    // no NaN or infinity among them
  bool bounded = true;       // every call delivered at most one frame (1152 x 2 floats)
  bool consistent = true;    // every frame had the stream's channel count and rate, and every
                             // call ended in a frame or the end of the stream
  uint64_t empty_calls = 0;  // calls that delivered nothing although no trimming was due
};

// Decodes `size` bytes at `data` with a fresh decoder opened on memory with `flags`
// (MPEGAUDIO_NO_WALK, MPEGAUDIO_NO_GAPLESS). Gives up after `max_calls` calls so that a
// decoder that never reaches the end of the stream shows up as a failure rather than a hang.
DecodeOutcome decode_memory(const uint8_t* data, size_t size, uint64_t max_calls, unsigned flags);

// Writes `size` bytes to a private temporary file and returns its path ("" on failure).
std::string write_temp(const uint8_t* data, size_t size);

}  // namespace mpegin::fuzz
