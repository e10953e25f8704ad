#include "runtime/result_json.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/overloaded.h"
#include "plan/value_json.h"

namespace zorv::runtime {
namespace {

using plan::JsonArray;
using plan::JsonObject;
using plan::JsonValue;
using protocol::ExecData;

JsonValue number(double x) { return std::isfinite(x) ? JsonValue(x) : JsonValue(nullptr); }

JsonValue point_id_value(const plan::PlanPointId& id) {
    return std::visit([](const auto& v) { return JsonValue(v); }, id);
}

void put_model_field(JsonObject& out, const std::optional<std::string>& model) {
    out.insert_or_assign("model", JsonValue(model.value_or(std::string())));
}

void put_input_options_field(JsonObject& out, const core::LiteralDict& options) {
    if (options.empty()) return;
    JsonObject entries;
    for (const auto& [key, value] : options) entries.insert_or_assign(key, plan::plan_value_to_json(value));
    out.insert_or_assign("options", JsonValue(std::move(entries)));
}

JsonValue inference_value(std::string_view key, JsonValue input, const std::optional<std::string>& model,
                          const core::LiteralDict& options) {
    JsonObject out;
    out.insert_or_assign(std::string(key), std::move(input));
    put_model_field(out, model);
    put_input_options_field(out, options);
    return out;
}

JsonValue hit_vectors_value(const protocol::HitVectors& vectors) {
    if (const auto* single = std::get_if<core::VectorValue>(&vectors)) return vector_to_value(*single);
    JsonObject named;
    for (const auto& [name, vector] : std::get<protocol::NamedHitVectors>(vectors)) {
        named.insert_or_assign(name, vector_to_value(vector));
    }
    return named;
}

JsonValue hit_value(const protocol::ScoredPoint& hit) {
    JsonObject out;
    out.insert_or_assign("id", point_id_value(hit.id));
    out.insert_or_assign("score", number(hit.score));
    if (hit.payload) {
        JsonObject payload;
        for (const auto& [key, value] : *hit.payload) payload.insert_or_assign(key, value);
        out.insert_or_assign("payload", JsonValue(std::move(payload)));
    } else {
        out.insert_or_assign("payload", JsonValue(nullptr));
    }
    if (hit.collection) out.insert_or_assign("collection", JsonValue(*hit.collection));
    if (hit.vector) out.insert_or_assign("vector", hit_vectors_value(*hit.vector));
    return out;
}

JsonValue count_object(std::uint64_t n) {
    JsonObject out;
    out.insert_or_assign("count", JsonValue(n));
    return out;
}

JsonValue string_list(const std::vector<std::string>& names) {
    JsonArray out;
    out.reserve(names.size());
    for (const auto& name : names) out.emplace_back(name);
    return out;
}

JsonValue groups_value(const ExecData::Groups& groups) {
    JsonArray out;
    out.reserve(groups.groups.size());
    for (const auto& group : groups.groups) {
        JsonObject entry;
        entry.insert_or_assign("id", std::visit([](const auto& v) { return JsonValue(v); }, group.id));
        entry.insert_or_assign("hits", hits_to_value(group.hits));
        out.emplace_back(std::move(entry));
    }
    return out;
}

JsonValue facet_value(const ExecData::Facet& facet) {
    JsonArray out;
    out.reserve(facet.hits.size());
    for (const auto& hit : facet.hits) {
        JsonObject entry;
        entry.insert_or_assign("value", std::visit([](const auto& v) { return JsonValue(v); }, hit.value));
        entry.insert_or_assign("count", JsonValue(hit.count));
        out.emplace_back(std::move(entry));
    }
    return out;
}

JsonValue shard_keys_value(const ExecData::ShardKeys& keys) {
    JsonArray list;
    list.reserve(keys.keys.size());
    for (const auto& key : keys.keys) list.push_back(point_id_value(key));
    JsonObject out;
    out.insert_or_assign("shard_keys", JsonValue(std::move(list)));
    return out;
}

JsonValue quotas_value(const protocol::QuotaConfig& config) {
    JsonObject out;
    if (config.enabled) out.insert_or_assign("enabled", JsonValue(*config.enabled));
    if (config.max_resident_memory_percent) {
        out.insert_or_assign("max_resident_memory_percent", JsonValue(*config.max_resident_memory_percent));
    }
    if (config.max_disk_usage_percent) {
        out.insert_or_assign("max_disk_usage_percent", JsonValue(*config.max_disk_usage_percent));
    }
    if (config.release_margin_percent) {
        out.insert_or_assign("release_margin_percent", JsonValue(*config.release_margin_percent));
    }
    return out;
}

JsonValue data_value(const ExecData& data) {
    return std::visit(core::Overloaded{
                          [](const ExecData::Hits& hits) { return hits_to_value(hits.points); },
                          [](const ExecData::Groups& groups) { return groups_value(groups); },
                          [](const ExecData::Count& count) { return count_object(count.count); },
                          [](const ExecData::Facet& facet) { return facet_value(facet); },
                          [](const ExecData::Mutation& mutation) {
                              return mutation.count ? count_object(*mutation.count) : JsonValue(nullptr);
                          },
                          [](const ExecData::Collections& names) {
                              JsonObject out;
                              out.insert_or_assign("collections", string_list(names.names));
                              return JsonValue(std::move(out));
                          },
                          [](const ExecData::Collection& info) { return collection_info_to_value(info.schema); },
                          [](const ExecData::ShardKeys& keys) { return shard_keys_value(keys); },
                          [](const ExecData::Quotas& quotas) { return quotas_value(quotas.config); },
                      },
                      data.value);
}

JsonValue result_value(const protocol::StatementResult& result) {
    JsonObject out;
    out.insert_or_assign("ok", JsonValue(result.ok));
    out.insert_or_assign("operation", JsonValue(result.operation));
    out.insert_or_assign("message", JsonValue(result.message));
    out.insert_or_assign("data", result.data ? data_value(*result.data) : JsonValue(nullptr));
    if (result.telemetry) {
        JsonObject telemetry;
        if (result.telemetry->time_s) telemetry.insert_or_assign("time_s", number(*result.telemetry->time_s));
        if (result.telemetry->usage) telemetry_usage_to_value(telemetry, result.telemetry->usage);
        out.insert_or_assign("telemetry", JsonValue(std::move(telemetry)));
    }
    return out;
}

JsonValue hardware_value(const protocol::HardwareUsage& hw) {
    JsonObject out;
    out.insert_or_assign("cpu", JsonValue(hw.cpu));
    out.insert_or_assign("payload_io_read", JsonValue(hw.payload_io_read));
    out.insert_or_assign("payload_io_write", JsonValue(hw.payload_io_write));
    out.insert_or_assign("payload_index_io_read", JsonValue(hw.payload_index_io_read));
    out.insert_or_assign("payload_index_io_write", JsonValue(hw.payload_index_io_write));
    out.insert_or_assign("vector_io_read", JsonValue(hw.vector_io_read));
    out.insert_or_assign("vector_io_write", JsonValue(hw.vector_io_write));
    return out;
}

JsonValue inference_usage_value(const protocol::InferenceUsage& inference) {
    JsonObject models;
    for (const auto& [name, usage] : inference.models) {
        JsonObject entry;
        entry.insert_or_assign("tokens", JsonValue(usage.tokens));
        models.insert_or_assign(name, JsonValue(std::move(entry)));
    }
    JsonObject out;
    out.insert_or_assign("models", JsonValue(std::move(models)));
    return out;
}

}  // namespace

void results_to_value(JsonObject& out, const std::vector<protocol::StatementResult>& results) {
    JsonArray list;
    list.reserve(results.size());
    for (const auto& result : results) list.push_back(result_value(result));
    out.insert_or_assign("results", JsonValue(std::move(list)));
}

void telemetry_usage_to_value(JsonObject& out, const std::optional<protocol::Usage>& usage) {
    if (!usage) {
        out.insert_or_assign("usage", JsonValue(nullptr));
        return;
    }
    JsonObject value;
    if (usage->hardware) value.insert_or_assign("hardware", hardware_value(*usage->hardware));
    if (usage->inference) value.insert_or_assign("inference", inference_usage_value(*usage->inference));
    out.insert_or_assign("usage", JsonValue(std::move(value)));
}

JsonValue hits_to_value(const std::vector<protocol::ScoredPoint>& hits) {
    JsonArray out;
    out.reserve(hits.size());
    for (const auto& hit : hits) out.push_back(hit_value(hit));
    return out;
}

JsonValue f32_slice_to_json(const std::vector<float>& values) {
    JsonArray out;
    out.reserve(values.size());
    for (float x : values) out.push_back(number(static_cast<double>(x)));
    return out;
}

JsonValue vector_to_value(const core::VectorValue& vector) {
    using V = core::VectorValue;
    return std::visit(core::Overloaded{
                          [](const V::Dense& dense) { return f32_slice_to_json(dense.values); },
                          [](const V::Sparse& sparse) {
                              JsonArray indices;
                              indices.reserve(sparse.indices.size());
                              for (std::uint32_t i : sparse.indices) indices.emplace_back(std::uint64_t{i});
                              JsonObject out;
                              out.insert_or_assign("indices", JsonValue(std::move(indices)));
                              out.insert_or_assign("values", f32_slice_to_json(sparse.values));
                              return JsonValue(std::move(out));
                          },
                          [](const V::MultiDense& multi) {
                              JsonArray rows;
                              rows.reserve(multi.rows.size());
                              for (const auto& row : multi.rows) rows.push_back(f32_slice_to_json(row));
                              return JsonValue(std::move(rows));
                          },
                          [](const V::Document& doc) {
                              return inference_value("text", JsonValue(doc.text), doc.model, doc.options);
                          },
                          [](const V::Image& image) {
                              return inference_value("image", JsonValue(image.source), image.model, image.options);
                          },
                          [](const V::Object& object) {
                              return inference_value("object", plan::plan_value_to_json(*object.object), object.model,
                                                     object.options);
                          },
                          [](const core::Placeholder& p) { return JsonValue(p.text()); },
                      },
                      vector.value);
}

}  // namespace zorv::runtime
