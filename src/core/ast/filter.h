// The filter tree written after WHERE, and the point selector of DELETE-type statements.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/literal.h"

namespace zorv::core {

// "!=" has no member of its own: it is Not around an Eq comparison.
enum class CompareOp : std::uint8_t { Eq, Gt, Gte, Lt, Lte };

// "Eq", "Gt", ...
std::string_view compare_op_name(CompareOp op);

// Finite, latitude within [-90, 90] and longitude within [-180, 180] when built by the parser.
struct GeoPoint {
    double lat = 0.0;
    double lon = 0.0;
    friend bool operator==(const GeoPoint&, const GeoPoint&) = default;
};

// A predicate on the point id: one id, or a (non-empty) list of ids.
struct PointIdPredicate {
    enum class Kind : std::uint8_t { Eq, In };
    using Value = std::variant<PointId, std::vector<PointId>>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    static PointIdPredicate eq(PointId id) { return PointIdPredicate{Value(std::in_place_index<0>, std::move(id))}; }
    static PointIdPredicate in(std::vector<PointId> ids) {
        return PointIdPredicate{Value(std::in_place_index<1>, std::move(ids))};
    }
    friend bool operator==(const PointIdPredicate&, const PointIdPredicate&) = default;
};

// A node owns its children; copying a Filter copies the whole tree.
// The variant index is the kind; walkers switch over kind() or std::visit the node.
struct Filter {
    enum class Kind : std::uint8_t {
        PointId,
        Compare,
        Between,
        In,
        IsNull,
        IsEmpty,
        MatchText,
        MatchAny,
        MatchPhrase,
        MatchPrefix,
        MatchTokens,
        MatchExcept,
        MinShould,
        And,
        Or,
        Not,
        Nested,
        HasVector,
        Slice,
        ValuesCount,
        GeoBoundingBox,
        GeoRadius,
        GeoPolygon,
    };

    struct PointId {
        PointIdPredicate predicate;
        friend bool operator==(const PointId&, const PointId&) = default;
    };
    struct Compare {
        std::string field;
        CompareOp op = CompareOp::Eq;
        Literal value;
        friend bool operator==(const Compare&, const Compare&) = default;
    };
    struct Between {
        std::string field;
        Literal low;
        Literal high;
        friend bool operator==(const Between&, const Between&) = default;
    };
    struct In {
        std::string field;
        LiteralList values;
        friend bool operator==(const In&, const In&) = default;
    };
    struct IsNull {
        std::string field;
        friend bool operator==(const IsNull&, const IsNull&) = default;
    };
    struct IsEmpty {
        std::string field;
        friend bool operator==(const IsEmpty&, const IsEmpty&) = default;
    };
    struct MatchText {
        std::string field;
        std::string text;
        friend bool operator==(const MatchText&, const MatchText&) = default;
    };
    struct MatchAny {
        std::string field;
        LiteralList values;
        friend bool operator==(const MatchAny&, const MatchAny&) = default;
    };
    struct MatchPhrase {
        std::string field;
        std::string text;
        friend bool operator==(const MatchPhrase&, const MatchPhrase&) = default;
    };
    struct MatchPrefix {
        std::string field;
        std::string prefix;
        friend bool operator==(const MatchPrefix&, const MatchPrefix&) = default;
    };
    struct MatchTokens {
        std::string field;
        std::string text;
        friend bool operator==(const MatchTokens&, const MatchTokens&) = default;
    };
    struct MatchExcept {
        std::string field;
        LiteralList values;
        friend bool operator==(const MatchExcept&, const MatchExcept&) = default;
    };
    struct MinShould {
        std::uint64_t min_count = 1;
        std::vector<Filter> operands;
        friend bool operator==(const MinShould&, const MinShould&) = default;
    };
    struct And {
        std::vector<Filter> operands;
        friend bool operator==(const And&, const And&) = default;
    };
    struct Or {
        std::vector<Filter> operands;
        friend bool operator==(const Or&, const Or&) = default;
    };
    struct Not {
        Box<Filter> operand;
        friend bool operator==(const Not&, const Not&) = default;
    };
    struct Nested {
        std::string path;
        Box<Filter> filter;
        friend bool operator==(const Nested&, const Nested&) = default;
    };
    struct HasVector {
        std::string name;
        friend bool operator==(const HasVector&, const HasVector&) = default;
    };
    struct Slice {
        std::uint64_t total = 1;
        std::uint64_t index = 0;
        friend bool operator==(const Slice&, const Slice&) = default;
    };
    struct ValuesCount {
        std::string field;
        CompareOp op = CompareOp::Eq;
        std::uint64_t count = 0;
        friend bool operator==(const ValuesCount&, const ValuesCount&) = default;
    };
    struct GeoBoundingBox {
        std::string field;
        GeoPoint top_left;
        GeoPoint bottom_right;
        friend bool operator==(const GeoBoundingBox&, const GeoBoundingBox&) = default;
    };
    struct GeoRadius {
        std::string field;
        GeoPoint center;
        double radius = 0.0;
        friend bool operator==(const GeoRadius&, const GeoRadius&) = default;
    };
    struct GeoPolygon {
        std::string field;
        std::vector<GeoPoint> exterior;
        std::vector<std::vector<GeoPoint>> interiors;
        friend bool operator==(const GeoPolygon&, const GeoPolygon&) = default;
    };

    using Node = std::variant<PointId, Compare, Between, In, IsNull, IsEmpty, MatchText, MatchAny, MatchPhrase,
                              MatchPrefix, MatchTokens, MatchExcept, MinShould, And, Or, Not, Nested, HasVector, Slice,
                              ValuesCount, GeoBoundingBox, GeoRadius, GeoPolygon>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    bool is(Kind k) const { return kind() == k; }

    template <Kind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }

    friend bool operator==(const Filter&, const Filter&) = default;
};

static_assert(std::variant_size_v<Filter::Node> == 23);

// The variant name ("PointId", "Compare", ...), also the key of the statement JSON.
std::string_view filter_kind_name(Filter::Kind kind);

// Not around the given filter; "!=", NOT IN and IS NOT build their nodes this way.
Filter negate_filter(Filter filter);

// Copies everything, spans of placeholders included; the copy shares nothing with its source.
inline Filter clone_filter(const Filter& filter) { return filter; }

// The points a DELETE, CLEAR PAYLOAD or UPDATE statement touches.
struct PointSelector {
    enum class Kind : std::uint8_t { Id, Ids, Filter };
    using Value = std::variant<PointId, std::vector<PointId>, Box<zorv::core::Filter>>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    friend bool operator==(const PointSelector&, const PointSelector&) = default;
};

// id = x gives Id, id IN (...) gives Ids; every other filter (NOT id = x, id = x AND ...) keeps the tree.
PointSelector filter_to_point_selector(Filter filter);

}  // namespace zorv::core
