#include "file_tags.h"

#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

namespace mpegin::mpegdec {

namespace {

// The picture types of ID3v2 attached pictures, by number.
const char* const kPictureTypes[] = {
    "Other",          "File Icon",          "Other File Icon",     "Front Cover",       "Back Cover",
    "Leaflet Page",   "Media",              "Lead Artist",         "Artist",            "Conductor",
    "Band",           "Composer",           "Lyricist",            "Recording Location", "During Recording",
    "During Performance", "Movie Screen Capture", "Coloured Fish", "Illustration",      "Band Logo",
    "Publisher Logo"};

// TagLib's text as UTF-8, copied out of its own storage.
std::string utf8(const TagLib::String& text) { return valid_utf8(text.toCString(true)); }

// The first value of a property, several joined by "; ".
std::string property(const TagLib::PropertyMap& map, const char* key) {
  const auto found = map.find(key);
  if (found == map.end()) return {};
  std::string joined;
  for (const TagLib::String& value : found->second) {
    if (!joined.empty()) joined += "; ";
    joined += utf8(value);
  }
  return joined;
}

void add_id3v2_pictures(TagLib::ID3v2::Tag& tag, std::vector<TagPicture>& pictures) {
  // ID3v2.2 PIC frames come as APIC frames too.
  for (TagLib::ID3v2::Frame* frame : tag.frameList("APIC")) {
    const auto* picture = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
    TagPicture out;
    out.mime = utf8(picture->mimeType());
    const auto type = static_cast<size_t>(picture->type());
    out.type = type < sizeof kPictureTypes / sizeof kPictureTypes[0] ? kPictureTypes[type] : "Other";
    out.bytes = picture->picture().size();
    pictures.push_back(out);
  }
}

void add_ape_pictures(TagLib::APE::Tag& tag, std::vector<TagPicture>& pictures) {
  for (const auto& item : tag.itemListMap()) {
    if (item.second.type() != TagLib::APE::Item::Binary) continue;
    const std::string key = utf8(item.first);
    if (key.rfind("COVER ART", 0) != 0) continue;
    // A file name, a zero byte, then the picture.
    const TagLib::ByteVector data = item.second.binaryData();
    const int name_end = data.find('\0');
    TagPicture out;
    out.type = key.find("FRONT") != std::string::npos ? "Front Cover"
               : key.find("BACK") != std::string::npos ? "Back Cover" : "Other";
    out.bytes = name_end < 0 ? data.size() : data.size() - static_cast<unsigned>(name_end) - 1;
    pictures.push_back(out);
  }
}

}  // namespace

FileTags read_file_tags(const std::string& path) {
  FileTags tags;
  // No audio properties: only the tags are read.
  TagLib::MPEG::File file(path.c_str(), false);
  if (!file.isValid()) return tags;
  if (file.hasID3v2Tag()) {
    tags.kinds.push_back("ID3v2." + std::to_string(file.ID3v2Tag()->header()->majorVersion()));
    add_id3v2_pictures(*file.ID3v2Tag(), tags.pictures);
  }
  if (file.hasID3v1Tag()) tags.kinds.push_back("ID3v1");
  if (file.hasAPETag()) {
    tags.kinds.push_back("APEv2");
    add_ape_pictures(*file.APETag(), tags.pictures);
  }
  // The tags merged, ID3v2 first, then APEv2, then ID3v1.
  const TagLib::PropertyMap map = file.properties();
  tags.title = property(map, "TITLE");
  tags.artist = property(map, "ARTIST");
  tags.album = property(map, "ALBUM");
  tags.track = property(map, "TRACKNUMBER");
  tags.date = property(map, "DATE");
  tags.genre = property(map, "GENRE");
  tags.comment = property(map, "COMMENT");
  return tags;
}

std::string valid_utf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t length = 0;
    uint32_t code = 0;
    if (c < 0x80) {
      length = 1;
      code = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    }
    bool ok = length != 0 && i + length <= n;
    for (size_t k = 1; ok && k < length; ++k) {
      ok = (s[i + k] & 0xC0) == 0x80;
      code = code << 6 | (s[i + k] & 0x3F);
    }
    // No overlong forms, surrogates or values past U+10FFFF.
    static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (ok) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace mpegin::mpegdec
