#include "plan/rest/route.h"

#include <array>

#include "core/overloaded.h"
#include "plan/batch.h"
#include "plan/rest/batch_body.h"
#include "plan/rest/collection_body.h"
#include "plan/rest/index_body.h"
#include "plan/rest/point_body.h"
#include "plan/rest/query_body.h"
#include "plan/rest/quota_body.h"

namespace zorv::plan {

namespace {

constexpr std::array<std::string_view, 5> kMethodNames = {"GET", "POST", "PUT", "PATCH", "DELETE"};

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

RestRequest request(HttpMethod method, std::string path, QueryParams query = {},
                    std::optional<JsonValue> body = std::nullopt) {
    return RestRequest{method, std::move(path), std::move(query), std::move(body)};
}

// A shard key is written untagged: a number or a string.
JsonValue shard_key_value(const PlanShardKey& key) {
    return std::visit([](const auto& k) { return JsonValue(k); }, key);
}

JsonValue create_shard_key_body(const CreateShardKeyOp& op) {
    JsonObject body;
    body.emplace("shard_key", shard_key_value(op.shard_key));
    if (op.shards_number) body.emplace("shards_number", std::uint64_t{*op.shards_number});
    if (op.replication_factor) body.emplace("replication_factor", std::uint64_t{*op.replication_factor});
    if (op.placement) {
        JsonArray peers;
        peers.reserve(op.placement->size());
        for (std::uint64_t peer : *op.placement) peers.emplace_back(peer);
        body.emplace("placement", std::move(peers));
    }
    if (op.initial_state) body.emplace("initial_state", *op.initial_state);
    return body;
}

JsonValue drop_shard_key_body(const DropShardKeyOp& op) {
    JsonObject body;
    body.emplace("shard_key", shard_key_value(op.shard_key));
    return body;
}

RouteResult refuse(RouteError error) { return std::unexpected(std::move(error)); }

// The path, timeout and consistency come from the batch header, not from the members. The update
// family always sends the resolved header wait, so that a compiled route shows the request that is
// really sent.
RouteResult batch_request(const PlanBatch& batch) {
    if (batch.key.is_query()) {
        core::Result<QueryBatch> searches = query_batch_from_members(batch.members);
        if (!searches) return refuse(batch_route_error(std::move(searches.error())));
        return request(HttpMethod::Post, collection_path(batch.key.collection()) + "/points/query/batch",
                       timeout_consistency_params(batch.timeout, batch.consistency),
                       query_batch_body(searches->searches));
    }
    core::Result<UpdateBatch> built = update_batch_from_members(batch.members);
    if (!built) return refuse(batch_route_error(std::move(built.error())));
    return request(HttpMethod::Post, collection_path(batch.key.collection()) + "/points/batch",
                   wait_param(batch.wait.value_or(true)), update_batch_body(built->operations));
}

}  // namespace

std::string_view http_method_name(HttpMethod method) { return kMethodNames[static_cast<std::size_t>(method)]; }

namespace {

void append_path_segment(std::string& out, std::string_view name) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_unreserved(c)) {
            out += ch;
            continue;
        }
        out += '%';
        out += kHex[c >> 4U];
        out += kHex[c & 0x0FU];
    }
}

}  // namespace

std::string encode_path_segment(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    append_path_segment(out, name);
    return out;
}

std::string collection_path(std::string_view collection) {
    constexpr std::string_view kPrefix = "/collections/";
    // Room for the longest tail a route appends ("/points/payload/delete"), so that appending it
    // does not allocate a second time.
    constexpr std::size_t kTailRoom = 24;
    std::string path;
    path.reserve(kPrefix.size() + collection.size() + kTailRoom);
    path += kPrefix;
    append_path_segment(path, collection);
    return path;
}

std::string consistency_param(const Consistency& consistency) {
    return std::visit(core::Overloaded{
                          [](const Consistency::Factor& f) { return std::to_string(f.value); },
                          [](const Consistency::Majority&) { return std::string("majority"); },
                          [](const Consistency::Quorum&) { return std::string("quorum"); },
                          [](const Consistency::All&) { return std::string("all"); },
                      },
                      consistency.value);
}

void push_timeout_consistency_params(QueryParams& query, std::optional<std::uint64_t> timeout,
                                     const std::optional<Consistency>& consistency) {
    if (timeout) push_query_param(query, {"timeout", std::to_string(*timeout)});
    if (consistency) push_query_param(query, {"consistency", consistency_param(*consistency)});
}

QueryParams timeout_consistency_params(std::optional<std::uint64_t> timeout,
                                       const std::optional<Consistency>& consistency) {
    QueryParams query;
    push_timeout_consistency_params(query, timeout, consistency);
    return query;
}

QueryParams wait_param(bool wait) { return {{"wait", wait ? "true" : "false"}}; }

void push_query_param(QueryParams& query, std::pair<std::string, std::string> param) {
    query.push_back(std::move(param));
}

RouteError batch_route_error(core::ZorvError error) {
    return RouteError{RouteError::BatchInvariant{std::move(error.message)}};
}

