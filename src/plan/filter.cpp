#include "plan/filter.h"

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_set>
#include <utility>

#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "core/parser/helpers.h"
#include "plan/value_json.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using core::Filter;
using Kind = core::Filter::Kind;

constexpr std::uint64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::uint64_t kSliceTotalMax = std::numeric_limits<std::uint32_t>::max();

PlanCondition field_condition(std::string key, PlanFieldCondition field) {
    field.key = std::move(key);
    return PlanCondition::field(std::move(field));
}

PlanCondition range_condition(const std::string& key, PlanRange range) {
    PlanFieldCondition field;
    field.range = std::move(range);
    return field_condition(key, std::move(field));
}

PlanCondition match_condition(const std::string& key, PlanMatch match) {
    PlanFieldCondition field;
    field.match = std::move(match);
    return field_condition(key, std::move(field));
}

core::Result<std::vector<PlanCondition>> lower_conditions(const std::vector<Filter>& operands) {
    std::vector<PlanCondition> out;
    out.reserve(operands.size());
    for (const Filter& operand : operands) out.push_back(ZORV_TRY(lower_condition(operand)));
    return out;
}

// AND, OR, NOT and MIN SHOULD: the clause set they stand for.
core::Result<PlanClauses> lower_group(const Filter& filter) {
    PlanClauses clauses;
    switch (filter.kind()) {
        case Kind::MinShould: {
            const auto& min = filter.get<Kind::MinShould>();
            if (min.min_count == 0) return core::fail(core::Diag::PlanMinShould, "MIN SHOULD requires min_count >= 1");
            clauses.min_should = PlanMinShould{ZORV_TRY(lower_conditions(min.operands)), min.min_count};
            break;
        }
        case Kind::And: clauses.must = ZORV_TRY(lower_conditions(filter.get<Kind::And>().operands)); break;
        case Kind::Or: clauses.should = ZORV_TRY(lower_conditions(filter.get<Kind::Or>().operands)); break;
        case Kind::Not: clauses.must_not.push_back(ZORV_TRY(lower_condition(*filter.get<Kind::Not>().operand))); break;
        default: break;
    }
    return clauses;
}

bool is_group(const Filter& filter) {
    return filter.is(Kind::MinShould) || filter.is(Kind::And) || filter.is(Kind::Or) || filter.is(Kind::Not);
}

core::Result<PlanCondition> lower_slice(const Filter::Slice& slice) {
    if (slice.total >= 1 && slice.total <= kSliceTotalMax && slice.index < slice.total)
        return PlanCondition{PlanCondition::Slice{slice.total, slice.index}};
    return core::fail(core::Diag::PlanSlice, "SLICE requires 1 <= total <= " + std::to_string(kSliceTotalMax) +
                                                 " and index < total, got total=" + std::to_string(slice.total) +
                                                 ", index=" + std::to_string(slice.index));
}

PlanCondition lower_values_count(const Filter::ValuesCount& count) {
    PlanValuesCount values;
    switch (count.op) {
        case core::CompareOp::Eq:
            values.gte = count.count;
            values.lte = count.count;
            break;
        case core::CompareOp::Gt: values.gt = count.count; break;
        case core::CompareOp::Gte: values.gte = count.count; break;
        case core::CompareOp::Lt: values.lt = count.count; break;
        case core::CompareOp::Lte: values.lte = count.count; break;
    }
    PlanFieldCondition field;
    field.values_count = values;
    return field_condition(count.field, std::move(field));
}

PlanGeoPoint geo_point(const core::GeoPoint& point) { return PlanGeoPoint{point.lat, point.lon}; }

std::vector<PlanGeoPoint> geo_ring(const std::vector<core::GeoPoint>& ring) {
    std::vector<PlanGeoPoint> out;
    out.reserve(ring.size());
    for (const core::GeoPoint& point : ring) out.push_back(geo_point(point));
    return out;
}

