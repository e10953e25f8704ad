#include "core/fmt/read.h"

#include "core/fmt/filter.h"
#include "core/fmt/search.h"
#include "core/fmt/values.h"
#include "core/text.h"

namespace zorv::core {
namespace {

void write_shard_suffix(TextSink& sink, const std::optional<ShardKey>& key) {
    if (key) write_shard_key(sink.text(" SHARD "), *key);
}

std::string_view bool_word(bool value) { return value ? "true" : "false"; }

void write_limit(TextSink& sink, const std::optional<std::uint64_t>& limit, const std::optional<Placeholder>& param) {
    if (limit) {
        sink.text(" LIMIT ").integer(*limit);
    } else if (param) {
        write_placeholder(sink.text(" LIMIT "), *param);
    }
}

}  // namespace

void write_scroll(TextSink& sink, const Scroll& scroll) {
    sink.text("SCROLL FROM ").identifier(scroll.collection);
    if (scroll.filter) write_filter(sink.text(" WHERE "), **scroll.filter);
    if (scroll.after) write_point_id(sink.text(" AFTER "), *scroll.after);
    if (scroll.order_by) {
        const OrderClause& order = *scroll.order_by;
        sink.text(" ORDER BY ")
            .identifier(order.field)
            .text(order.direction == OrderDirection::Desc ? " DESC" : " ASC");
        if (order.start_from) write_literal(sink.text(" START FROM "), *order.start_from);
    }
    write_shard_suffix(sink, scroll.shard_key);
    if (scroll.with_payload) write_payload_selector(sink.text(" WITH PAYLOAD "), *scroll.with_payload);
    if (scroll.with_vector) write_vector_selector(sink.text(" WITH VECTOR "), *scroll.with_vector);
    write_limit(sink, scroll.limit, scroll.limit_param);
}

void write_count(TextSink& sink, const Count& count) {
    sink.text("COUNT FROM");
    if (count.collection.name) sink.text(' ').identifier(*count.collection.name);
    if (count.filter) write_filter(sink.text(" WHERE "), **count.filter);
    write_shard_suffix(sink, count.shard_key);
    if (count.exact) sink.text(" WITH (exact = ").text(bool_word(*count.exact)).text(')');
}

void write_facet(TextSink& sink, const Facet& facet) {
    // FACET FROM FROM c reads as collection FROM with a key c, so a key spelled FROM is quoted: it
    // must read back as the key.
    sink.text("FACET ");
    if (equals_ignore_case(facet.key, "from")) {
        sink.quoted(facet.key);
    } else {
        sink.identifier(facet.key);
    }
    if (facet.collection.name) sink.text(" FROM ").identifier(*facet.collection.name);
    if (facet.filter) write_filter(sink.text(" WHERE "), **facet.filter);
    write_limit(sink, facet.limit, facet.limit_param);
    if (facet.exact) sink.text(" EXACT ").text(bool_word(*facet.exact));
    write_shard_suffix(sink, facet.shard_key);
}

}  // namespace zorv::core
