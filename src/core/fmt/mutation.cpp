#include "core/fmt/mutation.h"

#include "core/fmt/filter.h"
#include "core/fmt/values.h"
#include "core/fmt/vectors.h"

namespace zorv::core {
namespace {

// " SHARD key" and " WAIT bool" for the fields that are set, in this order.
std::string tail_suffix(const std::optional<ShardKey>& shard_key, const std::optional<bool>& wait) {
    std::string out;
    if (shard_key) out += " SHARD " + format_shard_key(*shard_key);
    if (wait) out += *wait ? " WAIT true" : " WAIT false";
    return out;
}

std::string payload_entries(const LiteralDict& payload) {
    return join_mapped(payload, ", ", [](const LiteralEntry& entry) {
        return format_identifier(entry.first) + ": " + format_literal(entry.second);
    });
}

// One row alone follows after a space; several rows go one per line, indented by two spaces.
template <class Rows, class Fn>
std::string row_list(const Rows& rows, Fn&& format_row) {
    if (rows.empty()) return std::string();
    if (rows.size() == 1) return " " + format_row(rows.front());
    return "\n  " + join_mapped(rows, ",\n  ", format_row);
}

std::string upsert_row(const UpsertRow& row) {
    switch (row.kind()) {
        case UpsertRow::Kind::Param: return ":" + std::get<NamedParam>(row.value).name;
        case UpsertRow::Kind::PositionalParam: return "?";
        case UpsertRow::Kind::Point: break;
    }
    const auto& point = std::get<UpsertRow::Point>(row.value);
    std::string out = "{id: " + format_point_id(point.id);
    if (point.vectors) out += ", vector: " + format_point_vectors(*point.vectors);
    if (!point.payload.empty()) out += ", " + payload_entries(point.payload);
    return out + "}";
}

// kind [MODEL 'm'] [ON FIELD f] [INTO v]; inside HYBRID the vector is named by VECTOR.
std::string embedding_clause(std::string_view kind, const std::optional<std::string>& model,
                             const std::optional<std::string>& vector, const std::optional<std::string>& field,
                             std::string_view vector_word) {
    std::string out(kind);
    if (model) out += " MODEL " + quote_string(*model);
    if (field) out += " ON FIELD " + format_identifier(*field);
    if (vector) out += " " + std::string(vector_word) + " " + format_identifier(*vector);
    return out;
}

std::string embedding_clause(std::string_view kind, const EmbeddingClause& clause) {
    return embedding_clause(kind, clause.model, clause.vector, clause.field, "INTO");
}

std::string hybrid_embedding(const UpsertEmbedding::Hybrid& h) {
    std::string out = "HYBRID";
    if (h.dense_model || h.dense_vector || h.dense_field) {
        out += " " + embedding_clause("DENSE", h.dense_model, h.dense_vector, h.dense_field, "VECTOR");
    }
    if (h.sparse_model || h.sparse_vector || h.sparse_field) {
        out += " " + embedding_clause("SPARSE", h.sparse_model, h.sparse_vector, h.sparse_field, "VECTOR");
    }
    return out;
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

std::string embed_list(const std::vector<EmbedField>& embed) {
    if (embed.empty()) return std::string();
    if (embed.size() == 1) return " EMBED " + format_embed_field(embed.front());
    return "\nEMBED " + join_mapped(embed, ",\n  ", format_embed_field);
}

std::string_view update_mode_word(UpdateMode mode) {
    switch (mode) {
        case UpdateMode::InsertOnly: return "insert_only";
        case UpdateMode::UpdateOnly: return "update_only";
        case UpdateMode::Upsert: return "upsert";
    }
    return "upsert";
}

std::string update_vector_row(const UpdateVectorRow& row) {
    return "{id: " + format_point_id(row.id) + ", vector: " + format_point_vectors(row.vectors) + "}";
}

std::string names(const std::vector<std::string>& list) { return join_mapped(list, ", ", format_identifier); }

std::string where_selector(const PointSelector& selector) { return " WHERE " + format_point_selector(selector); }

}  // namespace

std::string format_upsert_embedding(const UpsertEmbedding& embedding) {
    using K = UpsertEmbedding::Kind;
    switch (embedding.kind()) {
        case K::Dense: return embedding_clause("DENSE", std::get<UpsertEmbedding::Dense>(embedding.value).clause);
        case K::Sparse: return embedding_clause("SPARSE", std::get<UpsertEmbedding::Sparse>(embedding.value).clause);
        case K::Hybrid: return hybrid_embedding(std::get<UpsertEmbedding::Hybrid>(embedding.value));
        case K::MultiVector:
            return embedding_clause("MULTIVECTOR", std::get<UpsertEmbedding::MultiVector>(embedding.value).clause);
        case K::Image: return embedding_clause("IMAGE", std::get<UpsertEmbedding::Image>(embedding.value).clause);
        case K::Multi:
            return join_mapped(std::get<UpsertEmbedding::Multi>(embedding.value).embeddings, ", ",
                               format_upsert_embedding);
    }
    return std::string();
}

std::string format_embed_field(const EmbedField& field) {
    std::string out = format_identifier(field.source_field) + " INTO " + format_identifier(field.target_vector) +
                      " USING " + std::string(embed_kind_word(field.kind.kind));
    if (field.kind.model) out += " MODEL " + quote_string(*field.kind.model);
    return out;
}

std::string format_upsert(const Upsert& upsert) {
    std::string out = "UPSERT INTO " + format_identifier(upsert.collection) + " VALUES";
    out += row_list(upsert.points, upsert_row);
    if (upsert.embedding) out += " USING " + format_upsert_embedding(*upsert.embedding);
    out += embed_list(upsert.embed);
    if (upsert.update_filter) out += " UPDATE FILTER " + format_filter(*upsert.update_filter);
    if (upsert.update_mode) out += " UPDATE MODE " + std::string(update_mode_word(*upsert.update_mode));
    return out + tail_suffix(upsert.shard_key, upsert.wait);
}

std::string format_delete(const Delete& del) {
    return "DELETE FROM " + format_identifier(del.collection) + where_selector(del.selector) +
           tail_suffix(del.shard_key, del.wait);
}

std::string format_clear_payload(const ClearPayload& clear) {
    return "CLEAR PAYLOAD FROM " + format_identifier(clear.collection) + where_selector(clear.selector) +
           tail_suffix(clear.shard_key, clear.wait);
}

std::string format_delete_payload(const DeletePayload& del) {
    return "DELETE PAYLOAD " + names(del.keys) + " FROM " + format_identifier(del.collection) +
           where_selector(del.selector) + tail_suffix(del.shard_key, del.wait);
}

std::string format_delete_vector(const DeleteVector& del) {
    return "DELETE VECTOR " + names(del.vector_names) + " FROM " + format_identifier(del.collection) +
           where_selector(del.selector) + tail_suffix(del.shard_key, del.wait);
}

std::string format_update_payload(const UpdatePayload& update) {
    std::string out = "UPDATE " + format_identifier(update.collection) + " SET PAYLOAD = {" +
                      payload_entries(update.payload) + "}";
    if (update.key) out += " KEY " + quote_string(*update.key);
    if (update.overwrite) out += " OVERWRITE";
    return out + where_selector(update.selector) + tail_suffix(update.shard_key, update.wait);
}

std::string format_update_vector(const UpdateVector& update) {
    std::string out = "UPDATE " + format_identifier(update.collection) + " SET VECTOR";
    if (update.points.size() == 1) {
        const UpdateVectorRow& row = update.points.front();
        const auto* named = std::get_if<NamedVectors>(&row.vectors.value);
        if (named && named->size() == 1) {
            out += " " + format_identifier(named->front().first) + " = " + format_vector_value(named->front().second);
        } else {
            out += " = " + format_point_vectors(row.vectors);
        }
        out += " WHERE id = " + format_point_id(row.id);
    } else {
        // No row at all prints an empty VALUES list: printing never fails.
        out += " VALUES";
        for (std::size_t i = 0; i < update.points.size(); ++i) {
            out += i == 0 ? "\n  " : ",\n  ";
            out += update_vector_row(update.points[i]);
        }
    }
    return out + tail_suffix(update.shard_key, update.wait);
}

}  // namespace zorv::core
