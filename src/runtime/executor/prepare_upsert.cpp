#include "runtime/executor/prepare_upsert.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/text.h"
#include "embed/embedding_dimension.h"
#include "embed/embedding_targets.h"
#include "embed/upsert_embedding.h"
#include "embed/vector_names.h"
#include "runtime/executor/auto_create.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

namespace {

using SchemaPtr = std::shared_ptr<const protocol::CollectionSchema>;

constexpr std::array<std::string_view, 3> kTextKeys = {"content", "body", "text"};

bool is_text_entry(const core::LiteralEntry& entry) {
    if (!entry.second.is(core::Literal::Kind::Str) || entry.second.as_str().empty()) return false;
    for (std::string_view key : kTextKeys) {
        if (core::equals_ignore_case(entry.first, key)) return true;
    }
    return false;
}

// Without a collection to match against, text rows get a "dense" and a "sparse" vector.
core::UpsertEmbedding implicit_hybrid() {
    core::UpsertEmbedding::Hybrid hybrid;
    hybrid.dense_vector = "dense";
    hybrid.sparse_vector = "sparse";
    return core::UpsertEmbedding{std::move(hybrid)};
}

std::vector<std::string> without(const std::vector<std::string>& names, const std::vector<std::string>& drop) {
    std::vector<std::string> out;
    for (const std::string& name : names) {
        if (std::find(drop.begin(), drop.end(), name) == drop.end()) out.push_back(name);
    }
    return out;
}

// The embedding clauses matched against an existing collection's vectors.
core::Result<void> resolve_against_schema(core::Upsert& upsert, const protocol::CollectionSchema& schema,
                                          bool text_rows) {
    const embed::VectorNameLists names = embed::vector_name_lists(schema);
    if (text_rows) {
        upsert.embedding =
            ZORV_TRY(embed::infer_embedding_targets(upsert.collection, without(names.dense, names.multivector),
                                                    names.sparse, names.multivector));
    }
    return embed::resolve_embedding_targets(upsert, names);
}

}  // namespace

bool has_text_rows(const core::Upsert& upsert) {
    if (upsert.embedding || !upsert.embed.empty()) return false;
    for (const core::UpsertRow& row : upsert.points) {
        const auto* point = std::get_if<core::UpsertRow::Point>(&row.value);
        if (point == nullptr || point->vectors) continue;
        if (std::ranges::any_of(point->payload, is_text_entry)) return true;
    }
    return false;
}

bool has_unnamed_vector_rows(const core::Upsert& upsert) {
    return std::ranges::any_of(upsert.points, [](const core::UpsertRow& row) {
        const auto* point = std::get_if<core::UpsertRow::Point>(&row.value);
        return point != nullptr && point->vectors && point->vectors->is(core::PointVectors::Kind::Unnamed);
    });
}

AsyncResult<SchemaPtr> existing_schema(Executor& executor, std::string collection) {
    if (SchemaPtr cached = cached_schema(executor, collection)) co_return cached;
    auto exists = co_await executor.backend->collection_exists(collection);
    if (!exists) co_return std::unexpected(std::move(exists).error());
    if (!*exists) co_return SchemaPtr();
    co_return co_await refresh_schema(executor, std::move(collection));
}

AsyncResult<SchemaPtr> settle_upsert_targets(Executor& executor, core::Upsert& upsert) {
    const bool text_rows = has_text_rows(upsert);
    if (upsert.embedding || !upsert.embed.empty() || text_rows) {
        auto schema = co_await existing_schema(executor, upsert.collection);
        if (!schema) co_return std::unexpected(std::move(schema).error());
        if (!*schema) {
            if (text_rows) upsert.embedding = implicit_hybrid();
            co_return SchemaPtr();
        }
        if (auto resolved = resolve_against_schema(upsert, **schema, text_rows); !resolved)
            co_return std::unexpected(std::move(resolved).error());
        co_return std::move(*schema);
    }
    if (!has_unnamed_vector_rows(upsert)) co_return SchemaPtr();
    // Best effort: the server reports a missing collection or a bad vector when the rows arrive.
    auto schema = co_await existing_schema(executor, upsert.collection);
    if (!schema || !*schema) co_return SchemaPtr();
    embed::apply_single_vector_name(upsert, **schema);
    co_return std::move(*schema);
}

AsyncResult<void> prepare_upsert(Executor& executor, core::Upsert& upsert) {
    auto schema = co_await settle_upsert_targets(executor, upsert);
    if (!schema) co_return std::unexpected(std::move(schema).error());
    if (std::shared_ptr<const embed::Embedder> embedder = executor.embedder) {
        auto embedded = co_await embed::resolve_upsert_embeddings(*embedder, upsert);
        if (!embedded) co_return embedded;
    }
    if (upsert.embedding) {
        auto created = co_await create_missing_collection(executor, upsert);
        if (!created) co_return created;
    }
    if (!*schema) co_return core::Result<void>{};
    co_return embed::check_embedding_dimension(upsert, **schema);
}

}  // namespace zorv::runtime
