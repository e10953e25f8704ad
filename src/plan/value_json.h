// Plan values (bound literals) as JSON, in both body forms, and as plain text for messages.
#pragma once

#include <string>

#include "core/ast/literal.h"
#include "core/error.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// A Dict's entries go into one object: keys in ascending order, the last repeated key wins.
// A placeholder stops the process (planning refuses unbound statements first).
JsonValue plan_value_to_json(const core::Literal& value);
JsonValue plan_value_list_to_json(const core::LiteralList& values);

// The same document as compact text, except that a Dict keeps its entries in list order, repeated
// keys included.
void write_plan_value(const core::Literal& value, std::string& out);
void write_plan_value_list(const core::LiteralList& values, std::string& out);

// Text of a value inside messages: scalars as their JSON text, an F32Array as "[a, b]", other
// kinds as their debug text.
std::string render_value_text(const core::Literal& value);

// Fails on the first NaN or infinity, depth first, since JSON cannot carry it.
core::Result<void> check_finite_values(const core::Literal& value);
core::ZorvError non_finite_error(const core::Literal& value);

std::string point_id_text(const PlanPointId& id);

}  // namespace zorv::plan
