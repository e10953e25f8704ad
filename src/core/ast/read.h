// The read statements other than QUERY: SCROLL, COUNT and FACET.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/ast/filter.h"
#include "core/ast/literal.h"
#include "core/ast/placeholder.h"
#include "core/ast/search.h"
#include "core/error.h"

namespace zorv::core {

// ORDER BY field [ASC|DESC] [START FROM value] of SCROLL.
struct OrderClause {
    std::string field;
    OrderDirection direction = OrderDirection::Asc;
    std::optional<Literal> start_from;
    friend bool operator==(const OrderClause&, const OrderClause&) = default;
};

// A placeholder LIMIT leaves `limit` absent and keeps the placeholder until binding replaces it,
// as the QUERY page does.
struct Scroll {
    std::string collection;
    std::optional<std::uint64_t> limit;  // at least 1
    std::optional<Box<Filter>> filter;
    std::optional<PointId> after;
    std::optional<OrderClause> order_by;
    std::optional<ShardKey> shard_key;
    std::optional<PayloadSelector> with_payload;
    std::optional<VectorSelector> with_vector;
    std::optional<Placeholder> limit_param;
    friend bool operator==(const Scroll&, const Scroll&) = default;
};

struct Count {
    CollectionRef collection;  // the parser always names one
    std::optional<Box<Filter>> filter;
    std::optional<ShardKey> shard_key;
    std::optional<bool> exact;
    friend bool operator==(const Count&, const Count&) = default;
};

struct Facet {
    std::string key;  // the payload key whose values are counted
    CollectionRef collection;
    std::optional<Box<Filter>> filter;
    std::optional<std::uint64_t> limit;  // at least 1
    std::optional<bool> exact;
    std::optional<ShardKey> shard_key;
    std::optional<Placeholder> limit_param;
    friend bool operator==(const Facet&, const Facet&) = default;
};

}  // namespace zorv::core
