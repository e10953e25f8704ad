#include "core/explain.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/fmt/filter.h"
#include "core/fmt/search.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

constexpr std::string_view kBranch = "├── ";
constexpr std::string_view kLast = "└── ";
constexpr std::string_view kNestedBranch = "│   ├──";
constexpr std::string_view kNestedLast = "│   └──";

// Collects the lines; each ends in LF.
class Lines {
public:
    void header(std::string_view text) { line("Statement: ", text); }
    void branch(std::string_view label, std::string_view value) { line(kBranch, label, value); }
    void last(std::string_view label, std::string_view value) { line(kLast, label, value); }
    template <class... Parts>
    void line(const Parts&... parts) {
        (out_.append(std::string_view(parts)), ...);
        out_ += '\n';
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

// Shortest round-trip digits: 1 for 1.0, 0.25.
std::string shortest(double value) {
    std::array<char, 32> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return ec == std::errc() ? std::string(buf.data(), end) : std::string("0");
}

std::string_view boolean(bool value) { return value ? "true" : "false"; }

std::string collection_text(const CollectionRef& ref) { return ref.name ? *ref.name : std::string("inherited"); }

// A name in double quotes, escaped as the debug text of a string literal escapes it.
std::string debug_quoted(const std::string& name) {
    const std::string debug = literal_debug(Literal::str(name));  // Str("...")
    return debug.substr(4, debug.size() - 5);
}

// ["a", "b"], or [] when empty.
std::string name_list(const std::vector<std::string>& names) {
    std::string out = "[";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += debug_quoted(names[i]);
    }
    out += ']';
    return out;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += ", ";
        out += names[i];
    }
    return out;
}

std::string input_description(const QueryInput& input) {
    switch (input.kind()) {
        case QueryInput::Kind::Text: return "nearest neighbors from text";
        case QueryInput::Kind::Image: return "nearest neighbors from an image";
        case QueryInput::Kind::Object: return "nearest neighbors from an inference object";
        case QueryInput::Kind::Vector: return "nearest neighbors from a vector";
        case QueryInput::Kind::Point: return "nearest neighbors from a point";
        case QueryInput::Kind::Param:
        case QueryInput::Kind::PositionalParam: return "nearest neighbors from query parameter";
    }
    return {};
}

// What kind of search a QUERY body is; also the text of each CTE and inline prefetch query.
std::string query_description(const Query& query) {
    const QueryExpr& expr = query.expression;
    switch (expr.kind()) {
        case QueryExpr::Kind::Points: return "retrieve points by ID";
        case QueryExpr::Kind::Nearest: {
            const auto& nearest = expr.get<QueryExpr::Kind::Nearest>();
            if (nearest.mmr) return "maximal marginal relevance (MMR) search";
            return input_description(nearest.input);
        }
        case QueryExpr::Kind::Recommend: return "recommend from positive and negative examples";
        case QueryExpr::Kind::Context: return "context search";
        case QueryExpr::Kind::Discover: return "discovery search";
        case QueryExpr::Kind::OrderBy: return "payload order query";
        case QueryExpr::Kind::SampleRandom: return "random sample";
        case QueryExpr::Kind::Fusion: return "fuse prefetched result sets";
        case QueryExpr::Kind::Formula: return "formula-based scoring";
        case QueryExpr::Kind::RelevanceFeedback: return "relevance feedback";
        case QueryExpr::Kind::Hybrid: return "hybrid shorthand (dense + sparse)";
        case QueryExpr::Kind::Rerank: return "late-interaction prefetched rerank";
        case QueryExpr::Kind::CrossRerank: return "cross-encoder pair rerank of prefetched candidates";
    }
    return {};
}

std::optional<std::string> target_vector(const QueryExpr& expr) {
    if (expr.is(QueryExpr::Kind::Hybrid)) {
        const auto& hybrid = expr.get<QueryExpr::Kind::Hybrid>();
        return "dense='" + hybrid.dense_vector.value_or("dense") + "', sparse='" +
               hybrid.sparse_vector.value_or("sparse") +
               "', fusion=" + (hybrid.fusion == FusionMethod::Rrf ? "RRF" : "DBSF");
    }
    const bool names_target = expr.is(QueryExpr::Kind::Nearest) || expr.is(QueryExpr::Kind::Recommend) ||
                              expr.is(QueryExpr::Kind::Context) || expr.is(QueryExpr::Kind::Discover);
    const auto* using_slot = expr.using_slot();
    if (!names_target || using_slot == nullptr || !using_slot->has_value()) return std::nullopt;
    const UsingVector& vector = **using_slot;
    std::string text = vector.name;
    if (vector.kind) {
        text += " as ";
        text += vector_kind_name(*vector.kind);
    }
    return text;
}

