#include "decoder/frame_index.h"

#include <new>

namespace mpegin {

bool FrameIndex::note(uint64_t frame, uint64_t offset, uint64_t samples) {
  if (frame % kSpacing != 0 || frame / kSpacing != entries_.size()) return true;
  try {
    entries_.push_back(Entry{offset, samples});
  } catch (const std::bad_alloc&) {
    entries_.clear();
    return false;
  }
  return true;
}

bool FrameIndex::at_or_before(uint64_t frame, uint64_t& kept_frame, Entry& entry) const {
  if (entries_.empty()) return false;
  uint64_t i = frame / kSpacing;
  if (i >= entries_.size()) i = entries_.size() - 1;
  kept_frame = i * kSpacing;
  entry = entries_[i];
  return true;
}

}  // namespace mpegin
