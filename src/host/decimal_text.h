// Decimal numbers read from text the way the C++ library's from_chars reads a double, with
// plain arithmetic: that conversion would link the maths library, whose loading costs a few
// hundred KiB of resident memory.
#pragma once

namespace mpegin {

// Reads "[-](digits[.digits] | .digits)[(e|E)[+|-]digits]", "[-]inf[inity]" or "[-]nan[(...)]"
// (letters in any case) from the start of [first, last). Returns the number, the infinity of
// its sign when it is too large for a double and 0 of its sign when too small, and sets `end`
// behind what was read; without a number at the start, returns 0 and sets `end` to first.
// Rounded from 19 significant digits in extended precision: within an ulp of the double
// nearest to the text.
double read_decimal(const char* first, const char* last, const char*& end);

}  // namespace mpegin
