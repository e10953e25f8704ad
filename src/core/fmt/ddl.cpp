#include "core/fmt/ddl.h"

#include <string>
#include <vector>

#include "core/fmt/collection.h"
#include "core/fmt/values.h"
#include "core/overloaded.h"

namespace zorv::core {
namespace {

constexpr std::size_t max_single_line = 80;

void write_wait(TextSink& sink, const std::optional<bool>& wait) {
    if (wait) sink.text(*wait ? " WAIT true" : " WAIT false");
}

void write_mode(TextSink& sink, const CreateCollectionMode& mode) {
    std::visit(Overloaded{
                   [&](const CreateCollectionMode::Dense& dense) {
                       if (dense.model) sink.text(" USING DENSE MODEL ").quoted(*dense.model);
                   },
                   [&](const CreateCollectionMode::Hybrid& hybrid) {
                       sink.text(" HYBRID");
                       if (hybrid.dense_vector) sink.text(" DENSE VECTOR ").identifier(*hybrid.dense_vector);
                       if (hybrid.sparse_vector) sink.text(" SPARSE VECTOR ").identifier(*hybrid.sparse_vector);
                   },
                   [&](const CreateCollectionMode::Rerank&) { sink.text(" HYBRID RERANK"); },
               },
               mode.value);
}

}  // namespace

// One line while short and simple; otherwise one definition per indented line and one clause per line.
void write_create_collection(TextSink& sink, const CreateCollection& create) {
    std::string header;
    TextSink head(header);
    head.text("CREATE COLLECTION ").identifier(create.collection);
    write_mode(head, create.mode);

    std::vector<std::string> defs;
    for (const DenseVectorDef& def : create.vectors) defs.push_back(format_dense_vector_def(def));
    for (const SparseVectorDef& def : create.sparse_vectors) defs.push_back(format_sparse_vector_def(def));
    const std::vector<std::string> clauses = create.config ? format_collection_config_clauses(**create.config)
                                                           : std::vector<std::string>{};

    const std::size_t n = defs.size();
    const std::size_t c = clauses.size();
    std::size_t estimate = header.size();
    if (n > 0) {
        estimate += 3;
        for (const std::string& def : defs) estimate += def.size() + 2;
    }
    for (const std::string& clause : clauses) estimate += clause.size() + 1;
    const bool long_line = estimate > max_single_line;
    const bool multi_line = n >= 2 || (n >= 1 && (c >= 1 || long_line)) || (n == 0 && (c >= 2 || long_line));

    sink.text(header);
    if (multi_line) {
        if (n > 0) {
            sink.text(" (\n  ");
            sink.join(defs, ",\n  ", [](TextSink& s, const std::string& def) { s.text(def); });
            sink.text("\n)");
        }
        for (const std::string& clause : clauses) sink.text('\n').text(clause);
        return;
    }
    if (n > 0) {
        sink.text(" (");
        sink.join(defs, ", ", [](TextSink& s, const std::string& def) { s.text(def); });
        sink.text(')');
    }
    if (c == 1) sink.text(' ').text(clauses.front());
}

void write_alter_collection(TextSink& sink, const AlterCollection& alter) {
    sink.text("ALTER COLLECTION ").identifier(alter.collection);
    const std::vector<std::string> clauses = format_collection_config_clauses(*alter.config);
    const char separator = clauses.size() == 1 ? ' ' : '\n';
    for (const std::string& clause : clauses) sink.text(separator).text(clause);
}

void write_drop_collection(TextSink& sink, const DropCollection& drop) {
    sink.text("DROP COLLECTION ").identifier(drop.collection);
}

void write_create_index(TextSink& sink, const CreateIndex& create) {
    sink.text("CREATE INDEX ON COLLECTION ").identifier(create.collection).text(" FOR ").identifier(create.field);
    sink.text(" TYPE ").text(create.field_type);
    if (!create.options.empty()) {
        write_config_entries(sink.text(" WITH ("), create.options);
        sink.text(')');
    }
    write_wait(sink, create.wait);
}

void write_drop_index(TextSink& sink, const DropIndex& drop) {
    sink.text("DROP INDEX ON COLLECTION ").identifier(drop.collection).text(" FOR ").identifier(drop.field);
}

void write_create_shard_key(TextSink& sink, const CreateShardKey& create) {
    write_shard_key(sink.text("CREATE SHARD KEY "), create.shard_key);
    sink.text(" ON COLLECTION ").identifier(create.collection);
    if (!create.shards_number && !create.replication_factor && !create.placement && !create.initial_state) return;
    sink.text(" WITH (");
    bool first = true;
    auto item = [&](std::string_view key) -> TextSink& {
        if (!first) sink.text(", ");
        first = false;
        return sink.text(key).text(" = ");
    };
    if (create.shards_number) item("shards_number").integer(*create.shards_number);
    if (create.replication_factor) item("replication_factor").integer(*create.replication_factor);
    if (create.placement) {
        item("placement").text('[');
        sink.join(*create.placement, ", ", [](TextSink& s, std::uint64_t peer) { s.integer(peer); });
        sink.text(']');
    }
    if (create.initial_state) item("initial_state").quoted(*create.initial_state);
    sink.text(')');
}

void write_drop_shard_key(TextSink& sink, const DropShardKey& drop) {
    write_shard_key(sink.text("DROP SHARD KEY "), drop.shard_key);
    sink.text(" ON COLLECTION ").identifier(drop.collection);
}

void write_set_quota(TextSink& sink, const SetQuota& quota) {
    write_config_entries(sink.text("SET QUOTA ("), quota.config);
    sink.text(')');
    write_wait(sink, quota.wait);
}

}  // namespace zorv::core
