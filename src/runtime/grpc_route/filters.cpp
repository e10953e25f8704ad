#include "runtime/grpc_route/filters.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "plan/value_json.h"
#include "plan/values.h"
#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanCondition;
using plan::PlanMatch;

constexpr auto kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr double kTwoTo63 = 9223372036854775808.0;

// Shortest digits that read back to `x`, written out in full: 2.5, 3, 100000000000000000000.
std::string plain_double_text(double x) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    std::string sci(buf, ec == std::errc{} ? end : buf);
    const auto e_pos = sci.find('e');
    const int exponent = std::stoi(sci.substr(e_pos + 1));
    std::string mantissa = sci.substr(0, e_pos);
    std::string sign;
    if (mantissa.front() == '-') {
        sign = "-";
        mantissa.erase(0, 1);
    }
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits.push_back(c);
    // The value is 0.digits × 10^(exponent + 1).
    const int point = exponent + 1;
    std::string out;
    if (point <= 0) {
        out = "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        out = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        out = digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
    }
    if (out == "0") return "0";
    return sign + out;
}

core::ZorvError float_match_error(double x) {
    return core::make_error(core::Diag::GrpcFloatMatch,
                            "float equality value " + plain_double_text(x) +
                                " cannot be represented on the gRPC path: the bundled Qdrant proto's Match has no "
                                "double field; use a RANGE filter or an exact integer value");
}

core::ZorvError match_value_error(const core::Literal& value) {
    return core::make_error(core::Diag::GrpcMatchValue, "match value " + plan::render_value_text(value) +
                                                            " cannot be represented on the gRPC path");
}

core::ZorvError list_entry_error(const core::Literal& value) {
    return core::make_error(core::Diag::GrpcListType,
                            "IN/NOT IN list entry " + plan::render_value_text(value) +
                                " cannot be represented on the gRPC path: the bundled Qdrant proto only supports "
                                "homogeneous string or int64 lists; use an exact integer value or a RANGE filter");
}

bool is_int64_float(double x) { return std::isfinite(x) && std::trunc(x) == x && x >= -kTwoTo63 && x < kTwoTo63; }

[[noreturn]] void placeholder_in_match(const core::Literal& value) {
    plan::unbound_placeholder(value.as_placeholder(), "gRPC match conversion");
}

core::Result<void> match_value_into(const core::Literal& value, qdrant::Match& out) {
    using Kind = core::Literal::Kind;
    switch (value.kind()) {
        case Kind::Str: out.set_keyword(value.as_str()); return {};
        case Kind::Int: out.set_integer(value.as_int()); return {};
        case Kind::UInt:
            if (value.as_uint() > kInt64Max)
                return std::unexpected(float_match_error(static_cast<double>(value.as_uint())));
            out.set_integer(static_cast<std::int64_t>(value.as_uint()));
            return {};
        case Kind::Float: {
            const double x = value.as_float();
            if (!std::isfinite(x)) return std::unexpected(match_value_error(value));
            if (!is_int64_float(x)) return std::unexpected(float_match_error(x));
            out.set_integer(static_cast<std::int64_t>(x));
            return {};
        }
        case Kind::Bool: out.set_boolean(value.as_bool()); return {};
        case Kind::Null:
        case Kind::Dict:
        case Kind::List:
        case Kind::F32Array: return std::unexpected(match_value_error(value));
        case Kind::Param:
        case Kind::PositionalParam: placeholder_in_match(value);
    }
    return {};
}

// One entry of a list without strings, as an int64.
core::Result<std::int64_t> in_list_entry(const core::Literal& value) {
    using Kind = core::Literal::Kind;
    switch (value.kind()) {
        case Kind::Int: return value.as_int();
        case Kind::UInt:
            if (value.as_uint() > kInt64Max)
                return core::fail(core::Diag::GrpcListInt,
                                  "integer " + std::to_string(value.as_uint()) +
                                      " in an IN/NOT IN list cannot be represented on the gRPC path: the bundled "
                                      "Qdrant proto stores match lists as int64 (max 9223372036854775807)");
            return static_cast<std::int64_t>(value.as_uint());
        case Kind::Float:
            if (is_int64_float(value.as_float())) return static_cast<std::int64_t>(value.as_float());
            return std::unexpected(list_entry_error(value));
        case Kind::Param:
        case Kind::PositionalParam: placeholder_in_match(value);
        default: return std::unexpected(list_entry_error(value));
    }
}

