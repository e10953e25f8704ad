// Inputs of vector queries: the statement's query inputs in plan form.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ast/query.h"
#include "plan/query_plan.h"
#include "plan/upsert.h"  // lower_vector_input(s)

namespace zorv::plan {

// The numbers a vector puts into a request body: dense and multi elements, sparse entries.
std::uint64_t vector_element_count(const core::VectorValue& vector);

}  // namespace zorv::plan
