// The C interface of libmpegdec_tags.so, the plug-in that reads a file's tags with TagLib.
// mpegdec loads it only for --info, so that decoding never maps TagLib and the C++ runtime it
// brings. Nothing but C types crosses it.
#pragma once

#include <cstdint>

extern "C" {

// Called once for each value found. `field` is "kind" (a tag found: "ID3v2.3", "ID3v1",
// "APEv2"), "title", "artist", "album", "track", "date", "genre", "comment" or "picture". The
// text is UTF-8 as TagLib gives it. For a picture `text` is its MIME type, `extra` its picture
// type and `bytes` its size; otherwise `extra` is empty and `bytes` 0.
typedef void (*MpegdecTagSink)(void* context, const char* field, const char* text, const char* extra,
                               uint64_t bytes);

// Reads the tags of the file at `path`; 1 when the file could be read, 0 otherwise.
typedef int (*MpegdecReadTagsFn)(const char* path, MpegdecTagSink sink, void* context);

}  // extern "C"

#define MPEGDEC_READ_TAGS_SYMBOL "mpegdec_read_tags"
#define MPEGDEC_TAG_PLUGIN_FILE "libmpegdec_tags.so"
