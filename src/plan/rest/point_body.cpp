#include "plan/rest/point_body.h"

#include <utility>

#include "core/overloaded.h"
#include "plan/json_write.h"
#include "plan/rest/filter_body.h"
#include "plan/rest/json_sink.h"

namespace zorv::plan {

namespace {

void put_f32(TextSink& sink, float x) { write_json_f32(sink.prefix(), x); }
void put_f32(ValueSink& sink, float x) { sink.f64(static_cast<double>(x)); }

void put_filter(TextSink& sink, const PlanFilter& filter) { write_filter(sink.prefix(), filter); }
void put_filter(ValueSink& sink, const PlanFilter& filter) { put_filter_value(sink, filter); }

template <class S>
void put_point_id(S& sink, const PlanPointId& id) {
    std::visit(core::Overloaded{[&](std::uint64_t n) { sink.u64(n); }, [&](const std::string& s) { sink.string(s); }},
               id);
}

template <class S>
void put_shard_key(S& sink, const std::optional<PlanShardKey>& key) {
    if (!key) return;
    sink.key("shard_key");
    std::visit(core::Overloaded{[&](std::uint64_t n) { sink.u64(n); }, [&](const std::string& s) { sink.string(s); }},
               *key);
}

std::string_view update_mode_text(core::UpdateMode mode) {
    switch (mode) {
        case core::UpdateMode::InsertOnly: return "insert_only";
        case core::UpdateMode::UpdateOnly: return "update_only";
        case core::UpdateMode::Upsert: break;
    }
    return "upsert";
}

// Dense vectors are most of a bulk upsert's body: each form gets a direct path instead of one
// sink call per element.
void put_dense(TextSink& sink, const std::vector<float>& values) {
    std::string& out = sink.prefix();
    out.reserve(out.size() + values.size() * 21 + 2);
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        write_json_f64(out, static_cast<double>(values[i]));
    }
    out += ']';
}

void put_dense(ValueSink& sink, const std::vector<float>& values) {
    JsonArray array;
    array.reserve(values.size());
    for (float x : values) array.emplace_back(static_cast<double>(x));
    sink.put(std::move(array));
}

template <class S>
void put_string_list(S& sink, const std::vector<std::string>& names) {
    sink.begin_array();
    for (const std::string& name : names) sink.string(name);
    sink.end_array();
}

template <class S>
void put_payload(S& sink, const PlanPayload& payload) {
    sink.begin_object();
    for (const auto& [key, value] : payload) {
        sink.key(key);
        sink.literal(value);
    }
    sink.end_object();
}

template <class S>
void put_inference(S& sink, std::string_view member, const auto& input, const auto& value) {
    sink.begin_object();
    sink.key(member);
    value();
    sink.key("model");
    sink.string(input.model ? *input.model : std::string());
    if (!input.options.empty()) {
        sink.key("options");
        put_payload(sink, input.options);
    }
    sink.end_object();
}

template <class S>
void put_vector(S& sink, const PlanVector& vector) {
    using V = core::VectorValue;
    std::visit(core::Overloaded{
                   [&](const V::Dense& dense) { put_dense(sink, dense.values); },
                   [&](const V::Sparse& sparse) {
                       sink.begin_object();
                       sink.key("indices");
                       sink.begin_array();
                       for (std::uint32_t i : sparse.indices) sink.u64(i);
                       sink.end_array();
                       sink.key("values");
                       sink.begin_array();
                       for (float x : sparse.values) put_f32(sink, x);
                       sink.end_array();
                       sink.end_object();
                   },
                   [&](const V::MultiDense& multi) {
                       sink.begin_array();
                       for (const std::vector<float>& row : multi.rows) put_dense(sink, row);
                       sink.end_array();
                   },
                   [&](const V::Document& doc) { put_inference(sink, "text", doc, [&] { sink.string(doc.text); }); },
                   [&](const V::Image& image) {
                       put_inference(sink, "image", image, [&] { sink.string(image.source); });
                   },
                   [&](const V::Object& object) {
                       put_inference(sink, "object", object, [&] { sink.literal(*object.object); });
                   },
                   [&](const core::Placeholder& p) { sink.string(p.text()); },
               },
               vector.value);
}

template <class S>
void put_point_vectors(S& sink, const PlanPointVectors& vectors) {
    std::visit(core::Overloaded{
                   [&](const core::VectorValue& one) { put_vector(sink, one); },
                   [&](const core::NamedVectors& named) {
                       sink.begin_object();
                       for (const auto& [name, vector] : named) {
                           sink.key(name);
                           put_vector(sink, vector);
                       }
                       sink.end_object();
                   },
                   [&](const core::Placeholder& p) { sink.string(p.text()); },
               },
               vectors.value);
}

template <class S>
void put_ids(S& sink, const std::optional<std::vector<PlanPointId>>& ids) {
    if (!ids) return;
    sink.key("points");
    sink.begin_array();
    for (const PlanPointId& id : *ids) put_point_id(sink, id);
    sink.end_array();
}

template <class S>
void put_filter_entry(S& sink, std::string_view key, const std::optional<PlanFilter>& filter) {
    if (!filter) return;
    sink.key(key);
    put_filter(sink, *filter);
}

template <class S>
void put_body(S& sink, const PlanUpsert& upsert) {
    sink.begin_object();
    sink.key("points");
    sink.begin_array();
    for (const PlanPoint& point : upsert.points) {
        sink.begin_object();
        sink.key("id");
        put_point_id(sink, point.id);
        sink.key("vector");
        if (point.vector) {
            put_point_vectors(sink, *point.vector);
        } else {
            sink.begin_object();
            sink.end_object();
        }
        if (point.payload) {
            sink.key("payload");
            put_payload(sink, *point.payload);
        }
        sink.end_object();
    }
    sink.end_array();
    put_filter_entry(sink, "update_filter", upsert.update_filter);
    if (upsert.update_mode) {
        sink.key("update_mode");
        sink.string(update_mode_text(*upsert.update_mode));
    }
    put_shard_key(sink, upsert.shard_key);
    sink.end_object();
}

template <class S>
void put_body(S& sink, const PlanPointsSelector& selector) {
    sink.begin_object();
    put_ids(sink, selector.points);
    put_filter_entry(sink, "filter", selector.filter);
    put_shard_key(sink, selector.shard_key);
    sink.end_object();
}

template <class S>
void put_body(S& sink, const PlanSetPayload& set) {
    sink.begin_object();
    put_ids(sink, set.points);
    put_filter_entry(sink, "filter", set.filter);
    sink.key("payload");
    put_payload(sink, set.payload);
    if (set.key) {
        sink.key("key");
        sink.string(*set.key);
    }
    put_shard_key(sink, set.shard_key);
    sink.end_object();
}

template <class S>
void put_body(S& sink, const PlanDeletePayload& remove) {
    sink.begin_object();
    sink.key("keys");
    put_string_list(sink, remove.keys);
    put_ids(sink, remove.points);
    put_filter_entry(sink, "filter", remove.filter);
    put_shard_key(sink, remove.shard_key);
    sink.end_object();
}

template <class S>
void put_body(S& sink, const PlanUpdateVectors& update) {
    sink.begin_object();
    sink.key("points");
    sink.begin_array();
    for (const PlanPointVectorsUpdate& point : update.points) {
        sink.begin_object();
        sink.key("id");
        put_point_id(sink, point.id);
        sink.key("vector");
        put_point_vectors(sink, point.vector);
        sink.end_object();
    }
    sink.end_array();
    put_shard_key(sink, update.shard_key);
    sink.end_object();
}

template <class S>
void put_body(S& sink, const PlanDeleteVectors& remove) {
    sink.begin_object();
    put_ids(sink, remove.points);
    put_filter_entry(sink, "filter", remove.filter);
    sink.key("vector");
    put_string_list(sink, remove.vector);
    put_shard_key(sink, remove.shard_key);
    sink.end_object();
}

template <class T>
JsonValue to_value(const T& body) {
    ValueSink sink;
    put_body(sink, body);
    return sink.take();
}

}  // namespace

