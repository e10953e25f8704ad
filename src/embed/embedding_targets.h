// Where the USING ... MODEL target and the EMBED clauses of an UPSERT write, matched against the
// vectors of a collection.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/mutation.h"
#include "core/error.h"
#include "embed/vector_names.h"
#include "protocol/collection_schema.h"

namespace zorv::embed {

// The USING ... MODEL target of an UPSERT; an unset vector name is inferred or defaulted, an empty
// one is the collection's unnamed vector.
using EmbeddingTarget = core::UpsertEmbedding;
// One EMBED clause.
using EmbedDirective = core::EmbedField;

// One dense and/or sparse vector a target implies.
struct TargetLeaf {
    std::optional<std::string> model;
    std::optional<std::string> dense_vector;
    std::optional<std::string> sparse_vector;
    bool dense = false;
    bool sparse = false;
    friend bool operator==(const TargetLeaf&, const TargetLeaf&) = default;
};

// The target of a statement that names none: Dense, Sparse or Hybrid from the single dense and
// sparse vectors, then one MultiVector per multivector name. `dense` excludes the multivector names.
core::Result<EmbeddingTarget> infer_embedding_targets(std::string_view collection,
                                                      const std::vector<std::string>& dense,
                                                      const std::vector<std::string>& sparse,
                                                      const std::vector<std::string>& multivector);

// Fills the unset vector names of the statement's target and checks every given name, the EMBED
// clauses' included, against the collection's names of the matching kind.
core::Result<void> resolve_embedding_targets(core::Upsert& upsert, const VectorNameLists& lists);
core::Result<void> resolve_target_vectors(std::string_view collection, EmbeddingTarget& target,
                                          const std::vector<std::string>& dense, const std::vector<std::string>& sparse,
                                          const std::vector<std::string>& multivector);
// `kind_word` is "dense", "sparse" or "multivector".
core::Result<void> pick_embedding_target(std::string_view collection, std::optional<std::string>& slot,
                                         const std::vector<std::string>& candidates, std::string_view kind_word);
core::ZorvError target_not_found_error(std::string_view kind_word, std::string_view name, std::string_view collection,
                                       const std::vector<std::string>& candidates);
// "<none>" for no names; the unnamed vector is written "<default>".
std::string join_vector_names(const std::vector<std::string>& names);

// With a single named dense vector, rows with one unnamed vector get it under that name.
void apply_single_vector_name(core::Upsert& upsert, const protocol::CollectionSchema& schema);

std::vector<TargetLeaf> collect_tree_leaves(const EmbeddingTarget& target);

// A row vector the collection lacks.
core::ZorvError unknown_vector_error(std::string_view collection, std::string_view name,
                                     const std::vector<std::string>& available);

}  // namespace zorv::embed
