#include "embed/upsert_embedding.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "core/text.h"
#include "embed/default_text.h"
#include "embed/message_format.h"

namespace zorv::embed {

using core::Diag;
using core::fail;
using core::Result;

namespace {

using Target = EmbeddingTarget;
using core::LiteralDict;
using core::UpsertRow;
using core::VectorValue;

enum class CallKind : std::uint8_t { Dense, Sparse, Multi, Image };

const UpsertRow::Point* point_of(const UpsertRow& row) { return std::get_if<UpsertRow::Point>(&row.value); }

const std::string* non_empty_str(const core::Literal& value) {
    if (!value.is(core::Literal::Kind::Str) || value.as_str().empty()) return nullptr;
    return &value.as_str();
}

// For each key in turn the first entry under it decides; a value other than a non-empty string
// moves on to the next key.
const std::string* text_under_keys(const LiteralDict& payload, std::span<const std::string_view> keys) {
    for (const std::string_view key : keys) {
        for (const auto& [name, value] : payload) {
            if (!core::equals_ignore_case(name, key)) continue;
            if (const std::string* text = non_empty_str(value)) return text;
            break;
        }
    }
    return nullptr;
}

// ON FIELD: entries under the key that hold no text are passed over.
const std::string* text_on_field(const LiteralDict& payload, std::string_view field) {
    for (const auto& [name, value] : payload) {
        if (!core::equals_ignore_case(name, field)) continue;
        if (const std::string* text = non_empty_str(value)) return text;
    }
    return nullptr;
}

// EMBED: the first entry under the key decides.
const std::string* text_of_source(const LiteralDict& payload, std::string_view field) {
    for (const auto& [name, value] : payload) {
        if (core::equals_ignore_case(name, field)) return non_empty_str(value);
    }
    return nullptr;
}

template <class Pick>
std::vector<InputPair> collect_pairs(std::span<const UpsertRow> rows, Pick pick) {
    std::vector<InputPair> pairs;
    for (std::size_t at = 0; at < rows.size(); ++at) {
        const UpsertRow::Point* point = point_of(rows[at]);
        if (point == nullptr) continue;
        if (const std::string* text = pick(*point)) pairs.push_back({at, *text});
    }
    return pairs;
}

std::vector<InputPair> collect_with_keys(std::span<const UpsertRow> rows, const std::optional<std::string>& field,
                                         std::span<const std::string_view> keys) {
    if (field) return collect_pairs(rows, [&](const UpsertRow::Point& p) { return text_on_field(p.payload, *field); });
    return collect_pairs(rows, [&](const UpsertRow::Point& p) { return text_under_keys(p.payload, keys); });
}

std::string join_keys(std::span<const std::string_view> keys) {
    std::string out;
    for (const std::string_view key : keys) {
        if (!out.empty()) out += ", ";
        out += key;
    }
    return out;
}

// The distinct payload keys of the first five rows, in order of first appearance.
std::string found_fields(std::span<const UpsertRow> rows) {
    std::vector<std::string_view> keys;
    for (const UpsertRow& row : rows.first(std::min<std::size_t>(rows.size(), 5))) {
        const UpsertRow::Point* point = point_of(row);
        if (point == nullptr) continue;
        for (const auto& entry : point->payload) {
            if (std::ranges::find(keys, std::string_view(entry.first)) == keys.end()) keys.emplace_back(entry.first);
        }
    }
    return join_keys(keys);
}

core::ZorvError count_error(CallKind kind, std::size_t returned, std::size_t inputs, const std::string& model) {
    switch (kind) {
        case CallKind::Multi:
            return core::make_error(Diag::EmbeddingMulti,
                                    format_message("embed_multi_batch returned {} bags for {} texts (model={})",
                                                   returned, inputs, model));
        case CallKind::Image:
            return core::make_error(Diag::EmbeddingImage,
                                    format_message("embed_image_batch returned {} vectors for {} sources (model={})",
                                                   returned, inputs, model));
        case CallKind::Sparse:
        case CallKind::Dense: break;
    }
    const char* operation = kind == CallKind::Dense ? "embed_dense_batch" : "embed_sparse_document_batch";
    return core::make_error(Diag::Embedding, format_message("{} returned {} vectors for {} texts (model={})", operation,
                                                            returned, inputs, model));
}

Result<VectorValue> to_value(DenseVector vector) { return VectorValue{VectorValue::Dense{std::move(vector)}}; }

Result<VectorValue> to_value(SparseVector vector) {
    return VectorValue{VectorValue::Sparse{std::move(vector.indices), std::move(vector.values)}};
}

Result<VectorValue> to_value(MultiVector vector) {
    if (vector.empty()) return fail(Diag::EmbeddingMulti, "embed_multi returned an empty multivector");
    return VectorValue{VectorValue::MultiDense{std::move(vector)}};
}

// The count check, then the i-th result into the row of the i-th pair.
template <class T>
Result<void> write_results(std::vector<UpsertRow>& rows, CallKind kind, const std::vector<InputPair>& pairs,
                           const std::string& vector, const std::string& model, Result<std::vector<T>> results) {
    if (!results) return std::unexpected(std::move(results.error()));
    if (results->size() != pairs.size())
        return std::unexpected(count_error(kind, results->size(), pairs.size(), model));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        VectorValue value = ZORV_TRY(to_value(std::move((*results)[i])));
        auto put = put_named_vector(rows[pairs[i].row], vector, std::move(value));
        if (!put) return put;
    }
    return {};
}

// One embedder call holding every input, then its writes.
AsyncResult<void> embed_into(const Embedder& embedder, std::vector<UpsertRow>& rows, CallKind kind, std::string model,
                             std::vector<InputPair> pairs, std::string vector) {
    std::vector<std::string> inputs;
    inputs.reserve(pairs.size());
    for (const InputPair& pair : pairs) inputs.push_back(pair.input);
    switch (kind) {
        case CallKind::Dense: {
            auto out = co_await embedder.embed_dense_batch(std::move(inputs), model);
            co_return write_results(rows, kind, pairs, vector, model, std::move(out));
        }
        case CallKind::Sparse: {
            auto out = co_await embedder.embed_sparse_document_batch(model, std::move(inputs));
            co_return write_results(rows, kind, pairs, vector, model, std::move(out));
        }
        case CallKind::Multi: {
            auto out = co_await embedder.embed_multi_batch(std::move(inputs), model);
            co_return write_results(rows, kind, pairs, vector, model, std::move(out));
        }
        case CallKind::Image: {
            auto out = co_await embedder.embed_image_batch(std::move(inputs), model);
            co_return write_results(rows, kind, pairs, vector, model, std::move(out));
        }
    }
    co_return Result<void>{};
}

AsyncResult<void> default_dense_embedding(const Embedder& embedder, std::vector<UpsertRow>& rows) {
    std::vector<InputPair> pairs = collect_pairs(rows, [](const UpsertRow::Point& p) -> const std::string* {
        if (p.vectors) return nullptr;
        return text_under_keys(p.payload, default_text_fields);
    });
    if (pairs.empty()) co_return Result<void>{};
    co_return co_await embed_into(embedder, rows, CallKind::Dense, "default", std::move(pairs), "dense");
}

AsyncResult<void> embed_clause(const Embedder& embedder, std::vector<UpsertRow>& rows, EmbedDirective clause,
                               std::vector<std::string>& claimed) {
    auto claim = claim_target_vector(claimed, clause.target_vector);
    if (!claim) co_return claim;
    std::vector<InputPair> pairs =
        collect_pairs(rows, [&](const UpsertRow::Point& p) { return text_of_source(p.payload, clause.source_field); });
    if (pairs.empty()) co_return Result<void>{};
    CallKind kind = CallKind::Dense;
    switch (clause.kind.kind) {
        case core::EmbedFieldKind::Kind::Dense: kind = CallKind::Dense; break;
        case core::EmbedFieldKind::Kind::Sparse: kind = CallKind::Sparse; break;
        case core::EmbedFieldKind::Kind::Multi: kind = CallKind::Multi; break;
        case core::EmbedFieldKind::Kind::Image: kind = CallKind::Image; break;
    }
    std::string model = clause.kind.model.value_or("default");
    co_return co_await embed_into(embedder, rows, kind, std::move(model), std::move(pairs),
                                  std::move(clause.target_vector));
}

// What one single-vector target embeds: its call, the default vector name and the kind label.
struct SingleTarget {
    const core::EmbeddingClause* clause;
    CallKind kind;
    const char* default_vector;
    const char* label;
};

SingleTarget single_target(const Target& target) {
    if (const auto* dense = std::get_if<Target::Dense>(&target.value)) {
        return {&dense->clause, CallKind::Dense, "dense", "DENSE"};
    }
    if (const auto* sparse = std::get_if<Target::Sparse>(&target.value)) {
        return {&sparse->clause, CallKind::Sparse, "sparse", "SPARSE"};
    }
    if (const auto* multi = std::get_if<Target::MultiVector>(&target.value)) {
        return {&multi->clause, CallKind::Multi, "colbert", "MULTI"};
    }
    const auto& image = std::get<Target::Image>(target.value);
    return {&image.clause, CallKind::Image, "image", "IMAGE"};
}

AsyncResult<void> embed_hybrid(const Embedder& embedder, core::Upsert& upsert, Target::Hybrid hybrid,
                               std::vector<std::string>& claimed) {
    std::string dense_vector = hybrid.dense_vector.value_or("dense");
    std::string sparse_vector = hybrid.sparse_vector.value_or("sparse");
    for (const std::string* name : {&dense_vector, &sparse_vector}) {
        auto claim = claim_target_vector(claimed, *name);
        if (!claim) co_return claim;
    }
    std::vector<InputPair> dense_pairs = collect_target_texts(upsert.points, hybrid.dense_field);
    std::vector<InputPair> sparse_pairs = collect_target_texts(upsert.points, hybrid.sparse_field);
    auto found = check_target_inputs_found(upsert.points, "DENSE", hybrid.dense_field, dense_pairs);
    if (found) found = check_target_inputs_found(upsert.points, "SPARSE", hybrid.sparse_field, sparse_pairs);
    if (!found) co_return found;
    std::string dense_model = hybrid.dense_model.value_or("default");
    auto dense = co_await embed_into(embedder, upsert.points, CallKind::Dense, std::move(dense_model),
                                     std::move(dense_pairs), std::move(dense_vector));
    if (!dense) co_return dense;
    std::string sparse_model = hybrid.sparse_model.value_or("default");
    co_return co_await embed_into(embedder, upsert.points, CallKind::Sparse, std::move(sparse_model),
                                  std::move(sparse_pairs), std::move(sparse_vector));
}

}  // namespace

