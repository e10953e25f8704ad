// QUERY bodies: the ten body keys, the ranking expression of each kind, prefetch stages and
// WITH entries (nested bodies written by the same function).
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

void write_input_field(JsonOut& out, std::string_view key, const QueryInput& input) {
    out.key(key);
    write_query_input(out, input);
}

void write_inputs_field(JsonOut& out, std::string_view key, const std::vector<QueryInput>& inputs) {
    out.key(key);
    array_of(out, inputs, [&](const QueryInput& i) { write_query_input(out, i); });
}

void write_context_pairs_field(JsonOut& out, std::string_view key, const std::vector<ContextPair>& pairs) {
    out.key(key);
    array_of(out, pairs, [&](const ContextPair& pair) {
        Object obj(out);
        write_input_field(out, "positive", pair.positive);
        write_input_field(out, "negative", pair.negative);
    });
}

void write_using_field(JsonOut& out, const std::optional<UsingVector>& using_) {
    out.key("using");
    if (!using_) {
        out.null();
        return;
    }
    Object obj(out);
    str_field(out, "name", using_->name);
    out.key("kind");
    if (using_->kind) {
        out.string(vector_kind_name(*using_->kind));
    } else {
        out.null();
    }
    bool_field(out, "multi", using_->multi);
}

void write_prefetch(JsonOut& out, const Prefetch& stage) {
    Object obj(out);
    out.key("source");
    if (stage.source.is(PrefetchSource::Kind::Query)) {
        tagged(out, "Query", [&] { write_query_body(out, stage.source.query()); });
    } else {
        tagged(out, "Cte", [&] { out.string(stage.source.cte_name()); });
    }
    write_opt_filter_field(out, "filter", stage.filter);
    opt_f64_field(out, "score_threshold", stage.score_threshold);
    out.key("lookup");
    if (!stage.lookup) {
        out.null();
        return;
    }
    Object lookup(out);
    str_field(out, "collection", stage.lookup->collection);
    opt_str_field(out, "vector", stage.lookup->vector);
    write_opt_shard_key_field(out, "shard_key", stage.lookup->shard_key);
}

void write_prefetch_field(JsonOut& out, const PrefetchList& prefetch) {
    out.key("prefetch");
    array_of(out, prefetch, [&](const Prefetch& stage) { write_prefetch(out, stage); });
}

void write_expression_fields(JsonOut& out, const QueryExpr& expr) {
    using Q = QueryExpr;
    std::visit(Overloaded{
                   [&](const Q::Points& n) {
                       Object obj(out);
                       out.key("ids");
                       array_of(out, n.ids, [&](const PointId& id) { write_point_id(out, id); });
                   },
                   [&](const Q::Nearest& n) {
                       Object obj(out);
                       write_input_field(out, "input", n.input);
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                       out.key("mmr");
                       if (n.mmr) {
                           Object mmr(out);
                           f64_field(out, "diversity", (*n.mmr)->diversity);
                           u64_field(out, "candidates", (*n.mmr)->candidates);
                       } else {
                           out.null();
                       }
                   },
                   [&](const Q::Recommend& n) {
                       Object obj(out);
                       write_inputs_field(out, "positive", n.positive);
                       write_inputs_field(out, "negative", n.negative);
                       out.key("strategy");
                       if (n.strategy) {
                           out.string(recommend_strategy_name(*n.strategy));
                       } else {
                           out.null();
                       }
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::Context& n) {
                       Object obj(out);
                       write_context_pairs_field(out, "pairs", n.pairs);
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::Discover& n) {
                       Object obj(out);
                       write_input_field(out, "target", n.target);
                       write_context_pairs_field(out, "context", n.context);
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::OrderBy& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       write_direction_field(out, n.direction);
                       write_start_from_field(out, n.start_from);
                   },
                   [&](const Q::SampleRandom&) {},
                   [&](const Q::Fusion& n) {
                       Object obj(out);
                       str_field(out, "method", fusion_method_name(n.method));
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::Formula& n) {
                       Object obj(out);
                       out.key("expression");
                       write_formula(out, *n.expression);
                       out.key("defaults");
                       write_dict_pairs(out, n.defaults);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::RelevanceFeedback& n) {
                       Object obj(out);
                       write_input_field(out, "target", n.target);
                       out.key("feedback");
                       array_of(out, n.feedback, [&](const FeedbackItem& item) {
                           Object fb(out);
                           write_input_field(out, "example", item.example);
                           f64_field(out, "score", item.score);
                       });
                       out.key("strategy");
                       {
                           Object strategy(out);
                           f64_field(out, "a", n.strategy.a);
                           f64_field(out, "b", n.strategy.b);
                           f64_field(out, "c", n.strategy.c);
                       }
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::Hybrid& n) {
                       Object obj(out);
                       str_field(out, "text", n.text);
                       opt_str_field(out, "model", n.model);
                       opt_str_field(out, "dense_vector", n.dense_vector);
                       opt_str_field(out, "sparse_vector", n.sparse_vector);
                       str_field(out, "fusion", fusion_method_name(n.fusion));
                       if (n.text_param) str_field(out, "text_param", n.text_param->text());
                   },
                   [&](const Q::Rerank& n) {
                       Object obj(out);
                       write_input_field(out, "input", n.input);
                       str_field(out, "model", n.model);
                       write_using_field(out, n.using_);
                       write_prefetch_field(out, n.prefetch);
                   },
                   [&](const Q::CrossRerank& n) {
                       Object obj(out);
                       str_field(out, "query", n.query);
                       str_field(out, "model", n.model);
                       opt_str_field(out, "field", n.field);
                       write_prefetch_field(out, n.prefetch);
                       if (n.query_param) str_field(out, "query_param", n.query_param->text());
                   },
               },
               expr.node);
}

