#include "core/fmt/query.h"

#include "core/fmt/filter.h"
#include "core/fmt/formula.h"
#include "core/fmt/search.h"
#include "core/fmt/values.h"
#include "core/fmt/vectors.h"

namespace zorv::core {
namespace {

// A QUERY stays on one line only while it is this short.
constexpr std::size_t kMaxSingleLine = 80;

void write_model_clause(TextSink& sink, const std::optional<std::string>& model) {
    if (model) sink.text(" MODEL ").quoted(*model);
}

void write_options_clause(TextSink& sink, const LiteralDict& options) {
    if (options.empty()) return;
    sink.text(" OPTIONS {");
    sink.join(options, ", ", [](TextSink& s, const LiteralEntry& e) {
        s.identifier(e.first).text(": ");
        write_literal(s, e.second);
    });
    sink.text('}');
}

// A placeholder stored as text, or else the quoted text (TEXT inputs, HYBRID, CROSS RERANK).
void write_placeholder_or_quoted(TextSink& sink, const std::optional<Placeholder>& param, const std::string& text) {
    if (param) {
        write_placeholder(sink, *param);
    } else {
        sink.quoted(text);
    }
}

void write_bare_input(TextSink& sink, const QueryInput& input) { write_query_input(sink, input, true); }

bool is_placeholder_id(const PointId& id) {
    return id.kind() == PointId::Kind::Param || id.kind() == PointId::Kind::PositionalParam;
}

bool is_placeholder_input(const QueryInput& input) {
    return input.is(QueryInput::Kind::Param) || input.is(QueryInput::Kind::PositionalParam);
}

// A point example prints as its bare id, except a placeholder id: bare, it would read back as a
// placeholder input instead of a point.
void write_recommend_example(TextSink& sink, const QueryInput& input) {
    if (input.is(QueryInput::Kind::Point) && !is_placeholder_id(input.get<QueryInput::Kind::Point>())) {
        write_point_id(sink, input.get<QueryInput::Kind::Point>());
        return;
    }
    write_query_input(sink, input, false);
}

void write_context_pairs(TextSink& sink, const std::vector<ContextPair>& pairs) {
    sink.join(pairs, ", ", [](TextSink& s, const ContextPair& p) {
        s.text("POSITIVE ");
        write_bare_input(s, p.positive);
        s.text(" NEGATIVE ");
        write_bare_input(s, p.negative);
    });
}

std::string_view fusion_word(FusionMethod method) { return method == FusionMethod::Dbsf ? "DBSF" : "RRF"; }

std::string_view strategy_word(RecommendStrategy strategy) {
    switch (strategy) {
        case RecommendStrategy::AverageVector: return "average_vector";
        case RecommendStrategy::BestScore: return "best_score";
        case RecommendStrategy::SumScores: return "sum_scores";
    }
    return "average_vector";
}

struct ExpressionWriter {
    TextSink& sink;