PlanCondition lower_geo_polygon(const Filter::GeoPolygon& polygon) {
    PlanGeoPolygon plan{geo_ring(polygon.exterior), {}};
    for (const auto& ring : polygon.interiors) plan.interiors.push_back(geo_ring(ring));
    PlanFieldCondition field;
    field.geo_polygon = std::move(plan);
    return field_condition(polygon.field, std::move(field));
}

PlanCondition lower_has_id(const core::PointIdPredicate& predicate) {
    if (predicate.kind() == core::PointIdPredicate::Kind::Eq)
        return PlanCondition{PlanCondition::HasId{{to_plan_point_id(std::get<0>(predicate.value))}}};
    return PlanCondition{PlanCondition::HasId{to_plan_point_ids(std::get<1>(predicate.value))}};
}

PlanCondition text_match(const std::string& key, PlanMatch::Kind kind, const std::string& text) {
    switch (kind) {
        case PlanMatch::Kind::TextAny: return match_condition(key, PlanMatch::make<PlanMatch::Kind::TextAny>(text));
        case PlanMatch::Kind::Phrase: return match_condition(key, PlanMatch::make<PlanMatch::Kind::Phrase>(text));
        case PlanMatch::Kind::Prefix: return match_condition(key, PlanMatch::make<PlanMatch::Kind::Prefix>(text));
        default: return match_condition(key, PlanMatch::make<PlanMatch::Kind::Text>(text));
    }
}

// The match list's kind of one entry, or the refusal of an entry no transport can carry.
enum class EntryKind : std::uint8_t { String, Integer };

core::Result<EntryKind> classify_entry(const core::Literal& entry) {
    switch (entry.kind()) {
        case core::Literal::Kind::Str: return EntryKind::String;
        case core::Literal::Kind::Int: return EntryKind::Integer;
        case core::Literal::Kind::UInt:
            if (entry.as_uint() <= kInt64Max) return EntryKind::Integer;
            return core::fail(core::Diag::PlanMatchType, "match list entry " + render_value_text(entry) +
                                                             " is above the int64 range match lists support; use a "
                                                             "range filter");
        default: {
            std::optional<core::Span> span;
            if (entry.is_placeholder()) span = entry.as_placeholder().span.get();
            return core::fail(core::Diag::PlanMatchType,
                              "match list entry " + render_value_text(entry) +
                                  " cannot be represented on any transport: match lists are homogeneous string or "
                                  "int64 arrays; use a range filter for floats",
                              span);
        }
    }
}

std::string dedup_key(const core::Literal& entry) {
    switch (entry.kind()) {
        case core::Literal::Kind::Str: return "s:" + entry.as_str();
        case core::Literal::Kind::Int: return "i:" + std::to_string(entry.as_int());
        default: return "i:" + std::to_string(entry.as_uint());
    }
}

}  // namespace

PlanClauses PlanFilter::to_clauses() const {
    if (!is_single()) return clauses();
    PlanClauses out;
    out.must.push_back(single());
    return out;
}

core::Result<PlanFilter> lower_where(const core::Filter& filter) {
    PlanFilter lowered = ZORV_TRY(lower_filter(filter));
    if (lowered.is_single()) return PlanFilter::of(lowered.to_clauses());
    return lowered;
}

core::Result<std::optional<PlanFilter>> lower_where(const std::optional<core::Box<core::Filter>>& filter) {
    if (!filter) return std::optional<PlanFilter>();
    return lower_where(**filter);
}

core::Result<PlanFilter> lower_filter(const core::Filter& filter) {
    if (is_group(filter)) return PlanFilter::of(ZORV_TRY(lower_group(filter)));
    return PlanFilter::of(ZORV_TRY(lower_condition(filter)));
}