std::string_view nested_prefix(std::size_t index, std::size_t count) {
    return index + 1 == count ? kNestedLast : kNestedBranch;
}

void explain_payload(Lines& lines, const PayloadSelector& selector) {
    switch (selector.kind()) {
        case PayloadSelector::Kind::All: lines.branch("Payload: ALL", ""); return;
        case PayloadSelector::Kind::None: lines.branch("Payload: NONE", ""); return;
        case PayloadSelector::Kind::Include:
            lines.branch("Payload: INCLUDE (", joined(std::get<PayloadSelector::Include>(selector.value).names) + ")");
            return;
        case PayloadSelector::Kind::Exclude:
            lines.branch("Payload: EXCLUDE (", joined(std::get<PayloadSelector::Exclude>(selector.value).names) + ")");
            return;
    }
}

void explain_vectors(Lines& lines, const VectorSelector& selector) {
    switch (selector.kind()) {
        case VectorSelector::Kind::All: lines.branch("Vectors: ALL", ""); return;
        case VectorSelector::Kind::None: lines.branch("Vectors: NONE", ""); return;
        case VectorSelector::Kind::Names:
            lines.branch("Vectors: (", joined(std::get<VectorSelector::Names>(selector.value).names) + ")");
            return;
    }
}

std::string pagination(const Page& page) {
    std::string limit = page.limit_param ? page.limit_param->text()
                        : page.limit     ? std::to_string(*page.limit)
                                         : std::string("default");
    std::string offset = page.offset_param ? page.offset_param->text()
                         : page.offset     ? std::to_string(*page.offset)
                                           : std::string("0");
    return "limit=" + limit + ", offset=" + offset;
}

void explain_query(Lines& lines, const Query& query) {
    lines.header("QUERY [" + query_description(query) + "]");
    lines.branch("Collection: ", collection_text(query.collection));
    if (auto target = target_vector(query.expression)) lines.branch("Target Vector: ", *target);
    if (query.shard_key) lines.branch("Shard Key: ", shard_key_display(*query.shard_key));
    if (!query.ctes.empty()) {
        lines.branch("CTEs (", std::to_string(query.ctes.size()) + "):");
        for (std::size_t i = 0; i < query.ctes.size(); ++i) {
            const CteDefinition& cte = query.ctes[i];
            lines.line(nested_prefix(i, query.ctes.size()), " '", cte.name, "': ", query_description(*cte.query));
        }
    }
    const PrefetchList* prefetch = query.expression.prefetch_list();
    if (prefetch != nullptr && !prefetch->empty()) {
        lines.branch("Prefetches (", std::to_string(prefetch->size()) + "):");
        for (std::size_t i = 0; i < prefetch->size(); ++i) {
            const PrefetchSource& source = (*prefetch)[i].source;
            const std::string stage = source.is(PrefetchSource::Kind::Cte)
                                          ? "CTE '" + source.cte_name() + "'"
                                          : "inline query: " + query_description(source.query());
            lines.line(nested_prefix(i, prefetch->size()), " [", std::to_string(i + 1), "] ", stage);
        }
    }
    if (query.filter) lines.branch("Filter: ", format_filter(**query.filter));
    if (query.params) lines.branch("Search Params: ", format_search_params(*query.params));
    if (query.score_threshold) lines.branch("Score Threshold: ", shortest(*query.score_threshold));
    if (query.group) {
        std::string size = query.group->size ? " (size: " + std::to_string(*query.group->size) + ")" : "";
        lines.branch("Group By: ", query.group->field + size);
    }
    if (query.output.payload) explain_payload(lines, *query.output.payload);
    if (query.output.vectors) explain_vectors(lines, *query.output.vectors);
    lines.last("Pagination: ", pagination(query.page));
}

// The limit line of SCROLL and FACET: the placeholder text, else the number, else none.
std::optional<std::string> limit_text(const std::optional<std::uint64_t>& limit,
                                      const std::optional<Placeholder>& limit_param) {
    if (limit_param) return limit_param->text();
    if (limit) return std::to_string(*limit);
    return std::nullopt;
}

void explain_scroll(Lines& lines, const Scroll& scroll) {
    lines.header("SCROLL");
    lines.branch("Collection: ", scroll.collection);
    if (scroll.filter) lines.branch("Filter: ", format_filter(**scroll.filter));
    if (scroll.order_by) {
        lines.branch("Order By: ",
                     scroll.order_by->field + " " + std::string(order_direction_name(scroll.order_by->direction)));
    }
    if (scroll.shard_key) lines.branch("Shard Key: ", shard_key_display(*scroll.shard_key));
    if (auto limit = limit_text(scroll.limit, scroll.limit_param)) lines.last("Limit: ", *limit);
}

