// Reply bodies as text: every invalid UTF-8 sequence replaced, and the bounded excerpt that
// failure messages quote.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorv::runtime::rest {

inline constexpr std::size_t excerpt_limit = 4096;

// Valid UTF-8 with each maximal invalid subpart replaced by U+FFFD. Valid text is returned as is.
std::string to_valid_utf8(std::string bytes);

// At most `limit` bytes of valid UTF-8 text, ending on a character boundary.
std::string_view excerpt(std::string_view text, std::size_t limit = excerpt_limit);

}  // namespace zorv::runtime::rest
