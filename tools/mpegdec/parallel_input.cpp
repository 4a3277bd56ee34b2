#include "parallel_input.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <thread>

#include "host/dither.h"
#include "mpegaudio/mpegaudio.h"
#include "temp_files.h"

namespace mpegin::mpegdec {

namespace {

// Output bytes of one chunk at most. A seek decodes and drops a few frames (2 or 3 of a
// 128 kbit/s Layer III stream); larger chunks spread them over more frames, smaller ones keep
// the memory down.
constexpr size_t kChunkBytes = 288 * 1024;
// Room for frames a thread beyond the first may decode ahead of a whole chunk not yet written,
// so that neither thread waits for the other at every turn.
constexpr size_t kAheadBytes = 64 * 1024;

uint32_t frame_samples_of(const mpegaudio_info& info) {
  if (info.layer == 1) return 384;
  return info.layer == 3 && info.version != 1 ? 576 : 1152;
}

}  // namespace

// One decoded frame as converted: its samples (interleaved), where it starts and whether it
// was concealed.
struct ParallelInput::Frame {
  uint32_t count = 0;
  bool concealed = false;
  uint64_t position = 0;
};

struct ParallelInput::Worker {
  mpegaudio_decoder* decoder = nullptr;
  std::thread thread;
  uint32_t dither = 0;
  // Decoders 1..N-1: a ring of frame slots (frame_bytes_ each), filled in the order of the
  // worker's chunks and read in the same order. Slot i holds the worker's frame i mod slots_.
  std::unique_ptr<unsigned char[]> ring;
  std::unique_ptr<Frame[]> frames;
  // Under the mutex: frames put into the ring and taken from it so far, and whether the
  // worker put its last one (its chunks done, the stream ended or a failure).
  uint64_t produced = 0;
  uint64_t consumed = 0;
  bool finished = false;
  // The count of frames put that the reading thread waits for: the worker wakes it then, not
  // at every frame.
  uint64_t wanted = UINT64_MAX;
};

void ParallelInput::announce() { changed_.notify_all(); }

// The dither generator as the delivery seeded it, as an open of the module seeds it.
ParallelInput::ParallelInput(uint32_t word) : delivery_(word), dither_start_(dither_state()) {}

ParallelInput::~ParallelInput() { stop_workers(); }

void ParallelInput::stop_workers() {
  if (workers_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  announce();
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
  // of its own would stay in an allocator arena of that thread. Only the opens of the decoders
  // beyond the first (each walks the file) run on their threads, beside the first decoder's
  // work, not before it.
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
  frame_bytes_ = size_t{frame_samples_of(info)} * static_cast<size_t>(channels_) * sample_bytes_;
  if (frame_bytes_ > kBlockBytes) return release();
  chunk_frames_ = kChunkBytes / frame_bytes_;
  slots_ = chunk_frames_ + std::max<uint64_t>(1, kAheadBytes / frame_bytes_);
  chunks_ = (static_cast<uint64_t>(info.frames) + chunk_frames_ - 1) / chunk_frames_;
  // Each thread gets two chunks at least: a shorter stream is not worth more threads.
  threads = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), chunks_ / 2));
  if (threads < 2) return release();
  for (int t = 1; t < threads; ++t) {
    Worker& worker = workers[t];
    worker.decoder = mpegaudio_new();
    worker.ring.reset(new (std::nothrow) unsigned char[slots_ * frame_bytes_]);
    worker.frames.reset(new (std::nothrow) Frame[slots_]);
    if (worker.decoder == nullptr || worker.ring == nullptr || worker.frames == nullptr) return release();
  }

  events_ = MpegStreamEvents{};
  events_.size = sizeof events_;
  events_.sample_rate = sample_rate_;
  events_.first_layer = info.layer;
  events_.first_channels = channels_;
  events_.expected_samples = delivered_samples_;
  workers_ = std::move(workers);
  threads_ = threads;
  path_ = path;
  open_flags_ = flags;
  // The threads start with the cleanup signals blocked (a thread inherits its creator's mask): a
  // signal then always reaches the main thread, which blocks it while it registers a new
  // temporary file, so the handler never misses a file that exists.
  sigset_t previous;
  block_cleanup_signals(previous);
  for (int t = 1; t < threads_; ++t) workers_[t].thread = std::thread(&ParallelInput::work, this, t);
  restore_signal_mask(previous);
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
  // The stream opened for the first decoder: failing now, it failed while being read.
  bool failed = mpegaudio_open_file(self.decoder, path_.c_str(), open_flags_) != MPEGAUDIO_OK;
  bool ended = false;
  for (uint64_t chunk = static_cast<uint64_t>(t); !failed && !ended && chunk < chunks_;
       chunk += static_cast<uint64_t>(threads_)) {
    failed = mpegaudio_seek_frame(self.decoder, chunk * chunk_frames_) != MPEGAUDIO_OK;
    for (uint64_t f = 0; !failed && f < chunk_frames_; ++f) {
      uint64_t slot = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || self.produced - self.consumed < slots_; });
        if (stop_) return;
        slot = self.produced % slots_;
      }
      if (!decode_frame(t, f, self.ring.get() + slot * frame_bytes_, self.frames[slot], failed)) {
        ended = !failed;   // the end of the stream: no chunk after this one has frames
        break;
      }
      bool wake = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = ++self.produced >= self.wanted;
      }
      if (wake) announce();
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    self.finished = true;
    if (failed) read_failed_ = stop_ = true;
  }
  announce();
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
    announce();
  }
  own_frames_ = 0;
  return 0;
}

