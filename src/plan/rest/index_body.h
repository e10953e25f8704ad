// The body of a payload-index creation: the field and its schema, in both body forms.
#pragma once

#include <string>
#include <string_view>

#include "plan/index.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// "keyword", "integer", "float", "geo", "text", "bool", "datetime", "uuid".
std::string_view field_schema_type_name(PlanIndexType type);

// {"type": "none"} or {"type": "snowball", "language": ...}.
JsonValue stemmer_json(const PlanStemmer& stemmer);
// Each list only when it is not empty: two empty lists give {}.
JsonValue stopwords_json(const PlanStopwords& stopwords);
JsonValue tokenizer_json(PlanTokenizer tokenizer);

// The bare type name without parameters, else an object of "type" and every set parameter.
JsonValue field_schema_json(const PlanFieldIndex& index);

// {"field_name": ..., "field_schema": ...}
JsonValue field_index_body(const CreateIndexOp& op);
// The same as compact text: "type" first, then the parameters in declaration order.
void write_field_index_body(std::string& out, const CreateIndexOp& op);

}  // namespace zorv::plan
