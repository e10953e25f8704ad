#include "core/fmt/mutation.h"

#include "core/fmt/filter.h"
#include "core/fmt/values.h"
#include "core/fmt/vectors.h"
#include "core/overloaded.h"

namespace zorv::core {
namespace {

// " SHARD key" and " WAIT bool" for the fields that are set, in this order.
void write_tail(TextSink& sink, const std::optional<ShardKey>& shard_key, const std::optional<bool>& wait) {
    if (shard_key) write_shard_key(sink.text(" SHARD "), *shard_key);
    if (wait) sink.text(*wait ? " WAIT true" : " WAIT false");
}

void write_payload_entries(TextSink& sink, const LiteralDict& payload) {
    sink.join(payload, ", ", [](TextSink& s, const LiteralEntry& entry) {
        write_literal(s.identifier(entry.first).text(": "), entry.second);
    });
}

// One row alone follows after a space; several rows go one per line, indented by two spaces.
template <class Rows, class Write>
void write_rows(TextSink& sink, const Rows& rows, Write&& write_row) {
    if (rows.empty()) return;
    sink.text(rows.size() == 1 ? " " : "\n  ");
    sink.join(rows, ",\n  ", write_row);
}

void write_upsert_row(TextSink& sink, const UpsertRow& row) {
    if (const auto* placeholder = std::get_if<Placeholder>(&row.value)) {
        write_placeholder(sink, *placeholder);
        return;
    }
    const auto& point = std::get<UpsertRow::Point>(row.value);
    write_point_id(sink.text("{id: "), point.id);
    if (point.vectors) write_point_vectors(sink.text(", vector: "), *point.vectors);
    if (!point.payload.empty()) write_payload_entries(sink.text(", "), point.payload);
    sink.text('}');
}

// kind [MODEL 'm'] [ON FIELD f] [INTO v]; inside HYBRID the vector is named by VECTOR.
void write_embedding_clause(TextSink& sink, std::string_view kind, const std::optional<std::string>& model,
                            const std::optional<std::string>& vector, const std::optional<std::string>& field,
                            std::string_view vector_word) {
    sink.text(kind);
    if (model) sink.text(" MODEL ").quoted(*model);
    if (field) sink.text(" ON FIELD ").identifier(*field);
    if (vector) sink.text(' ').text(vector_word).text(' ').identifier(*vector);
}

void write_embedding_clause(TextSink& sink, std::string_view kind, const EmbeddingClause& clause) {
    write_embedding_clause(sink, kind, clause.model, clause.vector, clause.field, "INTO");
}

void write_hybrid_embedding(TextSink& sink, const UpsertEmbedding::Hybrid& h) {
    sink.text("HYBRID");
    if (h.dense_model || h.dense_vector || h.dense_field) {
        write_embedding_clause(sink.text(' '), "DENSE", h.dense_model, h.dense_vector, h.dense_field, "VECTOR");
    }
    if (h.sparse_model || h.sparse_vector || h.sparse_field) {
        write_embedding_clause(sink.text(' '), "SPARSE", h.sparse_model, h.sparse_vector, h.sparse_field, "VECTOR");
    }
}

std::string_view embed_kind_word(EmbedFieldKind::Kind kind) {
    switch (kind) {
        case EmbedFieldKind::Kind::Dense: return "DENSE";
        case EmbedFieldKind::Kind::Sparse: return "SPARSE";
        case EmbedFieldKind::Kind::Multi: return "MULTI";
        case EmbedFieldKind::Kind::Image: return "IMAGE";
    }
    return "DENSE";
}

// One entry follows on the line; several start a line of their own, further entries indented.
void write_embed_list(TextSink& sink, const std::vector<EmbedField>& embed) {
    if (embed.empty()) return;
    sink.text(embed.size() == 1 ? " EMBED " : "\nEMBED ");
    sink.join(embed, ",\n  ", write_embed_field);
}

std::string_view update_mode_word(UpdateMode mode) {
    switch (mode) {
        case UpdateMode::InsertOnly: return "insert_only";
        case UpdateMode::UpdateOnly: return "update_only";
        case UpdateMode::Upsert: return "upsert";
    }
    return "upsert";
}

void write_update_vector_row(TextSink& sink, const UpdateVectorRow& row) {
    write_point_id(sink.text("{id: "), row.id);
    write_point_vectors(sink.text(", vector: "), row.vectors);
    sink.text('}');
}

void write_names(TextSink& sink, const std::vector<std::string>& names) {
    sink.join(names, ", ", [](TextSink& s, const std::string& name) { s.identifier(name); });
}

// "<head> <names> FROM <collection> WHERE <selector>" and the tail, shared by the DELETE forms
// and CLEAR PAYLOAD.
void write_selected(TextSink& sink, std::string_view head, const std::vector<std::string>* names,
                    const std::string& collection, const PointSelector& selector,
                    const std::optional<ShardKey>& shard_key, const std::optional<bool>& wait) {
    sink.text(head);
    if (names != nullptr) write_names(sink.text(' '), *names);
    sink.text(names != nullptr ? " FROM " : " ").identifier(collection);
    write_point_selector(sink.text(" WHERE "), selector);
    write_tail(sink, shard_key, wait);
}

}  // namespace

void write_upsert_embedding(TextSink& sink, const UpsertEmbedding& embedding) {
    std::visit(Overloaded{
                   [&](const UpsertEmbedding::Dense& e) { write_embedding_clause(sink, "DENSE", e.clause); },
                   [&](const UpsertEmbedding::Sparse& e) { write_embedding_clause(sink, "SPARSE", e.clause); },
                   [&](const UpsertEmbedding::Hybrid& e) { write_hybrid_embedding(sink, e); },
                   [&](const UpsertEmbedding::MultiVector& e) {
                       write_embedding_clause(sink, "MULTIVECTOR", e.clause);
                   },
                   [&](const UpsertEmbedding::Image& e) { write_embedding_clause(sink, "IMAGE", e.clause); },
                   [&](const UpsertEmbedding::Multi& e) { sink.join(e.embeddings, ", ", write_upsert_embedding); },
               },
               embedding.value);
}

void write_embed_field(TextSink& sink, const EmbedField& field) {
    sink.identifier(field.source_field).text(" INTO ").identifier(field.target_vector);
    sink.text(" USING ").text(embed_kind_word(field.kind.kind));
    if (field.kind.model) sink.text(" MODEL ").quoted(*field.kind.model);
}

std::string format_upsert_embedding(const UpsertEmbedding& embedding) {
    return print_to_string(write_upsert_embedding, embedding);
}

std::string format_embed_field(const EmbedField& field) { return print_to_string(write_embed_field, field); }

void write_upsert(TextSink& sink, const Upsert& upsert) {
    sink.text("UPSERT INTO ").identifier(upsert.collection).text(" VALUES");
    write_rows(sink, upsert.points, write_upsert_row);
    if (upsert.embedding) write_upsert_embedding(sink.text(" USING "), *upsert.embedding);
    write_embed_list(sink, upsert.embed);
    if (upsert.update_filter) write_filter(sink.text(" UPDATE FILTER "), *upsert.update_filter);
    if (upsert.update_mode) sink.text(" UPDATE MODE ").text(update_mode_word(*upsert.update_mode));
    write_tail(sink, upsert.shard_key, upsert.wait);
}

void write_delete(TextSink& sink, const Delete& del) {
    write_selected(sink, "DELETE FROM", nullptr, del.collection, del.selector, del.shard_key, del.wait);
}

void write_clear_payload(TextSink& sink, const ClearPayload& clear) {
    write_selected(sink, "CLEAR PAYLOAD FROM", nullptr, clear.collection, clear.selector, clear.shard_key, clear.wait);
}

void write_delete_payload(TextSink& sink, const DeletePayload& del) {
    write_selected(sink, "DELETE PAYLOAD", &del.keys, del.collection, del.selector, del.shard_key, del.wait);
}

void write_delete_vector(TextSink& sink, const DeleteVector& del) {
    write_selected(sink, "DELETE VECTOR", &del.vector_names, del.collection, del.selector, del.shard_key, del.wait);
}

void write_update_payload(TextSink& sink, const UpdatePayload& update) {
    sink.text("UPDATE ").identifier(update.collection).text(" SET PAYLOAD = {");
    write_payload_entries(sink, update.payload);
    sink.text('}');
    if (update.key) sink.text(" KEY ").quoted(*update.key);
    if (update.overwrite) sink.text(" OVERWRITE");
    write_point_selector(sink.text(" WHERE "), update.selector);
    write_tail(sink, update.shard_key, update.wait);
}

void write_update_vector(TextSink& sink, const UpdateVector& update) {
    sink.text("UPDATE ").identifier(update.collection).text(" SET VECTOR");
    if (update.points.size() == 1) {
        const UpdateVectorRow& row = update.points.front();
        const auto* named = std::get_if<NamedVectors>(&row.vectors.value);
        if (named != nullptr && named->size() == 1) {
            sink.text(' ').identifier(named->front().first).text(" = ");
            write_vector_value(sink, named->front().second);
        } else {
            write_point_vectors(sink.text(" = "), row.vectors);
        }
        write_point_id(sink.text(" WHERE id = "), row.id);
    } else {
        // No row at all prints an empty VALUES list: printing never fails.
        sink.text(" VALUES");
        if (!update.points.empty()) sink.text("\n  ").join(update.points, ",\n  ", write_update_vector_row);
    }
    write_tail(sink, update.shard_key, update.wait);
}

}  // namespace zorv::core