    void operator()(const QueryExpr::Points& n) const {
        sink.text("POINTS (").join(n.ids, ", ", write_point_id).text(')');
    }
    void operator()(const QueryExpr::Nearest& n) const {
        if (!n.mmr) {
            write_bare_input(sink, n.input);
            return;
        }
        sink.text("MMR ");
        write_query_input(sink, n.input, false);
        sink.text(" DIVERSITY ").f64(n.mmr->get()->diversity).text(" CANDIDATES ").integer(n.mmr->get()->candidates);
    }
    void operator()(const QueryExpr::Recommend& n) const {
        sink.text("RECOMMEND POSITIVE (").join(n.positive, ", ", write_recommend_example).text(')');
        if (!n.negative.empty()) sink.text(" NEGATIVE (").join(n.negative, ", ", write_recommend_example).text(')');
        if (n.strategy) sink.text(" STRATEGY ").text(strategy_word(*n.strategy));
    }
    void operator()(const QueryExpr::Context& n) const {
        sink.text("CONTEXT (");
        write_context_pairs(sink, n.pairs);
        sink.text(')');
    }
    void operator()(const QueryExpr::Discover& n) const {
        sink.text("DISCOVER TARGET ");
        write_bare_input(sink, n.target);
        sink.text(" CONTEXT (");
        write_context_pairs(sink, n.context);
        sink.text(')');
    }
    void operator()(const QueryExpr::OrderBy& n) const {
        sink.text("ORDER BY ").identifier(n.field).text(n.direction == OrderDirection::Desc ? " DESC" : " ASC");
        if (n.start_from) {
            sink.text(" START FROM ");
            write_literal(sink, *n.start_from);
        }
    }
    void operator()(const QueryExpr::SampleRandom&) const { sink.text("SAMPLE RANDOM"); }
    void operator()(const QueryExpr::Fusion& n) const { sink.text("FUSION ").text(fusion_word(n.method)); }
    void operator()(const QueryExpr::Formula& n) const {
        sink.text("FORMULA ");
        write_formula(sink, *n.expression, 0);
        if (n.defaults.empty()) return;
        sink.text(" DEFAULTS (");
        sink.join(n.defaults, ", ", [](TextSink& s, const LiteralEntry& e) {
            s.identifier(e.first).text(" = ");
            write_literal(s, e.second);
        });
        sink.text(')');
    }
    void operator()(const QueryExpr::RelevanceFeedback& n) const {
        sink.text("RELEVANCE FEEDBACK TARGET ");
        write_bare_input(sink, n.target);
        sink.text(" FEEDBACK (");
        sink.join(n.feedback, ", ", [](TextSink& s, const FeedbackItem& item) {
            s.text('(');
            write_bare_input(s, item.example);
            s.text(", ").f64(item.score).text(')');
        });
        sink.text(") STRATEGY NAIVE (a = ").f64(n.strategy.a).text(", b = ").f64(n.strategy.b);
        sink.text(", c = ").f64(n.strategy.c).text(')');
    }
    void operator()(const QueryExpr::Hybrid& n) const {
        sink.text("HYBRID TEXT ");
        write_placeholder_or_quoted(sink, n.text_param, n.text);
        write_model_clause(sink, n.model);
        if (n.dense_vector) sink.text(" DENSE ").identifier(*n.dense_vector);
        if (n.sparse_vector) sink.text(" SPARSE ").identifier(*n.sparse_vector);
        sink.text(" FUSION ").text(fusion_word(n.fusion));
    }
    // The RERANK grammar reads a placeholder only after VECTOR.
    void operator()(const QueryExpr::Rerank& n) const {
        sink.text(is_placeholder_input(n.input) ? "RERANK VECTOR " : "RERANK ");
        write_query_input(sink, n.input, false);
        sink.text(" MODEL ").quoted(n.model);
    }
    void operator()(const QueryExpr::CrossRerank& n) const {
        sink.text("CROSS RERANK TEXT ");
        write_placeholder_or_quoted(sink, n.query_param, n.query);
        sink.text(" MODEL ").quoted(n.model);
        if (n.field) sink.text(" ON FIELD ").identifier(*n.field);
    }
};

void write_using_clause(TextSink& sink, const UsingVector& using_vector) {
    sink.text("USING ").identifier(using_vector.name);
    if (using_vector.multi) {
        sink.text(" AS MULTI");
    } else if (using_vector.kind) {
        sink.text(*using_vector.kind == VectorKind::Sparse ? " AS SPARSE" : " AS DENSE");
    }
}

void write_prefetch_item(TextSink& sink, const Prefetch& item) {
    if (item.source.is(PrefetchSource::Kind::Cte)) {
        sink.identifier(item.source.cte_name());
    } else {
        write_nested_query(sink, item.source.query());
    }
    if (item.filter) {
        sink.text(" WHERE ");
        write_filter(sink, **item.filter);
    }
    if (item.score_threshold) sink.text(" SCORE THRESHOLD ").f64(*item.score_threshold);
    if (item.lookup) {
        sink.text(" LOOKUP FROM ").identifier(item.lookup->collection);
        if (item.lookup->vector) sink.text(" VECTOR ").identifier(*item.lookup->vector);
        if (item.lookup->shard_key) {
            sink.text(" SHARD ");
            write_shard_key(sink, *item.lookup->shard_key);
        }
    }
}

void write_group_clause(TextSink& sink, const GroupBy& group) {
    sink.text("GROUP BY ").identifier(group.field);
    if (group.size) sink.text(" SIZE ").integer(*group.size);
    if (!group.lookup) return;
    sink.text(" LOOKUP FROM ").identifier(group.lookup->collection);
    if (group.lookup->payload) write_payload_selector(sink.text(" WITH PAYLOAD "), *group.lookup->payload);
    if (group.lookup->vectors) write_vector_selector(sink.text(" WITH VECTOR "), *group.lookup->vectors);
}

// "LIMIT 10" / "LIMIT :n"; the number wins over a placeholder. False when neither is set.
bool write_page_clause(TextSink& sink, std::string_view word, const std::optional<std::uint64_t>& number,
                       const std::optional<Placeholder>& param) {
    if (!number && !param) return false;
    sink.part_break().text(word).text(' ');
    if (number) {
        sink.integer(*number);
    } else {
        write_placeholder(sink, *param);
    }
    return true;
}

// "QUERY <expression>", then " FROM <collection>" unless the collection is inherited.
void write_head_and_from(TextSink& sink, const Query& query) {
    sink.text("QUERY ");
    write_query_expression(sink, query.expression);
    if (query.collection.is_inherited()) return;
    sink.part_break().text("FROM ").identifier(*query.collection.name);
}

std::size_t prefetch_count(const Query& query) {
    const auto* prefetch = query.expression.prefetch_list();
    return prefetch == nullptr ? 0 : prefetch->size();
}

// Decided from the tree, except the length, which is measured on the one-line text written.
// PREFETCH follows at most USING, so with two clauses at most it is among the first two, and a
// list of two or more sources reads best one part per line.
bool fits_one_line(const Query& query, std::size_t one_line_length, std::size_t clause_count) {
    if (!query.ctes.empty() || clause_count > 2) return false;
    if (one_line_length > kMaxSingleLine) return false;
    return prefetch_count(query) < 2;
}

void write_with_list(TextSink& sink, const std::vector<CteDefinition>& ctes) {
    TextSink::OneLine one_line(sink);
    sink.text("WITH\n");
    sink.join(ctes, ",\n", [](TextSink& s, const CteDefinition& cte) {
        s.text("  ").identifier(cte.name).text(" AS (");
        write_nested_query(s, *cte.query);
        s.text(')');
    });
    sink.text('\n');
}

}  // namespace

void write_query_input(TextSink& sink, const QueryInput& input, bool bare) {
    switch (input.kind()) {
        case QueryInput::Kind::Text: {
            const auto& text = input.get<QueryInput::Kind::Text>();
            const bool keyword = !bare || text.model || !text.options.empty();
            if (keyword) sink.text("TEXT ");
            write_placeholder_or_quoted(sink, text.text_param, text.text);
            write_model_clause(sink, text.model);
            write_options_clause(sink, text.options);
            return;
        }
        case QueryInput::Kind::Image: {
            const auto& image = input.get<QueryInput::Kind::Image>();
            sink.text("IMAGE ").quoted(image.source);
            write_model_clause(sink, image.model);
            write_options_clause(sink, image.options);
            return;
        }
        case QueryInput::Kind::Object: {
            const auto& object = input.get<QueryInput::Kind::Object>();
            sink.text("OBJECT ");
            write_literal(sink, *object.object);
            write_model_clause(sink, object.model);
            write_options_clause(sink, object.options);
            return;
        }
        case QueryInput::Kind::Vector:
            if (!bare) sink.text("VECTOR ");
            write_vector_value(sink, input.get<QueryInput::Kind::Vector>());
            return;
        case QueryInput::Kind::Point:
            sink.text("POINT ");
            write_point_id(sink, input.get<QueryInput::Kind::Point>());
            return;
        case QueryInput::Kind::Param:
        case QueryInput::Kind::PositionalParam: write_placeholder(sink, input.get<QueryInput::Kind::Param>()); return;
    }
}

std::string format_query_input(const QueryInput& input, bool bare) {
    return print_to_string(write_query_input, input, bare);
}

void write_query_expression(TextSink& sink, const QueryExpr& expr) { std::visit(ExpressionWriter{sink}, expr.node); }

std::string format_query_expression(const QueryExpr& expr) { return print_to_string(write_query_expression, expr); }

std::size_t write_query_clauses(TextSink& sink, const Query& query) {
    std::size_t count = 0;
    const auto* using_slot = query.expression.using_slot();
    if (using_slot != nullptr && using_slot->has_value()) {
        write_using_clause(sink.part_break(), **using_slot);
        ++count;
    }
    const auto* prefetch = query.expression.prefetch_list();
    if (prefetch != nullptr && !prefetch->empty()) {
        sink.part_break().text("PREFETCH (").join(*prefetch, ", ", write_prefetch_item).text(')');
        ++count;
    }
    if (query.filter) {
        write_filter(sink.part_break().text("WHERE "), **query.filter);
        ++count;
    }
    if (query.shard_key) {
        write_shard_key(sink.part_break().text("SHARD "), *query.shard_key);
        ++count;
    }
    if (query.params) {
        write_search_params(sink.part_break().text("PARAMS ("), *query.params);
        sink.text(')');
        ++count;
    }
    if (query.score_threshold) {
        sink.part_break().text("SCORE THRESHOLD ").f64(*query.score_threshold);
        ++count;
    }
    if (query.group) {
        write_group_clause(sink.part_break(), *query.group);
        ++count;
    }
    if (query.output.payload) {
        write_payload_selector(sink.part_break().text("WITH PAYLOAD "), *query.output.payload);
        ++count;
    }
    if (query.output.vectors) {
        write_vector_selector(sink.part_break().text("WITH VECTOR "), *query.output.vectors);
        ++count;
    }
    if (write_page_clause(sink, "LIMIT", query.page.limit, query.page.limit_param)) ++count;
    if (write_page_clause(sink, "OFFSET", query.page.offset, query.page.offset_param)) ++count;
    return count;
}

std::vector<std::string> format_query_clauses(const Query& query) {
    std::string text;
    TextSink sink(text);
    write_query_clauses(sink, query);
    // Each clause runs from just after its part break to the next one.
    const std::vector<std::size_t>& breaks = sink.part_breaks();
    std::vector<std::string> clauses;
    clauses.reserve(breaks.size());
    for (std::size_t i = 0; i < breaks.size(); ++i) {
        const std::size_t end = i + 1 < breaks.size() ? breaks[i + 1] : text.size();
        clauses.emplace_back(text, breaks[i] + 1, end - breaks[i] - 1);
    }
    return clauses;
}

void write_nested_query(TextSink& sink, const Query& query) {
    TextSink::OneLine one_line(sink);
    write_head_and_from(sink, query);
    write_query_clauses(sink, query);
}

std::string format_nested_query(const Query& query) { return print_to_string(write_nested_query, query); }

void write_query_statement(TextSink& sink, const Query& query) {
    if (!query.ctes.empty()) write_with_list(sink, query.ctes);
    const std::size_t start = sink.size();
    write_head_and_from(sink, query);
    const std::size_t clause_count = write_query_clauses(sink, query);
    const bool one_line = fits_one_line(query, sink.size() - start, clause_count);
    sink.lay_out(one_line ? TextSink::Layout::SingleLine : TextSink::Layout::PartPerLine);
}

std::string format_query_statement(const Query& query) { return print_to_string(write_query_statement, query); }

}  // namespace zorv::core
