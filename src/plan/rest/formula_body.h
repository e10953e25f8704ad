// FORMULA expressions and DEFAULTS values as Qdrant REST JSON, in both body forms. Subtraction
// and CASE have no operator of their own on the wire and are written with sum, mult and neg.
#pragma once

#include <string>

#include "plan/formula.h"
#include "plan/json_value.h"

namespace zorv::plan {

class ValueSink;

JsonValue expression_to_value(const PlanExpression& expression);
void write_expression(std::string& out, const PlanExpression& expression);
// The same value written into a body under construction, where its next value goes.
void put_expression_value(ValueSink& sink, const PlanExpression& expression);

// A DEFAULTS value: objects keep their (sorted, unique) keys in both forms.
JsonValue default_value_to_value(const PlanDefaultValue& value);
void write_default_value(std::string& out, const PlanDefaultValue& value);
void put_default_value(ValueSink& sink, const PlanDefaultValue& value);

}  // namespace zorv::plan
