#include "core/fmt/read.h"

#include "core/fmt/filter.h"
#include "core/fmt/search.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

std::string shard_suffix(const std::optional<ShardKey>& key) {
    return key ? " SHARD " + format_shard_key(*key) : std::string();
}

std::string bool_text(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string format_scroll(const Scroll& scroll) {
    std::string out = "SCROLL FROM " + format_identifier(scroll.collection);
    if (scroll.filter) out += " WHERE " + format_filter(**scroll.filter);
    if (scroll.after) out += " AFTER " + format_point_id(*scroll.after);
    if (scroll.order_by) {
        const OrderClause& order = *scroll.order_by;
        out += " ORDER BY " + format_identifier(order.field) +
               (order.direction == OrderDirection::Desc ? " DESC" : " ASC");
        if (order.start_from) out += " START FROM " + format_literal(*order.start_from);
    }
    out += shard_suffix(scroll.shard_key);
    if (scroll.with_payload) out += " WITH PAYLOAD " + format_payload_selector(*scroll.with_payload);
    if (scroll.with_vector) out += " WITH VECTOR " + format_vector_selector(*scroll.with_vector);
    if (scroll.limit_param) {
        out += " LIMIT ";
        out += format_placeholder_text(*scroll.limit_param);
    } else if (scroll.limit) {
        out += " LIMIT " + std::to_string(*scroll.limit);
    }
    return out;
}

std::string format_count(const Count& count) {
    std::string out = "COUNT FROM";
    if (count.collection.name) out += " " + format_identifier(*count.collection.name);
    if (count.filter) out += " WHERE " + format_filter(**count.filter);
    out += shard_suffix(count.shard_key);
    if (count.exact) out += " WITH (exact = " + bool_text(*count.exact) + ")";
    return out;
}

std::string format_facet(const Facet& facet) {
    std::string out = "FACET " + format_identifier(facet.key);
    if (facet.collection.name) out += " FROM " + format_identifier(*facet.collection.name);
    if (facet.filter) out += " WHERE " + format_filter(**facet.filter);
    if (facet.limit) {
        out += " LIMIT " + std::to_string(*facet.limit);
    } else if (facet.limit_param) {
        out += " LIMIT ";
        out += format_placeholder_text(*facet.limit_param);
    }
    if (facet.exact) out += " EXACT " + bool_text(*facet.exact);
    out += shard_suffix(facet.shard_key);
    return out;
}

}  // namespace zorv::core
