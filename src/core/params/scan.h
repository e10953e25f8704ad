// What placeholders a statement still holds, the gates that refuse unbound ones before planning,
// and the text binder's skip step over quoted text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ast/statement.h"
#include "core/error.h"

namespace zorv::core {

// The placeholders of one statement. Structural slots (UPSERT rows, whole vectors, a query input
// that is a placeholder, shard keys) are bound later by a prepared template, so they count only
// in `first_unbound`; every other slot is a value slot and counts in both errors.
struct PlaceholderSet {
    std::optional<ZorvError> first_unbound;
    std::optional<ZorvError> first_unbound_value;
    std::set<std::string> named;  // without the ':', byte order
    std::uint64_t positional_count = 0;
    bool has_row_placeholder = false;
};

PlaceholderSet scan_placeholders(const Statement& statement);

struct PlaceholderNames {
    std::set<std::string> named;
    std::uint64_t positional_count = 0;
};
PlaceholderNames placeholder_names(const Statement& statement);

// Refuses any placeholder left in the statement (ZORV-BIND-MISSING-PARAM).
Result<void> ensure_fully_bound(const Statement& statement);
// Refuses only placeholders in value slots: for templates whose rows, vectors and shard key are
// bound later.
Result<void> check_placeholders(const Statement& statement);

// The end of the quoted region that opens at `p` (just past its closing delimiter, or the text's
// end when it is not closed), or nullopt when none opens there. Regions open exactly where the
// lexer would read a STRING token: an `r` opens a raw region only where it starts a token, not
// inside a word such as `bar'x'`.
std::optional<std::size_t> scan_placeholder_text(std::string_view text, std::size_t p);

// The [start, end) of every quoted region the text binder steps over, outside "--" comments.
std::vector<std::pair<std::size_t, std::size_t>> placeholder_text_regions(std::string_view text);

}  // namespace zorv::core
