// Recognises audio files of other kinds (WAV, AIFF, FLAC, Ogg, W64) by their first bytes.
// The decoder finds frames by searching for a sync pattern anywhere in a file, and PCM data
// can hold one by chance, so such a file would "decode" to noise; mpegdec refuses it.
// WAV files whose payload is MPEG audio (format tags 0x0050 and 0x0055) are let through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace mpegin::mpegdec {

// Reads up to `size` bytes at `offset` of the input; returns how many it could.
using ReadAt = std::function<size_t(uint64_t offset, unsigned char* data, size_t size)>;

// The kind of audio file ("WAV", "FLAC", ...) when the input is one that holds no MPEG
// audio, otherwise an empty string (also when it cannot be read).
std::string foreign_audio_kind(const ReadAt& read);
std::string foreign_audio_kind(const std::string& path);

}  // namespace mpegin::mpegdec
