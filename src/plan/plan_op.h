// The plan operation: the transport-neutral form of one bound statement that every transport,
// batch builder and the executor read. Plain values only: no tree nodes, no placeholders, no spans.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/mutation.h"
#include "core/ast/search.h"
#include "plan/batch_key.h"
#include "plan/collection_config.h"
#include "plan/filter.h"
#include "plan/index.h"
#include "plan/query_plan.h"
#include "plan/quota.h"
#include "plan/upsert_types.h"

namespace zorv::plan {

// A string id is a UUID by the time a plan leaves the planner.
using PlanPointId = std::variant<std::uint64_t, std::string>;
using PlanShardKey = std::variant<std::uint64_t, std::string>;

// The read consistency of a search, as the statement wrote it.
using Consistency = core::Consistency;

// Which payload keys a read returns: all or none, or a list to include or exclude.
struct PlanPayloadSelector {
    struct Include {
        std::vector<std::string> keys;
        friend bool operator==(const Include&, const Include&) = default;
    };
    struct Exclude {
        std::vector<std::string> keys;
        friend bool operator==(const Exclude&, const Exclude&) = default;
    };
    std::variant<bool, Include, Exclude> value;
    friend bool operator==(const PlanPayloadSelector&, const PlanPayloadSelector&) = default;
};

// Which vectors a read returns: all or none, or these names.
struct PlanVectorSelector {
    std::variant<bool, std::vector<std::string>> value;
    friend bool operator==(const PlanVectorSelector&, const PlanVectorSelector&) = default;
};

// with_lookup of a groups search.
struct PlanWithLookup {
    std::string collection;
    std::optional<PlanPayloadSelector> with_payload;
    std::optional<PlanVectorSelector> with_vectors;
    friend bool operator==(const PlanWithLookup&, const PlanWithLookup&) = default;
};

// One search request.
struct PlanQueryRequest {
    PlanQuery query;
    std::vector<PlanPrefetch> prefetch;
    std::optional<std::string> using_;  // the vector name searched
    std::optional<PlanFilter> filter;
    std::optional<PlanSearchParams> params;
    std::optional<double> score_threshold;
    std::optional<PlanPayloadSelector> with_payload;
    std::optional<PlanVectorSelector> with_vector;
    std::optional<std::uint64_t> limit;
    std::optional<std::uint64_t> offset;
    std::optional<PlanLookupLocation> lookup_from;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanQueryRequest&, const PlanQueryRequest&) = default;
};

// The operation kinds in their fixed order: the index of every table keyed by kind.
enum class PlanOpKind : std::uint8_t {
    Query,
    QueryGroups,
    GetPoints,
    Scroll,
    Count,
    Facet,
    Upsert,
    Delete,
    UpdatePayload,
    OverwritePayload,
    ClearPayload,
    DeletePayload,
    UpdateVector,
    DeleteVector,
    CreateCollection,
    AlterCollection,
    DropCollection,
    CreateIndex,
    DropIndex,
    CreateShardKey,
    DropShardKey,
    ShowShardKeys,
    ShowCollections,
    ShowCollection,
    CrossRerank,
    ShowQuotas,
    SetQuota,
    Batch,
};

inline constexpr std::size_t kPlanOpKindCount = 28;

// The upper-case name of a kind ("QUERY_GROUPS"), also the operation name reported in results.
std::string_view plan_op_name(PlanOpKind kind);

// Timeout and consistency come from the statement's PARAMS and travel beside the request.
struct QueryOp {
    std::string collection;
    PlanQueryRequest request;
    std::optional<std::uint64_t> timeout;  // whole seconds
    std::optional<Consistency> consistency;
    friend bool operator==(const QueryOp&, const QueryOp&) = default;
};

// The groups call takes its limit from here (LIMIT plus OFFSET) and sends no offset.
struct QueryGroupsOp {
    std::string collection;
    PlanQueryRequest request;
    std::string group_by;
    std::uint64_t group_size = 3;
    std::uint64_t limit = 10;
    std::uint64_t offset = 0;
    std::optional<PlanWithLookup> with_lookup;
    std::optional<std::uint64_t> timeout;
    std::optional<Consistency> consistency;
    friend bool operator==(const QueryGroupsOp&, const QueryGroupsOp&) = default;
};

struct GetPointsOp {
    std::string collection;
    std::vector<PlanPointId> ids;  // statement order, duplicates kept
    PlanPayloadSelector with_payload;
    std::optional<PlanVectorSelector> with_vector;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const GetPointsOp&, const GetPointsOp&) = default;
};

