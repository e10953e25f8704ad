// Inputs of vector queries: the statement's query inputs in plan form.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ast/query.h"
#include "plan/query_plan.h"

namespace zorv::plan {

// Text, image and object inputs become inference inputs the server embeds; vectors are copied;
// a point id stays a number or a text. Cannot fail.
PlanQueryInput lower_vector_input(const core::QueryInput& input);
std::vector<PlanQueryInput> lower_vector_inputs(const std::vector<core::QueryInput>& inputs);

// The numbers a vector puts into a request body: dense and multi elements, sparse entries.
std::uint64_t vector_element_count(const core::VectorValue& vector);

}  // namespace zorv::plan
