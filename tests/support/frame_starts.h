#pragma once

// Where each frame of a clean stream begins, from its headers, and where the last one ends.

#include <string>
#include <vector>

#include "bitstream/crc16.h"
#include "bitstream/frame_header.h"
#include "bitstream/mpeg_file_reader.h"

namespace mpegin::test_support {

inline std::vector<size_t> frame_starts(const std::string& path) {
  std::vector<size_t> starts;
  MpegFileReader reader(path.c_str());
  FrameHeader header;
  Crc16* crc = nullptr;
  while (header.read_header(reader, crc))
    starts.push_back(static_cast<size_t>(reader.position()) - header.frame_bytes - 4);
  starts.push_back(static_cast<size_t>(reader.position()));
  return starts;
}

}  // namespace mpegin::test_support
