#include "core/rewrite/inject_filter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/ast/walk.h"
#include "core/diagnostics.h"
#include "core/explain.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// Unicode White_Space, as the operator text is trimmed of it.
bool is_unicode_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The length of the white-space character at the front of `text`, or 0.
std::size_t leading_space(std::string_view text) {
    if (text.empty()) return 0;
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || length > text.size()) return 0;
    char32_t c = length == 1 ? lead : lead & (0xFFU >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(text[k]) & 0x3FU);
    return is_unicode_space(c) ? length : 0;
}

// The length of the white-space character at the back of `text`, or 0.
std::size_t trailing_space(std::string_view text) {
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 4) {
        --start;
        if ((static_cast<unsigned char>(text[start]) & 0xC0U) != 0x80U) break;
    }
    const std::size_t length = leading_space(text.substr(start));
    return start + length == text.size() ? length : 0;
}

std::string_view trim_unicode(std::string_view text) {
    while (std::size_t n = leading_space(text)) text.remove_prefix(n);
    while (std::size_t n = trailing_space(text)) text.remove_suffix(n);
    return text;
}

bool is_id_field(std::string_view field) { return equals_ignore_case(field, "id"); }

std::unexpected<ZorvError> refuse(std::string message) {
    return fail(Diag::ValidationFilterInject, std::move(message));
}

Filter make_filter(Filter::Node node) { return Filter{std::move(node)}; }

// The condition itself, checked before the statement kind is looked at.
Result<Filter> build_condition(std::string_view field, CompareOp op, const Literal& value) {
    if (!is_id_field(field)) return make_filter(Filter::Compare{std::string(field), op, value});
    if (op != CompareOp::Eq) return fail(Diag::ValidationIdPredicate, "point ID injection supports equality only");
    PointId id;
    if (value.is(Literal::Kind::Str)) {
        id.value = value.as_str();
    } else if (value.is(Literal::Kind::UInt)) {
        id.value = value.as_uint();
    } else if (value.is(Literal::Kind::Int) && value.as_int() >= 0) {
        id.value = static_cast<std::uint64_t>(value.as_int());
    } else {
        return fail(Diag::ValidationPointId, "point IDs must be unsigned integers or strings");
    }
    return make_filter(Filter::PointId{PointIdPredicate::eq(std::move(id))});
}

// Afterwards the selector is always a filter, with the old id predicate first.
void merge_into_selector(PointSelector& selector, Filter condition) {
    std::optional<Box<Filter>> slot;
    switch (selector.kind()) {
        case PointSelector::Kind::Id:
            slot = make_filter(Filter::PointId{PointIdPredicate::eq(std::get<PointId>(selector.value))});
            break;
        case PointSelector::Kind::Ids:
            slot = make_filter(Filter::PointId{PointIdPredicate::in(std::get<std::vector<PointId>>(selector.value))});
            break;
        case PointSelector::Kind::Filter: slot = std::move(std::get<Box<Filter>>(selector.value)); break;
    }
    merge_injected_condition(slot, std::move(condition));
    if (slot) selector.value = std::move(*slot);
}

// A QUERY POINTS body reads points by id and is planned without any filter: an injected condition
// there would restrict nothing, so the rewrite is refused rather than silently ineffective.
bool reads_points_by_id(const Query& query) {
    bool found = false;
    walk(query, [&](const QueryExpr::Points&) { found = true; });
    return found;
}

void inject_into_query(Query& query, const Filter& condition) {
    merge_injected_condition(query.filter, condition);
    for (CteDefinition& cte : query.ctes) inject_into_query(*cte.query, condition);
    PrefetchList* prefetch = query.expression.prefetch_list();
    if (prefetch == nullptr) return;
    for (Prefetch& stage : *prefetch) {
        merge_injected_condition(stage.filter, condition);
        if (stage.source.is(PrefetchSource::Kind::Query)) inject_into_query(stage.source.query(), condition);
    }
}