core::Result<void> match_list_into(const core::LiteralList& values, bool except, qdrant::Match& out) {
    const core::Literal* first_other = nullptr;
    bool any_string = false;
    for (const core::Literal& value : values) {
        if (value.is(core::Literal::Kind::Str)) any_string = true;
        else if (first_other == nullptr) first_other = &value;
    }
    if (any_string && first_other != nullptr) {
        if (first_other->is_placeholder()) placeholder_in_match(*first_other);
        return core::fail(core::Diag::GrpcListType,
                          "IN/NOT IN list mixes strings with non-string entry " +
                              plan::render_value_text(*first_other) +
                              ": the bundled Qdrant proto only supports homogeneous string or int64 lists");
    }
    if (first_other == nullptr) {
        auto* strings = except ? out.mutable_except_keywords() : out.mutable_keywords();
        strings->mutable_strings()->Reserve(static_cast<int>(values.size()));
        for (const core::Literal& value : values) strings->add_strings(value.as_str());
        return {};
    }
    auto* integers = except ? out.mutable_except_integers() : out.mutable_integers();
    integers->mutable_integers()->Reserve(static_cast<int>(values.size()));
    for (const core::Literal& value : values) {
        auto n = in_list_entry(value);
        if (!n) return std::unexpected(std::move(n).error());
        integers->add_integers(*n);
    }
    return {};
}

core::Result<void> match_into(const PlanMatch& match, qdrant::Match& out) {
    using Kind = PlanMatch::Kind;
    const auto& node = match.node;
    switch (match.kind()) {
        case Kind::Value: return match_value_into(std::get<0>(node), out);
        case Kind::Text: out.set_text(std::get<1>(node)); return {};
        case Kind::TextAny: out.set_text_any(std::get<2>(node)); return {};
        case Kind::Any: return match_list_into(std::get<3>(node), false, out);
        case Kind::Except: return match_list_into(std::get<4>(node), true, out);
        case Kind::Phrase: out.set_phrase(std::get<5>(node)); return {};
        case Kind::Prefix: out.set_prefix(std::get<6>(node)); return {};
    }
    return {};
}

// Datetime and text bounds have no place in the proto's double-only Range.
core::Result<std::optional<double>> range_bound(const std::optional<plan::PlanRangeBound>& bound) {
    using Kind = plan::PlanRangeBound::Kind;
    if (!bound) return std::nullopt;
    switch (bound->kind()) {
        case Kind::Integer: return static_cast<double>(std::get<0>(bound->value));
        case Kind::Float: return std::get<1>(bound->value);
        case Kind::Datetime:
        case Kind::Text: {
            const bool is_datetime = bound->kind() == Kind::Datetime;
            const std::string& text = is_datetime ? std::get<2>(bound->value) : std::get<3>(bound->value);
            // literal_debug gives Str("..."): keep its quoting, name the bound's kind instead.
            const std::string shown =
                (is_datetime ? "DateTime" : "Text") + core::literal_debug(core::Literal::str(text)).substr(3);
            return core::fail(core::Diag::GrpcRangeType,
                              "range bound " + shown +
                                  " cannot be represented on the gRPC path: the bundled Qdrant proto stores ranges "
                                  "as doubles; use the REST path for string or datetime bounds");
        }
    }
    return std::nullopt;
}

core::Result<void> range_into(const plan::PlanRange& range, qdrant::Range& out) {
    auto gt = range_bound(range.gt);
    if (!gt) return std::unexpected(std::move(gt).error());
    auto gte = range_bound(range.gte);
    if (!gte) return std::unexpected(std::move(gte).error());
    auto lt = range_bound(range.lt);
    if (!lt) return std::unexpected(std::move(lt).error());
    auto lte = range_bound(range.lte);
    if (!lte) return std::unexpected(std::move(lte).error());
    if (*gt) out.set_gt(**gt);
    if (*gte) out.set_gte(**gte);
    if (*lt) out.set_lt(**lt);
    if (*lte) out.set_lte(**lte);
    return {};
}

void geo_point_into(const plan::PlanGeoPoint& point, qdrant::GeoPoint& out) {
    out.set_lat(point.lat);
    out.set_lon(point.lon);
}

core::Result<void> ring_into(const std::vector<plan::PlanGeoPoint>& ring, const char* which,
                             qdrant::GeoLineString& out) {
    if (ring.size() < 3)
        return core::fail(core::Diag::GrpcGeoPolygon, std::string("geo_polygon ") + which + " ring has " +
                                                          std::to_string(ring.size()) +
                                                          " point(s); a polygon ring needs at least 3 vertices");
    out.mutable_points()->Reserve(static_cast<int>(ring.size()));
    for (const auto& point : ring) geo_point_into(point, *out.add_points());
    return {};
}

core::Result<void> polygon_into(const plan::PlanGeoPolygon& polygon, qdrant::GeoPolygon& out) {
    ZORV_CHECK(ring_into(polygon.exterior, "exterior", *out.mutable_exterior()));
    for (const auto& ring : polygon.interiors) ZORV_CHECK(ring_into(ring, "interior", *out.add_interiors()));
    return {};
}

void values_count_into(const plan::PlanValuesCount& count, qdrant::ValuesCount& out) {
    if (count.lt) out.set_lt(*count.lt);
    if (count.gt) out.set_gt(*count.gt);
    if (count.gte) out.set_gte(*count.gte);
    if (count.lte) out.set_lte(*count.lte);
}

