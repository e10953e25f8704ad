// The collection an UPSERT creates when it brings an embedding specification and its target
// collection is missing: one dense vector and/or one sparse vector, named as the specification
// names them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/mutation.h"
#include "embed/embedding_targets.h"
#include "plan/plan_op.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// What the embedding leaves agree on: the first dense name, sparse name and model given.
struct AutoCollectionShape {
    std::optional<std::string> dense_vector;
    std::optional<std::string> sparse_vector;
    std::optional<std::string> model;
    bool dense = false;  // some leaf writes a dense vector
    bool sparse = false;
    friend bool operator==(const AutoCollectionShape&, const AutoCollectionShape&) = default;
};

// ZORV-EMBEDDING-TOPOLOGY when two leaves name different vectors of one kind, or different models.
core::Result<AutoCollectionShape> agree_auto_collection(std::string_view collection,
                                                        const std::vector<embed::TargetLeaf>& leaves);

// CREATE_COLLECTION of a "dense" Cosine vector of `dimension` and an IDF "sparse" vector, or the
// names the shape agreed on.
plan::PlanOp auto_collection_plan(std::string collection, const AutoCollectionShape& shape, std::uint64_t dimension);

// Creates the statement's collection when the server says it is missing. The caller owns
// `upsert` until the awaitable completes.
AsyncResult<void> create_missing_collection(Executor& executor, const core::Upsert& upsert);

}  // namespace zorv::runtime
