// --info on tags: each ID3v2 version and text encoding, ID3v1 and APEv2, pictures, the encoder
// tag; and tags that lie, which must neither stop --info nor change a decoded sample.
#include <gtest/gtest.h>

#include <string>

#include "mpegdec_harness.h"
#include "support/encoded_files.h"

namespace mpegdec_test {
namespace {

std::string big_endian(uint32_t value, int bytes, bool syncsafe = false) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i)
    out += static_cast<char>(syncsafe ? (value >> (7 * i)) & 0x7F : (value >> (8 * i)) & 0xFF);
  return out;
}

// One ID3v2 frame of major version 2, 3 or 4 (the size as the version writes it, or `size`).
std::string id3_frame(int major, const std::string& id, const std::string& body, int64_t size = -1) {
  const auto n = static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(body.size()) : size);
  if (major == 2) return id + big_endian(n, 3) + body;
  return id + big_endian(n, 4, major == 4) + std::string(2, '\0') + body;
}

std::string id3_tag(int major, const std::string& frames, int64_t size = -1) {
  const auto n = static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(frames.size()) : size);
  return std::string("ID3") + static_cast<char>(major) + std::string(2, '\0') + big_endian(n, 4, true) + frames;
}

std::string id3v1_tag(const std::string& title, const std::string& artist, int track, int genre) {
  auto field = [](const std::string& text, size_t n) { return (text + std::string(n, '\0')).substr(0, n); };
  return "TAG" + field(title, 30) + field(artist, 30) + field("v1 album", 30) + "1999" + field("v1 comment", 28) +
         '\0' + static_cast<char>(track) + static_cast<char>(genre);
}

std::string ape_tag(const std::string& key, const std::string& value) {
  auto le = [](uint32_t v) { std::string s; for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i)); return s; };
  const std::string item = le(static_cast<uint32_t>(value.size())) + le(0) + key + '\0' + value;
  auto frame = [&](uint32_t flags) { return "APETAGEX" + le(2000) + le(static_cast<uint32_t>(item.size() + 32)) + le(1) + le(flags) + std::string(8, '\0'); };
  return frame(0xA0000000u) + item + frame(0x80000000u);
}

std::string json_of(const std::string& path) {
  const RunResult run = run_mpegdec({"--info", "--json", path});
  EXPECT_EQ(run.status, 0) << run.err;
  return run.out;
}

TEST(Tags, EachVersionAndEncodingInTextAndJson) {
  TempDir dir;
  const std::string audio = read_file(sample_path());
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(992, 'p');
  struct Case {
    const char* name;
    std::string file;
    const char* expected;  // Python value of the JSON fields below
  } cases[] = {
      {"id3v2.4 utf-8",
       id3_tag(4, id3_frame(4, "TIT2", "\x03T\xC3\xAFtle \xE2\x98\x83") + id3_frame(4, "TPE1", "\x03" "Artist") +
                      id3_frame(4, "TALB", "\x03" "Album") + id3_frame(4, "TRCK", "\x03" "3/12") +
                      id3_frame(4, "TDRC", "\x03" "2024-05-01") + id3_frame(4, "TCON", "\x03" "Jazz") +
                      id3_frame(4, "COMM", std::string("\x03" "eng", 4) + '\0' + "Said") +
                      id3_frame(4, "APIC", std::string("\x00image/png\x00\x03", 12) + '\0' + png)) + audio,
       "('Tïtle ☃', 'Artist', 'Album', '3/12', '2024-05-01', 'Jazz', 'Said', [('image/png', 'Front Cover', 1000)])"},
      {"id3v2.3 utf-16",
       id3_tag(3, id3_frame(3, "TIT2", std::string("\x01\xFF\xFEH\0i\0", 7)) +
                      id3_frame(3, "TCON", std::string("\x00(17)", 5))) + audio,
       "('Hi', '', '', '', '', 'Rock', '', [])"},
      {"id3v2.2 latin-1 and picture",
       id3_tag(2, id3_frame(2, "TT2", std::string("\x00\xE9t\xE9", 4)) + id3_frame(2, "PIC", std::string("\x00PNG\x04", 5) + '\0' + png)) + audio,
       "('été', '', '', '', '', '', '', [('image/png', 'Back Cover', 1000)])"},
      {"id3v1.1", audio + id3v1_tag("Old title", "Old artist", 7, 8),
       "('Old title', 'Old artist', 'v1 album', '7', '1999', 'Jazz', 'v1 comment', [])"},
      {"apev2", audio + ape_tag("Title", "Ape title"), "('Ape title', '', '', '', '', '', '', [])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("tagged.mp2");
    write_file(path, c.file);
    EXPECT_EQ(evaluate_json(json_of(path),
                            "(lambda t: (t['title'], t['artist'], t['album'], t['track'], t['date'], t['genre'], "
                            "t['comment'], [(p['mime'], p['type'], p['bytes']) for p in t['pictures']]))(d['tags'])"),
              c.expected);
    const RunResult text = run_mpegdec({"--info", path});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("tags:"), std::string::npos) << text.out;
  }
}

