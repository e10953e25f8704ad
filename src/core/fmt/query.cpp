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

std::string model_clause(const std::optional<std::string>& model) {
    return model ? " MODEL " + quote_string(*model) : std::string();
}

std::string options_clause(const LiteralDict& options) {
    if (options.empty()) return std::string();
    return " OPTIONS {" +
           join_mapped(options, ", ",
                       [](const LiteralEntry& e) { return format_identifier(e.first) + ": " + format_literal(e.second); }) +
           "}";
}

std::string text_core(const QueryInput::Text& text) {
    if (text.text_param) return format_placeholder(*text.text_param);
    return quote_string(text.text);
}

std::string bare_input(const QueryInput& input) { return format_query_input(input, true); }

// A point example prints as its bare id, except a placeholder id: bare, it would read back as a
// placeholder input instead of a point.
std::string recommend_example(const QueryInput& input) {
    if (input.is(QueryInput::Kind::Point)) {
        const PointId& id = input.get<QueryInput::Kind::Point>();
        const bool placeholder = id.kind() == PointId::Kind::Param || id.kind() == PointId::Kind::PositionalParam;
        if (!placeholder) return format_point_id(id);
    }
    return format_query_input(input, false);
}

std::string context_pairs(const std::vector<ContextPair>& pairs) {
    return join_mapped(pairs, ", ", [](const ContextPair& p) {
        return "POSITIVE " + bare_input(p.positive) + " NEGATIVE " + bare_input(p.negative);
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

std::string placeholder_or_quoted(const std::optional<Placeholder>& param, const std::string& text) {
    return param ? format_placeholder(*param) : quote_string(text);
}

struct ExpressionText {
    std::string operator()(const QueryExpr::Points& n) const {
        return "POINTS (" + join_mapped(n.ids, ", ", format_point_id) + ")";
    }
    std::string operator()(const QueryExpr::Nearest& n) const {
        if (!n.mmr) return bare_input(n.input);
        return "MMR " + format_query_input(n.input, false) + " DIVERSITY " + format_f64(n.mmr->get()->diversity) +
               " CANDIDATES " + std::to_string(n.mmr->get()->candidates);
    }
    std::string operator()(const QueryExpr::Recommend& n) const {
        std::string out = "RECOMMEND POSITIVE (" + join_mapped(n.positive, ", ", recommend_example) + ")";
        if (!n.negative.empty()) out += " NEGATIVE (" + join_mapped(n.negative, ", ", recommend_example) + ")";
        if (n.strategy) out += " STRATEGY " + std::string(strategy_word(*n.strategy));
        return out;
    }
    std::string operator()(const QueryExpr::Context& n) const { return "CONTEXT (" + context_pairs(n.pairs) + ")"; }
    std::string operator()(const QueryExpr::Discover& n) const {
        return "DISCOVER TARGET " + bare_input(n.target) + " CONTEXT (" + context_pairs(n.context) + ")";
    }
    std::string operator()(const QueryExpr::OrderBy& n) const {
        std::string out = "ORDER BY " + format_identifier(n.field) +
                          (n.direction == OrderDirection::Desc ? " DESC" : " ASC");
        if (n.start_from) out += " START FROM " + format_literal(*n.start_from);
        return out;
    }
    std::string operator()(const QueryExpr::SampleRandom&) const { return "SAMPLE RANDOM"; }
    std::string operator()(const QueryExpr::Fusion& n) const { return "FUSION " + std::string(fusion_word(n.method)); }
    std::string operator()(const QueryExpr::Formula& n) const {
        std::string out = "FORMULA " + format_formula(*n.expression, 0);
        if (!n.defaults.empty()) {
            out += " DEFAULTS (" +
                   join_mapped(n.defaults, ", ",
                               [](const LiteralEntry& e) {
                                   return format_identifier(e.first) + " = " + format_literal(e.second);
                               }) +
                   ")";
        }
        return out;
    }
    std::string operator()(const QueryExpr::RelevanceFeedback& n) const {
        return "RELEVANCE FEEDBACK TARGET " + bare_input(n.target) + " FEEDBACK (" +
               join_mapped(n.feedback, ", ",
                           [](const FeedbackItem& item) {
                               return "(" + bare_input(item.example) + ", " + format_f64(item.score) + ")";
                           }) +
               ") STRATEGY NAIVE (a = " + format_f64(n.strategy.a) + ", b = " + format_f64(n.strategy.b) +
               ", c = " + format_f64(n.strategy.c) + ")";
    }
    std::string operator()(const QueryExpr::Hybrid& n) const {
        std::string out = "HYBRID TEXT " + placeholder_or_quoted(n.text_param, n.text) + model_clause(n.model);
        if (n.dense_vector) out += " DENSE " + format_identifier(*n.dense_vector);
        if (n.sparse_vector) out += " SPARSE " + format_identifier(*n.sparse_vector);
        out += " FUSION " + std::string(fusion_word(n.fusion));
        return out;
    }
    // The RERANK grammar reads a placeholder only after VECTOR.
    std::string operator()(const QueryExpr::Rerank& n) const {
        const bool placeholder = n.input.is(QueryInput::Kind::Param) || n.input.is(QueryInput::Kind::PositionalParam);
        return "RERANK " + std::string(placeholder ? "VECTOR " : "") + format_query_input(n.input, false) +
               " MODEL " + quote_string(n.model);
    }
    std::string operator()(const QueryExpr::CrossRerank& n) const {
        std::string out = "CROSS RERANK TEXT " + placeholder_or_quoted(n.query_param, n.query) + " MODEL " +
                          quote_string(n.model);
        if (n.field) out += " ON FIELD " + format_identifier(*n.field);
        return out;
    }
};

std::string using_clause(const UsingVector& using_vector) {
    std::string out = "USING " + format_identifier(using_vector.name);
    if (using_vector.multi) {
        out += " AS MULTI";
    } else if (using_vector.kind) {
        out += *using_vector.kind == VectorKind::Sparse ? " AS SPARSE" : " AS DENSE";
    }
    return out;
}

std::string prefetch_item(const Prefetch& item) {
    std::string out = item.source.is(PrefetchSource::Kind::Cte) ? format_identifier(item.source.cte_name())
                                                                 : format_nested_query(item.source.query());
    if (item.filter) out += " WHERE " + format_filter(**item.filter);
    if (item.score_threshold) out += " SCORE THRESHOLD " + format_f64(*item.score_threshold);
    if (item.lookup) {
        out += " LOOKUP FROM " + format_identifier(item.lookup->collection);
        if (item.lookup->vector) out += " VECTOR " + format_identifier(*item.lookup->vector);
        if (item.lookup->shard_key) out += " SHARD " + format_shard_key(*item.lookup->shard_key);
    }
    return out;
}

std::string group_clause(const GroupBy& group) {
    std::string out = "GROUP BY " + format_identifier(group.field);
    if (group.size) out += " SIZE " + std::to_string(*group.size);
    if (group.lookup) {
        out += " LOOKUP FROM " + format_identifier(group.lookup->collection);
        if (group.lookup->payload) out += " WITH PAYLOAD " + format_payload_selector(*group.lookup->payload);
        if (group.lookup->vectors) out += " WITH VECTOR " + format_vector_selector(*group.lookup->vectors);
    }
    return out;
}

// "LIMIT 10" / "LIMIT :n"; the number wins over a placeholder.
std::optional<std::string> page_clause(std::string_view word, const std::optional<std::uint64_t>& number,
                                       const std::optional<Placeholder>& param) {
    if (number) return std::string(word) + " " + std::to_string(*number);
    if (param) return std::string(word) + " " + format_placeholder(*param);
    return std::nullopt;
}

std::string query_head(const Query& query) { return "QUERY " + format_query_expression(query.expression); }

std::optional<std::string> from_part(const Query& query) {
    if (query.collection.is_inherited()) return std::nullopt;
    return "FROM " + format_identifier(*query.collection.name);
}

bool is_prefetch_with_comma(const std::string& clause) {
    return clause.starts_with("PREFETCH") && clause.find(',') != std::string::npos;
}

bool fits_one_line(const Query& query, const std::string& head, const std::optional<std::string>& from,
                   const std::vector<std::string>& clauses) {
    if (!query.ctes.empty() || clauses.size() > 2) return false;
    std::size_t length = head.size() + (from ? from->size() + 1 : 0);
    for (const auto& clause : clauses) length += clause.size() + 1;
    if (length > kMaxSingleLine) return false;
    for (std::size_t i = 0; i < clauses.size() && i < 2; ++i) {
        if (is_prefetch_with_comma(clauses[i])) return false;
    }
    return true;
}

std::string with_list(const std::vector<CteDefinition>& ctes) {
    return "WITH\n" +
           join_mapped(ctes, ",\n",
                       [](const CteDefinition& cte) {
                           return "  " + format_identifier(cte.name) + " AS (" + format_nested_query(*cte.query) + ")";
                       }) +
           "\n";
}

}  // namespace

std::string format_query_input(const QueryInput& input, bool bare) {
    switch (input.kind()) {
        case QueryInput::Kind::Text: {
            const auto& text = input.get<QueryInput::Kind::Text>();
            if (bare && !text.model && text.options.empty()) return text_core(text);
            return "TEXT " + text_core(text) + model_clause(text.model) + options_clause(text.options);
        }
        case QueryInput::Kind::Image: {
            const auto& image = input.get<QueryInput::Kind::Image>();
            return "IMAGE " + quote_string(image.source) + model_clause(image.model) + options_clause(image.options);
        }
        case QueryInput::Kind::Object: {
            const auto& object = input.get<QueryInput::Kind::Object>();
            return "OBJECT " + format_literal(*object.object) + model_clause(object.model) +
                   options_clause(object.options);
        }
        case QueryInput::Kind::Vector: {
            std::string vector = format_vector_value(input.get<QueryInput::Kind::Vector>());
            return bare ? vector : "VECTOR " + vector;
        }
        case QueryInput::Kind::Point: return "POINT " + format_point_id(input.get<QueryInput::Kind::Point>());
        case QueryInput::Kind::Param:
        case QueryInput::Kind::PositionalParam: return format_placeholder(input.get<QueryInput::Kind::Param>());
    }
    return "?";
}

std::string format_query_expression(const QueryExpr& expr) { return std::visit(ExpressionText{}, expr.node); }

std::vector<std::string> format_query_clauses(const Query& query) {
    std::vector<std::string> clauses;
    const auto* using_slot = query.expression.using_slot();
    if (using_slot != nullptr && using_slot->has_value()) clauses.push_back(using_clause(**using_slot));
    const auto* prefetch = query.expression.prefetch_list();
    if (prefetch != nullptr && !prefetch->empty()) {
        clauses.push_back("PREFETCH (" + join_mapped(*prefetch, ", ", prefetch_item) + ")");
    }
    if (query.filter) clauses.push_back("WHERE " + format_filter(**query.filter));
    if (query.shard_key) clauses.push_back("SHARD " + format_shard_key(*query.shard_key));
    if (query.params) clauses.push_back("PARAMS (" + format_search_params(*query.params) + ")");
    if (query.score_threshold) clauses.push_back("SCORE THRESHOLD " + format_f64(*query.score_threshold));
    if (query.group) clauses.push_back(group_clause(*query.group));
    if (query.output.payload) clauses.push_back("WITH PAYLOAD " + format_payload_selector(*query.output.payload));
    if (query.output.vectors) clauses.push_back("WITH VECTOR " + format_vector_selector(*query.output.vectors));
    if (auto limit = page_clause("LIMIT", query.page.limit, query.page.limit_param)) clauses.push_back(*limit);
    if (auto offset = page_clause("OFFSET", query.page.offset, query.page.offset_param)) clauses.push_back(*offset);
    return clauses;
}

std::string format_nested_query(const Query& query) {
    std::string out = query_head(query);
    if (auto from = from_part(query)) out += " " + *from;
    std::vector<std::string> clauses = format_query_clauses(query);
    if (!clauses.empty()) out += " " + join_texts(clauses, " ");
    return out;
}

std::string format_query_statement(const Query& query) {
    std::string head = query_head(query);
    std::optional<std::string> from = from_part(query);
    std::vector<std::string> clauses = format_query_clauses(query);
    const bool one_line = fits_one_line(query, head, from, clauses);

    std::vector<std::string> parts;
    parts.reserve(clauses.size() + 2);
    parts.push_back(std::move(head));
    if (from) parts.push_back(std::move(*from));
    for (auto& clause : clauses) parts.push_back(std::move(clause));

    std::string out = query.ctes.empty() ? std::string() : with_list(query.ctes);
    out += join_texts(parts, one_line ? " " : "\n");
    return out;
}

}  // namespace zorv::core
