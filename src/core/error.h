// The one failure record of the library, and the result type every layer returns.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorv::core {

struct Span {
    std::uint64_t start = 0;
    std::uint64_t end = 0;

    friend bool operator==(const Span&, const Span&) = default;
};

// "Span { start: 3, end: 7 }"
std::string span_debug(const Span& span);

enum class ErrorKind : std::uint8_t {
    Lex = 0,
    Parse = 1,
    Validation = 2,
    Execution = 3,
    Transport = 4,
    Backend = 5,
};

std::string_view error_kind_name(ErrorKind kind);

struct ZorvError {
    std::optional<Span> span;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string code;
    std::string message;
    std::unique_ptr<ZorvError> cause;
    ErrorKind kind = ErrorKind::Parse;

    ZorvError() = default;
    ZorvError(std::string code_, std::string message_, ErrorKind kind_, std::optional<Span> span_ = std::nullopt)
        : span(span_), code(std::move(code_)), message(std::move(message_)), kind(kind_) {}
    ZorvError(ZorvError&&) noexcept = default;
    ZorvError& operator=(ZorvError&&) noexcept = default;
    ZorvError(const ZorvError& other);
    ZorvError& operator=(const ZorvError& other);

    ZorvError& add_field(std::string key, std::string value) {
        fields.emplace_back(std::move(key), std::move(value));
        return *this;
    }
    ZorvError& set_cause(ZorvError inner) {
        cause = std::make_unique<ZorvError>(std::move(inner));
        return *this;
    }
};

// "[CODE] message at 3..7 {key: value}\n  caused by: ..."
std::string format_error(const ZorvError& error);
void format_error_into(std::string& out, const ZorvError& error);

template <class T>
using Result = std::expected<T, ZorvError>;

}  // namespace zorv::core

// Unwraps a Result<T>, returning its error from the enclosing function on failure.
#define ZORV_TRY(expr) \
    ({ \
        auto&& zorv_try_result_ = (expr); \
        if (!zorv_try_result_) [[unlikely]] \
            return std::unexpected(std::move(zorv_try_result_).error()); \
        std::move(*zorv_try_result_); \
    })

// Same for Result<void>.
#define ZORV_CHECK(expr) \
    do { \
        auto&& zorv_check_result_ = (expr); \
        if (!zorv_check_result_) [[unlikely]] \
            return std::unexpected(std::move(zorv_check_result_).error()); \
    } while (0)
