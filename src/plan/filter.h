// The transport-neutral filter that plan operations carry, and its lowering from the statement's
// filter tree. Both transports read the same PlanFilter, so every representability check happens
// here, once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/ast/filter.h"
#include "core/ast/literal.h"
#include "core/error.h"

namespace zorv::plan {

// The same alias as in plan_op.h, which includes this header for its filters.
using PlanPointId = std::variant<std::uint64_t, std::string>;

struct PlanGeoPoint {
    double lat = 0.0;
    double lon = 0.0;
    friend bool operator==(const PlanGeoPoint&, const PlanGeoPoint&) = default;
};

struct PlanGeoBoundingBox {
    PlanGeoPoint top_left;
    PlanGeoPoint bottom_right;
    friend bool operator==(const PlanGeoBoundingBox&, const PlanGeoBoundingBox&) = default;
};

struct PlanGeoRadius {
    PlanGeoPoint center;
    double radius = 0.0;
    friend bool operator==(const PlanGeoRadius&, const PlanGeoRadius&) = default;
};

struct PlanGeoPolygon {
    std::vector<PlanGeoPoint> exterior;
    std::vector<std::vector<PlanGeoPoint>> interiors;
    friend bool operator==(const PlanGeoPolygon&, const PlanGeoPolygon&) = default;
};

// One bound of a range: a signed integer, a float, a datetime text or any other text.
struct PlanRangeBound {
    enum class Kind : std::uint8_t { Integer, Float, Datetime, Text };
    using Value = std::variant<std::int64_t, double, std::string, std::string>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    static PlanRangeBound integer(std::int64_t n) { return {Value(std::in_place_index<0>, n)}; }
    static PlanRangeBound float64(double x) { return {Value(std::in_place_index<1>, x)}; }
    static PlanRangeBound datetime(std::string s) { return {Value(std::in_place_index<2>, std::move(s))}; }
    static PlanRangeBound text(std::string s) { return {Value(std::in_place_index<3>, std::move(s))}; }
    friend bool operator==(const PlanRangeBound&, const PlanRangeBound&) = default;
};

struct PlanRange {
    std::optional<PlanRangeBound> gt;
    std::optional<PlanRangeBound> gte;
    std::optional<PlanRangeBound> lt;
    std::optional<PlanRangeBound> lte;
    friend bool operator==(const PlanRange&, const PlanRange&) = default;
};

struct PlanValuesCount {
    std::optional<std::uint64_t> lt;
    std::optional<std::uint64_t> gt;
    std::optional<std::uint64_t> gte;
    std::optional<std::uint64_t> lte;
    friend bool operator==(const PlanValuesCount&, const PlanValuesCount&) = default;
};

// The variant index is the kind; kinds that share a type are built by index (see the makers).
struct PlanMatch {
    enum class Kind : std::uint8_t { Value, Text, TextAny, Any, Except, Phrase, Prefix };
    using Node = std::variant<core::Literal, std::string, std::string, core::LiteralList, core::LiteralList,
                              std::string, std::string>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    template <Kind K, class T>
    static PlanMatch make(T&& value) {
        return PlanMatch{Node(std::in_place_index<static_cast<std::size_t>(K)>, std::forward<T>(value))};
    }
    friend bool operator==(const PlanMatch&, const PlanMatch&) = default;
};

// A condition on one payload key; each lowering sets exactly one of the optional members.
struct PlanFieldCondition {
    std::string key;
    std::optional<PlanMatch> match;
    std::optional<PlanRange> range;
    std::optional<PlanGeoBoundingBox> geo_bounding_box;
    std::optional<PlanGeoRadius> geo_radius;
    std::optional<PlanGeoPolygon> geo_polygon;
    std::optional<PlanValuesCount> values_count;
    std::optional<bool> is_empty;
    std::optional<bool> is_null;
    friend bool operator==(const PlanFieldCondition&, const PlanFieldCondition&) = default;
};

struct PlanFilter;

struct PlanCondition {
    enum class Kind : std::uint8_t { Field, IsNull, IsEmpty, HasId, HasVector, Nested, Filter, Slice };

