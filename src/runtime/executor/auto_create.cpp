#include "runtime/executor/auto_create.h"

#include <utility>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "runtime/executor/probe_dimension.h"

namespace zorv::runtime {

namespace {

// Keeps the first value given; a later different one is a conflict named by `what`.
core::Result<void> agree(std::string_view collection, std::optional<std::string>& kept,
                         const std::optional<std::string>& leaf, std::string_view what) {
    if (!leaf) return {};
    if (!kept) {
        kept = leaf;
        return {};
    }
    if (*kept == *leaf) return {};
    return core::fail(core::Diag::EmbeddingTopology,
                      embed::format_message("cannot auto-create collection '{}': conflicting {} '{}' vs '{}'; create "
                                            "the collection explicitly",
                                            collection, what, *kept, *leaf));
}

}  // namespace

core::Result<AutoCollectionShape> agree_auto_collection(std::string_view collection,
                                                        const std::vector<embed::TargetLeaf>& leaves) {
    AutoCollectionShape shape;
    for (const embed::TargetLeaf& leaf : leaves) {
        if (leaf.dense) ZORV_CHECK(agree(collection, shape.dense_vector, leaf.dense_vector, "dense vector names"));
        if (leaf.sparse) ZORV_CHECK(agree(collection, shape.sparse_vector, leaf.sparse_vector, "sparse vector names"));
        ZORV_CHECK(agree(collection, shape.model, leaf.model, "embedding models"));
        shape.dense = shape.dense || leaf.dense;
        shape.sparse = shape.sparse || leaf.sparse;
    }
    return shape;
}

plan::PlanOp auto_collection_plan(std::string collection, const AutoCollectionShape& shape, std::uint64_t dimension) {
    plan::PlanCollectionConfig config;
    if (shape.dense) {
        plan::PlanVectorParams params;
        params.size = dimension;
        params.distance = plan::PlanDistance::Cosine;
        plan::VectorNameMap<plan::PlanVectorParams> vectors;
        vectors.emplace(shape.dense_vector.value_or("dense"), std::move(params));
        config.vectors = plan::PlanVectors(std::move(vectors));
    }
    if (shape.sparse) {
        plan::VectorNameMap<plan::PlanSparseVectorParams> sparse;
        sparse.emplace(shape.sparse_vector.value_or("sparse"),
                       plan::PlanSparseVectorParams{std::nullopt, plan::PlanSparseModifier::Idf});
        config.sparse_vectors = std::move(sparse);
    }
    return plan::make_op<plan::PlanOpKind::CreateCollection>(
        plan::CreateCollectionOp{std::move(collection), std::move(config)});
}

AsyncResult<void> create_missing_collection(Executor& executor, const core::Upsert& upsert) {
    const std::vector<embed::TargetLeaf> leaves = embed::collect_tree_leaves(*upsert.embedding);
    if (leaves.empty()) co_return core::Result<void>{};
    auto shape = agree_auto_collection(upsert.collection, leaves);
    if (!shape) co_return std::unexpected(std::move(shape).error());
    auto exists = co_await executor.backend->collection_exists(upsert.collection);
    if (!exists) co_return std::unexpected(std::move(exists).error());
    if (*exists) co_return core::Result<void>{};
    std::uint64_t dimension = 0;
    if (shape->dense) {
        auto probed = co_await probe_dimension(executor, shape->model);
        if (!probed) co_return std::unexpected(std::move(probed).error());
        dimension = *probed;
    }
    plan::PlanOp op = auto_collection_plan(upsert.collection, *shape, dimension);
    auto created = co_await executor.backend->execute(std::move(op));
    if (!created) co_return std::unexpected(std::move(created).error());
    co_return core::Result<void>{};
}

}  // namespace zorv::runtime