AsyncResult<void> resolve_upsert_embeddings(const Embedder& embedder, core::Upsert& upsert) {
    if (!upsert.embedding && upsert.embed.empty()) co_return co_await default_dense_embedding(embedder, upsert.points);
    std::vector<std::string> claimed;
    if (upsert.embedding) {
        EmbeddingTarget target = *upsert.embedding;
        auto done = co_await resolve_target_embeddings(embedder, upsert, std::move(target), claimed);
        if (!done) co_return done;
    }
    for (const EmbedDirective& clause : upsert.embed) {
        EmbedDirective copy = clause;
        auto done = co_await embed_clause(embedder, upsert.points, std::move(copy), claimed);
        if (!done) co_return done;
    }
    co_return Result<void>{};
}

AsyncResult<void> resolve_target_embeddings(const Embedder& embedder, core::Upsert& upsert, EmbeddingTarget target,
                                            std::vector<std::string>& claimed) {
    if (auto* multi = std::get_if<Target::Multi>(&target.value)) {
        for (Target& member : multi->embeddings) {
            auto done = co_await resolve_target_embeddings(embedder, upsert, std::move(member), claimed);
            if (!done) co_return done;
        }
        co_return Result<void>{};
    }
    if (auto* hybrid = std::get_if<Target::Hybrid>(&target.value)) {
        co_return co_await embed_hybrid(embedder, upsert, std::move(*hybrid), claimed);
    }
    const SingleTarget single = single_target(target);
    std::string vector = single.clause->vector.value_or(single.default_vector);
    auto claim = claim_target_vector(claimed, vector);
    if (!claim) co_return claim;
    std::vector<InputPair> pairs = single.kind == CallKind::Image
                                       ? collect_target_images(upsert.points, single.clause->field)
                                       : collect_target_texts(upsert.points, single.clause->field);
    auto found = check_target_inputs_found(upsert.points, single.label, single.clause->field, pairs);
    if (!found) co_return found;
    std::string model = single.clause->model.value_or("default");
    co_return co_await embed_into(embedder, upsert.points, single.kind, std::move(model), std::move(pairs),
                                  std::move(vector));
}

