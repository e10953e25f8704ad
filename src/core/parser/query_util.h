// Small helpers shared by the QUERY readers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/parser/helpers.h"
#include "core/parser/parser.h"
#include "core/text.h"

namespace zorv::core::query_detail {

inline std::unexpected<ZorvError> validation_error(const char* code, std::string message, Span span) {
    return fail(code, std::move(message), ErrorKind::Validation, span);
}

// ":name" or "?N" kept as text; nothing (and nothing consumed) for any other token. A ":" not
// followed by a name fails as a placeholder would anywhere else.
inline Result<std::optional<PlaceholderRef>> read_placeholder_text(Parser& parser) {
    if (parser.check(TokenKind::Colon)) {
        const Span colon = parser.peek_token().span;
        std::string name = ZORV_TRY(parser.parse_param());
        return PlaceholderRef{":" + name, Span{colon.start, parser.previous().span.end}};
    }
    return parse_placeholder_ref(parser);
}

}  // namespace zorv::core::query_detail
