#include "runtime/grpc_route/ddl_requests.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "runtime/grpc_route/ddl_convert.h"
#include "runtime/grpc_route/ddl_metadata.h"
#include "runtime/grpc_route/ddl_words.h"

namespace zorv::runtime::rpc {

namespace {

// The replication group of a creation, or nothing when it sets none of it.
std::optional<plan::PlanParamsUpdate> replication_group(const plan::PlanCollectionConfig& config) {
    plan::PlanParamsUpdate params{config.replication_factor,  config.write_consistency_factor,
                                  config.read_fan_out_factor, config.read_fan_out_delay_ms,
                                  config.on_disk_payload,     config.payload_memory};
    if (params == plan::PlanParamsUpdate{}) return std::nullopt;
    return params;
}

qdrant::CreateShardKeyRequest shard_key_request(std::string_view collection, const plan::PlanShardKey& key) {
    qdrant::CreateShardKeyRequest request;
    request.set_collection_name(std::string(collection));
    shard_key_to_proto(key, *request.mutable_request()->mutable_shard_key());
    return request;
}

// The creation message's own fields, after the replication group has been checked.
core::Result<void> fill_create(const plan::PlanCollectionConfig& config, const qdrant::CollectionParamsDiff* params,
                               qdrant::CreateCollection& create) {
    if (config.vectors) ZORV_CHECK(vectors_to_proto(*config.vectors, *create.mutable_vectors_config()));
    if (config.sparse_vectors) {
        ZORV_CHECK(sparse_vectors_to_proto(*config.sparse_vectors, *create.mutable_sparse_vectors_config()));
    }
    if (config.hnsw_config) ZORV_CHECK(hnsw_to_proto(*config.hnsw_config, *create.mutable_hnsw_config()));
    if (config.optimizers_config) optimizers_to_proto(*config.optimizers_config, *create.mutable_optimizers_config());
    if (config.shard_number) create.set_shard_number(ZORV_TRY(check_uint32("shard_number", *config.shard_number)));
    if (config.quantization_config) {
        ZORV_CHECK(quantization_to_proto(*config.quantization_config, *create.mutable_quantization_config()));
    }
    if (config.strict_mode_config) {
        ZORV_CHECK(strict_mode_to_proto(*config.strict_mode_config, *create.mutable_strict_mode_config()));
    }
    if (config.metadata) ZORV_CHECK(metadata_to_proto(*config.metadata, *create.mutable_metadata()));
    if (config.wal_config) wal_to_proto(*config.wal_config, *create.mutable_wal_config());
    if (config.sharding_method) {
        create.set_sharding_method(config.sharding_method == plan::PlanShardingMethod::Custom ? qdrant::SHARDING_CUSTOM
                                                                                              : qdrant::SHARDING_AUTO);
    }
    if (params != nullptr) {
        if (params->has_replication_factor()) create.set_replication_factor(params->replication_factor());
        if (params->has_write_consistency_factor()) {
            create.set_write_consistency_factor(params->write_consistency_factor());
        }
        if (params->has_on_disk_payload()) create.set_on_disk_payload(params->on_disk_payload());
        if (params->has_payload()) *create.mutable_payload() = params->payload();
    }
    return {};
}

}  // namespace

core::Result<CreateCollectionCalls> build_create_collection(std::string_view collection,
                                                            const plan::PlanCollectionConfig& config) {
    CreateCollectionCalls calls;
    std::optional<qdrant::CollectionParamsDiff> params;
    if (auto group = replication_group(config)) {
        params.emplace();
        ZORV_CHECK(replication_params_to_proto(*group, *params));
    }
    ZORV_CHECK(fill_create(config, params ? &*params : nullptr, calls.create));
    calls.create.set_collection_name(std::string(collection));
    if (config.read_fan_out_factor || config.read_fan_out_delay_ms) {
        auto& update = calls.fan_out.emplace();
        update.set_collection_name(std::string(collection));
        *update.mutable_params() = std::move(*params);
    }
    if (config.shard_keys) {
        for (const plan::PlanShardKey& key : *config.shard_keys) {
            calls.shard_keys.push_back(shard_key_request(collection, key));
        }
    }
    return calls;
}

core::Result<qdrant::UpdateCollection> build_update_collection(std::string_view collection,
                                                               const plan::PlanCollectionUpdate& update) {
    qdrant::UpdateCollection request;
    request.set_collection_name(std::string(collection));
    if (update.optimizers_config) optimizers_to_proto(*update.optimizers_config, *request.mutable_optimizers_config());
    if (update.params) ZORV_CHECK(replication_params_to_proto(*update.params, *request.mutable_params()));
    if (update.hnsw_config) ZORV_CHECK(hnsw_to_proto(*update.hnsw_config, *request.mutable_hnsw_config()));
    if (update.quantization_config) {
        ZORV_CHECK(quantization_diff_to_proto(*update.quantization_config, *request.mutable_quantization_config()));
    }
    if (update.vectors) ZORV_CHECK(vectors_diff_to_proto(*update.vectors, *request.mutable_vectors_config()));
    if (update.sparse_vectors) {
        ZORV_CHECK(sparse_vectors_diff_to_proto(*update.sparse_vectors, *request.mutable_sparse_vectors_config()));
    }
    if (update.strict_mode_config) {
        ZORV_CHECK(strict_mode_to_proto(*update.strict_mode_config, *request.mutable_strict_mode_config()));
    }
    if (update.metadata) ZORV_CHECK(metadata_to_proto(*update.metadata, *request.mutable_metadata()));
    return request;
}

core::Result<qdrant::CreateShardKeyRequest> build_create_shard_key(const plan::CreateShardKeyOp& op) {
    qdrant::CreateShardKeyRequest request = shard_key_request(op.collection, op.shard_key);
    qdrant::CreateShardKey& create = *request.mutable_request();
    if (op.shards_number) create.set_shards_number(*op.shards_number);
    if (op.replication_factor) create.set_replication_factor(*op.replication_factor);
    if (op.placement) {
        for (std::uint64_t peer : *op.placement) create.add_placement(peer);
    }
    if (op.initial_state) create.set_initial_state(ZORV_TRY(replica_state_to_proto(*op.initial_state)));
    return request;
}

qdrant::DeleteShardKeyRequest build_delete_shard_key(const plan::DropShardKeyOp& op) {
    qdrant::DeleteShardKeyRequest request;
    request.set_collection_name(op.collection);
    shard_key_to_proto(op.shard_key, *request.mutable_request()->mutable_shard_key());
    return request;
}

void shard_key_to_proto(const plan::PlanShardKey& key, qdrant::ShardKey& out) {
    if (const auto* number = std::get_if<std::uint64_t>(&key)) {
        out.set_number(*number);
    } else {
        out.set_keyword(std::get<std::string>(key));
    }
}

core::Result<std::vector<plan::PlanShardKey>> shard_keys_from_proto(const qdrant::ListShardKeysResponse& reply,
                                                                    std::string_view collection) {
    std::vector<plan::PlanShardKey> keys;
    keys.reserve(static_cast<std::size_t>(reply.shard_keys_size()));
    for (const qdrant::ShardKeyDescription& description : reply.shard_keys()) {
        if (!description.has_key()) {
            auto error = core::make_error(core::Diag::BackendEnvelope, "shard key description is missing its key");
            error.add_field("collection", std::string(collection));
            return std::unexpected(std::move(error));
        }
        const qdrant::ShardKey& key = description.key();
        switch (key.key_case()) {
            case qdrant::ShardKey::kNumber: keys.emplace_back(std::uint64_t{key.number()}); break;
            case qdrant::ShardKey::kKeyword: keys.emplace_back(key.keyword()); break;
            default: return core::fail(core::Diag::BackendEnvelope, "shard key carries no value");
        }
    }
    return keys;
}

}  // namespace zorv::runtime::rpc
