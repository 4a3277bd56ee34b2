// libmpegdec_tags.so: a file's tags through TagLib, handed out field by field (tag_plugin.h).
#include "tag_plugin.h"

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

namespace {

// The picture types of ID3v2 attached pictures, by number.
const char* const kPictureTypes[] = {
    "Other",          "File Icon",          "Other File Icon",     "Front Cover",       "Back Cover",
    "Leaflet Page",   "Media",              "Lead Artist",         "Artist",            "Conductor",
    "Band",           "Composer",           "Lyricist",            "Recording Location", "During Recording",
    "During Performance", "Movie Screen Capture", "Coloured Fish", "Illustration",      "Band Logo",
    "Publisher Logo"};

// Largest tag taken: an ID3v2 tag or an APEv2 tag that claims more is not read.
constexpr uint64_t kMaxTagBytes = 64u << 20;

bool seek_to(std::FILE* file, uint64_t at) { return fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0; }

bool read_at(std::FILE* file, uint64_t at, unsigned char* out, size_t n) {
  return seek_to(file, at) && std::fread(out, 1, n, file) == n;
}

uint32_t little_endian32(const unsigned char* b) {
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void append(std::FILE* file, uint64_t at, uint64_t n, TagLib::ByteVector& out) {
  if (n == 0 || !seek_to(file, at)) return;
  const unsigned size = out.size();
  out.resize(size + static_cast<unsigned>(n));
  const size_t got = std::fread(out.data() + size, 1, static_cast<size_t>(n), file);
  out.resize(size + static_cast<unsigned>(got));
}

// Only the tags of the file, without the audio between them: the ID3v2 tag at its start and
// the APEv2 and ID3v1 tags at its end, one after the other. TagLib then never searches
// through megabytes of audio or junk, whatever a tag claims.
TagLib::ByteVector tag_bytes(const char* path) {
  TagLib::ByteVector out;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return out;
  uint64_t size = 0;
  if (fseeko(file, 0, SEEK_END) == 0) size = static_cast<uint64_t>(ftello(file));
  unsigned char b[32];
  uint64_t head = 0;
  if (size >= 10 && read_at(file, 0, b, 10) && b[0] == 'I' && b[1] == 'D' && b[2] == '3') {
    head = 10 + (uint64_t{b[6] & 0x7Fu} << 21 | uint64_t{b[7] & 0x7Fu} << 14 | uint64_t{b[8] & 0x7Fu} << 7 | (b[9] & 0x7Fu));
    if ((b[5] & 0x10) != 0) head += 10;  // footer
    head = head > kMaxTagBytes ? 0 : std::min(head, size);
  }
  append(file, 0, head, out);
  uint64_t tail = 0;
  if (size >= head + 128 && read_at(file, size - 128, b, 3) && b[0] == 'T' && b[1] == 'A' && b[2] == 'G') tail = 128;
  if (size >= head + tail + 32 && read_at(file, size - tail - 32, b, 32) && std::equal(b, b + 8, "APETAGEX")) {
    // The footer's size counts the items and the footer; a header may come before them.
    const uint64_t ape = uint64_t{little_endian32(b + 12)} + ((b[23] & 0x80) != 0 ? 32 : 0);
    if (ape <= kMaxTagBytes) tail += std::min(ape, size - head - tail);
  }
  append(file, size - tail, tail, out);
  std::fclose(file);
  return out;
}

struct Sink {
  MpegdecTagSink call;
  void* context;
  void operator()(const char* field, const char* text, const char* extra = "", uint64_t bytes = 0) const {
    call(context, field, text, extra, bytes);
  }
};

void send_property(const Sink& sink, const TagLib::PropertyMap& map, const char* key, const char* field) {
  const auto found = map.find(key);
  if (found == map.end()) return;
  for (const TagLib::String& value : found->second) sink(field, value.toCString(true));
}

void send_id3v2_pictures(const Sink& sink, TagLib::ID3v2::Tag& tag) {
  // ID3v2.2 PIC frames come as APIC frames too.
  for (TagLib::ID3v2::Frame* frame : tag.frameList("APIC")) {
    const auto* picture = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
    const auto type = static_cast<size_t>(picture->type());
    sink("picture", picture->mimeType().toCString(true),
         type < sizeof kPictureTypes / sizeof kPictureTypes[0] ? kPictureTypes[type] : "Other",
         picture->picture().size());
  }
}

void send_ape_pictures(const Sink& sink, TagLib::APE::Tag& tag) {
  for (const auto& item : tag.itemListMap()) {
    if (item.second.type() != TagLib::APE::Item::Binary) continue;
    const std::string key = item.first.toCString(true);
    if (key.rfind("COVER ART", 0) != 0) continue;
    // A file name, a zero byte, then the picture.
    const TagLib::ByteVector data = item.second.binaryData();
    const int name_end = data.find('\0');
    const char* type = key.find("FRONT") != std::string::npos  ? "Front Cover"
                       : key.find("BACK") != std::string::npos ? "Back Cover"
                                                               : "Other";
    sink("picture", "", type, name_end < 0 ? data.size() : data.size() - static_cast<unsigned>(name_end) - 1);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int mpegdec_read_tags(const char* path, MpegdecTagSink call,
                                                                        void* context) {
  if (path == nullptr || call == nullptr) return 0;
  const Sink sink{call, context};
  try {
    TagLib::ByteVectorStream stream(tag_bytes(path));
    // No audio properties: only the tags are read.
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    if (!file.isValid()) return 0;
    if (file.hasID3v2Tag()) {
      sink("kind", ("ID3v2." + std::to_string(file.ID3v2Tag()->header()->majorVersion())).c_str());
      send_id3v2_pictures(sink, *file.ID3v2Tag());
    }
    if (file.hasID3v1Tag()) sink("kind", "ID3v1");
    if (file.hasAPETag()) {
      sink("kind", "APEv2");
      send_ape_pictures(sink, *file.APETag());
    }
    // The tags merged: ID3v2 first, then APEv2, then ID3v1.
    const TagLib::PropertyMap map = file.properties();
    send_property(sink, map, "TITLE", "title");
    send_property(sink, map, "ARTIST", "artist");
    send_property(sink, map, "ALBUM", "album");
    send_property(sink, map, "TRACKNUMBER", "track");
    send_property(sink, map, "DATE", "date");
    send_property(sink, map, "GENRE", "genre");
    send_property(sink, map, "COMMENT", "comment");
    return 1;
  } catch (const std::exception&) {
    return 0;  // out of memory for a huge tag, say: no tags rather than no --info
  }
}
