// Source positions inside trees, and the one record of a placeholder (":name" or "?").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "core/error.h"

namespace zorv::core {

// Where a tree node was written, when it was parsed from text. Always compares equal, so that
// `==` on trees means "same statement" whatever the layout of the text.
class SourceSpan {
public:
    SourceSpan() = default;
    SourceSpan(std::nullopt_t) {}                          // NOLINT: implicit on purpose
    SourceSpan(Span span) : span_(span) {}                 // NOLINT: implicit on purpose
    SourceSpan(std::optional<Span> span) : span_(span) {}  // NOLINT: implicit on purpose

    const std::optional<Span>& get() const { return span_; }
    bool has_value() const { return span_.has_value(); }
    explicit operator bool() const { return span_.has_value(); }
    const Span& operator*() const { return *span_; }
    const Span* operator->() const { return &*span_; }

    friend bool operator==(const SourceSpan&, const SourceSpan&) { return true; }
    // Comparing with a bare span would always succeed through the conversion: compare get().
    friend bool operator==(const SourceSpan&, const Span&) = delete;
    friend bool operator==(const SourceSpan&, const std::optional<Span>&) = delete;
    friend bool operator==(const SourceSpan&, std::nullopt_t) = delete;

private:
    std::optional<Span> span_;
};

// A ":name" or "?" placeholder in any slot that takes one. The span covers ":" through the name,
// or the "?" itself; positional indexes count from 0 across one parse call.
struct Placeholder {
    enum class Kind : std::uint8_t { Named, Positional };

    Kind kind = Kind::Named;
    std::string name;         // named only, without the ':'
    std::uint64_t index = 0;  // positional only
    SourceSpan span;

    static Placeholder named(std::string name, SourceSpan span = {}) {
        return Placeholder{Kind::Named, std::move(name), 0, span};
    }
    static Placeholder positional(std::uint64_t index, SourceSpan span = {}) {
        return Placeholder{Kind::Positional, std::string(), index, span};
    }

    bool is_named() const { return kind == Kind::Named; }
    bool is_positional() const { return kind == Kind::Positional; }
    // ":name" or "?N": tells placeholders apart in messages and tables.
    std::string text() const { return is_named() ? ":" + name : "?" + std::to_string(index); }

    friend bool operator==(const Placeholder&, const Placeholder&) = default;
};

// The kind of a value whose last alternative is a Placeholder: that index (Param) for a named
// placeholder, the next one (PositionalParam) for a positional one, the variant index otherwise.
template <class Kind, class Variant>
Kind kind_with_placeholder(const Variant& value) {
    constexpr std::size_t last = std::variant_size_v<Variant> - 1;
    static_assert(std::is_same_v<std::variant_alternative_t<last, Variant>, Placeholder>);
    const std::size_t index = value.index();
    if (index == last && std::get<last>(value).is_positional()) return static_cast<Kind>(last + 1);
    return static_cast<Kind>(index);
}

}  // namespace zorv::core
