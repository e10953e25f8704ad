#include "runtime/grpc/grpc_backend.h"

#include <utility>

#include "core/diagnostics.h"
#include "plan/batch.h"
#include "plan/ddl_builders.h"
#include "runtime/grpc/collections.h"
#include "runtime/grpc_route/ddl.h"
#include "runtime/grpc_route/execute.h"
#include "runtime/grpc_route/mutations.h"
#include "runtime/grpc_route/reads.h"

namespace zorv::runtime::rpc {

namespace {

using protocol::BackendReply;

class GrpcBackendClient final : public Backend {
public:
    GrpcBackendClient(GrpcEndpoint endpoint, GrpcSettings settings)
        : channel_(std::move(endpoint), std::move(settings)) {}

    AsyncResult<std::vector<std::string>> list_collections() const override {
        auto listed = co_await rpc_list_collections(channel_);
        if (!listed) co_return std::unexpected(std::move(listed).error());
        co_return std::move(listed->names);
    }

    AsyncResult<bool> collection_exists(std::string collection) const override {
        co_return co_await rpc_collection_exists(channel_, std::move(collection));
    }

    AsyncResult<protocol::CollectionSchema> collection_info(std::string collection) const override {
        auto info = co_await rpc_collection_info(channel_, collection);
        if (!info) co_return std::unexpected(std::move(info).error());
        if (!info->schema) co_return std::unexpected(missing_info_result(std::move(collection)));
        co_return std::move(*info->schema);
    }

    AsyncResult<void> create_collection(std::string collection, plan::PlanCollectionConfig config) const override {
        co_return co_await rpc_create_collection(channel_, std::move(collection), std::move(config));
    }

    AsyncResult<void> update_collection(std::string collection, plan::PlanCollectionUpdate update) const override {
        co_return co_await execute_dropping_reply(plan::alter_collection_plan(collection, update));
    }

    AsyncResult<void> delete_collection(std::string collection) const override {
        co_return co_await rpc_delete_collection(channel_, std::move(collection));
    }

    AsyncResult<void> create_field_index(std::string collection, plan::PlanFieldIndex index) const override {
        co_return co_await execute_dropping_reply(plan::create_index_plan(collection, index));
    }

    AsyncResult<void> delete_field_index(std::string collection, std::string field_name) const override {
        co_return co_await execute_dropping_reply(plan::drop_index_plan(collection, field_name));
    }

    AsyncResult<BackendReply> execute(plan::PlanOp op) const override {
        co_return co_await execute_grpc_op(channel_, std::move(op));
    }

    AsyncResult<std::vector<BackendReply>> query_batch(std::string collection,
                                                       std::vector<plan::PlanQueryRequest> requests,
                                                       std::optional<std::uint64_t> timeout,
                                                       std::optional<plan::Consistency> consistency) const override {
        co_return co_await rpc_query_batch(channel_, std::move(collection), std::move(requests), timeout, consistency);
    }

    AsyncResult<std::vector<BackendReply>> update_batch(std::string collection,
                                                        const std::vector<plan::UpdateOperation>& operations,
                                                        bool wait) const override {
        co_return co_await rpc_update_batch(channel_, std::move(collection), operations, wait);
    }

    AsyncResult<void> update_aliases(std::vector<AliasAction> actions) const override {
        co_return co_await rpc_update_aliases(channel_, std::move(actions));
    }

private:
    AsyncResult<void> execute_dropping_reply(plan::PlanOp op) const {
        auto reply = co_await execute(std::move(op));
        if (!reply) co_return std::unexpected(std::move(reply).error());
        co_return core::Result<void>{};
    }

    GrpcChannel channel_;
};

}  // namespace

core::Result<std::unique_ptr<Backend>> make_grpc_backend(std::string_view url, std::optional<std::string> api_key,
                                                         std::optional<std::string> route_affinity) {
    GrpcSettings settings;
    settings.api_key = std::move(api_key);
    settings.route_affinity = std::move(route_affinity);
    return make_grpc_backend(url, std::move(settings));
}

core::Result<std::unique_ptr<Backend>> make_grpc_backend(std::string_view url, GrpcSettings settings) {
    auto endpoint = parse_grpc_endpoint(url);
    if (!endpoint) return std::unexpected(std::move(endpoint).error());
    if (settings.route_affinity && settings.route_affinity->empty()) settings.route_affinity.reset();
    std::unique_ptr<Backend> backend = std::make_unique<GrpcBackendClient>(std::move(*endpoint), std::move(settings));
    return backend;
}

}  // namespace zorv::runtime::rpc