void explain_upsert(Lines& lines, const Upsert& upsert) {
    lines.header("UPSERT");
    lines.branch("Collection: ", upsert.collection);
    lines.branch("Points: ", std::to_string(upsert.points.size()));
    if (upsert.update_filter) lines.branch("Update Filter: ", format_filter(*upsert.update_filter));
    if (upsert.update_mode) lines.branch("Update Mode: ", update_mode_name(*upsert.update_mode));
    if (upsert.shard_key) lines.branch("Shard Key: ", shard_key_display(*upsert.shard_key));
    if (!upsert.embed.empty()) {
        lines.branch("Embed Directives: ", std::to_string(upsert.embed.size()));
    } else {
        lines.branch("Status: direct payload", "");
    }
    if (upsert.wait) lines.last("Wait: ", boolean(*upsert.wait));
}

void explain_create_collection(Lines& lines, const CreateCollection& create) {
    static constexpr std::array<std::string_view, 3> kModes{"dense", "hybrid", "rerank-oriented"};
    lines.header("CREATE COLLECTION");
    lines.branch("Collection: ", create.collection);
    lines.branch("Mode: ", kModes[create.mode.value.index()]);
    lines.last("Vectors: ", std::to_string(create.vectors.size()) + " dense, " +
                                std::to_string(create.sparse_vectors.size()) + " sparse");
}

template <class Record>
void explain_selector_tail(Lines& lines, const Record& record) {
    lines.branch("Selector: ", format_point_selector(record.selector));
    if (record.shard_key) lines.branch("Shard Key: ", shard_key_display(*record.shard_key));
    if (record.wait) lines.last("Wait: ", boolean(*record.wait));
}

// SET QUOTA values: strings unescaped, containers by their kind only.
std::string quota_value(const Literal& value) {
    switch (value.kind()) {
        case Literal::Kind::Str: return "'" + value.as_str() + "'";
        case Literal::Kind::Int: return std::to_string(value.as_int());
        case Literal::Kind::UInt: return std::to_string(value.as_uint());
        case Literal::Kind::Float: return shortest(value.as_float());
        case Literal::Kind::Bool: return std::string(boolean(value.as_bool()));
        case Literal::Kind::Null: return "null";
        case Literal::Kind::Dict: return "<object>";
        case Literal::Kind::List:
        case Literal::Kind::F32Array: return "<list>";
        case Literal::Kind::Param: return ":" + value.as_param().name;
        case Literal::Kind::PositionalParam: return "?";
    }
    return {};
}

void explain_set_quota(Lines& lines, const SetQuota& quota) {
    lines.header("SET QUOTA");
    for (const auto& [key, value] : quota.config) lines.line("  ", key, " = ", quota_value(value));
}

void explain_count(Lines& lines, const Count& count) {
    lines.header("COUNT");
    lines.branch("Collection: ", collection_text(count.collection));
    if (count.filter) lines.branch("Filter: ", format_filter(**count.filter));
    lines.last("Exact: ", boolean(count.exact.value_or(false)));
}

void explain_facet(Lines& lines, const Facet& facet) {
    lines.header("FACET");
    lines.branch("Key: ", facet.key);
    lines.branch("Collection: ", collection_text(facet.collection));
    if (facet.filter) lines.branch("Filter: ", format_filter(**facet.filter));
    if (facet.shard_key) lines.branch("Shard Key: ", shard_key_display(*facet.shard_key));
    if (auto limit = limit_text(facet.limit, facet.limit_param)) lines.branch("Limit: ", *limit);
    lines.last("Exact: ", boolean(facet.exact.value_or(false)));
}

void explain_batch(Lines& lines, const Batch& batch) {
    lines.header("BATCH [" + std::to_string(batch.statements.size()) + " members]");
    for (std::size_t i = 0; i < batch.statements.size(); ++i) {
        lines.line(kBranch, "Member ", std::to_string(i + 1), ": ", statement_display_name(batch.statements[i].kind()));
    }
}