Result<void> assign_in_rows(Upsert& upsert, std::string_view field, CompareOp op, const Literal& value) {
    if (op != CompareOp::Eq || is_id_field(field)) {
        return refuse("inject_filter into UPSERT requires Eq on a non-id payload field");
    }
    for (UpsertRow& row : upsert.points) {
        if (row.kind() != UpsertRow::Kind::Point) {
            const Placeholder& p = std::get<Placeholder>(row.value);
            const std::string name = p.is_named() ? ":" + p.name : "?" + std::to_string(p.index + 1);
            return refuse("cannot inject filter into unbound point parameter '" + name +
                          "'; bind point parameters before filter injection");
        }
        LiteralDict& payload = std::get<UpsertRow::Point>(row.value).payload;
        auto existing = std::find_if(payload.begin(), payload.end(),
                                     [&](const LiteralEntry& entry) { return equals_ignore_case(entry.first, field); });
        if (existing != payload.end()) {
            existing->second = value;
        } else {
            payload.emplace_back(std::string(field), value);
        }
    }
    return {};
}

Result<void> inject(Statement& statement, std::string_view field, CompareOp op, const Literal& value,
                    const Filter& condition) {
    switch (statement.kind()) {
        case StatementKind::Query: {
            Query& query = *statement.get<StatementKind::Query>();
            if (reads_points_by_id(query)) {
                return refuse(
                    "inject_filter does not apply to QUERY POINTS: points addressed by ID are not filtered; use "
                    "SCROLL with a WHERE clause");
            }
            inject_into_query(query, condition);
            return {};
        }
        case StatementKind::Scroll:
            merge_injected_condition(statement.get<StatementKind::Scroll>()->filter, condition);
            return {};
        case StatementKind::Count:
            merge_injected_condition(statement.get<StatementKind::Count>()->filter, condition);
            return {};
        case StatementKind::Facet:
            merge_injected_condition(statement.get<StatementKind::Facet>()->filter, condition);
            return {};
        case StatementKind::Delete:
            merge_into_selector(statement.get<StatementKind::Delete>()->selector, condition);
            return {};
        case StatementKind::ClearPayload:
            merge_into_selector(statement.get<StatementKind::ClearPayload>()->selector, condition);
            return {};
        case StatementKind::DeletePayload:
            merge_into_selector(statement.get<StatementKind::DeletePayload>()->selector, condition);
            return {};
        case StatementKind::DeleteVector:
            merge_into_selector(statement.get<StatementKind::DeleteVector>()->selector, condition);
            return {};
        case StatementKind::UpdatePayload:
            merge_into_selector(statement.get<StatementKind::UpdatePayload>()->selector, condition);
            return {};
        case StatementKind::Upsert: return assign_in_rows(*statement.get<StatementKind::Upsert>(), field, op, value);
        case StatementKind::UpdateVector:
            return refuse(
                "inject_filter does not apply to this statement type (UPDATE VECTOR): point-vector replacement has "
                "no selector; address points by ID");
        case StatementKind::Batch:
            for (Statement& member : statement.get<StatementKind::Batch>()->statements) {
                ZORV_CHECK(inject(member, field, op, value, condition));
            }
            return {};
        default:
            return refuse("inject_filter does not apply to this statement type (" +
                          std::string(statement_display_name(statement.kind())) + ")");
    }
}

}  // namespace

Result<CompareOp> parse_inject_operator(std::string_view text) {
    const std::string op = to_ascii_lower(trim_unicode(text));
    if (op == "=" || op == "==" || op == "eq") return CompareOp::Eq;
    if (op == ">" || op == "gt") return CompareOp::Gt;
    if (op == ">=" || op == "gte") return CompareOp::Gte;
    if (op == "<" || op == "lt") return CompareOp::Lt;
    if (op == "<=" || op == "lte") return CompareOp::Lte;
    if (op == "!=" || op == "<>" || op == "neq") {
        return refuse("inject_filter does not support '!='; inject equality and wrap with NOT, or rewrite the query");
    }
    return refuse("unsupported comparison operator '" + op + "' (use =, >, >=, <, <=)");
}

void merge_injected_condition(std::optional<Box<Filter>>& slot, Filter condition) {
    if (!slot) {
        slot = std::move(condition);
    } else if ((*slot)->is(Filter::Kind::And)) {
        (*slot)->get<Filter::Kind::And>().operands.push_back(std::move(condition));
    } else {
        Filter old = std::move(**slot);
        *slot = make_filter(Filter::And{{std::move(old), std::move(condition)}});
    }
}

Result<void> inject_filter_into_statement(Statement& statement, std::string_view field, CompareOp op,
                                          const Literal& value) {
    Filter condition = ZORV_TRY(build_condition(field, op, value));
    return inject(statement, field, op, value, condition);
}

}  // namespace zorv::core