// ORDER BY of a scroll.
struct PlanOrderBy {
    std::string key;
    std::string direction = "asc";  // "asc" or "desc"
    std::optional<core::Literal> start_from;
    friend bool operator==(const PlanOrderBy&, const PlanOrderBy&) = default;
};

// One page of points in id order (or by a payload key); `offset` is the first id of the page,
// the successor of the statement's AFTER.
struct ScrollOp {
    std::string collection;
    std::optional<PlanFilter> filter;
    std::optional<PlanPointId> offset;
    std::uint64_t limit = 0;
    PlanPayloadSelector with_payload{true};
    PlanVectorSelector with_vector{false};
    std::optional<PlanOrderBy> order_by;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const ScrollOp&, const ScrollOp&) = default;
};

// The payloads below hold the collection only until the lowering of their kind lands.
struct CountOp {
    std::string collection;
    std::optional<PlanFilter> filter;
    std::optional<bool> exact;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const CountOp&, const CountOp&) = default;
};
struct FacetOp {
    std::string collection;
    std::string key;
    std::optional<PlanFilter> filter;
    std::optional<std::uint64_t> limit;
    std::optional<bool> exact;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const FacetOp&, const FacetOp&) = default;
};
// The points a mutation acts on: exactly one of `points` and `filter` is set.
struct PlanPointsSelector {
    std::optional<std::vector<PlanPointId>> points;
    std::optional<PlanFilter> filter;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanPointsSelector&, const PlanPointsSelector&) = default;
};

struct PlanUpsert {
    std::vector<PlanPoint> points;  // row order
    std::optional<PlanFilter> update_filter;
    std::optional<core::UpdateMode> update_mode;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanUpsert&, const PlanUpsert&) = default;
};

// UPDATE_PAYLOAD and OVERWRITE_PAYLOAD.
struct PlanSetPayload {
    PlanPayload payload;  // possibly empty
    std::optional<std::vector<PlanPointId>> points;
    std::optional<PlanFilter> filter;
    std::optional<std::string> key;  // the payload path set under
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanSetPayload&, const PlanSetPayload&) = default;
};

struct PlanDeletePayload {
    std::vector<std::string> keys;
    std::optional<std::vector<PlanPointId>> points;
    std::optional<PlanFilter> filter;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanDeletePayload&, const PlanDeletePayload&) = default;
};

struct PlanPointVectorsUpdate {
    PlanPointId id;
    PlanPointVectors vector;
    friend bool operator==(const PlanPointVectorsUpdate&, const PlanPointVectorsUpdate&) = default;
};

struct PlanUpdateVectors {
    std::vector<PlanPointVectorsUpdate> points;
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanUpdateVectors&, const PlanUpdateVectors&) = default;
};

struct PlanDeleteVectors {
    std::optional<std::vector<PlanPointId>> points;
    std::optional<PlanFilter> filter;
    std::vector<std::string> vector;  // at least one name, none twice
    std::optional<PlanShardKey> shard_key;
    friend bool operator==(const PlanDeleteVectors&, const PlanDeleteVectors&) = default;
};

// The eight point mutations: the collection and the resolved wait beside the request, which is
// also what an update batch carries for the operation.
struct UpsertOp {
    std::string collection;
    bool wait = false;
    PlanUpsert request;
    friend bool operator==(const UpsertOp&, const UpsertOp&) = default;
};
// DELETE and CLEAR_PAYLOAD.
struct PointSelectionOp {
    std::string collection;
    bool wait = true;
    PlanPointsSelector request;
    friend bool operator==(const PointSelectionOp&, const PointSelectionOp&) = default;
};
// UPDATE_PAYLOAD and OVERWRITE_PAYLOAD.
struct PayloadUpdateOp {
    std::string collection;
    bool wait = true;
    PlanSetPayload request;
    friend bool operator==(const PayloadUpdateOp&, const PayloadUpdateOp&) = default;
};
struct DeletePayloadOp {
    std::string collection;
    bool wait = true;
    PlanDeletePayload request;
    friend bool operator==(const DeletePayloadOp&, const DeletePayloadOp&) = default;
};
struct UpdateVectorOp {
    std::string collection;
    bool wait = true;
    PlanUpdateVectors request;
    friend bool operator==(const UpdateVectorOp&, const UpdateVectorOp&) = default;
};
struct DeleteVectorOp {
    std::string collection;
    bool wait = true;
    PlanDeleteVectors request;
    friend bool operator==(const DeleteVectorOp&, const DeleteVectorOp&) = default;
};
struct CreateCollectionOp {
    std::string collection;
    PlanCollectionConfig config;
    friend bool operator==(const CreateCollectionOp&, const CreateCollectionOp&) = default;
};
struct AlterCollectionOp {
    std::string collection;
    PlanCollectionUpdate update;
    friend bool operator==(const AlterCollectionOp&, const AlterCollectionOp&) = default;
};
struct CreateIndexOp {
    std::string collection;
    PlanFieldIndex index;
    bool wait = true;
    friend bool operator==(const CreateIndexOp&, const CreateIndexOp&) = default;
};
struct SetQuotaOp {
    PlanQuotaConfig config;
    std::optional<bool> wait;  // sent only when the statement wrote one
    friend bool operator==(const SetQuotaOp&, const SetQuotaOp&) = default;
};

