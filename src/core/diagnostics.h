// The diagnostic catalogue: every error code is a Diag, and its code text and kind come from
// diagnostics.def, so a raise site names the Diag alone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"

namespace zorv::core {

enum class Diag : std::uint16_t {
#define ZORV_DIAG(name, code, kind) name,
#include "core/diagnostics.def"
#undef ZORV_DIAG
};

struct DiagInfo {
    std::string_view code;
    ErrorKind kind;
};

inline constexpr std::array diag_table = {
#define ZORV_DIAG(name, code, kind) DiagInfo{code, ErrorKind::kind},
#include "core/diagnostics.def"
#undef ZORV_DIAG
};

constexpr std::string_view diag_code(Diag diag) { return diag_table[static_cast<std::size_t>(diag)].code; }
constexpr ErrorKind diag_kind(Diag diag) { return diag_table[static_cast<std::size_t>(diag)].kind; }

inline ZorvError make_error(Diag diag, std::string message, std::optional<Span> span = std::nullopt) {
    return ZorvError(std::string(diag_code(diag)), std::move(message), diag_kind(diag), span);
}

inline std::unexpected<ZorvError> fail(Diag diag, std::string message, std::optional<Span> span = std::nullopt) {
    return std::unexpected<ZorvError>(make_error(diag, std::move(message), span));
}

}  // namespace zorv::core
