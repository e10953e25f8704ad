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

}  // namespace zorv::core::query_detail