JsonValue vector_to_value(const PlanVector& vector) {
    ValueSink sink;
    put_vector(sink, vector);
    return sink.take();
}

void write_vector_input(std::string& out, const PlanVector& vector) {
    TextSink sink(out);
    put_vector(sink, vector);
}

JsonValue point_vectors_to_value(const PlanPointVectors& vectors) {
    ValueSink sink;
    put_point_vectors(sink, vectors);
    return sink.take();
}

void write_vector_struct(std::string& out, const PlanPointVectors& vectors) {
    TextSink sink(out);
    put_point_vectors(sink, vectors);
}

JsonValue payload_to_value(const PlanPayload& payload) {
    ValueSink sink;
    put_payload(sink, payload);
    return sink.take();
}

void write_payload_object(std::string& out, const PlanPayload& payload) {
    TextSink sink(out);
    put_payload(sink, payload);
}

JsonValue upsert_body_to_value(const PlanUpsert& upsert) { return to_value(upsert); }
JsonValue points_selector_body_to_value(const PlanPointsSelector& selector) { return to_value(selector); }
JsonValue set_payload_body_to_value(const PlanSetPayload& set) { return to_value(set); }
JsonValue delete_payload_body_to_value(const PlanDeletePayload& remove) { return to_value(remove); }
JsonValue update_vectors_body_to_value(const PlanUpdateVectors& update) { return to_value(update); }
JsonValue delete_vectors_body_to_value(const PlanDeleteVectors& remove) { return to_value(remove); }

JsonValue update_operation_body_to_value(const UpdateOperation& operation) {
    return std::visit([](const auto& body) { return to_value(body); }, operation.value);
}

void write_update_operation_body(std::string& out, const UpdateOperation& operation) {
    TextSink sink(out);
    std::visit([&](const auto& body) { put_body(sink, body); }, operation.value);
}

}  // namespace zorv::plan