std::vector<InputPair> collect_target_texts(std::span<const core::UpsertRow> rows,
                                            const std::optional<std::string>& field) {
    return collect_with_keys(rows, field, default_text_fields);
}

std::vector<InputPair> collect_target_images(std::span<const core::UpsertRow> rows,
                                             const std::optional<std::string>& field) {
    return collect_with_keys(rows, field, default_image_fields);
}

Result<void> check_target_inputs_found(std::span<const core::UpsertRow> rows, std::string_view label,
                                       const std::optional<std::string>& field, const std::vector<InputPair>& pairs) {
    if (!pairs.empty()) return {};
    if (field) {
        return fail(Diag::Embedding,
                    format_message("USING {} MODEL specified with ON FIELD '{}' but no matching text payload field "
                                   "found. Found fields: {}",
                                   label, *field, found_fields(rows)));
    }
    const std::string expected = label == "IMAGE" ? join_keys(default_image_fields) : join_keys(default_text_fields);
    return fail(Diag::Embedding,
                format_message("USING {} MODEL specified but no text payload field found. Expected one of: {}. Found "
                               "fields: {}",
                               label, expected, found_fields(rows)));
}

Result<void> claim_target_vector(std::vector<std::string>& claimed, const std::string& name) {
    if (std::ranges::find(claimed, name) != claimed.end()) {
        return fail(Diag::Embedding, format_message("duplicate target vector '{}' in UPSERT embedding clauses", name));
    }
    claimed.push_back(name);
    return {};
}

