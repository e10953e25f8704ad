#include "embed/embedding_targets.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "embed/message_format.h"

namespace zorv::embed {

using core::Diag;
using core::fail;
using core::Result;

namespace {

using Target = EmbeddingTarget;

std::string shown_name(const std::string& name) { return name.empty() ? "<default>" : name; }

std::string join_shown(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        if (!out.empty()) out += ", ";
        out += shown_name(name);
    }
    return out;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::ranges::find(names, name) != names.end();
}

Target vector_target(Target::Kind kind, const std::string& vector) {
    core::EmbeddingClause clause{.model = std::nullopt, .vector = vector, .field = std::nullopt};
    if (kind == Target::Kind::Dense) return Target{Target::Dense{std::move(clause)}};
    if (kind == Target::Kind::Sparse) return Target{Target::Sparse{std::move(clause)}};
    return Target{Target::MultiVector{std::move(clause)}};
}

// The slot of a single-vector target and the candidate names it is picked from.
struct SingleSlot {
    std::optional<std::string>* vector;
    const std::vector<std::string>* candidates;
    std::string_view word;
};

}  // namespace

Result<EmbeddingTarget> infer_embedding_targets(std::string_view collection, const std::vector<std::string>& dense,
                                                const std::vector<std::string>& sparse,
                                                const std::vector<std::string>& multivector) {
    const std::size_t d = dense.size();
    const std::size_t s = sparse.size();
    if ((d == 0 && s == 0 && multivector.empty()) || d > 1 || s > 1) {
        return fail(Diag::EmbeddingTopology,
                    format_message("cannot infer text embedding targets for collection '{}': {} dense and {} sparse "
                                   "vectors. Add USING DENSE/SPARSE/HYBRID/MULTI or explicit EMBED directives",
                                   collection, d, s));
    }
    std::vector<Target> targets;
    if (d == 1 && s == 0) targets.push_back(vector_target(Target::Kind::Dense, dense[0]));
    if (d == 0 && s == 1) targets.push_back(vector_target(Target::Kind::Sparse, sparse[0]));
    if (d == 1 && s == 1) {
        Target::Hybrid hybrid;
        hybrid.dense_vector = dense[0];
        hybrid.sparse_vector = sparse[0];
        targets.push_back(Target{std::move(hybrid)});
    }
    for (const std::string& name : multivector) targets.push_back(vector_target(Target::Kind::MultiVector, name));
    if (targets.size() == 1) return std::move(targets.front());
    return Target{Target::Multi{std::move(targets)}};
}

Result<void> resolve_embedding_targets(core::Upsert& upsert, const VectorNameLists& lists) {
    const std::vector<std::string>& multi = lists.multivector.empty() ? lists.dense : lists.multivector;
    if (upsert.embedding) {
        auto resolved = resolve_target_vectors(upsert.collection, *upsert.embedding, lists.dense, lists.sparse, multi);
        if (!resolved) return resolved;
    }
    for (const EmbedDirective& clause : upsert.embed) {
        const std::vector<std::string>* candidates = &lists.dense;
        std::string_view word = "dense";
        if (clause.kind.kind == core::EmbedFieldKind::Kind::Sparse) {
            candidates = &lists.sparse;
            word = "sparse";
        } else if (clause.kind.kind == core::EmbedFieldKind::Kind::Multi) {
            candidates = &multi;
            word = "multivector";
        }
        if (!contains(*candidates, clause.target_vector)) {
            return std::unexpected(target_not_found_error(word, clause.target_vector, upsert.collection, *candidates));
        }
    }
    return {};
}

