#include "parallel_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "host/dither.h"
#include "mpegaudio/mpegaudio.h"

namespace mpegin::mpegdec {

namespace {

// Output bytes of one chunk at most: the buffer each thread beyond the first converts into. A
// seek decodes and drops a few frames (2 or 3 of a 128 kbit/s Layer III stream); larger chunks
// spread them over more frames, smaller ones keep the memory down.
constexpr size_t kChunkBytes = 288 * 1024;

uint32_t frame_samples_of(const mpegaudio_info& info) {
  if (info.layer == 1) return 384;
  return info.layer == 3 && info.version != 1 ? 576 : 1152;
}

}  // namespace

struct ParallelInput::Worker {
  mpegaudio_decoder* decoder = nullptr;
  std::unique_ptr<unsigned char[]> buffer;   // none for decoder 0, the reading thread's
  std::thread thread;
  uint32_t dither = 0;
  // Under the mutex: the chunk the buffer holds for reading (-1: none, the worker may fill it),
  // its bytes and its concealed frames.
  int64_t chunk = -1;
  size_t bytes = 0;
  uint32_t concealed = 0;
  uint64_t first_concealed = 0;
};

// One decoded frame as converted: its samples (interleaved) and whether it was concealed.
struct ParallelInput::Frame {
  uint32_t count = 0;
  bool concealed = false;
  uint64_t position = 0;
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
  // All decoders and buffers are made here, not on their threads: memory allocated on a thread
  // of its own would stay in an allocator arena of that thread.
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
  if (frame_bytes > kBlockBytes) return release();
  chunk_frames_ = kChunkBytes / frame_bytes;
  chunks_ = (static_cast<uint64_t>(info.frames) + chunk_frames_ - 1) / chunk_frames_;
  // Each thread gets two chunks at least: a shorter stream is not worth more threads.
  threads = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), chunks_ / 2));
  if (threads < 2) return release();
  for (int t = 1; t < threads; ++t) {
    workers[t].decoder = mpegaudio_new();
    workers[t].buffer.reset(new (std::nothrow) unsigned char[chunk_frames_ * frame_bytes]);
    if (workers[t].decoder == nullptr || workers[t].buffer == nullptr ||
        mpegaudio_open_file(workers[t].decoder, path.c_str(), flags) != MPEGAUDIO_OK)
      return release();
  }

  events_ = MpegStreamEvents{};
  events_.size = sizeof events_;
  events_.sample_rate = sample_rate_;
  events_.first_layer = info.layer;
  events_.first_channels = channels_;
  events_.expected_samples = delivered_samples_;
  workers_ = std::move(workers);
  threads_ = threads;
  for (int t = 1; t < threads_; ++t) workers_[t].thread = std::thread(&ParallelInput::work, this, t);
  return true;
}

bool ParallelInput::decode_frame(int t, uint64_t f, unsigned char* out, Frame& frame, bool& failed) {
  Worker& self = workers_[t];
  mpegaudio_frame decoded{};
  const int status = mpegaudio_decode(self.decoder, &decoded);
  if (status != MPEGAUDIO_OK) {
    failed = status != MPEGAUDIO_END;
    return false;
  }
  const auto channels = static_cast<uint64_t>(decoded.channels);
  if (f == 0) self.dither = dither_skip(dither_start_, 2 * decoded.position * channels);
  frame.count = static_cast<uint32_t>(decoded.sample_count * channels);
  frame.concealed = (decoded.flags & MPEGAUDIO_FRAME_CONCEALED) != 0;
  frame.position = decoded.position;
  delivery_.convert(decoded.samples, frame.count, out, self.dither);
  return true;
}

void ParallelInput::work(int t) {
  Worker& self = workers_[t];
  for (uint64_t chunk = static_cast<uint64_t>(t); chunk < chunks_; chunk += static_cast<uint64_t>(threads_)) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || self.chunk == -1; });
      if (stop_) return;
    }
    bool failed = mpegaudio_seek_frame(self.decoder, chunk * chunk_frames_) != MPEGAUDIO_OK;
    size_t bytes = 0;
    uint32_t concealed = 0;
    uint64_t first_concealed = 0;
    Frame frame;
    for (uint64_t f = 0; !failed && f < chunk_frames_; ++f) {
      if (!decode_frame(t, f, self.buffer.get() + bytes, frame, failed)) break;
      if (frame.concealed && concealed++ == 0) first_concealed = frame.position;
      bytes += frame.count * sample_bytes_;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failed) {
        self.chunk = static_cast<int64_t>(chunk);
        self.bytes = bytes;
        self.concealed = concealed;
        self.first_concealed = first_concealed;
      } else {
        read_failed_ = stop_ = true;
      }
    }
    changed_.notify_all();
    if (failed) return;
  }
}

uint32_t ParallelInput::read_own_chunk(void* destination) {
  bool failed = own_frames_ == 0 && mpegaudio_seek_frame(workers_[0].decoder, reading_ * chunk_frames_) != MPEGAUDIO_OK;
  Frame frame;
  while (!failed && own_frames_ < chunk_frames_) {
    if (!decode_frame(0, own_frames_, static_cast<unsigned char*>(destination), frame, failed)) break;
    ++own_frames_;
    if (frame.concealed && events_.concealed_frames++ == 0) events_.first_concealed_sample = frame.position;
    if (frame.count == 0) continue;   // a frame trimmed whole
    events_.decoded_samples += frame.count / static_cast<uint32_t>(channels_);
    return frame.count;
  }
  if (failed) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      read_failed_ = stop_ = true;
    }
    changed_.notify_all();
  }
  own_frames_ = 0;
  return 0;
}

uint32_t ParallelInput::read_frame(void* destination) { return read_next(destination, nullptr); }

uint32_t ParallelInput::read(void* destination, const void*& held) {
  held = nullptr;
  return read_next(destination, &held);
}

uint32_t ParallelInput::read_next(void* destination, const void** held) {
  if (workers_ == nullptr) return 0;
  while (reading_ < chunks_) {
    const auto share = static_cast<int>(reading_ % static_cast<uint64_t>(threads_));
    if (share == 0) {
      if (const uint32_t count = read_own_chunk(destination)) return count;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) break;
      }
      ++reading_;
      continue;
    }
    Worker& worker = workers_[share];
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
      const unsigned char* const from = worker.buffer.get() + read_bytes_;
      size_t block = worker.bytes - read_bytes_;
      if (held != nullptr) {
        *held = from;
      } else {
        block = std::min(kBlockBytes, block);
        std::memcpy(destination, from, block);
      }
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
