#include "plan/query_input.h"

#include <utility>
#include <variant>

#include "core/overloaded.h"
#include "plan/values.h"

namespace zorv::plan {

PlanQueryInput lower_vector_input(const core::QueryInput& input) {
    using core::VectorValue;
    return std::visit(
        core::Overloaded{
            [](const core::QueryInput::Text& text) {
                return PlanQueryInput{VectorValue{VectorValue::Document{text.text, text.model, text.options}}};
            },
            [](const VectorValue::Image& image) { return PlanQueryInput{VectorValue{image}}; },
            [](const VectorValue::Object& object) { return PlanQueryInput{VectorValue{object}}; },
            [](const VectorValue& vector) { return PlanQueryInput{vector}; },
            [](const core::PointId& id) { return PlanQueryInput{to_plan_point_id(id)}; },
            [](const core::Placeholder& placeholder) { return PlanQueryInput{VectorValue{placeholder}}; },
        },
        input.value);
}

std::vector<PlanQueryInput> lower_vector_inputs(const std::vector<core::QueryInput>& inputs) {
    std::vector<PlanQueryInput> out;
    out.reserve(inputs.size());
    for (const core::QueryInput& input : inputs) out.push_back(lower_vector_input(input));
    return out;
}

std::uint64_t vector_element_count(const core::VectorValue& vector) {
    using core::VectorValue;
    if (const auto* dense = std::get_if<VectorValue::Dense>(&vector.value)) return dense->values.size();
    if (const auto* sparse = std::get_if<VectorValue::Sparse>(&vector.value)) return sparse->values.size();
    if (const auto* multi = std::get_if<VectorValue::MultiDense>(&vector.value)) {
        std::uint64_t total = 0;
        for (const auto& row : multi->rows) total += row.size();
        return total;
    }
    return 0;
}

}  // namespace zorv::plan
