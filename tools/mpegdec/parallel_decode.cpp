#include "parallel_decode.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "audio_writer.h"
#include "host/dither.h"
#include "host/option_word.h"
#include "host/sample_conversion.h"
#include "mpegaudio/mpegaudio.h"

namespace mpegin::mpegdec {

namespace {

// Output bytes of one chunk at most: the buffer each thread converts into. Larger chunks
// spread the frames a seek decodes and drops (3 to 4 of a 128 kbit/s Layer III stream) over
// more frames; smaller ones keep the memory down.
constexpr size_t kChunkBytes = 288 * 1024;
// The writer is handed the samples in blocks of this size (its own buffer is as large).
constexpr size_t kWriteBlockBytes = 16 * 1024;
constexpr float kFromSixteenBitUnits = 1.0f / 32768.0f;  // a power of two: exact

uint32_t frame_samples_of(const mpegaudio_info& info) {
  if (info.layer == 1) return 384;
  return info.layer == 3 && info.version != 1 ? 576 : 1152;
}

}  // namespace

SampleConversion conversion_of_word(uint32_t applied_word, uint32_t dither_seed) {
  SampleConversion conversion;
  conversion.width = delivered_width(applied_word);
  conversion.gain = gain_from_decibels(applied_decibels(applied_word));
  conversion.dither = conversion.width == 16 && option_dither(applied_word);
  conversion.dither_seed = dither_seed;
  return conversion;
}

struct ParallelDecode::Worker {
  mpegaudio_decoder* decoder = nullptr;
  std::vector<unsigned char> buffer;
  std::thread thread;
  // Shared with the writer under the mutex:
  int64_t chunk = -1;   // the chunk the buffer holds for the writer; -1 when it is free
  size_t bytes = 0;
  uint32_t concealed = 0;
  uint64_t first_concealed = 0;
};

ParallelDecode::~ParallelDecode() { close(); }

void ParallelDecode::close() {
  if (workers_ == nullptr) return;
  for (int t = 0; t < threads_; ++t) {
    if (workers_[t].thread.joinable()) workers_[t].thread.join();
    mpegaudio_delete(workers_[t].decoder);
  }
  delete[] workers_;
  workers_ = nullptr;
  threads_ = 0;
}

bool ParallelDecode::open(const std::string& path, int threads, bool whole_frames) {
  close();
  if (threads < 2) return false;
  mpegaudio_decoder* first = mpegaudio_new();
  mpegaudio_info info{};
  const unsigned flags = whole_frames ? MPEGAUDIO_NO_GAPLESS : 0u;
  if (first == nullptr || mpegaudio_open_file(first, path.c_str(), flags) != MPEGAUDIO_OK ||
      mpegaudio_get_info(first, &info) != MPEGAUDIO_OK || info.exact != 1 || mpegaudio_uniform(first) != 1) {
    mpegaudio_delete(first);
    return false;
  }
  channels_ = info.channels;
  sample_rate_ = info.sample_rate;
  layer_ = info.layer;
  frames_ = static_cast<uint64_t>(info.frames);
  frame_samples_ = frame_samples_of(info);
  // Enough chunks for every thread to have two: shorter streams are not worth it.
  const uint64_t chunk_frames = kChunkBytes / (uint64_t{frame_samples_} * static_cast<uint64_t>(channels_) * 4);
  if (frames_ < 2 * chunk_frames * static_cast<uint64_t>(threads)) {
    const uint64_t most = frames_ / (2 * chunk_frames);
    threads = static_cast<int>(std::min<uint64_t>(most, static_cast<uint64_t>(threads)));
  }
  if (threads < 2) {
    mpegaudio_delete(first);
    return false;
  }
  threads_ = threads;
  workers_ = new Worker[static_cast<size_t>(threads)];
  workers_[0].decoder = first;
  // The other decoders open the same file here, not on their threads: memory allocated on a
  // thread of its own would stay in an allocator arena of that thread.
  for (int t = 1; t < threads; ++t) {
    workers_[t].decoder = mpegaudio_new();
    if (workers_[t].decoder == nullptr || mpegaudio_open_file(workers_[t].decoder, path.c_str(), flags) != MPEGAUDIO_OK) {
      close();
      return false;
    }
  }
  return true;
}

bool ParallelDecode::run(const SampleConversion& conversion, AudioWriter& writer,
                         const std::function<void(uint64_t)>& progress, MpegStreamEvents& events,
                         uint64_t& samples, std::string& error) {
  samples = 0;
  if (workers_ == nullptr) return false;
  const size_t sample_bytes = conversion.width == 32 ? 4 : 2;
  const uint64_t chunk_frames =
      kChunkBytes / (uint64_t{frame_samples_} * static_cast<uint64_t>(channels_) * sample_bytes);
  const uint64_t chunks = (frames_ + chunk_frames - 1) / chunk_frames;
  const size_t buffer_bytes = chunk_frames * frame_samples_ * static_cast<size_t>(channels_) * sample_bytes;

  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  bool read_failed = false;

  // One worker: chunks t, t + N, ...
  auto work = [&](int t) {
    Worker& self = workers_[t];
    uint32_t dither_state = 0;
    for (uint64_t chunk = static_cast<uint64_t>(t); chunk < chunks; chunk += static_cast<uint64_t>(threads_)) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || self.chunk == -1; });
        if (stop) return;
      }
      bool ok = mpegaudio_seek_frame(self.decoder, chunk * chunk_frames) == MPEGAUDIO_OK;
      size_t bytes = 0;
      uint32_t concealed = 0;
      uint64_t first_concealed = 0;
      mpegaudio_frame frame{};
      for (uint64_t f = 0; ok && f < chunk_frames; ++f) {
        const int status = mpegaudio_decode(self.decoder, &frame);
        if (status == MPEGAUDIO_END) break;
        if (status != MPEGAUDIO_OK) {
          ok = false;
          break;
        }
        if (f == 0 && conversion.dither)
          dither_state = dither_skip(conversion.dither_seed, 2 * frame.position * static_cast<uint64_t>(channels_));
        if ((frame.flags & MPEGAUDIO_FRAME_CONCEALED) != 0 && concealed++ == 0) first_concealed = frame.position;
        const auto count = static_cast<uint32_t>(frame.sample_count * static_cast<size_t>(frame.channels));
        unsigned char* out = self.buffer.data() + bytes;
        if (conversion.width == 32) {
          auto* floats = reinterpret_cast<float*>(out);
          scale_samples(floats, frame.samples, count, conversion.gain);
          scale_samples(floats, count, kFromSixteenBitUnits);
        } else if (conversion.dither) {
          scale_and_convert_dithered(reinterpret_cast<int16_t*>(out), frame.samples, count, conversion.gain,
                                     dither_state);
        } else {
          convert_clipped(reinterpret_cast<int16_t*>(out), frame.samples, count, conversion.gain);
        }
        bytes += count * sample_bytes;
      }
      std::lock_guard<std::mutex> lock(mutex);
      if (!ok) {
        read_failed = stop = true;
      } else {
        self.chunk = static_cast<int64_t>(chunk);
        self.bytes = bytes;
        self.concealed = concealed;
        self.first_concealed = first_concealed;
      }
      changed.notify_all();
      if (stop) return;
    }
  };

  for (int t = 0; t < threads_; ++t) workers_[t].buffer.resize(buffer_bytes);
  for (int t = 0; t < threads_; ++t) workers_[t].thread = std::thread(work, t);

  events = MpegStreamEvents{};
  events.sample_rate = sample_rate_;
  events.first_layer = layer_;
  events.first_channels = channels_;
  bool ok = true;
  for (uint64_t chunk = 0; chunk < chunks && ok; ++chunk) {
    Worker& worker = workers_[chunk % static_cast<uint64_t>(threads_)];
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return stop || worker.chunk == static_cast<int64_t>(chunk); });
      if (worker.chunk != static_cast<int64_t>(chunk)) {
        ok = false;
        break;
      }
    }
    // The buffer is the writer's until it is handed back.
    for (size_t done = 0; done < worker.bytes && ok;) {
      const size_t block = std::min(kWriteBlockBytes, worker.bytes - done);
      std::memcpy(writer.space(block), worker.buffer.data() + done, block);
      ok = writer.write(block / sample_bytes);
      done += block;
    }
    if (worker.concealed != 0 && events.concealed_frames == 0)
      events.first_concealed_sample = worker.first_concealed;
    events.concealed_frames += worker.concealed;
    samples += worker.bytes / sample_bytes;
    {
      std::lock_guard<std::mutex> lock(mutex);
      worker.chunk = -1;
      if (!ok) stop = true;
      changed.notify_all();
    }
    progress(samples);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
    changed.notify_all();
  }
  for (int t = 0; t < threads_; ++t)
    if (workers_[t].thread.joinable()) workers_[t].thread.join();
  events.decoded_samples = samples / static_cast<uint64_t>(channels_);
  if (read_failed && ok) ok = false;
  if (!ok) error = read_failed ? "read" : "write";
  return ok;
}

}  // namespace mpegin::mpegdec
