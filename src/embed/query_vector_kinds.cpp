#include "embed/query_vector_kinds.h"

#include <algorithm>
#include <utility>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "embed/query_inputs.h"
#include "plan/prefetch.h"

namespace zorv::embed {

namespace {

using core::Diag;
using core::QueryExpr;
using core::VectorKind;
using K = QueryExpr::Kind;

// The kind a node's literal vectors imply; nothing while none says.
using Hint = std::optional<VectorKind>;

std::string_view kind_word(VectorKind kind) { return kind == VectorKind::Sparse ? "sparse" : "dense"; }

bool contains(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string all_names(const VectorNameLists& names) {
    std::vector<std::string> both = names.dense;
    both.insert(both.end(), names.sparse.begin(), names.sparse.end());
    return format_vector_names(both);
}

Hint input_hint(const core::QueryInput& input) {
    if (!input.is(core::QueryInput::Kind::Vector)) return std::nullopt;
    switch (input.get<core::QueryInput::Kind::Vector>().kind()) {
        case core::VectorValue::Kind::Dense:
        case core::VectorValue::Kind::MultiDense: return VectorKind::Dense;
        case core::VectorValue::Kind::Sparse: return VectorKind::Sparse;
        default: return std::nullopt;
    }
}

core::Result<Hint> node_hint(const QueryExpr& expr) {
    if (expr.is(K::Rerank)) return Hint(VectorKind::Dense);
    Hint hint;
    ZORV_CHECK(for_each_query_input(expr, [&hint](const core::QueryInput& input) -> core::Result<void> {
        const Hint says = input_hint(input);
        if (!says || hint == says) return {};
        if (!hint) {
            hint = says;
            return {};
        }
        return core::fail(Diag::ValidationVectorKind, "query inputs cannot mix dense and sparse vector values");
    }));
    return hint;
}

core::Result<void> resolve_named_target(std::string_view collection, core::UsingVector& target, Hint hint,
                                        const VectorNameLists& names) {
    Hint found;
    if (contains(names.dense, target.name)) found = VectorKind::Dense;
    else if (contains(names.sparse, target.name)) found = VectorKind::Sparse;
    if (!found) {
        if (target.kind) return {};
        return core::fail(Diag::UnknownVector, format_message("Collection '{}' has no vector named '{}'. Available "
                                                              "vectors: {}",
                                                              collection, target.name, all_names(names)));
    }
    if ((target.kind && target.kind != found) || (hint && hint != found))
        return core::fail(Diag::VectorKind,
                          format_message("Vector '{}' in collection '{}' is {}, which is incompatible with this query",
                                         target.name, collection, kind_word(*found)));
    if (contains(names.multivector, target.name)) target.multi = true;
    if (target.multi && found == VectorKind::Sparse)
        return core::fail(Diag::VectorKind, format_message("Vector '{}' in collection '{}' cannot be multivector "
                                                           "(not dense)",
                                                           target.name, collection));
    target.kind = found;
    return {};
}

// Without USING the collection must offer exactly one candidate of the hinted kind.
core::Result<void> choose_only_target(std::string_view collection, std::optional<core::UsingVector>& using_, Hint hint,
                                      const VectorNameLists& names) {
    const bool dense_ok = hint != VectorKind::Sparse && names.dense.size() == 1;
    const bool sparse_ok = hint != VectorKind::Dense && names.sparse.size() == 1;
    const bool single = hint ? (dense_ok || sparse_ok) : names.dense.size() + names.sparse.size() == 1;
    if (!single)
        return core::fail(Diag::MissingUsing, format_message("Collection '{}' has an ambiguous vector topology. Add "
                                                             "USING <vector_name>. Available vectors: {}",
                                                             collection, all_names(names)));
    const bool dense = hint ? dense_ok : !names.dense.empty();
    core::UsingVector chosen;
    chosen.name = dense ? names.dense.front() : names.sparse.front();
    chosen.kind = dense ? VectorKind::Dense : VectorKind::Sparse;
    chosen.multi = contains(names.multivector, chosen.name);
    using_ = std::move(chosen);
    return {};
}

core::Result<void> resolve_using_target(std::string_view collection, std::optional<core::UsingVector>& using_,
                                        Hint hint, const VectorNameLists& names) {
    if (using_) return resolve_named_target(collection, *using_, hint, names);
    return choose_only_target(collection, using_, hint, names);
}

core::Result<void> resolve_hybrid_vector_name(std::string_view collection, std::optional<std::string>& field,
                                              const std::vector<std::string>& names, std::string_view word) {
    if (field) {
        if (contains(names, *field)) return {};
        return core::fail(Diag::UnknownVector, format_message("Collection '{}' has no vector named '{}'. Available "
                                                              "vectors: {}",
                                                              collection, *field, format_vector_names(names)));
    }
    if (names.size() == 1 && !names.front().empty()) {
        field = names.front();
        return {};
    }
    return core::fail(Diag::MissingUsing,
                      format_message("Collection '{}' does not have exactly one named {} vector. Specify the {} "
                                     "vector explicitly. Available {} vectors: {}",
                                     collection, word, word, word, format_vector_names(names)));
}

core::Result<void> resolve_query_tree_vectors(core::Query& query, std::string_view collection,
                                              const VectorNameLists& names, unsigned depth) {
    if (depth > plan::kMaxQueryDepth) return std::unexpected(plan::nesting_error());
    for (core::CteDefinition& cte : query.ctes)
        ZORV_CHECK(resolve_query_tree_vectors(*cte.query, collection, names, depth + 1));
    QueryExpr& expr = query.expression;
    if (expr.is(K::Hybrid)) {
        auto& hybrid = expr.get<K::Hybrid>();
        ZORV_CHECK(resolve_hybrid_vector_name(collection, hybrid.dense_vector, names.dense, "dense"));
        ZORV_CHECK(resolve_hybrid_vector_name(collection, hybrid.sparse_vector, names.sparse, "sparse"));
    } else if (takes_query_inputs(expr.kind())) {
        const Hint hint = ZORV_TRY(node_hint(expr));
        ZORV_CHECK(resolve_using_target(collection, *expr.using_slot(), hint, names));
    }
    if (core::PrefetchList* prefetch = expr.prefetch_list(); prefetch != nullptr) {
        for (core::Prefetch& item : *prefetch) {
            if (item.source.is(core::PrefetchSource::Kind::Query))
                ZORV_CHECK(resolve_query_tree_vectors(item.source.query(), collection, names, depth + 1));
        }
    }
    return {};
}

bool node_target_open(const QueryExpr& expr) {
    if (expr.is(K::Hybrid)) {
        const auto& hybrid = expr.get<K::Hybrid>();
        return !hybrid.dense_vector || !hybrid.sparse_vector;
    }
    if (!takes_query_inputs(expr.kind())) return false;
    const std::optional<core::UsingVector>& using_ = *expr.using_slot();
    // A dense target may still turn out to be a multivector.
    return !using_ || !using_->kind || (using_->kind == VectorKind::Dense && !using_->multi);
}

}  // namespace

bool query_needs_client_embedding(const core::Query& query) {
    std::vector<const core::Query*> pending{&query};
    while (!pending.empty()) {
        const core::Query* next = pending.back();
        pending.pop_back();
        if (node_target_open(next->expression)) return true;
        for (const core::CteDefinition& cte : next->ctes) pending.push_back(&*cte.query);
        if (const core::PrefetchList* prefetch = next->expression.prefetch_list(); prefetch != nullptr) {
            for (const core::Prefetch& item : *prefetch) {
                if (item.source.is(core::PrefetchSource::Kind::Query)) pending.push_back(&item.source.query());
            }
        }
    }
    return false;
}

core::Result<void> resolve_query_vector_names(core::Query& query, std::string_view collection,
                                              const VectorNameLists& names) {
    VectorNameLists own = names;
    // A collection that names no vector has the unnamed one.
    if (own.dense.empty() && own.sparse.empty()) own.dense.emplace_back();
    return resolve_query_tree_vectors(query, collection, own, 0);
}

core::Result<TargetFlags> using_target_flags(const std::optional<core::UsingVector>& using_) {
    if (!using_) return TargetFlags{};
    if (!using_->kind)
        return core::fail(Diag::VectorKind,
                          format_message("vector kind for '{}' is unknown; use `USING {} AS DENSE|SPARSE|MULTI` or "
                                         "resolve kinds from the collection schema before embedding",
                                         using_->name, using_->name));
    return TargetFlags{*using_->kind == VectorKind::Sparse, using_->multi};
}

core::Result<void> check_rerank_target(TargetFlags flags) {
    if (flags.sparse)
        return core::fail(Diag::VectorKind, "RERANK requires a dense (or multivector) target, not sparse");
    return {};
}

core::Result<void> check_image_target(TargetFlags flags) {
    if (flags.sparse) return core::fail(Diag::VectorKind, "IMAGE input requires a dense target, not sparse");
    if (flags.multi)
        return core::fail(Diag::VectorKind,
                          "IMAGE input produces single-vector dense, not multivector; use TEXT "
                          "with AS MULTI for ColBERT");
    return {};
}

std::string format_vector_names(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += names[i].empty() ? std::string_view("<default>") : std::string_view(names[i]);
    }
    return out;
}

}  // namespace zorv::embed