TEST(Tags, EncoderTagAndGaplessLength) {
  if (!mpegin::test_support::have_tool("lame")) GTEST_SKIP() << "SKIPPED LOUDLY: lame is not installed";
  TempDir dir;
  ASSERT_TRUE(mpegin::test_support::write_test_wav(dir.file("in.wav"), 44100, 2, 44100));
  ASSERT_TRUE(mpegin::test_support::lame_encode(dir.file("in.wav"), dir.file("in.mp3"), "-V 4"));
  EXPECT_EQ(evaluate_json(json_of(dir.file("in.mp3")),
                          "d['samples'], d['gapless'], d['encoder']['name'][:4], d['encoder']['delay'], "
                          "d['whole_frame_samples'] - d['samples'] == 576 + d['encoder']['padding'], "
                          "d['duration_ms']"),
            "(44100, True, 'LAME', 576, True, 1000.0)");
  const RunResult text = run_mpegdec({"--info", dir.file("in.mp3")});
  EXPECT_NE(text.out.find("samples:      44100 per channel (gapless"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("encoder:      LAME"), std::string::npos) << text.out;
  // Decoded at the same length, or in whole frames.
  EXPECT_EQ(run_mpegdec({"--raw", "-o", "-", dir.file("in.mp3")}).out.size(), 44100u * 2 * 2);
  EXPECT_EQ(run_mpegdec({"--raw", "--no-gapless", "-o", "-", dir.file("in.mp3")}).out.size() % (1152 * 2 * 2), 0u);
}

TEST(Tags, LyingTagsNeitherStopInfoNorChangeSamples) {
  TempDir dir;
  const std::string audio = read_file(sample_path());
  const std::string clean = run_mpegdec({"--raw", "-o", "-", sample_path()}).out;
  ASSERT_FALSE(clean.empty());
  const std::string picture(50u << 20, 'x');
  struct Case {
    const char* name;
    std::string file;
  } cases[] = {
      {"tag size past the end", id3_tag(3, id3_frame(3, "TIT2", std::string("\x00T", 2)), 0x0FFFFFFF) + audio},
      {"frame longer than its tag", id3_tag(4, id3_frame(4, "TIT2", "\x03T", 0x0FFFFFF)) + audio},
      {"bad utf-8 and a bad encoding byte",
       id3_tag(4, id3_frame(4, "TIT2", "\x03\xFF\xFE\xC0\x80\xED\xA0\x80") + id3_frame(4, "TPE1", "\x07zz")) + audio},
      {"utf-16 cut in half", id3_tag(3, id3_frame(3, "TIT2", std::string("\x01\xFF\xFE\x41", 4))) + audio},
      {"50 MB picture", id3_tag(3, id3_frame(3, "APIC", std::string("\x00image/jpeg\x00\x03\x00", 14) + picture)) + audio},
      {"ape item past the end", audio + ape_tag("Title", "x").replace(32, 4, "\xFF\xFF\xFF\x7F")},
      // A tag reader that searched the whole file would take seconds here.
      {"audio behind 30 MB of zeros", id3_tag(3, id3_frame(3, "TIT2", std::string("\x00T", 2))) +
                                          std::string(30u << 20, '\0') + audio},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("lying.mp2");
    write_file(path, c.file);
    EXPECT_EQ(evaluate_json(json_of(path), "d['layer']"), "2");
    EXPECT_EQ(run_mpegdec({"--raw", "-o", "-", path}).out, clean);
  }
}

}  // namespace
}  // namespace mpegdec_test