core::Result<PlanCondition> lower_condition(const core::Filter& filter) {
    switch (filter.kind()) {
        case Kind::PointId: return lower_has_id(filter.get<Kind::PointId>().predicate);
        case Kind::Compare: {
            const auto& compare = filter.get<Kind::Compare>();
            return lower_match_value(compare.field, compare.op, compare.value);
        }
        case Kind::Between: {
            const auto& between = filter.get<Kind::Between>();
            PlanRange range;
            range.gte = ZORV_TRY(lower_range_bound(between.low));
            range.lte = ZORV_TRY(lower_range_bound(between.high));
            return range_condition(between.field, std::move(range));
        }
        case Kind::In: return lower_match_list(filter.get<Kind::In>().field, filter.get<Kind::In>().values, false);
        case Kind::MatchAny:
            return lower_match_list(filter.get<Kind::MatchAny>().field, filter.get<Kind::MatchAny>().values, false);
        case Kind::MatchExcept:
            return lower_match_list(filter.get<Kind::MatchExcept>().field, filter.get<Kind::MatchExcept>().values,
                                    true);
        case Kind::IsNull: return PlanCondition{PlanCondition::IsNull{filter.get<Kind::IsNull>().field}};
        case Kind::IsEmpty: return PlanCondition{PlanCondition::IsEmpty{filter.get<Kind::IsEmpty>().field}};
        case Kind::MatchText: {
            const auto& match = filter.get<Kind::MatchText>();
            return text_match(match.field, PlanMatch::Kind::Text, match.text);
        }
        case Kind::MatchTokens: {
            const auto& match = filter.get<Kind::MatchTokens>();
            return text_match(match.field, PlanMatch::Kind::TextAny, match.text);
        }
        case Kind::MatchPhrase: {
            const auto& match = filter.get<Kind::MatchPhrase>();
            return text_match(match.field, PlanMatch::Kind::Phrase, match.text);
        }
        case Kind::MatchPrefix: {
            const auto& match = filter.get<Kind::MatchPrefix>();
            return text_match(match.field, PlanMatch::Kind::Prefix, match.prefix);
        }
        case Kind::MinShould:
        case Kind::And:
        case Kind::Or:
        case Kind::Not: return PlanCondition::group(PlanFilter::of(ZORV_TRY(lower_group(filter))));
        case Kind::Nested: {
            const auto& nested = filter.get<Kind::Nested>();
            return PlanCondition{PlanCondition::Nested{nested.path, ZORV_TRY(lower_filter(*nested.filter))}};
        }
        case Kind::HasVector: return PlanCondition{PlanCondition::HasVector{filter.get<Kind::HasVector>().name}};
        case Kind::Slice: return lower_slice(filter.get<Kind::Slice>());
        case Kind::ValuesCount: return lower_values_count(filter.get<Kind::ValuesCount>());
        case Kind::GeoBoundingBox: {
            const auto& box = filter.get<Kind::GeoBoundingBox>();
            PlanFieldCondition field;
            field.geo_bounding_box = PlanGeoBoundingBox{geo_point(box.top_left), geo_point(box.bottom_right)};
            return field_condition(box.field, std::move(field));
        }
        case Kind::GeoRadius: {
            const auto& radius = filter.get<Kind::GeoRadius>();
            PlanFieldCondition field;
            field.geo_radius = PlanGeoRadius{geo_point(radius.center), radius.radius};
            return field_condition(radius.field, std::move(field));
        }
        case Kind::GeoPolygon: return lower_geo_polygon(filter.get<Kind::GeoPolygon>());
    }
    return core::fail(core::Diag::PlanUnsupported, "unknown filter kind");
}

