// decode_to_raw IN OUT.f32: decodes an MPEG audio file held in memory to raw interleaved 32-bit
// floats (full scale 1.0, the machine's byte order), as `mpegdec --raw --format f32` writes them.
// Built against the installed library:
//   c++ -std=c++17 decode_to_raw.cpp $(pkg-config --cflags --libs mpegaudio) -o decode_to_raw
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <mpegaudio/mpegaudio.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: decode_to_raw IN OUT.f32\n");
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "decode_to_raw: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::vector<char> data(std::istreambuf_iterator<char>(in), {});
  std::unique_ptr<mpegaudio_decoder, decltype(&mpegaudio_delete)> decoder(mpegaudio_new(),
                                                                         mpegaudio_delete);
  if (!decoder) return 1;
  if (mpegaudio_open_memory(decoder.get(), data.data(), data.size(), 0) != MPEGAUDIO_OK) {
    std::fprintf(stderr, "decode_to_raw: %s: %s\n", argv[1], mpegaudio_message(decoder.get()));
    return 1;
  }
  mpegaudio_info info;
  mpegaudio_get_info(decoder.get(), &info);
  std::ofstream out(argv[2], std::ios::binary);
  mpegaudio_frame frame;
  int status = MPEGAUDIO_OK;
  unsigned long long samples = 0, concealed = 0;
  while (out && (status = mpegaudio_decode(decoder.get(), &frame)) == MPEGAUDIO_OK) {
    out.write(reinterpret_cast<const char*>(frame.samples),
              std::streamsize(frame.sample_count * frame.channels * sizeof(float)));
    samples += frame.sample_count;
    if (frame.flags & MPEGAUDIO_FRAME_CONCEALED) ++concealed;
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "decode_to_raw: cannot write %s\n", argv[2]);
    return 1;
  }
  if (status != MPEGAUDIO_END) {
    std::fprintf(stderr, "decode_to_raw: %s: %s\n", argv[1], mpegaudio_message(decoder.get()));
    return 1;
  }
  std::printf("%s: %llu samples per channel, %d channels, %d Hz", argv[1], samples,
              int(info.channels), int(info.sample_rate));
  if (concealed != 0) std::printf(", %llu damaged frames concealed", concealed);
  if (mpegaudio_changed_rate(decoder.get()) != 0)
    std::printf(", ends where the rate changes to %d Hz", int(mpegaudio_changed_rate(decoder.get())));
  std::printf("\n");
  return 0;
}