Result<void> put_named_vector(core::UpsertRow& row, const std::string& name, core::VectorValue value) {
    if (name.empty())
        return fail(Diag::Embedding, "cannot embed into an unnamed vector target; name the target vector");
    auto* found = std::get_if<UpsertRow::Point>(&row.value);
    if (found == nullptr) {
        // Input collection skips placeholder rows; this guards direct callers.
        const std::string shown = std::get<core::Placeholder>(row.value).text();
        return fail(Diag::Embedding, format_message("cannot embed into unbound point parameter '{}'", shown));
    }
    UpsertRow::Point& point = *found;
    if (!point.vectors) {
        core::NamedVectors named;
        named.emplace_back(name, std::move(value));
        point.vectors = core::PointVectors{std::move(named)};
        return {};
    }
    auto* named = std::get_if<core::NamedVectors>(&point.vectors->value);
    if (named == nullptr) {
        return fail(Diag::Embedding,
                    format_message("cannot add named vector '{}' to a point that already has an unnamed vector; "
                                   "provide an explicit named-vector topology or omit EMBED for this point",
                                   name));
    }
    for (auto& [existing, existing_value] : *named) {
        if (existing == name) {
            existing_value = std::move(value);
            return {};
        }
    }
    named->emplace_back(name, std::move(value));
    return {};
}

}  // namespace zorv::embed
