// Filters and conditions as Qdrant REST JSON, in both body forms: the value tree (sorted keys)
// and compact text (keys in the order Qdrant's documentation lists them).
#pragma once

#include <string>
#include <string_view>

#include "plan/filter.h"
#include "plan/json_value.h"
#include "plan/json_write.h"

namespace zorv::plan {

class ValueSink;

// The filter entry: the single form as its condition's object, a clause set as
// {"must", "must_not", "should", "min_should"}, empty clauses left out ({} when nothing is set).
JsonValue filter_to_value(const PlanFilter& filter);
void write_filter(std::string& out, const PlanFilter& filter);
// The same value written into a body under construction, where its next value goes.
void put_filter_value(ValueSink& sink, const PlanFilter& filter);

// One condition. A nested condition's filter is always a clause set: Qdrant refuses a bare
// condition there.
JsonValue condition_to_value(const PlanCondition& condition);
void write_condition(std::string& out, const PlanCondition& condition);

// `key` and the filter entry, as one member of an object under construction.
void filter_entry_to_value(JsonObject& object, std::string_view key, const PlanFilter& filter);
void write_filter_entry(JsonObjectWriter& object, std::string_view key, const PlanFilter& filter);

}  // namespace zorv::plan
