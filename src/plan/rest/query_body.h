// The JSON bodies of the read requests: the search request of QUERY and of each query-batch
// entry (both forms), and the groups, get-points, scroll, count and facet bodies (value form).
#pragma once

#include <string>
#include <vector>

#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

JsonValue query_request_to_value(const PlanQueryRequest& request);
void write_query_request(std::string& out, const PlanQueryRequest& request);

JsonValue plan_query_to_value(const PlanQuery& query);
void write_plan_query(std::string& out, const PlanQuery& query);

JsonValue prefetch_to_value(const std::vector<PlanPrefetch>& stages);
void write_prefetch_list(std::string& out, const std::vector<PlanPrefetch>& stages);

JsonValue search_params_to_value(const PlanSearchParams& params);
void write_search_params(std::string& out, const PlanSearchParams& params);

JsonValue lookup_from_to_value(const PlanLookupLocation& lookup);
void write_lookup_from(std::string& out, const PlanLookupLocation& lookup);

// A number or a string.
JsonValue shard_key_to_value(const PlanShardKey& key);
void write_shard_key(std::string& out, const PlanShardKey& key);

// A point id or a vector; inference inputs always carry "model" ("" when none).
JsonValue query_input_to_value(const PlanQueryInput& input);
void write_query_input(std::string& out, const PlanQueryInput& input);

JsonValue payload_selector_to_value(const PlanPayloadSelector& selector);
JsonValue vector_selector_to_value(const PlanVectorSelector& selector);

// {"searches": [...]}, one search request per member in order.
JsonValue query_batch_body(const std::vector<PlanQueryRequest>& searches);
void write_query_batch_body(std::string& out, const std::vector<PlanQueryRequest>& searches);

// The groups call has no "offset": its limit already counts the skipped groups.
JsonValue query_groups_body(const QueryGroupsOp& op);
JsonValue get_points_body(const GetPointsOp& op);
JsonValue scroll_body(const ScrollOp& op);
JsonValue count_body(const CountOp& op);
JsonValue facet_body(const FacetOp& op);

}  // namespace zorv::plan
