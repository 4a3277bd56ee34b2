// Test hooks of the POSIX memory blocks (the calls themselves are in platform/platform.h).
#pragma once

#include <cstddef>

namespace mpegin::platform::posix {

// After `successful` more allocations succeed, the next global_alloc fails once.
// A negative value switches the failure off.
void fail_allocation_after(int successful);
// Blocks allocated and not yet freed.
std::size_t live_block_count();

}  // namespace mpegin::platform::posix
