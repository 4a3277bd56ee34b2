// Where the POSIX private profile files live (the calls are in platform/platform.h).
#pragma once

#include <string>

namespace mpegin::platform::posix {

// A name without a '/' lives in $XDG_CONFIG_HOME (default ~/.config); other names are used
// as given.
std::string profile_path(const char* file_name);

}  // namespace mpegin::platform::posix
