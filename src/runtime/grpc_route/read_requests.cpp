#include "runtime/grpc_route/read_requests.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "core/parser/helpers.h"
#include "embed/message_format.h"
#include "plan/value_json.h"
#include "runtime/grpc_route/filters.h"
#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {

namespace {

using core::Literal;
using embed::format_message;

constexpr auto max_i64 = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

core::ZorvError start_from_error(const Literal& value) {
    return core::make_error(core::Diag::GrpcStartFrom,
                            format_message("order_by START FROM {} cannot be represented on the gRPC path; use an "
                                           "integer, float, or ISO-8601 datetime",
                                           plan::render_value_text(value)));
}

core::Result<void> start_from_to_proto(const Literal& value, qdrant::StartFrom& out) {
    switch (value.kind()) {
        case Literal::Kind::Int: out.set_integer(value.as_int()); return {};
        case Literal::Kind::UInt: {
            const std::uint64_t n = value.as_uint();
            if (n > max_i64) {
                return core::fail(core::Diag::GrpcStartFrom,
                                  format_message("order_by START FROM integer {} cannot be represented on the gRPC "
                                                 "path: the bundled Qdrant proto stores it as int64 (max {})",
                                                 std::to_string(n), std::to_string(max_i64)));
            }
            out.set_integer(static_cast<std::int64_t>(n));
            return {};
        }
        case Literal::Kind::Float: out.set_float_(value.as_float()); return {};
        case Literal::Kind::Str:
            if (!core::is_datetime_literal(value.as_str())) return std::unexpected(start_from_error(value));
            out.set_datetime(value.as_str());
            return {};
        default: return std::unexpected(start_from_error(value));
    }
}

template <class Request>
void set_shard_key(const std::optional<plan::PlanShardKey>& key, Request& request) {
    if (key) *request.mutable_shard_key_selector() = shard_key_selector_to_proto(*key);
}

template <class Request>
core::Result<void> set_filter(const std::optional<plan::PlanFilter>& filter, Request& request) {
    if (!filter) return {};
    auto converted = filter_to_proto(*filter);
    if (!converted) return std::unexpected(std::move(converted).error());
    *request.mutable_filter() = std::move(*converted);
    return {};
}

}  // namespace

qdrant::GetPoints build_get_points(const plan::GetPointsOp& op) {
    qdrant::GetPoints request;
    request.set_collection_name(op.collection);
    request.mutable_ids()->Reserve(static_cast<int>(op.ids.size()));
    for (const plan::PlanPointId& id : op.ids) *request.add_ids() = point_id_to_proto(id);
    *request.mutable_with_payload() = payload_selector_to_proto(op.with_payload);
    if (op.with_vector) *request.mutable_with_vectors() = vector_selector_to_proto(*op.with_vector);
    set_shard_key(op.shard_key, request);
    return request;
}

core::Result<qdrant::ScrollPoints> build_scroll_points(const plan::ScrollOp& op) {
    if (op.limit > max_u32) {
        return core::fail(core::Diag::GrpcScrollLimit,
                          format_message("scroll limit {} cannot be represented on the gRPC path: the bundled Qdrant "
                                         "proto stores scroll limit as uint32 (max {})",
                                         std::to_string(op.limit), std::to_string(max_u32)));
    }
    qdrant::ScrollPoints request;
    request.set_limit(static_cast<std::uint32_t>(op.limit));
    request.set_collection_name(op.collection);
    ZORV_CHECK(set_filter(op.filter, request));
    if (op.offset) *request.mutable_offset() = point_id_to_proto(*op.offset);
    *request.mutable_with_payload() = payload_selector_to_proto(op.with_payload);
    *request.mutable_with_vectors() = vector_selector_to_proto(op.with_vector);
    set_shard_key(op.shard_key, request);
    if (op.order_by) *request.mutable_order_by() = ZORV_TRY(order_by_to_proto(*op.order_by));
    return request;
}

