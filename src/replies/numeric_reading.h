#pragma once

#include <string_view>

namespace vx37 {

// Reads the number a text begins with, after deleting every blank, tab and line feed:
// an optional sign, decimal digits with an optional decimal point and an optional
// exponent (E or D, either case, an optional sign, digits); or &H / &O (either case)
// followed by a hexadecimal or octal integer, read as an unsigned value. Reading stops
// at the first character that cannot continue the number; a text that begins with no
// number reads as 0. A value too large for a double reads as +/- infinity.
double readLeadingNumber(std::string_view text);

// Rounds to the nearest integer, a half going to the even neighbour.
double roundHalfEven(double value);

} // namespace vx37
