#include "plan/upsert.h"

#include <utility>

#include "core/overloaded.h"
#include "plan/filter.h"
#include "plan/scroll.h"
#include "plan/value_json.h"
#include "plan/values.h"

namespace zorv::plan {

core::Result<void> check_finite_payload(const PlanPayload& payload) {
    for (const core::LiteralEntry& entry : payload) ZORV_CHECK(check_finite_values(entry.second));
    return {};
}

core::Result<void> check_finite_vector(const PlanVector& vector) {
    switch (vector.kind()) {
        case PlanVector::Kind::Document:
            return check_finite_payload(std::get<core::VectorValue::Document>(vector.value).options);
        case PlanVector::Kind::Image:
            return check_finite_payload(std::get<core::VectorValue::Image>(vector.value).options);
        case PlanVector::Kind::Object: {
            const auto& object = std::get<core::VectorValue::Object>(vector.value);
            ZORV_CHECK(check_finite_values(*object.object));
            return check_finite_payload(object.options);
        }
        default: return {};  // dense and sparse elements are written as null, not refused
    }
}

core::Result<void> check_finite_point_vectors(const PlanPointVectors& vectors) {
    if (const auto* one = std::get_if<core::VectorValue>(&vectors.value)) return check_finite_vector(*one);
    if (const auto* named = std::get_if<core::NamedVectors>(&vectors.value)) {
        for (const auto& [name, vector] : *named) ZORV_CHECK(check_finite_vector(vector));
    }
    return {};
}

core::Result<PlanPoint> lower_upsert_point(const core::UpsertRow& row) {
    const auto* point = std::get_if<core::UpsertRow::Point>(&row.value);
    if (point == nullptr) unbound_placeholder(std::get<core::Placeholder>(row.value), "PlanPoint");
    PlanPoint out{to_plan_point_id(point->id), std::nullopt, std::nullopt};
    if (point->vectors) ZORV_CHECK(check_finite_point_vectors(*point->vectors));
    ZORV_CHECK(check_finite_payload(point->payload));
    out.vector = point->vectors;
    if (!point->payload.empty()) out.payload = point->payload;
    return out;
}

core::Result<PlanUpsert> lower_upsert_points(const core::Upsert& upsert) {
    PlanUpsert out;
    out.points.reserve(upsert.points.size());
    for (const core::UpsertRow& row : upsert.points) {
        PlanPoint point = ZORV_TRY(lower_upsert_point(row));
        out.points.push_back(std::move(point));
    }
    if (upsert.update_filter) {
        PlanFilter filter = ZORV_TRY(lower_where(*upsert.update_filter));
        out.update_filter = std::move(filter);
    }
    out.shard_key = to_plan_shard_key(upsert.shard_key);
    out.update_mode = upsert.update_mode;
    return out;
}

core::Result<void> lower_vector_input_into(const core::QueryInput& input, PlanQueryInput& out) {
    using Kind = core::QueryInput::Kind;
    switch (input.kind()) {
        case Kind::Text: {
            const auto& text = std::get<core::QueryInput::Text>(input.value);
            out.value.emplace<PlanVector>(PlanVector{core::VectorValue::Document{text.text, text.model, text.options}});
            break;
        }
        case Kind::Image:
            out.value.emplace<PlanVector>(PlanVector{std::get<core::QueryInput::Image>(input.value)});
            break;
        case Kind::Object:
            out.value.emplace<PlanVector>(PlanVector{std::get<core::QueryInput::Object>(input.value)});
            break;
        case Kind::Vector: out.value.emplace<PlanVector>(std::get<core::VectorValue>(input.value)); break;
        case Kind::Point: out.value = to_plan_point_id(std::get<core::PointId>(input.value)); break;
        case Kind::Param:
        case Kind::PositionalParam:
            out.value.emplace<PlanVector>(PlanVector{std::get<core::Placeholder>(input.value)});
            break;
    }
    if (const auto* vector = std::get_if<PlanVector>(&out.value)) ZORV_CHECK(check_finite_vector(*vector));
    return {};
}

core::Result<PlanQueryInput> lower_vector_input(const core::QueryInput& input) {
    core::Result<PlanQueryInput> out{std::in_place};
    ZORV_CHECK(lower_vector_input_into(input, *out));
    return out;
}

core::Result<std::vector<PlanQueryInput>> lower_vector_inputs(const std::vector<core::QueryInput>& inputs) {
    std::vector<PlanQueryInput> out;
    out.reserve(inputs.size());
    for (const core::QueryInput& input : inputs) {
        PlanQueryInput lowered = ZORV_TRY(lower_vector_input(input));
        out.push_back(std::move(lowered));
    }
    return out;
}

}  // namespace zorv::plan
