#include "embed/default_text.h"

namespace zorv::embed {

namespace {

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ascii_iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

const std::string* text_of(const core::LiteralDict& payload) {
    for (const std::string_view field : default_text_fields) {
        for (const auto& [key, value] : payload) {
            if (!ascii_iequals(key, field)) continue;
            if (value.is(core::Literal::Kind::Str) && !value.as_str().empty()) return &value.as_str();
            break;  // the first entry with this key decides for it
        }
    }
    return nullptr;
}

}  // namespace

std::optional<DefaultText> next_default_text(std::span<const core::UpsertRow> rows, std::size_t& cursor) {
    while (cursor < rows.size()) {
        const std::size_t position = cursor++;
        const auto* point = std::get_if<core::UpsertRow::Point>(&rows[position].value);
        if (point == nullptr) continue;
        if (const std::string* text = text_of(point->payload)) return DefaultText{position, *text};
    }
    return std::nullopt;
}

}  // namespace zorv::embed
