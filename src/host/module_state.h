// What the module keeps for the whole process: its instance handle and the one decoder
// context that every input instance decodes with.
#pragma once

#include <cstdint>

#include "decoder/decoder_context.h"
#include "platform/platform.h"

namespace mpegin {

constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

// The module entry point: keeps the handle on process attach, clears it on detach.
// Returns 1 for every reason.
int module_entry(platform::ModuleHandle instance, uint32_t reason);
platform::ModuleHandle module_instance();

// The process-wide decoder context: one file is decoded at a time.
DecoderContext& decoder_context();

}  // namespace mpegin
