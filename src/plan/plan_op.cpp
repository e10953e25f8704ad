#include "plan/plan_op.h"

#include <array>

namespace zorv::plan {

namespace {

constexpr std::array<std::string_view, kPlanOpKindCount> kPlanOpNames = {
    "QUERY",
    "QUERY_GROUPS",
    "GET_POINTS",
    "SCROLL",
    "COUNT",
    "FACET",
    "UPSERT",
    "DELETE",
    "UPDATE_PAYLOAD",
    "OVERWRITE_PAYLOAD",
    "CLEAR_PAYLOAD",
    "DELETE_PAYLOAD",
    "UPDATE_VECTOR",
    "DELETE_VECTOR",
    "CREATE_COLLECTION",
    "ALTER_COLLECTION",
    "DROP_COLLECTION",
    "CREATE_INDEX",
    "DROP_INDEX",
    "CREATE_SHARD_KEY",
    "DROP_SHARD_KEY",
    "SHOW_SHARD_KEYS",
    "SHOW_COLLECTIONS",
    "SHOW_COLLECTION",
    "CROSS_RERANK",
    "SHOW_QUOTAS",
    "SET_QUOTA",
    "BATCH",
};

}  // namespace

std::string_view plan_op_name(PlanOpKind kind) { return kPlanOpNames[static_cast<std::size_t>(kind)]; }

}  // namespace zorv::plan
