#include "plan/rest/filter_body.h"

#include <optional>
#include <utility>
#include <vector>

#include "core/overloaded.h"
#include "plan/rest/json_sink.h"

namespace zorv::plan {

namespace {

template <class Sink>
void emit_condition(Sink& sink, const PlanCondition& condition);
template <class Sink>
void emit_clauses(Sink& sink, const PlanClauses& clauses);

template <class Sink>
void emit_filter(Sink& sink, const PlanFilter& filter) {
    if (filter.is_single()) {
        emit_condition(sink, filter.single());
    } else {
        emit_clauses(sink, filter.clauses());
    }
}

template <class Sink>
void emit_condition_list(Sink& sink, const std::vector<PlanCondition>& conditions) {
    sink.begin_array();
    for (const PlanCondition& condition : conditions) emit_condition(sink, condition);
    sink.end_array();
}

template <class Sink>
void emit_clauses(Sink& sink, const PlanClauses& clauses) {
    sink.begin_object();
    const std::pair<const char*, const std::vector<PlanCondition>*> lists[] = {{"must", &clauses.must},
                                                                               {"must_not", &clauses.must_not},
                                                                               {"should", &clauses.should}};
    for (const auto& [name, list] : lists) {
        if (list->empty()) continue;
        sink.key(name);
        emit_condition_list(sink, *list);
    }
    if (clauses.min_should) {
        sink.key("min_should");
        sink.begin_object();
        sink.key("conditions");
        emit_condition_list(sink, clauses.min_should->conditions);
        sink.key("min_count");
        sink.u64(clauses.min_should->min_count);
        sink.end_object();
    }
    sink.end_object();
}

template <class Sink>
void emit_geo_point(Sink& sink, const PlanGeoPoint& point) {
    sink.begin_object();
    sink.key("lat");
    sink.f64(point.lat);
    sink.key("lon");
    sink.f64(point.lon);
    sink.end_object();
}

template <class Sink>
void emit_ring(Sink& sink, const std::vector<PlanGeoPoint>& ring) {
    sink.begin_object();
    sink.key("points");
    sink.begin_array();
    for (const PlanGeoPoint& point : ring) emit_geo_point(sink, point);
    sink.end_array();
    sink.end_object();
}

template <class Sink>
void emit_range_bound(Sink& sink, std::string_view name, const std::optional<PlanRangeBound>& bound) {
    if (!bound) return;
    sink.key(name);
    std::visit(core::Overloaded{
                   [&](std::int64_t n) { sink.i64(n); },
                   [&](double x) { sink.f64(x); },
                   [&](const std::string& s) { sink.string(s); },
               },
               bound->value);
}

template <class Sink>
void emit_count_bound(Sink& sink, std::string_view name, const std::optional<std::uint64_t>& bound) {
    if (!bound) return;
    sink.key(name);
    sink.u64(*bound);
}

template <class Sink>
void emit_match(Sink& sink, const PlanMatch& match) {
    static constexpr std::string_view kNames[] = {"value", "text", "text_any", "any", "except", "phrase", "prefix"};
    sink.begin_object();
    sink.key(kNames[match.node.index()]);
    std::visit(core::Overloaded{
                   [&](const core::Literal& value) { sink.literal(value); },
                   [&](const std::string& text) { sink.string(text); },
                   [&](const core::LiteralList& values) { sink.literals(values); },
               },
               match.node);
    sink.end_object();
}

template <class Sink>
void emit_field(Sink& sink, const PlanFieldCondition& field) {
    sink.begin_object();
    sink.key("key");
    sink.string(field.key);
    if (field.match) {
        sink.key("match");
        emit_match(sink, *field.match);
    }
    if (field.range) {
        sink.key("range");
        sink.begin_object();
        emit_range_bound(sink, "gt", field.range->gt);
        emit_range_bound(sink, "gte", field.range->gte);
        emit_range_bound(sink, "lt", field.range->lt);
        emit_range_bound(sink, "lte", field.range->lte);
        sink.end_object();
    }
    if (field.geo_bounding_box) {
        sink.key("geo_bounding_box");
        sink.begin_object();
        sink.key("top_left");
        emit_geo_point(sink, field.geo_bounding_box->top_left);
        sink.key("bottom_right");
        emit_geo_point(sink, field.geo_bounding_box->bottom_right);
        sink.end_object();
    }
    if (field.geo_radius) {
        sink.key("geo_radius");
        sink.begin_object();
        sink.key("center");
        emit_geo_point(sink, field.geo_radius->center);
        sink.key("radius");
        sink.f64(field.geo_radius->radius);
        sink.end_object();
    }
    if (field.geo_polygon) {
        sink.key("geo_polygon");
        sink.begin_object();
        sink.key("exterior");
        emit_ring(sink, field.geo_polygon->exterior);
        sink.key("interiors");
        sink.begin_array();
        for (const auto& ring : field.geo_polygon->interiors) emit_ring(sink, ring);
        sink.end_array();
        sink.end_object();
    }
    if (field.values_count) {
        sink.key("values_count");
        sink.begin_object();
        emit_count_bound(sink, "lt", field.values_count->lt);
        emit_count_bound(sink, "gt", field.values_count->gt);
        emit_count_bound(sink, "gte", field.values_count->gte);
        emit_count_bound(sink, "lte", field.values_count->lte);
        sink.end_object();
    }
    if (field.is_empty) {
        sink.key("is_empty");
        sink.boolean(*field.is_empty);
    }
    if (field.is_null) {
        sink.key("is_null");
        sink.boolean(*field.is_null);
    }
    sink.end_object();
}

// {"name": {"key": key}}
template <class Sink>
void emit_key_condition(Sink& sink, std::string_view name, const std::string& key) {
    sink.begin_object();
    sink.key(name);
    sink.begin_object();
    sink.key("key");
    sink.string(key);
    sink.end_object();
    sink.end_object();
}

template <class Sink>
void emit_condition(Sink& sink, const PlanCondition& condition) {
    std::visit(core::Overloaded{
                   [&](const core::Box<PlanFieldCondition>& field) { emit_field(sink, *field); },
                   [&](const PlanCondition::IsNull& is_null) { emit_key_condition(sink, "is_null", is_null.key); },
                   [&](const PlanCondition::IsEmpty& is_empty) { emit_key_condition(sink, "is_empty", is_empty.key); },
                   [&](const PlanCondition::HasId& has_id) {
                       sink.begin_object();
                       sink.key("has_id");
                       sink.begin_array();
                       for (const PlanPointId& id : has_id.ids) {
                           std::visit(core::Overloaded{[&](std::uint64_t n) { sink.u64(n); },
                                                       [&](const std::string& s) { sink.string(s); }},
                                      id);
                       }
                       sink.end_array();
                       sink.end_object();
                   },
                   [&](const PlanCondition::HasVector& has_vector) {
                       sink.begin_object();
                       sink.key("has_vector");
                       sink.string(has_vector.name);
                       sink.end_object();
                   },
                   [&](const PlanCondition::Nested& nested) {
                       sink.begin_object();
                       sink.key("nested");
                       sink.begin_object();
                       sink.key("key");
                       sink.string(nested.key);
                       sink.key("filter");
                       emit_clauses(sink, nested.filter->to_clauses());
                       sink.end_object();
                       sink.end_object();
                   },
                   [&](const core::Box<PlanFilter>& group) { emit_filter(sink, *group); },
                   [&](const PlanCondition::Slice& slice) {
                       sink.begin_object();
                       sink.key("slice");
                       sink.begin_object();
                       sink.key("total");
                       sink.u64(slice.total);
                       sink.key("index");
                       sink.u64(slice.index);
                       sink.end_object();
                       sink.end_object();
                   },
               },
               condition.node);
}

}  // namespace

JsonValue filter_to_value(const PlanFilter& filter) {
    ValueSink sink;
    emit_filter(sink, filter);
    return sink.take();
}

void put_filter_value(ValueSink& sink, const PlanFilter& filter) { emit_filter(sink, filter); }

void write_filter(std::string& out, const PlanFilter& filter) {
    TextSink sink(out);
    emit_filter(sink, filter);
}

JsonValue condition_to_value(const PlanCondition& condition) {
    ValueSink sink;
    emit_condition(sink, condition);
    return sink.take();
}

void write_condition(std::string& out, const PlanCondition& condition) {
    TextSink sink(out);
    emit_condition(sink, condition);
}

void filter_entry_to_value(JsonObject& object, std::string_view key, const PlanFilter& filter) {
    object.insert_or_assign(std::string(key), filter_to_value(filter));
}

void write_filter_entry(JsonObjectWriter& object, std::string_view key, const PlanFilter& filter) {
    write_filter(object.key(key), filter);
}

}  // namespace zorv::plan