core::Result<PlanRangeBound> lower_range_bound(const core::Literal& value) {
    ZORV_CHECK(check_finite_values(value));
    return std::visit(core::Overloaded{
                          [](const std::string& text) -> core::Result<PlanRangeBound> {
                              return core::is_datetime_literal(text) ? PlanRangeBound::datetime(text)
                                                                     : PlanRangeBound::text(text);
                          },
                          [](std::int64_t n) -> core::Result<PlanRangeBound> { return PlanRangeBound::integer(n); },
                          [](std::uint64_t n) -> core::Result<PlanRangeBound> {
                              if (n <= kInt64Max) return PlanRangeBound::integer(static_cast<std::int64_t>(n));
                              return PlanRangeBound::float64(static_cast<double>(n));
                          },
                          [](double x) -> core::Result<PlanRangeBound> { return PlanRangeBound::float64(x); },
                          [](const core::Placeholder& p) -> core::Result<PlanRangeBound> {
                              unbound_placeholder(p, "range lowering");
                          },
                          [&](const auto&) -> core::Result<PlanRangeBound> {
                              return core::fail(core::Diag::PlanRangeType,
                                                "range bound has non-scalar value " + core::literal_debug(value) +
                                                    "; expected a number, string, or datetime");
                          },
                      },
                      value.value);
}

core::Result<PlanCondition> lower_match_value(const std::string& key, core::CompareOp op, const core::Literal& value) {
    PlanRange range;
    switch (op) {
        case core::CompareOp::Gt: range.gt = ZORV_TRY(lower_range_bound(value)); return range_condition(key, range);
        case core::CompareOp::Gte: range.gte = ZORV_TRY(lower_range_bound(value)); return range_condition(key, range);
        case core::CompareOp::Lt: range.lt = ZORV_TRY(lower_range_bound(value)); return range_condition(key, range);
        case core::CompareOp::Lte: range.lte = ZORV_TRY(lower_range_bound(value)); return range_condition(key, range);
        case core::CompareOp::Eq: break;
    }
    // Float equality is a closed one-point range: Qdrant matches no floats.
    if (value.is(core::Literal::Kind::Float)) {
        range.gte = ZORV_TRY(lower_range_bound(value));
        range.lte = range.gte;
        return range_condition(key, std::move(range));
    }
    if (value.is(core::Literal::Kind::UInt) && value.as_uint() > kInt64Max)
        return core::fail(core::Diag::PlanMatchType, "match value " + render_value_text(value) +
                                                         " is above the int64 range match values support; use a "
                                                         "range filter");
    return match_condition(key, PlanMatch::make<PlanMatch::Kind::Value>(value));
}

core::Result<PlanCondition> lower_match_list(const std::string& key, const core::LiteralList& values, bool except) {
    std::optional<EntryKind> list_kind;
    std::unordered_set<std::string> seen;
    core::LiteralList kept;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const core::Literal& entry = values[i];
        const EntryKind kind = ZORV_TRY(classify_entry(entry));
        if (!list_kind) list_kind = kind;
        if (kind != *list_kind)
            return core::fail(core::Diag::PlanMatchType, "match list mixes strings and integers at entry " +
                                                             std::to_string(i + 1) + " (" + render_value_text(entry) +
                                                             "): match lists must be all strings or all integers");
        if (seen.insert(dedup_key(entry)).second) kept.push_back(entry);
    }
    if (except) return match_condition(key, PlanMatch::make<PlanMatch::Kind::Except>(std::move(kept)));
    return match_condition(key, PlanMatch::make<PlanMatch::Kind::Any>(std::move(kept)));
}

std::vector<PlanPointId> to_plan_point_ids(const std::vector<core::PointId>& ids) {
    std::vector<PlanPointId> out;
    out.reserve(ids.size());
    for (const core::PointId& id : ids) out.push_back(to_plan_point_id(id));
    return out;
}

std::optional<PlanFilter> and_filters(std::optional<PlanFilter> first, std::optional<PlanFilter> second) {
    if (!first) return second;
    if (!second) return first;
    auto as_condition = [](PlanFilter filter) {
        if (filter.is_single()) return std::get<0>(std::move(filter.node));
        return PlanCondition::group(std::move(filter));
    };
    PlanClauses clauses;
    clauses.must.push_back(as_condition(std::move(*first)));
    clauses.must.push_back(as_condition(std::move(*second)));
    return PlanFilter::of(std::move(clauses));
}

}  // namespace zorv::plan