RouteResult plan_to_rest_request(const PlanOp& op) {
    using K = PlanOpKind;
    switch (op.kind()) {
        case K::Query: {
            const QueryOp& query = op.get<K::Query>();
            return request(HttpMethod::Post, collection_path(query.collection) + "/points/query",
                           timeout_consistency_params(query.timeout, query.consistency),
                           query_request_to_value(query.request));
        }
        case K::QueryGroups: {
            const QueryGroupsOp& groups = op.get<K::QueryGroups>();
            return request(HttpMethod::Post, collection_path(groups.collection) + "/points/query/groups",
                           timeout_consistency_params(groups.timeout, groups.consistency), query_groups_body(groups));
        }
        case K::GetPoints: {
            const GetPointsOp& get = op.get<K::GetPoints>();
            return request(HttpMethod::Post, collection_path(get.collection) + "/points", {}, get_points_body(get));
        }
        case K::Scroll: {
            const ScrollOp& scroll = op.get<K::Scroll>();
            return request(HttpMethod::Post, collection_path(scroll.collection) + "/points/scroll", {},
                           scroll_body(scroll));
        }
        case K::Count: {
            const CountOp& count = op.get<K::Count>();
            return request(HttpMethod::Post, collection_path(count.collection) + "/points/count", {},
                           count_body(count));
        }
        case K::Facet: {
            const FacetOp& facet = op.get<K::Facet>();
            return request(HttpMethod::Post, collection_path(facet.collection) + "/facet", {}, facet_body(facet));
        }
        case K::Batch: return batch_request(op.get<K::Batch>());
        case K::Upsert: {
            const UpsertOp& upsert = op.get<K::Upsert>();
            return request(HttpMethod::Put, collection_path(upsert.collection) + "/points", wait_param(upsert.wait),
                           upsert_body_to_value(upsert.request));
        }
        case K::Delete: {
            const PointSelectionOp& remove = op.get<K::Delete>();
            return request(HttpMethod::Post, collection_path(remove.collection) + "/points/delete",
                           wait_param(remove.wait), points_selector_body_to_value(remove.request));
        }
        case K::UpdatePayload: {
            const PayloadUpdateOp& set = op.get<K::UpdatePayload>();
            return request(HttpMethod::Post, collection_path(set.collection) + "/points/payload", wait_param(set.wait),
                           set_payload_body_to_value(set.request));
        }
        case K::OverwritePayload: {
            const PayloadUpdateOp& set = op.get<K::OverwritePayload>();
            return request(HttpMethod::Put, collection_path(set.collection) + "/points/payload", wait_param(set.wait),
                           set_payload_body_to_value(set.request));
        }
        case K::ClearPayload: {
            const PointSelectionOp& clear = op.get<K::ClearPayload>();
            return request(HttpMethod::Post, collection_path(clear.collection) + "/points/payload/clear",
                           wait_param(clear.wait), points_selector_body_to_value(clear.request));
        }
        case K::DeletePayload: {
            const DeletePayloadOp& remove = op.get<K::DeletePayload>();
            return request(HttpMethod::Post, collection_path(remove.collection) + "/points/payload/delete",
                           wait_param(remove.wait), delete_payload_body_to_value(remove.request));
        }
        case K::UpdateVector: {
            const UpdateVectorOp& update = op.get<K::UpdateVector>();
            return request(HttpMethod::Put, collection_path(update.collection) + "/points/vectors",
                           wait_param(update.wait), update_vectors_body_to_value(update.request));
        }
        case K::DeleteVector: {
            const DeleteVectorOp& remove = op.get<K::DeleteVector>();
            return request(HttpMethod::Post, collection_path(remove.collection) + "/points/vectors/delete",
                           wait_param(remove.wait), delete_vectors_body_to_value(remove.request));
        }
        case K::CreateCollection: {
            const CreateCollectionOp& create = op.get<K::CreateCollection>();
            if (needs_create_steps(create)) return refuse(RouteError{RouteError::MultiStep{"create_collection"}});
            return request(HttpMethod::Put, collection_path(create.collection), {}, collection_config_body(create));
        }
        case K::AlterCollection: {
            const AlterCollectionOp& alter = op.get<K::AlterCollection>();
            return request(HttpMethod::Patch, collection_path(alter.collection), {}, collection_update_body(alter));
        }
        case K::CreateIndex: {
            const CreateIndexOp& create = op.get<K::CreateIndex>();
            return request(HttpMethod::Put, collection_path(create.collection) + "/index", wait_param(create.wait),
                           field_index_body(create));
        }
        case K::SetQuota: {
            const SetQuotaOp& set = op.get<K::SetQuota>();
            return request(HttpMethod::Put, "/quotas", set.wait ? wait_param(*set.wait) : QueryParams{},
                           set_quota_body(set));
        }
        case K::DropCollection:
            return request(HttpMethod::Delete, collection_path(op.get<K::DropCollection>().collection));
        case K::DropIndex: {
            const DropIndexOp& drop = op.get<K::DropIndex>();
            return request(HttpMethod::Delete,
                           collection_path(drop.collection) + "/index/" + encode_path_segment(drop.field_name));
        }
        case K::CreateShardKey: {
            const CreateShardKeyOp& create = op.get<K::CreateShardKey>();
            return request(HttpMethod::Put, collection_path(create.collection) + "/shards", {},
                           create_shard_key_body(create));
        }
        case K::DropShardKey: {
            const DropShardKeyOp& drop = op.get<K::DropShardKey>();
            return request(HttpMethod::Post, collection_path(drop.collection) + "/shards/delete", {},
                           drop_shard_key_body(drop));
        }
        case K::ShowShardKeys:
            return request(HttpMethod::Get, collection_path(op.get<K::ShowShardKeys>().collection) + "/shards");
        case K::ShowCollections: return request(HttpMethod::Get, "/collections");
        case K::ShowCollection:
            return request(HttpMethod::Get, collection_path(op.get<K::ShowCollection>().collection));
        case K::CrossRerank: return refuse(RouteError{RouteError::ClientSide{"cross_rerank"}});
        case K::ShowQuotas: return request(HttpMethod::Get, "/quotas");
    }
    return refuse(RouteError{RouteError::Serialize{"unknown plan operation kind"}});
}

}  // namespace zorv::plan