uint32_t ParallelInput::read_worker_chunk(Worker& worker, void* destination, const void** held) {
  const uint64_t chunk_end = (reading_ / static_cast<uint64_t>(threads_) + 1) * chunk_frames_;
  for (;;) {
    uint64_t first = 0, available = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // The rest of the chunk when the reading thread has caught up: one wake-up a chunk, not
      // one a frame.
      worker.wanted = chunk_end;
      changed_.wait(lock, [&] { return stop_ || worker.finished || worker.produced >= worker.wanted; });
      worker.wanted = UINT64_MAX;
      if (worker.consumed == chunk_end || (worker.produced == worker.consumed && (worker.finished || stop_)))
        return 0;   // the chunk is read (or ends early at the end of the stream or on a failure)
      first = worker.consumed;
      available = std::min(worker.produced, chunk_end) - first;
    }
    // The frames ready, one after the other in the ring, the last of them the only one that
    // may be short (whole frames are contiguous output); at most a block when copied.
    const uint64_t slot = first % slots_;
    const uint64_t limit = std::min(available, slots_ - slot);
    const size_t frame_samples = frame_bytes_ / sample_bytes_;
    uint64_t taken = 0;
    size_t samples = 0;
    while (taken < limit) {
      const Frame& frame = worker.frames[slot + taken];
      if (held == nullptr && (samples + frame.count) * sample_bytes_ > kBlockBytes) break;
      ++taken;
      if (frame.concealed && events_.concealed_frames++ == 0) events_.first_concealed_sample = frame.position;
      samples += frame.count;
      if (frame.count != frame_samples) break;
    }
    const unsigned char* const from = worker.ring.get() + slot * frame_bytes_;
    if (samples == 0) {   // frames trimmed whole: nothing to hand out
      release_taken(worker, taken);
      continue;
    }
    if (held != nullptr) {
      *held = from;
      pending_ = taken;   // given back at the next read, when the samples are written
    } else {
      std::memcpy(destination, from, samples * sample_bytes_);
      release_taken(worker, taken);
    }
    events_.decoded_samples += samples / static_cast<size_t>(channels_);
    return static_cast<uint32_t>(samples);
  }
}

void ParallelInput::release_taken(Worker& worker, uint64_t frames) {
  if (frames == 0) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    worker.consumed += frames;
  }
  announce();
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
    if (share != 0 && pending_ != 0) {   // the frames handed out by the last read are written
      release_taken(workers_[share], pending_);
      pending_ = 0;
    }
    const uint32_t count = share == 0 ? read_own_chunk(destination)
                                      : read_worker_chunk(workers_[share], destination, held);
    if (count != 0) return count;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) break;
    }
    ++reading_;
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
