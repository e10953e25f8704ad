// The key that decides which operations may share one batch request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "core/ast/search.h"

namespace zorv::plan {

// Equality is plain member equality: collection names compare byte for byte, an absent timeout
// or consistency only equals an absent one, and a query key never equals a mutation key.
struct BatchKey {
    struct Query {
        std::optional<std::uint64_t> timeout;  // whole seconds
        std::optional<core::Consistency> consistency;
        std::string collection;
        friend bool operator==(const Query&, const Query&) = default;
    };
    struct Mutation {
        std::string collection;
        bool wait = true;
        friend bool operator==(const Mutation&, const Mutation&) = default;
    };
    std::variant<Query, Mutation> value;

    bool is_query() const { return value.index() == 0; }
    const std::string& collection() const {
        return is_query() ? std::get<Query>(value).collection : std::get<Mutation>(value).collection;
    }
    friend bool operator==(const BatchKey&, const BatchKey&) = default;
};

}  // namespace zorv::plan
