// The walk of the statement JSON, node by node, over any `JsonOut`. Each function writes one
// node of the form; the `*_field` ones write a key and its value into the open object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ast/collection.h"
#include "core/ast/ddl.h"
#include "core/ast/filter.h"
#include "core/ast/formula.h"
#include "core/ast/literal.h"
#include "core/ast/query.h"
#include "core/ast/search.h"
#include "core/ast/vector.h"
#include "core/json/writer.h"

namespace zorv::core::json {

// An object open for the scope.
class Object {
public:
    explicit Object(JsonOut& out) : out_(out) { out_.begin_object(); }
    ~Object() { out_.end_object(); }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

private:
    JsonOut& out_;
};

// An array open for the scope.
class Array {
public:
    explicit Array(JsonOut& out) : out_(out) { out_.begin_array(); }
    ~Array() { out_.end_array(); }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;

private:
    JsonOut& out_;
};

// {"name": <what body writes>}: a variant with data.
template <class Body>
void tagged(JsonOut& out, std::string_view name, Body&& body) {
    Object obj(out);
    out.key(name);
    std::forward<Body>(body)();
}

// [each(item), ...] in stored order.
template <class Range, class Each>
void array_of(JsonOut& out, const Range& items, Each&& each) {
    Array arr(out);
    for (const auto& item : items) each(item);
}

inline void str_field(JsonOut& out, std::string_view key, std::string_view value) {
    out.key(key);
    out.string(value);
}
inline void u64_field(JsonOut& out, std::string_view key, std::uint64_t value) {
    out.key(key);
    out.u64(value);
}
inline void f64_field(JsonOut& out, std::string_view key, double value) {
    out.key(key);
    out.f64(value);
}
inline void bool_field(JsonOut& out, std::string_view key, bool value) {
    out.key(key);
    out.boolean(value);
}
inline void opt_str_field(JsonOut& out, std::string_view key, const std::optional<std::string>& value) {
    out.key(key);
    if (value) {
        out.string(*value);
    } else {
        out.null();
    }
}
template <class Unsigned>
void opt_u64_field(JsonOut& out, std::string_view key, const std::optional<Unsigned>& value) {
    out.key(key);
    if (value) {
        out.u64(*value);
    } else {
        out.null();
    }
}
inline void opt_bool_field(JsonOut& out, std::string_view key, const std::optional<bool>& value) {
    out.key(key);
    if (value) {
        out.boolean(*value);
    } else {
        out.null();
    }
}
inline void opt_f64_field(JsonOut& out, std::string_view key, const std::optional<double>& value) {
    out.key(key);
    if (value) {
        out.f64(*value);
    } else {
        out.null();
    }
}
inline void str_list(JsonOut& out, const std::vector<std::string>& items) {
    array_of(out, items, [&](const std::string& s) { out.string(s); });
}

// Leaves: literals, spans, placeholders, point ids, shard keys, geo points.
void write_literal(JsonOut& out, const Literal& literal);
void write_span(JsonOut& out, const Span& span);
// {"Param": [S]} / {"Param": [S, P]} or the PositionalParam forms.
void write_placeholder(JsonOut& out, const Placeholder& placeholder);
// The bare [S, P] / [N, P] array of the placeholder forms.
void write_placeholder_array(JsonOut& out, const Placeholder& placeholder);
void write_point_id(JsonOut& out, const PointId& id);
void write_shard_key(JsonOut& out, const ShardKey& key);
void write_opt_shard_key_field(JsonOut& out, std::string_view key, const std::optional<ShardKey>& shard_key);
void write_geo_point(JsonOut& out, const GeoPoint& point);
// [[K, V], ...]: ordered pairs, repeats kept.
void write_dict_pairs(JsonOut& out, const LiteralDict& pairs);
void write_f32_list(JsonOut& out, const std::vector<float>& values);

// Filters and formulas.
void write_filter(JsonOut& out, const Filter& filter);
void write_opt_filter_field(JsonOut& out, std::string_view key, const std::optional<Box<Filter>>& filter);
void write_formula(JsonOut& out, const FormulaExpr& expr);

// Search parameters and selectors.
void write_search_params_field(JsonOut& out, std::string_view key, const std::optional<SearchParams>& params);
void write_payload_selector_field(JsonOut& out, std::string_view key, const std::optional<PayloadSelector>& sel);
void write_vector_selector_field(JsonOut& out, std::string_view key, const std::optional<VectorSelector>& sel);
void write_group_by_field(JsonOut& out, const std::optional<GroupBy>& group);
void write_output_field(JsonOut& out, const OutputSelection& output);

// Query and vector inputs.
void write_query_input(JsonOut& out, const QueryInput& input);
void write_vector_input(JsonOut& out, const VectorValue& vector);
void write_point_vectors(JsonOut& out, const PointVectors& vectors);

// QUERY bodies and the pieces that SCROLL, COUNT and FACET share with them.
void write_query_body(JsonOut& out, const Query& query);
void write_direction_field(JsonOut& out, OrderDirection direction);
void write_start_from_field(JsonOut& out, const std::optional<Literal>& start_from);
void write_collection_ref_field(JsonOut& out, const CollectionRef& collection);
// The "limit_param" / "limit_span" pair of a placeholder LIMIT, only when there is one.
void write_limit_param_fields(JsonOut& out, std::string_view param_key, std::string_view span_key,
                              const std::optional<Placeholder>& param);

// Collection definitions and settings.
void write_create_mode(JsonOut& out, const CreateCollectionMode& mode);
void write_dense_vector_def(JsonOut& out, const DenseVectorDef& def);
void write_sparse_vector_def(JsonOut& out, const std::string& name, const std::optional<SparseIndexSettings>& index,
                             const std::optional<std::string>& modifier);
void write_collection_settings_field(JsonOut& out, const CollectionSettings* settings);

}  // namespace zorv::core::json
