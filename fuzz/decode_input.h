// Shared by the fuzz target and the mutation runner: decode one file to the end and check the
// decoder's promises on hostile input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mpegin::fuzz {

struct DecodeOutcome {
  bool opened = false;
  uint64_t calls = 0;        // decode_next calls until the end of the stream
  uint64_t samples = 0;      // floats delivered
  bool all_finite = true;    // no NaN or infinity among them
  bool bounded = true;       // every call delivered at most one frame (1152 x 2 floats)
  uint64_t empty_calls = 0;  // calls that delivered nothing although the stream went on
};

// Decodes the file at `path` with a fresh decoder context, with or without the walk over the
// headers at open. Gives up after `max_calls` calls so that a decoder that never reaches the end
// of the stream shows up as a failure rather than a hang.
DecodeOutcome decode_file(const std::string& path, uint64_t max_calls, bool walk = true);

// Writes `size` bytes to a private temporary file and returns its path ("" on failure).
std::string write_temp(const uint8_t* data, size_t size);

}  // namespace mpegin::fuzz
