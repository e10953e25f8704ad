#include "runtime/rest/point_record.h"

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/rest/json_copy.h"

namespace zorv::runtime::rest {
namespace {

using protocol::HitVectors;
using simdjson::dom::element_type;
using Vector = core::VectorValue;

constexpr std::string_view no_vector_variant = "data did not match any variant of untagged enum Wire";

bool is_number(JsonElement value) {
    const element_type type = value.type();
    return type == element_type::INT64 || type == element_type::UINT64 || type == element_type::DOUBLE;
}

// An array of numbers as f32, or nothing when an element is not a number.
std::optional<std::vector<float>> read_floats(JsonElement value) {
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS) return std::nullopt;
    std::vector<float> out;
    out.reserve(array.size());
    for (JsonElement item : array) {
        const std::optional<float> x = as_f32(item);
        if (!x) return std::nullopt;
        out.push_back(*x);
    }
    return out;
}

std::optional<Vector> read_multivector(simdjson::dom::array array) {
    std::vector<std::vector<float>> rows;
    rows.reserve(array.size());
    for (JsonElement item : array) {
        std::optional<std::vector<float>> row = read_floats(item);
        if (!row) return std::nullopt;
        rows.push_back(std::move(*row));
    }
    return Vector{Vector::MultiDense{std::move(rows)}};
}

std::optional<std::vector<std::uint32_t>> read_sparse_indices(JsonElement value) {
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS) return std::nullopt;
    std::vector<std::uint32_t> out;
    out.reserve(array.size());
    for (JsonElement item : array) {
        const std::optional<std::uint64_t> index = as_u64(item);
        if (!index || *index > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        out.push_back(static_cast<std::uint32_t>(*index));
    }
    return out;
}

// Both lists kept as received: lengths are not compared, indices neither sorted nor deduplicated.
std::optional<Vector> read_sparse(JsonElement value) {
    const std::optional<JsonElement> indices = member(value, "indices");
    const std::optional<JsonElement> values = member(value, "values");
    if (!indices || !values) return std::nullopt;
    std::optional<std::vector<std::uint32_t>> index_list = read_sparse_indices(*indices);
    if (!index_list) return std::nullopt;
    std::optional<std::vector<float>> value_list = read_floats(*values);
    if (!value_list) return std::nullopt;
    return Vector{Vector::Sparse{std::move(*index_list), std::move(*value_list)}};
}

// Dense first: an empty array is an empty dense vector, and [[]] is a multivector.
std::optional<Vector> read_single_vector(JsonElement value) {
    simdjson::dom::array array;
    if (value.get(array) == simdjson::SUCCESS) {
        // One pass for the common dense case; a non-number sends it to the multivector reading.
        if (std::optional<std::vector<float>> dense = read_floats(value))
            return Vector{Vector::Dense{std::move(*dense)}};
        return read_multivector(array);
    }
    if (value.type() == element_type::OBJECT) return read_sparse(value);
    return std::nullopt;
}

std::optional<HitVectors> read_named_vectors(simdjson::dom::object object) {
    protocol::NamedHitVectors named;
    for (auto field : object) {
        std::optional<Vector> vector = read_single_vector(field.value);
        if (!vector) return std::nullopt;
        named.insert_or_assign(std::string(field.key), std::move(*vector));
    }
    return HitVectors{std::move(named)};
}

core::Result<plan::PlanPointId> read_point_id(JsonElement record) {
    const std::optional<JsonElement> id = member(record, "id");
    if (!id) return envelope_error("point record is missing id");
    if (id->type() == element_type::STRING) return plan::PlanPointId(std::string(id->get_string().value_unsafe()));
    if (const std::optional<std::uint64_t> n = as_u64(*id)) return plan::PlanPointId(*n);
    if (is_number(*id))
        return envelope_error(format_message("point id {} is not an unsigned integer", compact_text(*id)));
    return envelope_error(format_message("point id must be a string or unsigned integer, got {}", compact_text(*id)));
}

// The server computed the score in f32: round to it, then widen through its shortest text.
core::Result<double> read_score(JsonElement record) {
    const std::optional<JsonElement> score = member(record, "score");
    if (!score || score->is_null()) return 0.0;
    const std::optional<double> value = as_f64(*score);
    if (!value) return envelope_error(format_message("point score must be a number, got {}", compact_text(*score)));
    return protocol::score_f64(f64_to_f32(*value));
}

}  // namespace

std::optional<HitVectors> decode_vector_output(JsonElement value) {
    if (value.type() == element_type::ARRAY) {
        std::optional<Vector> vector = read_single_vector(value);
        if (!vector) return std::nullopt;
        return HitVectors{std::move(*vector)};
    }
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) return std::nullopt;
    if (std::optional<Vector> sparse = read_sparse(value)) return HitVectors{std::move(*sparse)};
    return read_named_vectors(object);
}

core::Result<protocol::ScoredPoint> decode_point_record(JsonElement record) {
    if (record.type() != element_type::OBJECT) return envelope_error("point record is not an object");
    protocol::ScoredPoint point;
    point.id = ZORV_TRY(read_point_id(record));
    point.score = ZORV_TRY(read_score(record));

    if (const std::optional<JsonElement> payload = member(record, "payload"); payload && !payload->is_null()) {
        simdjson::dom::object object;
        if (payload->get(object) != simdjson::SUCCESS) {
            return envelope_error(
                format_message("point payload must be an object or null, got {}", compact_text(*payload)));
        }
        protocol::HitPayload members;
        members.reserve(object.size());
        for (auto field : object) {
            // The reply was parsed under the same depth limit, so the copy always succeeds.
            members.emplace_back(std::string(field.key), copy_json_value(field.value).value_or(nullptr));
        }
        point.payload = std::move(members);
    }

    if (const std::optional<JsonElement> vector = member(record, "vector"); vector && !vector->is_null()) {
        std::optional<HitVectors> decoded = decode_vector_output(*vector);
        if (!decoded)
            return envelope_error(
                format_message("point vector does not match VectorStructOutput: {}", no_vector_variant));
        point.vector = std::move(decoded);
    }
    return point;
}

core::Result<std::vector<protocol::ScoredPoint>> decode_point_list(simdjson::dom::array records) {
    std::vector<protocol::ScoredPoint> points;
    points.reserve(records.size());
    for (JsonElement record : records) {
        auto point = decode_point_record(record);
        if (!point) return std::unexpected(std::move(point).error());
        points.push_back(std::move(*point));
    }
    return points;
}

}  // namespace zorv::runtime::rest
