#include "layer3/requantize_tables.h"

namespace mpegin {

const int32_t pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

}  // namespace mpegin
