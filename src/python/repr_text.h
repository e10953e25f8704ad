// Text pieces of the result reprs.
#pragma once

#include <string>
#include <string_view>

namespace zorv::python {

// Shortest decimal digits that read back to `value`, without exponent: 1.0 is "1", 0.25 "0.25";
// "NaN", "inf" and "-inf" for the non-finite values.
std::string shortest_float_text(double value);

// `text` in double quotes with \" \\ \n \r \t \0 escaped and other control or invisible
// characters as \u{hex}; other characters, non-ASCII included, as they are.
std::string debug_quoted(std::string_view text);

}  // namespace zorv::python
