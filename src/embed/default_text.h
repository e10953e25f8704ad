// The text of an UPSERT point when its embedding clause names no payload field.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/ast/mutation.h"

namespace zorv::embed {

// The payload keys searched, in this order, for a point's text.
inline constexpr std::array<std::string_view, 8> default_text_fields = {
    "text", "body", "content", "title", "description", "name", "summary", "document",
};

struct DefaultText {
    std::size_t position;  // of the row, counted over all rows from 0
    std::string text;

    friend bool operator==(const DefaultText&, const DefaultText&) = default;
};

// The next point at or after row `cursor` that has a text, with `cursor` moved past it; nothing
// (and `cursor` at the end) when no row is left. Placeholder rows and points without a text are
// skipped. For each key in turn, the first payload entry whose key equals it ignoring ASCII case
// decides: a non-empty string is the text, anything else moves on to the next key.
std::optional<DefaultText> next_default_text(std::span<const core::UpsertRow> rows, std::size_t& cursor);

}  // namespace zorv::embed
