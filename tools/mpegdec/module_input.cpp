#include "module_input.h"

#include <algorithm>

#include "host/sample_conversion.h"

namespace mpegin::mpegdec {

namespace {
constexpr size_t kMinBufferBytes = 16384;  // what the module reports as its block size
constexpr float kFromSixteenBitUnits = 1.0f / 32768.0f;   // a power of two: exact
}  // namespace

ModuleInput::ModuleInput(const ModuleApi& api) : api_(api) {}

ModuleInput::~ModuleInput() { close(); }

bool ModuleInput::open(const std::string& path) {
  close();
  int32_t rate = 0;
  int16_t bits = 0;
  int16_t channels = 0;
  int32_t block_bytes = 0;
  handle_ = api_.open_input(path.c_str(), &rate, &bits, &channels, 0, &block_bytes);
  if (handle_ == nullptr) return false;
  sample_rate_ = rate;
  channels_ = channels;
  width_ = bits;
  block_bytes_ = std::max(kMinBufferBytes, static_cast<size_t>(std::max(block_bytes, 0)));
  return true;
}

int ModuleInput::apply_options(uint32_t word) {
  if (handle_ == nullptr) return 0;
  int32_t rate = sample_rate_;
  int16_t channels = static_cast<int16_t>(channels_);
  int16_t bits = static_cast<int16_t>(width_);
  api_.set_options(handle_, word, &rate, &channels, &bits);
  width_ = bits;
  return width_;
}

uint32_t ModuleInput::read_frame(void* destination) {
  // The module passes over frames without samples itself: an empty read is the end.
  if (handle_ == nullptr) return 0;
  const int32_t bytes = api_.read_input(handle_, destination, 0);
  if (bytes <= 0) return 0;
  if (width_ == 32) {
    const uint32_t count = static_cast<uint32_t>(bytes) / 4;
    scale_samples(static_cast<float*>(destination), count, kFromSixteenBitUnits);
    return count;
  }
  return static_cast<uint32_t>(bytes) / 2;
}

bool ModuleInput::events(MpegStreamEvents& events) const {
  events = MpegStreamEvents{};
  events.size = sizeof events;
  if (handle_ == nullptr || api_.stream_events == nullptr || api_.stream_events(handle_, &events) < 8) {
    events = MpegStreamEvents{};
    return false;
  }
  return true;
}

double ModuleInput::expected_seconds() const {
  MpegStreamEvents seen;
  if (sample_rate_ <= 0) return 0.0;
  if (events(seen)) return static_cast<double>(seen.expected_samples) / sample_rate_;
  // FilterGetFileSize stops at 2 GB: a longer output shows more than it is done.
  const int32_t bytes = handle_ == nullptr ? 0 : api_.file_size(handle_);
  const int frame_bytes = channels_ * width_ / 8;
  return bytes > 0 && frame_bytes > 0 ? static_cast<double>(bytes) / frame_bytes / sample_rate_ : 0.0;
}

std::string ModuleInput::description() const {
  if (handle_ == nullptr) return {};
  char text[1024] = {};
  api_.options_string(handle_, text);
  text[sizeof text - 1] = '\0';
  return text;
}

uint32_t ModuleInput::option_word() const {
  return handle_ == nullptr ? 0 : api_.options(handle_);
}

void ModuleInput::close() {
  if (handle_ != nullptr) api_.close_input(handle_);
  handle_ = nullptr;
}

}  // namespace mpegin::mpegdec
