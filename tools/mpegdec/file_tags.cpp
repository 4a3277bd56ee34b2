#include "file_tags.h"

#include <dlfcn.h>
#include <unistd.h>

#include "module_api.h"
#include "tag_plugin.h"

namespace mpegin::mpegdec {

namespace {

void collect(void* context, const char* field, const char* text, const char* extra, uint64_t bytes) {
  auto& tags = *static_cast<FileTags*>(context);
  const std::string value = valid_utf8(text != nullptr ? text : "");
  const std::string name = field != nullptr ? field : "";
  if (name == "kind") {
    tags.kinds.push_back(value);
  } else if (name == "picture") {
    tags.pictures.push_back({value, valid_utf8(extra != nullptr ? extra : ""), bytes});
  } else {
    std::string* const fields[] = {&tags.title, &tags.artist, &tags.album, &tags.track,
                                   &tags.date,  &tags.genre,  &tags.comment};
    const char* const names[] = {"title", "artist", "album", "track", "date", "genre", "comment"};
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
      if (name != names[i]) continue;
      // Several values of one field are joined.
      if (!fields[i]->empty()) *fields[i] += "; ";
      *fields[i] += value;
    }
  }
}

// The plug-in's entry, loaded once; null with `error` set when it cannot be had.
MpegdecReadTagsFn tag_reader(std::string& error) {
  static MpegdecReadTagsFn reader = nullptr;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
#ifdef MPEGDEC_BUILD_TAG_PLUGIN
    const char* build_path = MPEGDEC_BUILD_TAG_PLUGIN;
#else
    const char* build_path = nullptr;
#endif
    for (const std::string& path : plugin_candidates(MPEGDEC_TAG_PLUGIN_FILE, build_path)) {
      if (path.find('/') != std::string::npos && access(path.c_str(), F_OK) != 0) continue;
      void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) continue;
      reader = reinterpret_cast<MpegdecReadTagsFn>(dlsym(library, MPEGDEC_READ_TAGS_SYMBOL));
      if (reader != nullptr) break;
      dlclose(library);
    }
    if (reader == nullptr) failure = std::string(MPEGDEC_TAG_PLUGIN_FILE) + " cannot be loaded";
  }
  error = failure;
  return reader;
}

}  // namespace

FileTags read_file_tags(const std::string& path) {
  FileTags tags;
  const MpegdecReadTagsFn reader = tag_reader(tags.error);
  if (reader != nullptr) reader(path.c_str(), collect, &tags);
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
