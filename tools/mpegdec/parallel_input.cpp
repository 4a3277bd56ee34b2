#include "parallel_input.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "host/dither.h"
#include "mpegaudio/mpegaudio.h"

namespace mpegin::mpegdec {

namespace {

// Output bytes of one chunk at most: the buffer each thread converts into. A seek decodes and
// drops a few frames (2 or 3 of a 128 kbit/s Layer III stream); larger chunks spread them over
// more frames, smaller ones keep the memory down.
constexpr size_t kChunkBytes = 576 * 1024;

uint32_t frame_samples_of(const mpegaudio_info& info) {
  if (info.layer == 1) return 384;
  return info.layer == 3 && info.version != 1 ? 576 : 1152;
}

}  // namespace

struct ParallelInput::Worker {
  mpegaudio_decoder* decoder = nullptr;
  std::vector<unsigned char> buffer;
  std::thread thread;
  // Under the mutex: the chunk the buffer holds for reading (-1: none, the worker may fill it),
  // its bytes and its concealed frames.
  int64_t chunk = -1;
  size_t bytes = 0;
  uint32_t concealed = 0;
  uint64_t first_concealed = 0;
};

// The dither generator as the delivery seeded it, as an open of the module seeds it.
ParallelInput::ParallelInput(uint32_t word) : delivery_(word), dither_start_(dither_state()) {}

ParallelInput::~ParallelInput() { stop_workers(); }

void ParallelInput::stop_workers() {
  if (workers_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (int t = 0; t < threads_; ++t) {
    if (workers_[t].thread.joinable()) workers_[t].thread.join();
    mpegaudio_delete(workers_[t].decoder);
  }
  workers_.reset();
}

bool ParallelInput::open(const std::string& path, int threads) {
  if (threads < 2 || workers_ != nullptr) return false;
  const unsigned flags = delivery_.gapless() ? 0u : MPEGAUDIO_NO_GAPLESS;
  // All decoders open here, not on their threads: memory allocated on a thread of its own
  // would stay in an allocator arena of that thread.
  const int made = threads;
  std::unique_ptr<Worker[]> workers(new Worker[static_cast<size_t>(made)]);
  auto release = [&] {
    for (int t = 0; t < made; ++t) mpegaudio_delete(workers[t].decoder);
    return false;
  };
  mpegaudio_info info{};
  mpegaudio_decoder*& first = workers[0].decoder;
  first = mpegaudio_new();
  if (first == nullptr || mpegaudio_open_file(first, path.c_str(), flags) != MPEGAUDIO_OK ||
      mpegaudio_get_info(first, &info) != MPEGAUDIO_OK || info.exact != 1 || mpegaudio_uniform(first) != 1)
    return release();
  sample_rate_ = info.sample_rate;
  channels_ = info.channels;
  delivered_samples_ = static_cast<uint64_t>(info.samples);
  sample_bytes_ = delivery_.width() == 32 ? 4 : 2;
  const size_t frame_bytes = size_t{frame_samples_of(info)} * static_cast<size_t>(channels_) * sample_bytes_;
  chunk_frames_ = kChunkBytes / frame_bytes;
  chunks_ = (static_cast<uint64_t>(info.frames) + chunk_frames_ - 1) / chunk_frames_;
  // Each thread gets two chunks at least: a shorter stream is not worth more threads.
  threads = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), chunks_ / 2));
  if (threads < 2) return release();
  for (int t = 1; t < threads; ++t) {
    workers[t].decoder = mpegaudio_new();
    if (workers[t].decoder == nullptr ||
        mpegaudio_open_file(workers[t].decoder, path.c_str(), flags) != MPEGAUDIO_OK)
      return release();
  }
  for (int t = 0; t < threads; ++t) workers[t].buffer.resize(chunk_frames_ * frame_bytes);

  events_ = MpegStreamEvents{};
  events_.size = sizeof events_;
  events_.sample_rate = sample_rate_;
  events_.first_layer = info.layer;
  events_.first_channels = channels_;
  events_.expected_samples = delivered_samples_;
  workers_ = std::move(workers);
  threads_ = threads;
  for (int t = 0; t < threads_; ++t) workers_[t].thread = std::thread(&ParallelInput::work, this, t);
  return true;
}

void ParallelInput::work(int t) {
  Worker& self = workers_[t];
  uint32_t dither = 0;
  for (uint64_t chunk = static_cast<uint64_t>(t); chunk < chunks_; chunk += static_cast<uint64_t>(threads_)) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || self.chunk == -1; });
      if (stop_) return;
    }
    bool ok = mpegaudio_seek_frame(self.decoder, chunk * chunk_frames_) == MPEGAUDIO_OK;
    size_t bytes = 0;
    uint32_t concealed = 0;
    uint64_t first_concealed = 0;
    mpegaudio_frame frame{};
    for (uint64_t f = 0; ok && f < chunk_frames_; ++f) {
      const int status = mpegaudio_decode(self.decoder, &frame);
      if (status == MPEGAUDIO_END) break;
      if (!(ok = status == MPEGAUDIO_OK)) break;
      const auto channels = static_cast<uint64_t>(frame.channels);
      if (f == 0) dither = dither_skip(dither_start_, 2 * frame.position * channels);
      if ((frame.flags & MPEGAUDIO_FRAME_CONCEALED) != 0 && concealed++ == 0) first_concealed = frame.position;
      const auto count = static_cast<uint32_t>(frame.sample_count * channels);
      delivery_.convert(frame.samples, count, self.buffer.data() + bytes, dither);
      bytes += count * sample_bytes_;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ok) {
        self.chunk = static_cast<int64_t>(chunk);
        self.bytes = bytes;
        self.concealed = concealed;
        self.first_concealed = first_concealed;
      } else {
        read_failed_ = stop_ = true;
      }
    }
    changed_.notify_all();
    if (!ok) return;
  }
}

uint32_t ParallelInput::read_frame(void* destination) {
  if (workers_ == nullptr) return 0;
  while (reading_ < chunks_) {
    Worker& worker = workers_[reading_ % static_cast<uint64_t>(threads_)];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || worker.chunk == static_cast<int64_t>(reading_); });
      if (worker.chunk != static_cast<int64_t>(reading_)) break;
    }
    if (read_bytes_ == 0 && worker.concealed != 0) {
      if (events_.concealed_frames == 0) events_.first_concealed_sample = worker.first_concealed;
      events_.concealed_frames += worker.concealed;
    }
    if (read_bytes_ < worker.bytes) {
      const size_t block = std::min(kBlockBytes, worker.bytes - read_bytes_);
      std::memcpy(destination, worker.buffer.data() + read_bytes_, block);
      read_bytes_ += block;
      events_.decoded_samples += block / sample_bytes_ / static_cast<size_t>(channels_);
      return static_cast<uint32_t>(block / sample_bytes_);
    }
    // The chunk is read: its buffer goes back to its worker.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      worker.chunk = -1;
    }
    changed_.notify_all();
    ++reading_;
    read_bytes_ = 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (read_failed_ && failure_.empty()) failure_ = "read error while decoding";
  return 0;
}

bool ParallelInput::events(MpegStreamEvents& events) const {
  events = events_;
  return true;
}

double ParallelInput::expected_seconds() const {
  return sample_rate_ > 0 ? static_cast<double>(delivered_samples_) / sample_rate_ : 0.0;
}

}  // namespace mpegin::mpegdec
