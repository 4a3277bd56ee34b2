// What a file's tags say (ID3v2.2 to 2.4, ID3v1/1.1, APEv2), read for --info with TagLib through
// the plug-in libmpegdec_tags.so (tag_plugin.h). The decoder itself only skips tags; their
// contents matter only to what mpegdec reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mpegin::mpegdec {

struct TagPicture {
  std::string mime;   // "image/jpeg"; empty when the tag does not say
  std::string type;   // "Front Cover", "Other", ...
  uint64_t bytes = 0;
};

// Every text is valid UTF-8, whatever the tag held.
struct FileTags {
  std::vector<std::string> kinds;  // "ID3v2.3", "ID3v1", "APEv2": the tags found
  std::string title, artist, album, track, date, genre, comment;
  std::vector<TagPicture> pictures;
  std::string error;  // why no tags could be read (the plug-in is missing); empty otherwise
};

// Reads the tags of the file at `path`; a file without tags, or that cannot be read, gives
// empty fields.
FileTags read_file_tags(const std::string& path);

// `text` with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string valid_utf8(const std::string& text);

}  // namespace mpegin::mpegdec
