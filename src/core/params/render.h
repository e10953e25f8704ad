// Display form of statement text: long numeric list literals shortened to a few numbers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorv::core {

// Every numeric list literal with more than `keep` numbers becomes
// "[first, second, ... (N dims)]"; quoted texts, comments and everything else are copied.
// One pass: linear in the text length whatever the nesting.
std::string truncate_vector_literals(std::string_view text, std::size_t keep);

}  // namespace zorv::core
