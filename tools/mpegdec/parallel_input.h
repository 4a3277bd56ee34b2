// A file decoded on several threads through the decoder library, delivered as the module
// delivers it (ModuleDelivery: gain, width, dither) and byte for byte as a decode on one thread.
//
// The stream is cut into chunks of a few dozen frames, shared out in turn among N decoders:
// decoder t takes chunks t, t + N, t + 2N, ..., each after an exact seek to its first frame
// (the library decodes a few frames before it and drops them). Decoder 0 belongs to the
// reading thread, which decodes its chunks straight into the destination of each read; each
// of the N - 1 others has a thread of its own and converts its frames into a ring that holds
// a chunk and 64 KiB more, from which reads hand them out in turn (written from there, not
// copied), so that a thread may run ahead of the other by a few frames instead of waiting at
// every turn. Memory grows by one decoder, one thread and one ring (351 KiB of stereo floats) per thread beyond
// the first, never with the length of the input. Dithered output: each chunk starts the
// generator where the whole output has it at that sample.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "decoded_input.h"
#include "module_delivery.h"

namespace mpegin::mpegdec {

class ParallelInput final : public DecodedInput {
 public:
  // `word` as mpegdec gives it to the module (see ModuleDelivery).
  explicit ParallelInput(uint32_t word);
  ~ParallelInput() override;
  ParallelInput(const ParallelInput&) = delete;
  ParallelInput& operator=(const ParallelInput&) = delete;

  // Opens the file on up to `threads` decoders and starts them. False when its parts cannot
  // be decoded apart exactly (the walk found a change of layer, channel count or sample rate)
  // or it is too short to share: it is then decoded on one thread.
  bool open(const std::string& path, int threads);

  uint32_t read_frame(void* destination) override;
  // A worker's frames are handed out from its ring, as many as lie one after the other.
  uint32_t read(void* destination, const void*& held) override;
  size_t block_bytes() const override { return kBlockBytes; }
  bool events(MpegStreamEvents& events) const override;
  double expected_seconds() const override;
  std::string failure() const override { return failure_; }
  int threads() const override { return threads_; }

  int sample_rate() const override { return sample_rate_; }
  int channels() const override { return channels_; }
  int width() const override { return delivery_.width(); }
  uint32_t option_word() const override { return delivery_.word(); }

 private:
  static constexpr size_t kBlockBytes = 16384;
  struct Worker;
  struct Frame;

  void work(int t);
  void stop_workers();
  // Decodes the next frame of decoder t's chunk into `out` (frame f of the chunk); false at the
  // end of the stream or on a failure (then `failed`).
  bool decode_frame(int t, uint64_t f, unsigned char* out, Frame& frame, bool& failed);
  // The reading thread's chunks: the next frame with samples into `destination`.
  uint32_t read_own_chunk(void* destination);
  // A worker's chunk: the next frames with samples, from its ring (held) or copied to
  // `destination` (at most a block); 0 when the chunk is read.
  uint32_t read_worker_chunk(Worker& worker, void* destination, const void** held);
  // Gives `frames` read from the worker's ring back to it.
  void release_taken(Worker& worker, uint64_t frames);
  // read_frame (held null: a block at most copied to `destination`) and read.
  uint32_t read_next(void* destination, const void** held);
  // After a change of the state under the mutex (made and unlocked): wakes the waiting threads.
  void announce();

  ModuleDelivery delivery_;
  uint32_t dither_start_ = 0;
  std::unique_ptr<Worker[]> workers_;
  int threads_ = 0;
  std::string path_;            // the file, and the flags its decoders are opened with
  unsigned open_flags_ = 0;
  int sample_rate_ = 0;
  int channels_ = 0;
  uint64_t delivered_samples_ = 0;  // per channel, from the walk
  uint64_t chunks_ = 0;
  uint64_t chunk_frames_ = 0;
  uint64_t slots_ = 0;          // frames each worker's ring holds
  size_t frame_bytes_ = 0;      // output bytes of a whole frame
  size_t sample_bytes_ = 2;

  // The chunk being read and how far (bytes of a worker's, frames of the reading thread's).
  uint64_t reading_ = 0;
  uint64_t pending_ = 0;        // frames of a worker's ring handed out by the last read
  uint64_t own_frames_ = 0;
  uint32_t own_dither_ = 0;
  MpegStreamEvents events_{};
  std::string failure_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool read_failed_ = false;
};

}  // namespace mpegin::mpegdec
