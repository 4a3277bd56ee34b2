// The decimal text of a decibel value as the options dialog shows it: no exponent, at most
// nine fractional digits, no trailing zeros, no digit before the point of a value below 1
// ("-.5"), and "0" for every value that rounds to zero at nine decimals (never an empty text,
// never "-0").
#pragma once

#include <cstddef>

namespace mpegin {

// Writes at most capacity bytes including the NUL (capacity > 0).
void format_decibels(char* text, std::size_t capacity, double value);

}  // namespace mpegin