void write_expression(JsonOut& out, const QueryExpr& expr) {
    if (expr.is(QueryExpr::Kind::SampleRandom)) {
        out.string("SampleRandom");
        return;
    }
    tagged(out, query_expr_kind_name(expr.kind()), [&] { write_expression_fields(out, expr); });
}

void write_page(JsonOut& out, const Page& page) {
    Object obj(out);
    opt_u64_field(out, "limit", page.limit);
    opt_u64_field(out, "offset", page.offset);
    if (page.limit_param) str_field(out, "limit_param", page.limit_param->text());
    if (page.offset_param) str_field(out, "offset_param", page.offset_param->text());
    if (page.limit_param && page.limit_param->span) {
        out.key("limit_span");
        write_span(out, *page.limit_param->span);
    }
    if (page.offset_param && page.offset_param->span) {
        out.key("offset_span");
        write_span(out, *page.offset_param->span);
    }
}

}  // namespace

void write_direction_field(JsonOut& out, OrderDirection direction) {
    str_field(out, "direction", order_direction_name(direction));
}

void write_start_from_field(JsonOut& out, const std::optional<Literal>& start_from) {
    out.key("start_from");
    if (start_from) {
        write_literal(out, *start_from);
    } else {
        out.null();
    }
}

void write_collection_ref_field(JsonOut& out, const CollectionRef& collection) {
    out.key("collection");
    if (collection.name) {
        tagged(out, "Explicit", [&] { out.string(*collection.name); });
    } else {
        out.string("Inherited");
    }
}

void write_limit_param_fields(JsonOut& out, std::string_view param_key, std::string_view span_key,
                              const std::optional<Placeholder>& param) {
    if (!param) return;
    str_field(out, param_key, param->text());
    if (param->span) {
        out.key(span_key);
        write_span(out, *param->span);
    }
}

void write_query_body(JsonOut& out, const Query& query) {
    Object obj(out);
    out.key("ctes");
    array_of(out, query.ctes, [&](const CteDefinition& cte) {
        Object entry(out);
        str_field(out, "name", cte.name);
        out.key("query");
        write_query_body(out, *cte.query);
    });
    write_collection_ref_field(out, query.collection);
    out.key("expression");
    write_expression(out, query.expression);
    write_opt_filter_field(out, "filter", query.filter);
    write_search_params_field(out, "params", query.params);
    opt_f64_field(out, "score_threshold", query.score_threshold);
    write_group_by_field(out, query.group);
    write_output_field(out, query.output);
    out.key("page");
    write_page(out, query.page);
    write_opt_shard_key_field(out, "shard_key", query.shard_key);
}

}  // namespace zorv::core::json
