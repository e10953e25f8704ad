// A search request as the Query, QueryBatch member and QueryGroups messages of the Points
// service: prefetch stages, the query variants, search parameters, lookups.
#pragma once

#include <string_view>

#include "core/error.h"
#include "plan/formula.h"
#include "plan/plan_op.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

// `collection` names the collection the request runs on. Fails with the first refusal in field
// order; nothing partly built escapes.
core::Result<qdrant::QueryPoints> build_query_points(const plan::PlanQueryRequest& request,
                                                     std::string_view collection);
core::Result<qdrant::QueryPointGroups> build_query_point_groups(const plan::QueryGroupsOp& op);

core::Result<qdrant::PrefetchQuery> prefetch_to_proto(const plan::PlanPrefetch& prefetch);
core::Result<qdrant::Query> query_to_proto(const plan::PlanQuery& query);
// An IDF corpus filter the filter conversion refuses fails the whole request with that error.
core::Result<qdrant::SearchParams> search_params_to_proto(const plan::PlanSearchParams& params);
qdrant::LookupLocation lookup_location_to_proto(const plan::PlanLookupLocation& lookup);
qdrant::WithLookup with_lookup_to_proto(const plan::PlanWithLookup& with_lookup);
qdrant::Value formula_defaults_to_proto(const plan::PlanDefaultValue& value);

// "average_vector", "best_score" or "sum_scores", exactly; ZORV-GRPC-STRATEGY otherwise.
core::Result<qdrant::RecommendStrategy> recommend_strategy_to_proto(std::string_view strategy);
core::ZorvError unsupported_strategy_error(std::string_view strategy);

}  // namespace zorv::runtime::rpc