    struct IsNull {
        std::string key;
        friend bool operator==(const IsNull&, const IsNull&) = default;
    };
    struct IsEmpty {
        std::string key;
        friend bool operator==(const IsEmpty&, const IsEmpty&) = default;
    };
    struct HasId {
        std::vector<PlanPointId> ids;
        friend bool operator==(const HasId&, const HasId&) = default;
    };
    struct HasVector {
        std::string name;
        friend bool operator==(const HasVector&, const HasVector&) = default;
    };
    // The inner filter may be the single form.
    struct Nested {
        std::string key;
        core::Box<PlanFilter> filter;
        friend bool operator==(const Nested&, const Nested&) = default;
    };
    struct Slice {
        std::uint64_t total = 1;
        std::uint64_t index = 0;
        friend bool operator==(const Slice&, const Slice&) = default;
    };

    // Filter: a clause set used as one condition (a nested AND, OR, NOT or MIN SHOULD group).
    using Node = std::variant<core::Box<PlanFieldCondition>, IsNull, IsEmpty, HasId, HasVector, Nested,
                              core::Box<PlanFilter>, Slice>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    static PlanCondition field(PlanFieldCondition field) {
        return PlanCondition{Node(std::in_place_index<0>, std::move(field))};
    }
    static PlanCondition group(PlanFilter filter);

    friend bool operator==(const PlanCondition&, const PlanCondition&) = default;
};

struct PlanMinShould {
    std::vector<PlanCondition> conditions;
    std::uint64_t min_count = 1;
    friend bool operator==(const PlanMinShould&, const PlanMinShould&) = default;
};

// An empty list means the filter has no clause of that kind.
struct PlanClauses {
    std::vector<PlanCondition> must;
    std::vector<PlanCondition> must_not;
    std::vector<PlanCondition> should;
    std::optional<PlanMinShould> min_should;
    friend bool operator==(const PlanClauses&, const PlanClauses&) = default;
};

// Either one condition (only inside a nested condition or a formula) or a clause set (every
// filter an operation carries at its top level).
struct PlanFilter {
    std::variant<PlanCondition, PlanClauses> node;

    bool is_single() const { return node.index() == 0; }
    const PlanCondition& single() const { return std::get<0>(node); }
    const PlanClauses& clauses() const { return std::get<1>(node); }
    static PlanFilter of(PlanCondition condition) { return PlanFilter{std::move(condition)}; }
    static PlanFilter of(PlanClauses clauses) { return PlanFilter{std::move(clauses)}; }
    // The clause set itself, or {must: [the one condition]}.
    PlanClauses to_clauses() const;

    friend bool operator==(const PlanFilter&, const PlanFilter&) = default;
};

inline PlanCondition PlanCondition::group(PlanFilter filter) {
    return PlanCondition{Node(std::in_place_index<6>, std::move(filter))};
}

// A WHERE clause: always a clause set, a single condition going into `must`.
core::Result<PlanFilter> lower_where(const core::Filter& filter);
// The same for an optional WHERE; absent stays absent.
core::Result<std::optional<PlanFilter>> lower_where(const std::optional<core::Box<core::Filter>>& filter);
// AND, OR, NOT and MIN SHOULD give a clause set; any other node the single form.
core::Result<PlanFilter> lower_filter(const core::Filter& filter);
core::Result<PlanCondition> lower_condition(const core::Filter& filter);
core::Result<PlanRangeBound> lower_range_bound(const core::Literal& value);
// A comparison: an equality becomes a match, except on floats (a one-point range); the other
// operators become a one-sided range.
core::Result<PlanCondition> lower_match_value(const std::string& key, core::CompareOp op, const core::Literal& value);
// IN, MATCH ANY and MATCH EXCEPT: all strings or all int64, first occurrences kept.
core::Result<PlanCondition> lower_match_list(const std::string& key, const core::LiteralList& values, bool except);
std::vector<PlanPointId> to_plan_point_ids(const std::vector<core::PointId>& ids);
// Both present: {must: [first, second]}, a clause set entering as one Filter condition.
std::optional<PlanFilter> and_filters(std::optional<PlanFilter> first, std::optional<PlanFilter> second);

}  // namespace zorv::plan
