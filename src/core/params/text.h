// Binding parameters straight into statement text, before it is parsed: each placeholder outside
// quoted texts and comments is replaced by the literal text of its value.
#pragma once

#include <string>
#include <string_view>

#include "core/ast/literal.h"
#include "core/error.h"

namespace zorv::core {

// A Dict binds ":name" placeholders, a List binds "?" placeholders; anything else is
// ZORV-BIND-INVALID-PARAMS. With `truncate_vectors` long numeric lists are shortened for display.
Result<std::string> bind_text_params(std::string_view text, const Literal& params, bool truncate_vectors);

// Each "?" takes the next item; items left over are ZORV-BIND-UNUSED-PARAMS.
Result<std::string> bind_positional_text(std::string_view text, const LiteralList& items);

// The statement text of one value; refuses NaN and infinities, and strings or keys holding NUL.
Result<std::string> render_literal(const Literal& value);

}  // namespace zorv::core