// DROP_COLLECTION, SHOW_SHARD_KEYS and SHOW_COLLECTION.
struct CollectionOp {
    std::string collection;
    friend bool operator==(const CollectionOp&, const CollectionOp&) = default;
};

// SHOW_COLLECTIONS and SHOW_QUOTAS.
struct NoPayload {
    friend bool operator==(const NoPayload&, const NoPayload&) = default;
};

struct DropIndexOp {
    std::string collection;
    std::string field_name;
    friend bool operator==(const DropIndexOp&, const DropIndexOp&) = default;
};

struct CreateShardKeyOp {
    std::string collection;
    PlanShardKey shard_key;
    std::optional<std::uint32_t> shards_number;       // 1 or more
    std::optional<std::uint32_t> replication_factor;  // 1 or more
    std::optional<std::vector<std::uint64_t>> placement;
    std::optional<std::string> initial_state;  // a canonical replica state name ("PartialSnapshot")
    friend bool operator==(const CreateShardKeyOp&, const CreateShardKeyOp&) = default;
};

struct DropShardKeyOp {
    std::string collection;
    PlanShardKey shard_key;
    friend bool operator==(const DropShardKeyOp&, const DropShardKeyOp&) = default;
};

// The reranking runs in the executor; each candidate is a complete QUERY payload.
struct CrossRerankOp {
    std::string collection;
    std::string query;
    std::string model;
    std::string field = "text";
    std::vector<QueryOp> candidates;
    std::uint64_t limit = 10;
    std::uint64_t offset = 0;
    friend bool operator==(const CrossRerankOp&, const CrossRerankOp&) = default;
};

struct PlanOp;

// An explicit BATCH: its members in statement order and the header that applies to all of them.
// The key's variant is the family; timeout and consistency belong to query batches, `wait` (as
// the header wrote it) to update batches, whose members already carry the resolved wait.
struct PlanBatch {
    std::string collection;
    std::vector<PlanOp> members;
    BatchKey key;
    std::optional<std::uint64_t> timeout;
    std::optional<Consistency> consistency;
    std::optional<bool> wait;
    friend bool operator==(const PlanBatch&, const PlanBatch&);
};

// One planned operation. The variant index is the PlanOpKind; kinds that share a payload type
// are told apart by index only, so build them with std::in_place_index (see make_op).
struct PlanOp {
    using Node = std::variant<QueryOp, QueryGroupsOp, GetPointsOp, ScrollOp, CountOp, FacetOp, UpsertOp,
                              PointSelectionOp, PayloadUpdateOp, PayloadUpdateOp, PointSelectionOp, DeletePayloadOp,
                              UpdateVectorOp, DeleteVectorOp, CreateCollectionOp, AlterCollectionOp, CollectionOp,
                              CreateIndexOp, DropIndexOp, CreateShardKeyOp, DropShardKeyOp, CollectionOp, NoPayload,
                              CollectionOp, CrossRerankOp, NoPayload, SetQuotaOp, PlanBatch>;
    Node node;

    PlanOpKind kind() const { return static_cast<PlanOpKind>(node.index()); }

    template <PlanOpKind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <PlanOpKind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }

    friend bool operator==(const PlanOp&, const PlanOp&) = default;
};

static_assert(std::variant_size_v<PlanOp::Node> == kPlanOpKindCount);

inline bool operator==(const PlanBatch& a, const PlanBatch& b) {
    return a.collection == b.collection && a.members == b.members && a.key == b.key && a.timeout == b.timeout &&
           a.consistency == b.consistency && a.wait == b.wait;
}

template <PlanOpKind K, class... A>
PlanOp make_op(A&&... args) {
    return PlanOp{PlanOp::Node(std::in_place_index<static_cast<std::size_t>(K)>, std::forward<A>(args)...)};
}

}  // namespace zorv::plan
