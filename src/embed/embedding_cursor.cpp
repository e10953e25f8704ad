#include "embed/embedding_cursor.h"

#include <string_view>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "embed/hybrid_fusion.h"
#include "embed/message_format.h"
#include "embed/query_inputs.h"
#include "embed/query_vector_kinds.h"

namespace zorv::embed {

namespace {

using core::QueryExpr;
using K = QueryExpr::Kind;

constexpr std::string_view kHybridContext = " for HYBRID";

core::ZorvError non_kind_error(EmbedKind kind) {
    return core::make_error(embed_kind_diag(kind), format_message("internal error: {} job produced a non-{} output",
                                                                  embed_kind_name(kind), embed_kind_name(kind)));
}

// The output answering the next job, left in the cursor for the caller to move from.
core::Result<EmbeddingOutput*> take_job_output(EmbeddingCursor& cursor, EmbedKind expected, std::string_view context) {
    const auto ran_out = [&] {
        return core::fail(embed_kind_diag(expected), format_message("internal error: ran out of {} embeddings{}",
                                                                    embed_kind_name(expected), context));
    };
    if (cursor.position >= cursor.jobs.size()) return ran_out();
    const EmbedKind collected = cursor.jobs[cursor.position].kind;
    if (collected != expected)
        return core::fail(embed_kind_diag(expected),
                          format_message("internal error: embedding job mismatch at index {} (collect walked {} leg, "
                                         "apply walked {} leg)",
                                         cursor.position, embed_kind_name(collected), embed_kind_name(expected)));
    const std::size_t index = cursor.position++;
    if (index >= cursor.outputs.size()) return ran_out();
    return &cursor.outputs[index];
}

// The output's vector when it is of `kind`, else the wrong-variant error.
template <EmbedKind kind>
core::Result<std::variant_alternative_t<static_cast<std::size_t>(kind), EmbeddingOutput::Value>> take_output(
    EmbeddingCursor& cursor, std::string_view context) {
    EmbeddingOutput* output = ZORV_TRY(take_job_output(cursor, kind, context));
    if (output->kind() != kind) return std::unexpected(non_kind_error(kind));
    return std::get<static_cast<std::size_t>(kind)>(std::move(output->value));
}

core::QueryInput vector_input(core::VectorValue::Value value) {
    return core::QueryInput{core::VectorValue{std::move(value)}};
}

core::Result<void> apply_text_embedding(core::QueryInput& input, TargetFlags flags, EmbeddingCursor& cursor) {
    if (flags.sparse) {
        SparseVector sparse = ZORV_TRY(take_output<EmbedKind::Sparse>(cursor, {}));
        input = vector_input(core::VectorValue::Sparse{std::move(sparse.indices), std::move(sparse.values)});
    } else if (flags.multi) {
        MultiVector multi = ZORV_TRY(take_output<EmbedKind::Multi>(cursor, {}));
        if (multi.empty()) return core::fail(core::Diag::EmbeddingMulti, "embed_multi returned an empty multivector");
        input = vector_input(core::VectorValue::MultiDense{std::move(multi)});
    } else {
        DenseVector dense = ZORV_TRY(take_output<EmbedKind::Dense>(cursor, {}));
        if (dense.empty()) return core::fail(core::Diag::Embedding, "embed_dense_batch returned an empty vector");
        input = vector_input(core::VectorValue::Dense{std::move(dense)});
    }
    return {};
}

core::Result<void> apply_input_embedding(core::QueryInput& input, TargetFlags flags, EmbeddingCursor& cursor) {
    if (input.is(core::QueryInput::Kind::Text)) return apply_text_embedding(input, flags, cursor);
    if (!input.is(core::QueryInput::Kind::Image)) return {};
    ZORV_CHECK(check_image_target(flags));
    DenseVector image = ZORV_TRY(take_output<EmbedKind::Image>(cursor, {}));
    if (image.empty()) return core::fail(core::Diag::EmbeddingImage, "embed_image returned an empty vector");
    input = vector_input(core::VectorValue::Dense{std::move(image)});
    return {};
}

core::Result<void> apply_query_tree(core::Query& query, EmbeddingCursor& cursor);

core::Result<void> apply_node_embeddings(core::Query& query, EmbeddingCursor& cursor) {
    QueryExpr& expr = query.expression;
    if (expr.is(K::Hybrid)) {
        DenseVector dense = ZORV_TRY(take_output<EmbedKind::Dense>(cursor, kHybridContext));
        SparseVector sparse = ZORV_TRY(take_output<EmbedKind::Sparse>(cursor, kHybridContext));
        QueryExpr fusion = ZORV_TRY(hybrid_fusion(query, expr.get<K::Hybrid>(), std::move(dense), std::move(sparse)));
        // The new stages hold vectors only: nothing below them to write back.
        expr = std::move(fusion);
        return {};
    }
    if (takes_query_inputs(expr.kind())) {
        const TargetFlags flags = ZORV_TRY(using_target_flags(*expr.using_slot()));
        ZORV_CHECK(for_each_query_input(expr, [&](core::QueryInput& input) {
            return apply_input_embedding(input, flags, cursor);
        }));
    }
    if (core::PrefetchList* prefetch = expr.prefetch_list(); prefetch != nullptr) {
        for (core::Prefetch& item : *prefetch) {
            if (item.source.is(core::PrefetchSource::Kind::Query))
                ZORV_CHECK(apply_query_tree(item.source.query(), cursor));
        }
    }
    return {};
}

core::Result<void> apply_query_tree(core::Query& query, EmbeddingCursor& cursor) {
    for (core::CteDefinition& cte : query.ctes) ZORV_CHECK(apply_query_tree(*cte.query, cursor));
    return apply_node_embeddings(query, cursor);
}

}  // namespace

core::Result<void> start_query_write_back(core::Query& query, EmbeddingCursor& cursor) {
    return apply_query_tree(query, cursor);
}

core::Result<void> finish_embedding_cursor(EmbeddingCursor cursor) {
    if (cursor.position >= cursor.jobs.size()) return {};
    const EmbedKind kind = cursor.jobs[cursor.position].kind;
    return core::fail(embed_kind_diag(kind),
                      format_message("internal error: unused {} embeddings after apply", embed_kind_name(kind)));
}

}  // namespace zorv::embed
