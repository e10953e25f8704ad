#include "plan/rest/query_body.h"

#include <cmath>
#include <string_view>
#include <utility>
#include <variant>

#include "core/overloaded.h"
#include "plan/json_write.h"
#include "plan/rest/filter_body.h"
#include "plan/rest/formula_body.h"
#include "plan/rest/json_sink.h"

namespace zorv::plan {

namespace {

using core::VectorValue;

// The pieces that already have a writer of their own in each form.
void put_f32(TextSink& sink, float x) { write_json_f32(sink.prefix(), x); }
void put_f32(ValueSink& sink, float x) { std::isfinite(x) ? sink.f64(x) : sink.null(); }
void put_filter(TextSink& sink, const PlanFilter& filter) { write_filter(sink.prefix(), filter); }
void put_filter(ValueSink& sink, const PlanFilter& filter) { put_filter_value(sink, filter); }
void put_expression(TextSink& sink, const PlanExpression& expr) { write_expression(sink.prefix(), expr); }
void put_expression(ValueSink& sink, const PlanExpression& expr) { put_expression_value(sink, expr); }
void put_default(TextSink& sink, const PlanDefaultValue& value) { write_default_value(sink.prefix(), value); }
void put_default(ValueSink& sink, const PlanDefaultValue& value) { put_default_value(sink, value); }

template <class Sink>
void put_f64(Sink& sink, double x) {
    if (std::isfinite(x)) {
        sink.f64(x);
    } else {
        sink.null();
    }
}

template <class Sink>
void put_strings(Sink& sink, const std::vector<std::string>& items) {
    sink.begin_array();
    for (const std::string& item : items) sink.string(item);
    sink.end_array();
}

template <class Sink>
void put_id(Sink& sink, const std::variant<std::uint64_t, std::string>& id) {
    std::visit(core::Overloaded{[&](std::uint64_t n) { sink.u64(n); }, [&](const std::string& s) { sink.string(s); }},
               id);
}

template <class Sink>
void put_dense(Sink& sink, const std::vector<float>& values) {
    sink.begin_array();
    for (float x : values) put_f64(sink, static_cast<double>(x));
    sink.end_array();
}
// Vectors can be long: built at their final size rather than element by element on the sink.
void put_dense(ValueSink& sink, const std::vector<float>& values) {
    JsonArray array;
    array.reserve(values.size());
    for (float x : values) {
        if (std::isfinite(x)) {
            array.emplace_back(static_cast<double>(x));
        } else {
            array.emplace_back(nullptr);
        }
    }
    sink.put(std::move(array));
}

template <class Sink>
void put_options(Sink& sink, const core::LiteralDict& options) {
    if (options.empty()) return;
    sink.key("options");
    sink.begin_object();
    for (const auto& [name, value] : options) {
        sink.key(name);
        sink.literal(value);
    }
    sink.end_object();
}

template <class Sink>
void put_inference(Sink& sink, std::string_view member, const std::optional<std::string>& model,
                   const core::LiteralDict& options, const auto& write_member) {
    sink.begin_object();
    sink.key(member);
    write_member();
    sink.key("model");
    sink.string(model ? *model : std::string());
    put_options(sink, options);
    sink.end_object();
}

template <class Sink>
void put_vector(Sink& sink, const VectorValue& vector) {
    std::visit(core::Overloaded{
                   [&](const VectorValue::Dense& dense) { put_dense(sink, dense.values); },
                   [&](const VectorValue::Sparse& sparse) {
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
                   [&](const VectorValue::MultiDense& multi) {
                       sink.begin_array();
                       for (const auto& row : multi.rows) put_dense(sink, row);
                       sink.end_array();
                   },
                   [&](const VectorValue::Document& doc) {
                       put_inference(sink, "text", doc.model, doc.options, [&] { sink.string(doc.text); });
                   },
                   [&](const VectorValue::Image& image) {
                       put_inference(sink, "image", image.model, image.options, [&] { sink.string(image.source); });
                   },
                   [&](const VectorValue::Object& object) {
                       put_inference(sink, "object", object.model, object.options,
                                     [&] { sink.literal(*object.object); });
                   },
                   [&](const core::Placeholder& p) {
                       sink.string(p.kind == core::Placeholder::Kind::Named ? ":" + p.name
                                                                            : "?" + std::to_string(p.index));
                   },
               },
               vector.value);
}

template <class Sink>
void put_input(Sink& sink, const PlanQueryInput& input) {
    if (input.kind() == PlanQueryInput::Kind::Point) {
        put_id(sink, input.point());
    } else {
        put_vector(sink, input.vector());
    }
}

template <class Sink>
void put_inputs(Sink& sink, const std::vector<PlanQueryInput>& inputs) {
    sink.begin_array();
    for (const PlanQueryInput& input : inputs) put_input(sink, input);
    sink.end_array();
}

template <class Sink>
void put_pairs(Sink& sink, const std::vector<PlanContextPair>& pairs) {
    sink.begin_array();
    for (const PlanContextPair& pair : pairs) {
        sink.begin_object();
        sink.key("positive");
        put_input(sink, pair.positive);
        sink.key("negative");
        put_input(sink, pair.negative);
        sink.end_object();
    }
    sink.end_array();
}

template <class Sink>
void put_order_by(Sink& sink, const std::string& key, const std::optional<std::string>& direction,
                  const std::optional<core::Literal>& start_from) {
    sink.begin_object();
    sink.key("key");
    sink.string(key);
    if (direction) {
        sink.key("direction");
        sink.string(*direction);
    }
    if (start_from) {
        sink.key("start_from");
        sink.literal(*start_from);
    }
    sink.end_object();
}

template <class Sink>
void put_query(Sink& sink, const PlanQuery& query) {
    using Q = PlanQuery;
    sink.begin_object();
    std::visit(core::Overloaded{
                   [&](const Q::Nearest& nearest) {
                       sink.key("nearest");
                       put_input(sink, nearest.input);
                       if (!nearest.mmr) return;
                       sink.key("mmr");
                       sink.begin_object();
                       sink.key("diversity");
                       put_f64(sink, nearest.mmr->diversity);
                       sink.key("candidates_limit");
                       sink.u64(nearest.mmr->candidates_limit);
                       sink.end_object();
                   },
                   [&](const Q::Recommend& recommend) {
                       sink.key("recommend");
                       sink.begin_object();
                       sink.key("positive");
                       put_inputs(sink, recommend.positive);
                       sink.key("negative");
                       put_inputs(sink, recommend.negative);
                       if (recommend.strategy) {
                           sink.key("strategy");
                           sink.string(*recommend.strategy);
                       }
                       sink.end_object();
                   },
                   [&](const Q::Discover& discover) {
                       sink.key("discover");
                       sink.begin_object();
                       sink.key("target");
                       put_input(sink, discover.target);
                       sink.key("context");
                       put_pairs(sink, discover.context);
                       sink.end_object();
                   },
                   [&](const Q::Context& context) {
                       sink.key("context");
                       put_pairs(sink, context.pairs);
                   },
                   [&](const Q::OrderBy& order) {
                       sink.key("order_by");
                       put_order_by(sink, order.key, order.direction, order.start_from);
                   },
                   [&](const Q::Fusion& fusion) {
                       sink.key("fusion");
                       sink.string(fusion.method);
                   },
                   [&](const Q::Rrf& rrf) {
                       sink.key("rrf");
                       sink.begin_object();
                       if (rrf.k) {
                           sink.key("k");
                           sink.u64(*rrf.k);
                       }
                       if (rrf.weights) {
                           sink.key("weights");
                           sink.begin_array();
                           for (double w : *rrf.weights) put_f64(sink, w);
                           sink.end_array();
                       }
                       sink.end_object();
                   },
                   [&](const Q::Formula& formula) {
                       sink.key("formula");
                       put_expression(sink, formula.formula);
                       if (!formula.defaults) return;
                       sink.key("defaults");
                       sink.begin_object();
                       for (const auto& [name, value] : *formula.defaults) {
                           sink.key(name);
                           put_default(sink, value);
                       }
                       sink.end_object();
                   },
                   [&](const Q::Sample& sample) {
                       sink.key("sample");
                       sink.string(sample.method);
                   },
                   [&](const Q::RelevanceFeedback& feedback) {
                       sink.key("relevance_feedback");
                       sink.begin_object();
                       sink.key("target");
                       put_input(sink, feedback.target);
                       sink.key("feedback");
                       sink.begin_array();
                       for (const PlanFeedback& entry : feedback.feedback) {
                           sink.begin_object();
                           sink.key("example");
                           put_input(sink, entry.example);
                           sink.key("score");
                           put_f64(sink, entry.score);
                           sink.end_object();
                       }
                       sink.end_array();
                       sink.key("strategy");
                       sink.begin_object();
                       sink.key("naive");
                       sink.begin_object();
                       for (const auto& [name, weight] :
                            {std::pair{"a", feedback.a}, std::pair{"b", feedback.b}, std::pair{"c", feedback.c}}) {
                           sink.key(name);
                           put_f64(sink, weight);
                       }
                       sink.end_object();
                       sink.end_object();
                       sink.end_object();
                   },
               },
               query.node);
    sink.end_object();
}

template <class Sink>
void put_params(Sink& sink, const PlanSearchParams& params) {
    sink.begin_object();
    if (params.hnsw_ef) {
        sink.key("hnsw_ef");
        sink.u64(*params.hnsw_ef);
    }
    if (params.exact) {
        sink.key("exact");
        sink.boolean(*params.exact);
    }
    if (params.acorn) {
        sink.key("acorn");
        sink.begin_object();
        sink.key("enable");
        sink.boolean(params.acorn->enable);
        if (params.acorn->max_selectivity) {
            sink.key("max_selectivity");
            put_f64(sink, *params.acorn->max_selectivity);
        }
        sink.end_object();
    }
    if (params.indexed_only) {
        sink.key("indexed_only");
        sink.boolean(*params.indexed_only);
    }
    if (params.quantization) {
        const core::QuantizationSearchParams& q = *params.quantization;
        sink.key("quantization");
        sink.begin_object();
        if (q.ignore) {
            sink.key("ignore");
            sink.boolean(*q.ignore);
        }
        if (q.rescore) {
            sink.key("rescore");
            sink.boolean(*q.rescore);
        }
        if (q.oversampling) {
            sink.key("oversampling");
            put_f64(sink, *q.oversampling);
        }
        sink.end_object();
    }
    if (params.idf) {
        sink.key("idf");
        if (params.idf->corpus) {
            sink.begin_object();
            sink.key("corpus");
            put_filter(sink, *params.idf->corpus);
            sink.end_object();
        } else {
            sink.string("global");
        }
    }
    sink.end_object();
}

template <class Sink>
void put_lookup(Sink& sink, const PlanLookupLocation& lookup) {
    sink.begin_object();
    sink.key("collection");
    sink.string(lookup.collection);
    if (lookup.vector) {
        sink.key("vector");
        sink.string(*lookup.vector);
    }
    if (lookup.shard_key) {
        sink.key("shard_key");
        put_id(sink, *lookup.shard_key);
    }
    sink.end_object();
}

template <class Sink>
void put_stages(Sink& sink, const std::vector<PlanPrefetch>& stages);

template <class Sink>
void put_stage(Sink& sink, const PlanPrefetch& stage) {
    sink.begin_object();
    if (stage.query) {
        sink.key("query");
        put_query(sink, *stage.query);
    }
    if (stage.using_) {
        sink.key("using");
        sink.string(*stage.using_);
    }
    if (stage.filter) {
        sink.key("filter");
        put_filter(sink, *stage.filter);
    }
    if (stage.params) {
        sink.key("params");
        put_params(sink, *stage.params);
    }
    if (stage.score_threshold) {
        sink.key("score_threshold");
        put_f64(sink, *stage.score_threshold);
    }
    if (stage.limit) {
        sink.key("limit");
        sink.u64(*stage.limit);
    }
    if (stage.lookup_from) {
        sink.key("lookup_from");
        put_lookup(sink, *stage.lookup_from);
    }
    if (stage.prefetch) {
        sink.key("prefetch");
        put_stages(sink, *stage.prefetch);
    }
    sink.end_object();
}

template <class Sink>
void put_stages(Sink& sink, const std::vector<PlanPrefetch>& stages) {
    sink.begin_array();
    for (const PlanPrefetch& stage : stages) put_stage(sink, stage);
    sink.end_array();
}

template <class Sink>
void put_payload_selector(Sink& sink, const PlanPayloadSelector& selector) {
    std::visit(core::Overloaded{
                   [&](bool all) { sink.boolean(all); },
                   [&](const PlanPayloadSelector::Include& include) {
                       sink.begin_object();
                       sink.key("include");
                       put_strings(sink, include.keys);
                       sink.end_object();
                   },
                   [&](const PlanPayloadSelector::Exclude& exclude) {
                       sink.begin_object();
                       sink.key("exclude");
                       put_strings(sink, exclude.keys);
                       sink.end_object();
                   },
               },
               selector.value);
}

template <class Sink>
void put_vector_selector(Sink& sink, const PlanVectorSelector& selector) {
    std::visit(core::Overloaded{[&](bool all) { sink.boolean(all); },
                                [&](const std::vector<std::string>& names) { put_strings(sink, names); }},
               selector.value);
}

// The members a search request and a groups request share, up to the selectors.
template <class Sink>
void put_search_head(Sink& sink, const PlanQueryRequest& request) {
    sink.key("query");
    put_query(sink, request.query);
    if (request.using_) {
        sink.key("using");
        sink.string(*request.using_);
    }
    if (!request.prefetch.empty()) {
        sink.key("prefetch");
        put_stages(sink, request.prefetch);
    }
    if (request.filter) {
        sink.key("filter");
        put_filter(sink, *request.filter);
    }
    if (request.params) {
        sink.key("params");
        put_params(sink, *request.params);
    }
    if (request.score_threshold) {
        sink.key("score_threshold");
        put_f64(sink, *request.score_threshold);
    }
    if (request.with_payload) {
        sink.key("with_payload");
        put_payload_selector(sink, *request.with_payload);
    }
    if (request.with_vector) {
        sink.key("with_vector");
        put_vector_selector(sink, *request.with_vector);
    }
}

template <class Sink>
void put_lookup_and_shard(Sink& sink, const PlanQueryRequest& request) {
    if (request.lookup_from) {
        sink.key("lookup_from");
        put_lookup(sink, *request.lookup_from);
    }
    if (request.shard_key) {
        sink.key("shard_key");
        put_id(sink, *request.shard_key);
    }
}

template <class Sink>
void put_request(Sink& sink, const PlanQueryRequest& request) {
    sink.begin_object();
    put_search_head(sink, request);
    if (request.limit) {
        sink.key("limit");
        sink.u64(*request.limit);
    }
    if (request.offset) {
        sink.key("offset");
        sink.u64(*request.offset);
    }
    put_lookup_and_shard(sink, request);
    sink.end_object();
}

template <class Sink>
void put_batch(Sink& sink, const std::vector<PlanQueryRequest>& searches) {
    sink.begin_object();
    sink.key("searches");
    sink.begin_array();
    for (const PlanQueryRequest& request : searches) put_request(sink, request);
    sink.end_array();
    sink.end_object();
}

template <class F>
JsonValue to_value(F describe) {
    ValueSink sink;
    describe(sink);
    return sink.take();
}

template <class F>
void to_text(std::string& out, F describe) {
    TextSink sink(out);
    describe(sink);
}

template <class Sink>
void put_shard_key_entry(Sink& sink, const std::optional<PlanShardKey>& key) {
    if (!key) return;
    sink.key("shard_key");
    put_id(sink, *key);
}

template <class Sink>
void put_filter_entry(Sink& sink, const std::optional<PlanFilter>& filter) {
    if (!filter) return;
    sink.key("filter");
    put_filter(sink, *filter);
}

template <class Sink>
void put_exact_entry(Sink& sink, const std::optional<bool>& exact) {
    if (!exact) return;
    sink.key("exact");
    sink.boolean(*exact);
}

}  // namespace

JsonValue query_request_to_value(const PlanQueryRequest& request) {
    return to_value([&](ValueSink& sink) { put_request(sink, request); });
}
void write_query_request(std::string& out, const PlanQueryRequest& request) {
    to_text(out, [&](TextSink& sink) { put_request(sink, request); });
}

JsonValue plan_query_to_value(const PlanQuery& query) {
    return to_value([&](ValueSink& sink) { put_query(sink, query); });
}
void write_plan_query(std::string& out, const PlanQuery& query) {
    to_text(out, [&](TextSink& sink) { put_query(sink, query); });
}

JsonValue prefetch_to_value(const std::vector<PlanPrefetch>& stages) {
    return to_value([&](ValueSink& sink) { put_stages(sink, stages); });
}
void write_prefetch_list(std::string& out, const std::vector<PlanPrefetch>& stages) {
    to_text(out, [&](TextSink& sink) { put_stages(sink, stages); });
}

JsonValue search_params_to_value(const PlanSearchParams& params) {
    return to_value([&](ValueSink& sink) { put_params(sink, params); });
}
void write_search_params(std::string& out, const PlanSearchParams& params) {
    to_text(out, [&](TextSink& sink) { put_params(sink, params); });
}

JsonValue lookup_from_to_value(const PlanLookupLocation& lookup) {
    return to_value([&](ValueSink& sink) { put_lookup(sink, lookup); });
}
void write_lookup_from(std::string& out, const PlanLookupLocation& lookup) {
    to_text(out, [&](TextSink& sink) { put_lookup(sink, lookup); });
}

JsonValue shard_key_to_value(const PlanShardKey& key) {
    return to_value([&](ValueSink& sink) { put_id(sink, key); });
}
void write_shard_key(std::string& out, const PlanShardKey& key) {
    to_text(out, [&](TextSink& sink) { put_id(sink, key); });
}

JsonValue query_input_to_value(const PlanQueryInput& input) {
    return to_value([&](ValueSink& sink) { put_input(sink, input); });
}
void write_query_input(std::string& out, const PlanQueryInput& input) {
    to_text(out, [&](TextSink& sink) { put_input(sink, input); });
}

JsonValue payload_selector_to_value(const PlanPayloadSelector& selector) {
    return to_value([&](ValueSink& sink) { put_payload_selector(sink, selector); });
}
JsonValue vector_selector_to_value(const PlanVectorSelector& selector) {
    return to_value([&](ValueSink& sink) { put_vector_selector(sink, selector); });
}

JsonValue query_batch_body(const std::vector<PlanQueryRequest>& searches) {
    return to_value([&](ValueSink& sink) { put_batch(sink, searches); });
}
void write_query_batch_body(std::string& out, const std::vector<PlanQueryRequest>& searches) {
    to_text(out, [&](TextSink& sink) { put_batch(sink, searches); });
}

JsonValue query_groups_body(const QueryGroupsOp& op) {
    return to_value([&](ValueSink& sink) {
        sink.begin_object();
        put_search_head(sink, op.request);
        sink.key("group_by");
        sink.string(op.group_by);
        sink.key("group_size");
        sink.u64(op.group_size);
        sink.key("limit");
        sink.u64(op.limit);
        if (op.with_lookup) {
            const PlanWithLookup& lookup = *op.with_lookup;
            sink.key("with_lookup");
            if (!lookup.with_payload && !lookup.with_vectors) {
                sink.string(lookup.collection);
            } else {
                sink.begin_object();
                sink.key("collection");
                sink.string(lookup.collection);
                if (lookup.with_payload) {
                    sink.key("with_payload");
                    put_payload_selector(sink, *lookup.with_payload);
                }
                if (lookup.with_vectors) {
                    sink.key("with_vectors");
                    put_vector_selector(sink, *lookup.with_vectors);
                }
                sink.end_object();
            }
        }
        put_lookup_and_shard(sink, op.request);
        sink.end_object();
    });
}

JsonValue get_points_body(const GetPointsOp& op) {
    return to_value([&](ValueSink& sink) {
        sink.begin_object();
        sink.key("ids");
        sink.begin_array();
        for (const PlanPointId& id : op.ids) put_id(sink, id);
        sink.end_array();
        sink.key("with_payload");
        put_payload_selector(sink, op.with_payload);
        if (op.with_vector) {
            sink.key("with_vector");
            put_vector_selector(sink, *op.with_vector);
        }
        put_shard_key_entry(sink, op.shard_key);
        sink.end_object();
    });
}

JsonValue scroll_body(const ScrollOp& op) {
    return to_value([&](ValueSink& sink) {
        sink.begin_object();
        put_filter_entry(sink, op.filter);
        if (op.offset) {
            sink.key("offset");
            put_id(sink, *op.offset);
        }
        sink.key("limit");
        sink.u64(op.limit);
        sink.key("with_payload");
        put_payload_selector(sink, op.with_payload);
        sink.key("with_vector");
        put_vector_selector(sink, op.with_vector);
        if (op.order_by) {
            sink.key("order_by");
            put_order_by(sink, op.order_by->key, op.order_by->direction, op.order_by->start_from);
        }
        put_shard_key_entry(sink, op.shard_key);
        sink.end_object();
    });
}

JsonValue count_body(const CountOp& op) {
    return to_value([&](ValueSink& sink) {
        sink.begin_object();
        put_filter_entry(sink, op.filter);
        put_shard_key_entry(sink, op.shard_key);
        put_exact_entry(sink, op.exact);
        sink.end_object();
    });
}

JsonValue facet_body(const FacetOp& op) {
    return to_value([&](ValueSink& sink) {
        sink.begin_object();
        sink.key("key");
        sink.string(op.key);
        if (op.limit) {
            sink.key("limit");
            sink.u64(*op.limit);
        }
        put_filter_entry(sink, op.filter);
        put_exact_entry(sink, op.exact);
        put_shard_key_entry(sink, op.shard_key);
        sink.end_object();
    });
}

}  // namespace zorv::plan
