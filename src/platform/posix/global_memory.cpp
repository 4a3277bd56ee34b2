// Movable global memory blocks: opaque handles, lock and unlock. The blocks never move, but
// only handles that global_alloc returned and global_free has not released are honoured.
#include <cstdlib>
#include <new>
#include <unordered_set>

#include "platform/platform.h"
#include "platform/posix/global_memory.h"

namespace mpegin::platform {
namespace {

struct Block {
  void* payload = nullptr;
  std::size_t bytes = 0;
  unsigned lock_count = 0;
};

std::unordered_set<Block*>& live_blocks() {
  static std::unordered_set<Block*> blocks;
  return blocks;
}

int allocations_before_failure = -1;

Block* find_block(MemoryHandle handle) {
  auto* block = static_cast<Block*>(handle);
  return live_blocks().count(block) != 0 ? block : nullptr;
}

}  // namespace

MemoryHandle global_alloc(uint32_t flags, std::size_t bytes) {
  if (allocations_before_failure >= 0 && allocations_before_failure-- == 0) return nullptr;
  const std::size_t size = bytes == 0 ? 1 : bytes;
  void* payload = (flags & kMemZeroInit) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (payload == nullptr) return nullptr;
  auto* block = new (std::nothrow) Block{payload, bytes, 0};
  if (block == nullptr) {
    std::free(payload);
    return nullptr;
  }
  try {
    live_blocks().insert(block);
  } catch (const std::bad_alloc&) {
    std::free(payload);
    delete block;
    return nullptr;
  }
  return block;
}

void* global_lock(MemoryHandle handle) {
  Block* block = find_block(handle);
  if (block == nullptr) return nullptr;
  ++block->lock_count;
  return block->payload;
}

void global_unlock(MemoryHandle handle) {
  Block* block = find_block(handle);
  if (block != nullptr && block->lock_count > 0) --block->lock_count;
}

void global_free(MemoryHandle handle) {
  Block* block = find_block(handle);
  if (block == nullptr) return;
  live_blocks().erase(block);
  std::free(block->payload);
  delete block;
}

namespace posix {

void fail_allocation_after(int successful) { allocations_before_failure = successful < 0 ? -1 : successful; }

std::size_t live_block_count() { return live_blocks().size(); }

}  // namespace posix
}  // namespace mpegin::platform
