// Hand-written replies for the decoder tables: parsed documents and the expected failures.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "core/error.h"
#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest::test_support {

inline JsonDocument parse(std::string_view text) {
    auto parsed = parse_json_text(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    if (!parsed) return *parse_json_text("null");
    return std::move(*parsed);
}

// A decoder failure: code, kind and message, with no span, fields or cause.
template <class T>
void expect_failure(const core::Result<T>& result, std::string_view code, core::ErrorKind kind,
                    std::string_view message) {
    ASSERT_FALSE(result.has_value()) << "expected " << message;
    const core::ZorvError& error = result.error();
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.kind, kind);
    EXPECT_EQ(error.message, message);
    EXPECT_FALSE(error.span);
    EXPECT_TRUE(error.fields.empty());
    EXPECT_EQ(error.cause, nullptr);
}

template <class T>
void expect_envelope_error(const core::Result<T>& result, std::string_view message) {
    expect_failure(result, "ZORV-BACKEND-ENVELOPE", core::ErrorKind::Backend, message);
}

// One decoder input that must fail with ZORV-BACKEND-ENVELOPE and this message.
struct FailCase {
    std::string json;
    std::string message;
};

inline void PrintTo(const FailCase& c, std::ostream* os) { *os << c.json; }

}  // namespace zorv::runtime::rest::test_support
