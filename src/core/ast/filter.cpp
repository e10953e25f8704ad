#include "core/ast/filter.h"

#include <array>

namespace zorv::core {

std::string_view compare_op_name(CompareOp op) {
    static constexpr std::array<std::string_view, 5> names = {"Eq", "Gt", "Gte", "Lt", "Lte"};
    return names[static_cast<std::size_t>(op)];
}

std::string_view filter_kind_name(Filter::Kind kind) {
    static constexpr std::array<std::string_view, 23> names = {
        "PointId",   "Compare",     "Between",     "In",          "IsNull",      "IsEmpty",     "MatchText",
        "MatchAny",  "MatchPhrase", "MatchPrefix", "MatchTokens", "MatchExcept", "MinShould",   "And",
        "Or",        "Not",         "Nested",      "HasVector",   "Slice",       "ValuesCount", "GeoBoundingBox",
        "GeoRadius", "GeoPolygon"};
    return names[static_cast<std::size_t>(kind)];
}

Filter negate_filter(Filter filter) { return Filter{Filter::Not{Box<Filter>(std::move(filter))}}; }

PointSelector filter_to_point_selector(Filter filter) {
    if (auto* ids = std::get_if<Filter::PointId>(&filter.node)) {
        PointIdPredicate& predicate = ids->predicate;
        if (predicate.kind() == PointIdPredicate::Kind::Eq) {
            return PointSelector{PointSelector::Value(std::in_place_index<0>, std::move(std::get<0>(predicate.value)))};
        }
        return PointSelector{PointSelector::Value(std::in_place_index<1>, std::move(std::get<1>(predicate.value)))};
    }
    return PointSelector{PointSelector::Value(std::in_place_index<2>, Box<Filter>(std::move(filter)))};
}

}  // namespace zorv::core