core::Result<qdrant::CountPoints> build_count_points(const plan::CountOp& op) {
    qdrant::CountPoints request;
    request.set_collection_name(op.collection);
    ZORV_CHECK(set_filter(op.filter, request));
    request.set_exact(op.exact.value_or(true));
    set_shard_key(op.shard_key, request);
    return request;
}

core::Result<qdrant::FacetCounts> build_facet_counts(const plan::FacetOp& op) {
    qdrant::FacetCounts request;
    request.set_collection_name(op.collection);
    request.set_key(op.key);
    ZORV_CHECK(set_filter(op.filter, request));
    if (op.limit) request.set_limit(*op.limit);
    if (op.exact) request.set_exact(*op.exact);
    set_shard_key(op.shard_key, request);
    return request;
}

core::Result<qdrant::OrderBy> order_by_to_proto(std::string_view key, const std::optional<std::string>& direction,
                                                const std::optional<core::Literal>& start_from) {
    qdrant::OrderBy out;
    if (direction) {
        if (*direction == "asc") {
            out.set_direction(qdrant::DIRECTION_ASC);
        } else if (*direction == "desc") {
            out.set_direction(qdrant::DIRECTION_DESC);
        } else {
            return core::fail(
                core::Diag::GrpcDirection,
                format_message("unsupported order_by direction '{}' on the gRPC path; use 'asc' or 'desc'",
                               *direction));
        }
    }
    out.set_key(std::string(key));
    if (start_from) ZORV_CHECK(start_from_to_proto(*start_from, *out.mutable_start_from()));
    return out;
}

core::Result<qdrant::OrderBy> order_by_to_proto(const plan::PlanOrderBy& order_by) {
    return order_by_to_proto(order_by.key, order_by.direction, order_by.start_from);
}

qdrant::WithPayloadSelector payload_selector_to_proto(const plan::PlanPayloadSelector& selector) {
    qdrant::WithPayloadSelector out;
    if (const auto* enable = std::get_if<bool>(&selector.value)) {
        out.set_enable(*enable);
    } else if (const auto* include = std::get_if<plan::PlanPayloadSelector::Include>(&selector.value)) {
        for (const std::string& key : include->keys) out.mutable_include()->add_fields(key);
    } else {
        for (const std::string& key : std::get<plan::PlanPayloadSelector::Exclude>(selector.value).keys) {
            out.mutable_exclude()->add_fields(key);
        }
    }
    return out;
}

qdrant::WithVectorsSelector vector_selector_to_proto(const plan::PlanVectorSelector& selector) {
    qdrant::WithVectorsSelector out;
    if (const auto* enable = std::get_if<bool>(&selector.value)) {
        out.set_enable(*enable);
    } else {
        auto* include = out.mutable_include();
        for (const std::string& name : std::get<std::vector<std::string>>(selector.value)) include->add_names(name);
    }
    return out;
}

qdrant::ReadConsistency read_consistency_to_proto(const plan::Consistency& consistency) {
    qdrant::ReadConsistency out;
    switch (consistency.kind()) {
        case core::Consistency::Kind::Factor: out.set_factor(consistency.factor_value()); break;
        case core::Consistency::Kind::Majority: out.set_type(qdrant::CONSISTENCY_MAJORITY); break;
        case core::Consistency::Kind::Quorum: out.set_type(qdrant::CONSISTENCY_QUORUM); break;
        case core::Consistency::Kind::All: out.set_type(qdrant::CONSISTENCY_ALL); break;
    }
    return out;
}

qdrant::ShardKeySelector shard_key_selector_to_proto(const plan::PlanShardKey& key) {
    qdrant::ShardKeySelector out;
    qdrant::ShardKey* entry = out.add_shard_keys();
    if (const auto* number = std::get_if<std::uint64_t>(&key)) {
        entry->set_number(*number);
    } else {
        entry->set_keyword(std::get<std::string>(key));
    }
    return out;
}

}  // namespace zorv::runtime::rpc