Result<void> resolve_target_vectors(std::string_view collection, EmbeddingTarget& target,
                                    const std::vector<std::string>& dense, const std::vector<std::string>& sparse,
                                    const std::vector<std::string>& multivector) {
    if (auto* multi = std::get_if<Target::Multi>(&target.value)) {
        for (Target& member : multi->embeddings) {
            auto resolved = resolve_target_vectors(collection, member, dense, sparse, multivector);
            if (!resolved) return resolved;
        }
        return {};
    }
    if (auto* hybrid = std::get_if<Target::Hybrid>(&target.value)) {
        auto picked = pick_embedding_target(collection, hybrid->dense_vector, dense, "dense");
        if (!picked) return picked;
        return pick_embedding_target(collection, hybrid->sparse_vector, sparse, "sparse");
    }
    SingleSlot slot = std::visit(
        [&](auto& variant) -> SingleSlot {
            using V = std::decay_t<decltype(variant)>;
            if constexpr (std::is_same_v<V, Target::Sparse>) return {&variant.clause.vector, &sparse, "sparse"};
            if constexpr (std::is_same_v<V, Target::MultiVector>) {
                return {&variant.clause.vector, &multivector, "multivector"};
            }
            if constexpr (std::is_same_v<V, Target::Dense> || std::is_same_v<V, Target::Image>) {
                return {&variant.clause.vector, &dense, "dense"};
            }
            return {nullptr, nullptr, {}};  // Hybrid and Multi are handled above
        },
        target.value);
    if (slot.vector == nullptr) return {};
    return pick_embedding_target(collection, *slot.vector, *slot.candidates, slot.word);
}

Result<void> pick_embedding_target(std::string_view collection, std::optional<std::string>& slot,
                                   const std::vector<std::string>& candidates, std::string_view kind_word) {
    if (slot) {
        if (contains(candidates, *slot)) return {};
        return std::unexpected(target_not_found_error(kind_word, *slot, collection, candidates));
    }
    if (candidates.size() == 1) {
        slot = candidates.front();
        return {};
    }
    return fail(Diag::EmbeddingTopology,
                format_message("cannot infer a {} embedding target for collection '{}': available {} vectors are {}",
                               kind_word, collection, kind_word, join_vector_names(candidates)));
}

core::ZorvError target_not_found_error(std::string_view kind_word, std::string_view name, std::string_view collection,
                                       const std::vector<std::string>& candidates) {
    return core::make_error(Diag::EmbeddingTarget,
                            format_message("{} vector '{}' does not exist in collection '{}'. Available {} vectors: {}",
                                           kind_word, name, collection, kind_word, join_vector_names(candidates)));
}

std::string join_vector_names(const std::vector<std::string>& names) {
    return names.empty() ? std::string("<none>") : join_shown(names);
}

void apply_single_vector_name(core::Upsert& upsert, const protocol::CollectionSchema& schema) {
    const VectorNameLists lists = vector_name_lists(schema);
    if (lists.dense.size() != 1 || lists.dense.front().empty()) return;
    const std::string& name = lists.dense.front();
    for (core::UpsertRow& row : upsert.points) {
        auto* point = std::get_if<core::UpsertRow::Point>(&row.value);
        if (point == nullptr || !point->vectors) continue;
        auto* unnamed = std::get_if<core::VectorValue>(&point->vectors->value);
        if (unnamed == nullptr) continue;
        core::NamedVectors named;
        named.emplace_back(name, std::move(*unnamed));
        point->vectors->value = std::move(named);
    }
}

std::vector<TargetLeaf> collect_tree_leaves(const EmbeddingTarget& target) {
    std::vector<TargetLeaf> leaves;
    if (const auto* dense = std::get_if<Target::Dense>(&target.value)) {
        leaves.push_back({.model = dense->clause.model,
                          .dense_vector = dense->clause.vector,
                          .sparse_vector = std::nullopt,
                          .dense = true,
                          .sparse = false});
    } else if (const auto* sparse = std::get_if<Target::Sparse>(&target.value)) {
        leaves.push_back({.model = sparse->clause.model,
                          .dense_vector = std::nullopt,
                          .sparse_vector = sparse->clause.vector,
                          .dense = false,
                          .sparse = true});
    } else if (const auto* hybrid = std::get_if<Target::Hybrid>(&target.value)) {
        leaves.push_back({.model = hybrid->dense_model,
                          .dense_vector = hybrid->dense_vector,
                          .sparse_vector = hybrid->sparse_vector,
                          .dense = true,
                          .sparse = true});
    } else if (const auto* multi = std::get_if<Target::Multi>(&target.value)) {
        for (const Target& member : multi->embeddings)
            std::ranges::move(collect_tree_leaves(member), std::back_inserter(leaves));
    }
    return leaves;
}

core::ZorvError unknown_vector_error(std::string_view collection, std::string_view name,
                                     const std::vector<std::string>& available) {
    return core::make_error(Diag::UnknownVector,
                            format_message("Collection '{}' has no vector named '{}'. Available vectors: {}",
                                           collection, shown_name(std::string(name)), join_shown(available)));
}

}  // namespace zorv::embed
