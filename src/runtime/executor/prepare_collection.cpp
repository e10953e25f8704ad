#include "runtime/executor/prepare_collection.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/diagnostics.h"
#include "embed/embedding_targets.h"
#include "embed/message_format.h"
#include "runtime/executor/probe_dimension.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

namespace {

using core::CreateCollectionMode;
using core::Diag;
using embed::format_message;

// The vectors a mode implies when the statement declares none.
struct ModeVectors {
    std::string dense = "dense";
    std::optional<std::string> sparse;
    bool colbert = false;
};

ModeVectors mode_vectors(const CreateCollectionMode& mode) {
    ModeVectors out;
    if (const auto* hybrid = std::get_if<CreateCollectionMode::Hybrid>(&mode.value)) {
        out.dense = hybrid->dense_vector.value_or("dense");
        out.sparse = hybrid->sparse_vector.value_or("sparse");
    } else if (std::holds_alternative<CreateCollectionMode::Rerank>(mode.value)) {
        out.sparse = "sparse";
        out.colbert = true;
    }
    return out;
}

core::DenseVectorDef dense_def(std::string name, std::uint64_t size, bool multivector) {
    core::DenseVectorDef def;
    def.name = std::move(name);
    def.size = size;
    def.distance = core::DistanceMetric::Cosine;
    def.multivector = multivector;
    return def;
}

bool contains(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::uint64_t rerank_multi_dimension(const Executor& executor) {
    if (executor.embedder) {
        if (auto dimension = executor.embedder->multi_dimension()) return *dimension;
    }
    if (!executor.settings || executor.settings->multi_dimension == 0) return fallback_multi_dimension;
    return executor.settings->multi_dimension;
}

AsyncResult<void> complete_create_collection(Executor& executor, core::CreateCollection& create) {
    const auto* dense_mode = std::get_if<CreateCollectionMode::Dense>(&create.mode.value);
    std::optional<std::string> model = dense_mode != nullptr ? dense_mode->model : std::nullopt;
    if (model && executor.embedder && !executor.embedder->supports_model(*model))
        co_return core::fail(Diag::EmbeddingModel,
                             format_message("embedding model '{}' is not available from the configured embedder",
                                            *model));
    if (!create.vectors.empty()) {
        // Only a single declared vector of a model-based collection is held to the model's size.
        if (!model) co_return core::Result<void>{};
        auto dimension = co_await probe_dimension(executor, model);
        if (!dimension) co_return std::unexpected(std::move(dimension).error());
        if (create.vectors.size() == 1 && create.vectors.front().size != *dimension)
            co_return core::fail(Diag::EmbeddingDim,
                                 format_message("collection vector dimension {} does not match embedding model '{}' "
                                                "dimension {}",
                                                create.vectors.front().size, *model, *dimension));
        co_return core::Result<void>{};
    }
    // Sparse-only collections stay sparse-only.
    if (dense_mode != nullptr && !model && !create.sparse_vectors.empty()) co_return core::Result<void>{};
    ModeVectors added = mode_vectors(create.mode);
    auto dimension = co_await probe_dimension(executor, std::move(model));
    if (!dimension) co_return std::unexpected(std::move(dimension).error());
    create.vectors.push_back(dense_def(std::move(added.dense), *dimension, false));
    if (added.sparse) {
        core::SparseVectorDef sparse;
        sparse.name = std::move(*added.sparse);
        create.sparse_vectors.push_back(std::move(sparse));
    }
    if (added.colbert) create.vectors.push_back(dense_def("colbert", rerank_multi_dimension(executor), true));
    co_return core::Result<void>{};
}

AsyncResult<void> check_alter_collection(Executor& executor, const core::AlterCollection& alter) {
    const core::CollectionSettings& config = *alter.config;
    if (!config.vectors && config.vector_diffs.empty() && config.sparse_vector_diffs.empty())
        co_return core::Result<void>{};
    auto names = co_await cache_schema(executor, alter.collection);
    if (!names) co_return std::unexpected(std::move(names).error());
    co_return check_alter_vector_names(alter, **names);
}

core::Result<void> check_alter_vector_names(const core::AlterCollection& alter, const embed::VectorNameLists& names) {
    if (names.dense.empty() && names.sparse.empty()) return {};
    const core::CollectionSettings& config = *alter.config;
    if (config.vectors && !contains(names.dense, ""))
        return std::unexpected(embed::unknown_vector_error(alter.collection, "", names.dense));
    for (const core::VectorDiff& diff : config.vector_diffs) {
        if (!contains(names.dense, diff.name))
            return std::unexpected(embed::unknown_vector_error(alter.collection, diff.name, names.dense));
    }
    for (const core::SparseVectorDiff& diff : config.sparse_vector_diffs) {
        if (!contains(names.sparse, diff.name))
            return std::unexpected(embed::unknown_vector_error(alter.collection, diff.name, names.sparse));
    }
    return {};
}

}  // namespace zorv::runtime
