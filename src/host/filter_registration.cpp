// Identification of the module and the file-name test.
#include <cstring>

#include "host/mpeginput.h"

namespace {

void put_text(unsigned char* record, int offset, const char* text) {
  std::memcpy(record + offset, text, std::strlen(text) + 1);
}

void put_le16(unsigned char* record, int offset, uint16_t value) {
  record[offset] = static_cast<unsigned char>(value);
  record[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void put_le32(unsigned char* record, int offset, uint32_t value) {
  put_le16(record, offset, static_cast<uint16_t>(value));
  put_le16(record, offset + 2, static_cast<uint16_t>(value >> 16));
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ends_with(const char* tail, const char* extension) {
  for (int i = 0; i < 4; ++i) {
    if (fold(tail[i]) != extension[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" {

int32_t MPEGIN_CALL RadozErezEduzad(FilterQueryRecord* query) {
  if (query == nullptr) return 0;
  auto* record = reinterpret_cast<unsigned char*>(query);
  put_text(record, MPEGIN_QUERY_NAME, "MPEG 3");
  put_text(record, MPEGIN_QUERY_DESCRIPTION, "MPEG (Layer 1,2,3) Decoder (GNU)");
  put_text(record, MPEGIN_QUERY_EXTENSION1, "MP3");
  put_text(record, MPEGIN_QUERY_EXTENSION2, "MP2");
  put_text(record, MPEGIN_QUERY_EXTENSION3, "MP1");
  // 16-bit fields from offset 104; 112, 122 and 130 are the host's.
  constexpr struct {
    int offset;
    uint16_t value;
  } kWords[] = {{104, 0}, {106, 0}, {108, 0}, {110, 0}, {114, 56}, {116, 0},
                {118, 56}, {120, 0}, {124, 56}, {126, 0}, {128, 56}};
  for (const auto& word : kWords) put_le16(record, word.offset, word.value);
  put_le32(record, MPEGIN_QUERY_CAPABILITIES, 0x905);
  put_le32(record, MPEGIN_QUERY_VALUE140, 0x4000);
  return 1152;
}

int32_t MPEGIN_CALL FilterUnderstandsFormat(const char* file_name) {
  if (file_name == nullptr) return 0;
  const std::size_t n = std::strlen(file_name);
  if (n < 5) return 0;
  const char* tail = file_name + n - 4;
  return ends_with(tail, ".mp3") || ends_with(tail, ".mp2") || ends_with(tail, ".mp1") ? 1 : 0;
}

int32_t MPEGIN_CALL FilterCanReadSpecial(int32_t, int32_t) { return 0; }
int32_t MPEGIN_CALL FilterCanWriteSpecial(int32_t, int32_t) { return 0; }
int32_t MPEGIN_CALL FilterReadSpecial(int32_t, int32_t, int32_t, int32_t) { return 0; }
int32_t MPEGIN_CALL FilterWriteSpecial(int32_t, int32_t, int32_t, int32_t) { return 0; }

}  // extern "C"
