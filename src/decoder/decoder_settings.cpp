#include "decoder/decoder_settings.h"

namespace mpegin {

namespace {
DecoderSettings settings;  // constant-initialised, lives as long as the module
}  // namespace

DecoderSettings& decoder_settings() { return settings; }

}  // namespace mpegin