void explain_into(Lines& lines, const Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::Query: explain_query(lines, *statement.get<StatementKind::Query>()); return;
        case StatementKind::Scroll: explain_scroll(lines, *statement.get<StatementKind::Scroll>()); return;
        case StatementKind::Upsert: explain_upsert(lines, *statement.get<StatementKind::Upsert>()); return;
        case StatementKind::CreateCollection:
            explain_create_collection(lines, *statement.get<StatementKind::CreateCollection>());
            return;
        case StatementKind::CreateIndex: {
            const auto& index = *statement.get<StatementKind::CreateIndex>();
            lines.header("CREATE INDEX");
            lines.branch("Collection: ", index.collection);
            lines.last("Field: ", index.field);
            return;
        }
        case StatementKind::DropIndex: {
            const auto& index = *statement.get<StatementKind::DropIndex>();
            lines.header("DROP INDEX");
            lines.branch("Collection: ", index.collection);
            lines.last("Field: ", index.field);
            return;
        }
        case StatementKind::CreateShardKey: {
            const auto& create = *statement.get<StatementKind::CreateShardKey>();
            lines.header("CREATE SHARD KEY");
            lines.branch("Collection: ", create.collection);
            lines.last("Shard: ", shard_key_display(create.shard_key));
            return;
        }
        case StatementKind::DropShardKey: {
            const auto& drop = *statement.get<StatementKind::DropShardKey>();
            lines.header("DROP SHARD KEY");
            lines.branch("Collection: ", drop.collection);
            lines.last("Shard: ", shard_key_display(drop.shard_key));
            return;
        }
        case StatementKind::AlterCollection:
            lines.header("ALTER COLLECTION [" + statement.get<StatementKind::AlterCollection>()->collection + "]");
            return;
        case StatementKind::DropCollection:
            lines.header("DROP COLLECTION [" + statement.get<StatementKind::DropCollection>()->collection + "]");
            return;
        case StatementKind::ShowCollections: lines.header("SHOW COLLECTIONS"); return;
        case StatementKind::ShowCollection:
            lines.header("SHOW COLLECTION [" + statement.get<StatementKind::ShowCollection>().name + "]");
            return;
        case StatementKind::ShowShardKeys:
            lines.header("SHOW SHARD KEYS [" + statement.get<StatementKind::ShowShardKeys>().name + "]");
            return;
        case StatementKind::Delete: {
            const auto& del = *statement.get<StatementKind::Delete>();
            lines.header("DELETE FROM " + del.collection);
            explain_selector_tail(lines, del);
            return;
        }
        case StatementKind::ClearPayload: {
            const auto& clear = *statement.get<StatementKind::ClearPayload>();
            lines.header("CLEAR PAYLOAD ON " + clear.collection);
            explain_selector_tail(lines, clear);
            return;
        }
        case StatementKind::DeletePayload: {
            const auto& del = *statement.get<StatementKind::DeletePayload>();
            lines.header("DELETE PAYLOAD (" + name_list(del.keys) + ") ON " + del.collection);
            explain_selector_tail(lines, del);
            return;
        }
        case StatementKind::DeleteVector: {
            const auto& del = *statement.get<StatementKind::DeleteVector>();
            lines.header("DELETE VECTOR (" + name_list(del.vector_names) + ") ON " + del.collection);
            explain_selector_tail(lines, del);
            return;
        }
        case StatementKind::UpdateVector: {
            const auto& update = *statement.get<StatementKind::UpdateVector>();
            lines.header("UPDATE VECTOR ON " + update.collection);
            lines.branch("Points: ", std::to_string(update.points.size()));
            if (update.shard_key) lines.branch("Shard Key: ", shard_key_display(*update.shard_key));
            if (update.wait) lines.last("Wait: ", boolean(*update.wait));
            return;
        }
        case StatementKind::UpdatePayload: {
            const auto& update = *statement.get<StatementKind::UpdatePayload>();
            lines.header("UPDATE PAYLOAD ON " + update.collection);
            if (update.key) lines.branch("Key: ", *update.key);
            if (update.overwrite) lines.branch("Overwrite: true", "");
            explain_selector_tail(lines, update);
            return;
        }
        case StatementKind::Count: explain_count(lines, *statement.get<StatementKind::Count>()); return;
        case StatementKind::Facet: explain_facet(lines, *statement.get<StatementKind::Facet>()); return;
        case StatementKind::ShowQuotas: lines.header("SHOW QUOTAS"); return;
        case StatementKind::SetQuota: explain_set_quota(lines, *statement.get<StatementKind::SetQuota>()); return;
        case StatementKind::Batch: explain_batch(lines, *statement.get<StatementKind::Batch>()); return;
    }
}

}  // namespace

std::string_view statement_display_name(StatementKind kind) {
    static constexpr std::array<std::string_view, 24> kNames{
        "QUERY",
        "SCROLL",
        "UPSERT",
        "CREATE COLLECTION",
        "CREATE INDEX",
        "DROP INDEX",
        "CREATE SHARD KEY",
        "DROP SHARD KEY",
        "ALTER COLLECTION",
        "DROP COLLECTION",
        "SHOW COLLECTIONS",
        "SHOW COLLECTION",
        "SHOW SHARD KEYS",
        "DELETE",
        "CLEAR PAYLOAD",
        "DELETE PAYLOAD",
        "DELETE VECTOR",
        "UPDATE VECTOR",
        "UPDATE PAYLOAD",
        "COUNT",
        "FACET",
        "SHOW QUOTAS",
        "SET QUOTA",
        "BATCH",
    };
    return kNames[static_cast<std::size_t>(kind)];
}

std::string explain_statement(const Statement& statement) {
    Lines lines;
    explain_into(lines, statement);
    return lines.take();
}

}  // namespace zorv::core
