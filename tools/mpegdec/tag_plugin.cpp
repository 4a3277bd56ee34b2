// libmpegdec_tags.so: a file's tags through TagLib, handed out field by field (tag_plugin.h).
#include "tag_plugin.h"

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

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
    // No audio properties: only the tags are read.
    TagLib::MPEG::File file(path, false);
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
