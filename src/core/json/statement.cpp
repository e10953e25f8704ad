// Statement kinds: {"<Kind>": body} with the body keys in field order.
#include <variant>

#include "core/json/emit.h"
#include "core/json/statement_json.h"
#include "core/overloaded.h"

namespace zorv::core {
namespace json {
namespace {

void write_selector_field(JsonOut& out, const PointSelector& selector) {
    out.key("selector");
    std::visit(Overloaded{
                   [&](const PointId& id) { tagged(out, "Id", [&] { write_point_id(out, id); }); },
                   [&](const std::vector<PointId>& ids) {
                       tagged(out, "Ids",
                              [&] { array_of(out, ids, [&](const PointId& id) { write_point_id(out, id); }); });
                   },
                   [&](const Box<Filter>& f) { tagged(out, "Filter", [&] { write_filter(out, *f); }); },
               },
               selector.value);
}

void write_shard_key_and_wait(JsonOut& out, const std::optional<ShardKey>& shard_key, const std::optional<bool>& wait) {
    write_opt_shard_key_field(out, "shard_key", shard_key);
    opt_bool_field(out, "wait", wait);
}

void write_scroll(JsonOut& out, const Scroll& s) {
    Object obj(out);
    str_field(out, "collection", s.collection);
    opt_u64_field(out, "limit", s.limit);
    write_opt_filter_field(out, "filter", s.filter);
    out.key("after");
    if (s.after) {
        write_point_id(out, *s.after);
    } else {
        out.null();
    }
    out.key("order_by");
    if (s.order_by) {
        Object order(out);
        str_field(out, "field", s.order_by->field);
        write_direction_field(out, s.order_by->direction);
        write_start_from_field(out, s.order_by->start_from);
    } else {
        out.null();
    }
    write_opt_shard_key_field(out, "shard_key", s.shard_key);
    write_payload_selector_field(out, "with_payload", s.with_payload);
    write_vector_selector_field(out, "with_vector", s.with_vector);
    write_limit_param_fields(out, "limit_param", "limit_span", s.limit_param);
}

void write_embedding_clause(JsonOut& out, std::string_view name, const EmbeddingClause& clause) {
    tagged(out, name, [&] {
        Object obj(out);
        opt_str_field(out, "model", clause.model);
        opt_str_field(out, "vector", clause.vector);
        opt_str_field(out, "field", clause.field);
    });
}

void write_embedding(JsonOut& out, const UpsertEmbedding& embedding) {
    using U = UpsertEmbedding;
    std::visit(Overloaded{
                   [&](const U::Dense& e) { write_embedding_clause(out, "Dense", e.clause); },
                   [&](const U::Sparse& e) { write_embedding_clause(out, "Sparse", e.clause); },
                   [&](const U::Hybrid& e) {
                       tagged(out, "Hybrid", [&] {
                           Object obj(out);
                           opt_str_field(out, "dense_model", e.dense_model);
                           opt_str_field(out, "dense_vector", e.dense_vector);
                           opt_str_field(out, "dense_field", e.dense_field);
                           opt_str_field(out, "sparse_model", e.sparse_model);
                           opt_str_field(out, "sparse_vector", e.sparse_vector);
                           opt_str_field(out, "sparse_field", e.sparse_field);
                       });
                   },
                   [&](const U::MultiVector& e) { write_embedding_clause(out, "MultiVector", e.clause); },
                   [&](const U::Image& e) { write_embedding_clause(out, "Image", e.clause); },
                   [&](const U::Multi& e) {
                       tagged(out, "Multi", [&] {
                           array_of(out, e.embeddings, [&](const UpsertEmbedding& m) { write_embedding(out, m); });
                       });
                   },
               },
               embedding.value);
}

std::string_view embed_kind_name(EmbedFieldKind::Kind kind) {
    switch (kind) {
        case EmbedFieldKind::Kind::Dense: return "Dense";
        case EmbedFieldKind::Kind::Sparse: return "Sparse";
        case EmbedFieldKind::Kind::Multi: return "Multi";
        case EmbedFieldKind::Kind::Image: return "Image";
    }
    return "Dense";
}

std::string_view update_mode_json_name(UpdateMode mode) {
    switch (mode) {
        case UpdateMode::InsertOnly: return "insert_only";
        case UpdateMode::UpdateOnly: return "update_only";
        case UpdateMode::Upsert: return "upsert";
    }
    return "upsert";
}

void write_upsert_row(JsonOut& out, const UpsertRow& row) {
    std::visit(Overloaded{
                   [&](const UpsertRow::Point& p) {
                       Object obj(out);
                       out.key("id");
                       write_point_id(out, p.id);
                       out.key("vectors");
                       if (p.vectors) {
                           write_point_vectors(out, *p.vectors);
                       } else {
                           out.null();
                       }
                       out.key("payload");
                       write_dict_pairs(out, p.payload);
                   },
                   // A placeholder row is its bare [name, span] / [index, span] array.
                   [&](const Placeholder& p) { write_placeholder_array(out, p); },
               },
               row.value);
}

void write_upsert(JsonOut& out, const Upsert& u) {
    Object obj(out);
    str_field(out, "collection", u.collection);
    out.key("points");
    array_of(out, u.points, [&](const UpsertRow& row) { write_upsert_row(out, row); });
    out.key("embedding");
    if (u.embedding) {
        write_embedding(out, *u.embedding);
    } else {
        out.null();
    }
    out.key("embed");
    array_of(out, u.embed, [&](const EmbedField& e) {
        Object entry(out);
        str_field(out, "source_field", e.source_field);
        str_field(out, "target_vector", e.target_vector);
        out.key("kind");
        tagged(out, embed_kind_name(e.kind.kind), [&] {
            Object kind(out);
            opt_str_field(out, "model", e.kind.model);
        });
    });
    if (u.update_filter) {
        out.key("update_filter");
        write_filter(out, *u.update_filter);
    }
    if (u.update_mode) str_field(out, "update_mode", update_mode_json_name(*u.update_mode));
    write_shard_key_and_wait(out, u.shard_key, u.wait);
}

void write_create_collection(JsonOut& out, const CreateCollection& c) {
    Object obj(out);
    str_field(out, "collection", c.collection);
    out.key("mode");
    write_create_mode(out, c.mode);
    out.key("vectors");
    array_of(out, c.vectors, [&](const DenseVectorDef& d) { write_dense_vector_def(out, d); });
    out.key("sparse_vectors");
    array_of(out, c.sparse_vectors,
             [&](const SparseVectorDef& d) { write_sparse_vector_def(out, d.name, d.index, d.modifier); });
    write_collection_settings_field(out, c.config ? c.config->get() : nullptr);
}

void write_create_shard_key(JsonOut& out, const CreateShardKey& c) {
    Object obj(out);
    str_field(out, "collection", c.collection);
    out.key("shard_key");
    write_shard_key(out, c.shard_key);
    opt_u64_field(out, "shards_number", c.shards_number);
    opt_u64_field(out, "replication_factor", c.replication_factor);
    out.key("placement");
    if (c.placement) {
        array_of(out, *c.placement, [&](std::uint64_t peer) { out.u64(peer); });
    } else {
        out.null();
    }
    opt_str_field(out, "initial_state", c.initial_state);
}

// DELETE and CLEAR PAYLOAD share this body.
template <class Record>
void write_selector_body(JsonOut& out, const Record& r) {
    Object obj(out);
    str_field(out, "collection", r.collection);
    write_selector_field(out, r.selector);
    write_shard_key_and_wait(out, r.shard_key, r.wait);
}

void write_update_payload(JsonOut& out, const UpdatePayload& u) {
    Object obj(out);
    str_field(out, "collection", u.collection);
    write_selector_field(out, u.selector);
    out.key("payload");
    write_dict_pairs(out, u.payload);
    if (u.key) str_field(out, "key", *u.key);
    if (u.overwrite) bool_field(out, "overwrite", true);
    write_shard_key_and_wait(out, u.shard_key, u.wait);
}

void write_facet(JsonOut& out, const Facet& f) {
    Object obj(out);
    str_field(out, "key", f.key);
    write_collection_ref_field(out, f.collection);
    write_opt_filter_field(out, "filter", f.filter);
    opt_u64_field(out, "limit", f.limit);
    opt_bool_field(out, "exact", f.exact);
    write_opt_shard_key_field(out, "shard_key", f.shard_key);
    write_limit_param_fields(out, "limit_param", "limit_span", f.limit_param);
}

void write_body(JsonOut& out, const Statement& statement) {
    std::visit(Overloaded{
                   [&](const Box<Query>& q) { write_query_body(out, *q); },
                   [&](const Box<Scroll>& s) { write_scroll(out, *s); },
                   [&](const Box<Upsert>& u) { write_upsert(out, *u); },
                   [&](const Box<CreateCollection>& c) { write_create_collection(out, *c); },
                   [&](const Box<CreateIndex>& c) {
                       Object obj(out);
                       str_field(out, "collection", c->collection);
                       str_field(out, "field", c->field);
                       str_field(out, "field_type", c->field_type);
                       out.key("options");
                       write_dict_pairs(out, c->options);
                       opt_bool_field(out, "wait", c->wait);
                   },
                   [&](const Box<DropIndex>& d) {
                       Object obj(out);
                       str_field(out, "collection", d->collection);
                       str_field(out, "field", d->field);
                   },
                   [&](const Box<CreateShardKey>& c) { write_create_shard_key(out, *c); },
                   [&](const Box<DropShardKey>& d) {
                       Object obj(out);
                       str_field(out, "collection", d->collection);
                       out.key("shard_key");
                       write_shard_key(out, d->shard_key);
                   },
                   [&](const Box<AlterCollection>& a) {
                       Object obj(out);
                       str_field(out, "collection", a->collection);
                       write_collection_settings_field(out, a->config.get());
                   },
                   [&](const Box<DropCollection>& d) {
                       Object obj(out);
                       str_field(out, "collection", d->collection);
                   },
                   // The two bodies without fields are empty maps.
                   [&](const ShowCollections&) { Object obj(out); },
                   [&](const ShowCollection& s) { out.string(s.name); },
                   [&](const ShowShardKeys& s) { out.string(s.name); },
                   [&](const Box<Delete>& d) { write_selector_body(out, *d); },
                   [&](const Box<ClearPayload>& c) { write_selector_body(out, *c); },
                   [&](const Box<DeletePayload>& d) {
                       Object obj(out);
                       str_field(out, "collection", d->collection);
                       out.key("keys");
                       str_list(out, d->keys);
                       write_selector_field(out, d->selector);
                       write_shard_key_and_wait(out, d->shard_key, d->wait);
                   },
                   [&](const Box<DeleteVector>& d) {
                       Object obj(out);
                       str_field(out, "collection", d->collection);
                       write_selector_field(out, d->selector);
                       out.key("vector_names");
                       str_list(out, d->vector_names);
                       write_shard_key_and_wait(out, d->shard_key, d->wait);
                   },
                   [&](const Box<UpdateVector>& u) {
                       Object obj(out);
                       str_field(out, "collection", u->collection);
                       out.key("points");
                       array_of(out, u->points, [&](const UpdateVectorRow& row) {
                           Object point(out);
                           out.key("id");
                           write_point_id(out, row.id);
                           out.key("vectors");
                           write_point_vectors(out, row.vectors);
                       });
                       write_shard_key_and_wait(out, u->shard_key, u->wait);
                   },
                   [&](const Box<UpdatePayload>& u) { write_update_payload(out, *u); },
                   [&](const Box<Count>& c) {
                       Object obj(out);
                       write_collection_ref_field(out, c->collection);
                       write_opt_filter_field(out, "filter", c->filter);
                       write_opt_shard_key_field(out, "shard_key", c->shard_key);
                       opt_bool_field(out, "exact", c->exact);
                   },
                   [&](const Box<Facet>& f) { write_facet(out, *f); },
                   [&](const ShowQuotas&) { Object obj(out); },
                   [&](const Box<SetQuota>& s) {
                       Object obj(out);
                       out.key("config");
                       write_dict_pairs(out, s->config);
                       opt_bool_field(out, "wait", s->wait);
                   },
                   [&](const Box<Batch>& b) {
                       Object obj(out);
                       out.key("statements");
                       array_of(out, b->statements, [&](const Statement& s) { emit_statement_json(s, out); });
                       opt_bool_field(out, "wait", b->wait);
                       write_search_params_field(out, "params", b->params);
                   },
               },
               statement.node);
}

}  // namespace
}  // namespace json

void emit_statement_json(const Statement& statement, JsonOut& out) {
    json::tagged(out, statement_kind_name(statement.kind()), [&] { json::write_body(out, statement); });
}

void write_statement_json(const Statement& statement, std::string& out) {
    JsonTextWriter writer(out);
    emit_statement_json(statement, writer);
}

void write_statement_list_json(std::span<const Statement> statements, std::string& out) {
    JsonTextWriter writer(out);
    json::array_of(writer, statements, [&](const Statement& s) { emit_statement_json(s, writer); });
}

}  // namespace zorv::core