core::Result<void> field_into(const plan::PlanFieldCondition& field, qdrant::FieldCondition& out) {
    out.set_key(field.key);
    if (field.match) ZORV_CHECK(match_into(*field.match, *out.mutable_match()));
    if (field.range) ZORV_CHECK(range_into(*field.range, *out.mutable_range()));
    if (field.geo_bounding_box) {
        auto& box = *out.mutable_geo_bounding_box();
        geo_point_into(field.geo_bounding_box->top_left, *box.mutable_top_left());
        geo_point_into(field.geo_bounding_box->bottom_right, *box.mutable_bottom_right());
    }
    if (field.geo_radius) {
        auto& radius = *out.mutable_geo_radius();
        geo_point_into(field.geo_radius->center, *radius.mutable_center());
        radius.set_radius(static_cast<float>(field.geo_radius->radius));
    }
    if (field.geo_polygon) ZORV_CHECK(polygon_into(*field.geo_polygon, *out.mutable_geo_polygon()));
    if (field.values_count) values_count_into(*field.values_count, *out.mutable_values_count());
    if (field.is_empty) out.set_is_empty(*field.is_empty);
    if (field.is_null) out.set_is_null(*field.is_null);
    return {};
}

core::Result<void> clauses_into(const plan::PlanClauses& clauses, qdrant::Filter& out) {
    ZORV_CHECK(conditions_to_proto(clauses.must, *out.mutable_must()));
    ZORV_CHECK(conditions_to_proto(clauses.must_not, *out.mutable_must_not()));
    ZORV_CHECK(conditions_to_proto(clauses.should, *out.mutable_should()));
    if (clauses.min_should) {
        auto& min_should = *out.mutable_min_should();
        ZORV_CHECK(conditions_to_proto(clauses.min_should->conditions, *min_should.mutable_conditions()));
        min_should.set_min_count(clauses.min_should->min_count);
    }
    return {};
}

core::Result<void> filter_into(const plan::PlanFilter& filter, qdrant::Filter& out) {
    if (!filter.is_single()) return clauses_into(filter.clauses(), out);
    auto condition = condition_to_proto(filter.single());
    if (!condition) return std::unexpected(std::move(condition).error());
    *out.add_must() = std::move(*condition);
    return {};
}

core::Result<void> condition_into(const PlanCondition& condition, qdrant::Condition& out) {
    using Kind = PlanCondition::Kind;
    switch (condition.kind()) {
        case Kind::Field: return field_into(*condition.get<Kind::Field>(), *out.mutable_field());
        case Kind::IsNull: out.mutable_is_null()->set_key(condition.get<Kind::IsNull>().key); return {};
        case Kind::IsEmpty: out.mutable_is_empty()->set_key(condition.get<Kind::IsEmpty>().key); return {};
        case Kind::HasId: {
            auto& ids = *out.mutable_has_id()->mutable_has_id();
            const auto& plan_ids = condition.get<Kind::HasId>().ids;
            ids.Reserve(static_cast<int>(plan_ids.size()));
            for (const auto& id : plan_ids) *ids.Add() = point_id_to_proto(id);
            return {};
        }
        case Kind::HasVector:
            out.mutable_has_vector()->set_has_vector(condition.get<Kind::HasVector>().name);
            return {};
        case Kind::Nested: {
            const auto& nested = condition.get<Kind::Nested>();
            auto& message = *out.mutable_nested();
            message.set_key(nested.key);
            return filter_into(*nested.filter, *message.mutable_filter());
        }
        case Kind::Filter: return filter_into(*condition.get<Kind::Filter>(), *out.mutable_filter());
        case Kind::Slice: {
            const auto& slice = condition.get<Kind::Slice>();
            out.mutable_slice()->set_total(static_cast<std::uint32_t>(slice.total));
            out.mutable_slice()->set_index(static_cast<std::uint32_t>(slice.index));
            return {};
        }
    }
    return {};
}

}  // namespace

core::Result<qdrant::Filter> filter_to_proto(const plan::PlanFilter& filter) {
    qdrant::Filter out;
    ZORV_CHECK(filter_into(filter, out));
    return out;
}

core::Result<qdrant::Filter> filter_clauses_to_proto(const plan::PlanClauses& clauses) {
    qdrant::Filter out;
    ZORV_CHECK(clauses_into(clauses, out));
    return out;
}

core::Result<void> conditions_to_proto(const std::vector<PlanCondition>& conditions, ProtoConditions& out) {
    out.Reserve(out.size() + static_cast<int>(conditions.size()));
    for (const PlanCondition& condition : conditions) ZORV_CHECK(condition_into(condition, *out.Add()));
    return {};
}

core::Result<qdrant::Condition> condition_to_proto(const PlanCondition& condition) {
    qdrant::Condition out;
    ZORV_CHECK(condition_into(condition, out));
    return out;
}

}  // namespace zorv::runtime::rpc
