#include "core/params/ast.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <variant>

#include "core/ast/vector.h"
#include "core/ast/walk.h"
#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "core/parser/helpers.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// The lexer's decimal number: -?digits(.digits)?([eE][+-]?digits)? and nothing else.
bool is_decimal_number(std::string_view s) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < s.size() && is_digit(s[i])) ++i;
        return i > start;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (!digits()) return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!digits()) return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == s.size();
}

// A formula constant written as text: only a finite decimal number counts.
std::optional<double> formula_number(std::string_view s) {
    if (!is_decimal_number(s)) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

Result<void> non_finite_error(double value) {
    return fail(Diag::BindTypeMismatch, "cannot bind non-finite float value '" + float_debug(value) + "'");
}

// NaN and infinities have no place in a statement; checked at any depth of a bound value.
Result<void> check_finite(const Literal& value) {
    switch (value.kind()) {
        case Literal::Kind::Float:
            if (!std::isfinite(value.as_float())) return non_finite_error(value.as_float());
            return {};
        case Literal::Kind::F32Array:
            for (float item : value.as_f32_array()) {
                if (!std::isfinite(item)) return non_finite_error(item);
            }
            return {};
        case Literal::Kind::List:
            for (const Literal& item : value.as_list()) ZORV_CHECK(check_finite(item));
            return {};
        case Literal::Kind::Dict:
            for (const LiteralEntry& entry : value.as_dict()) ZORV_CHECK(check_finite(entry.second));
            return {};
        default: return {};
    }
}

std::optional<std::uint64_t> as_non_negative(const Literal& value) {
    if (value.is(Literal::Kind::UInt)) return value.as_uint();
    if (value.is(Literal::Kind::Int) && value.as_int() >= 0) return static_cast<std::uint64_t>(value.as_int());
    return std::nullopt;
}

Result<Literal> strict_lookup(const ParamSource& source, const Placeholder& p, std::optional<Span> span) {
    Literal value = p.is_named() ? ZORV_TRY(lookup_named_param(source, p.name, span))
                                 : ZORV_TRY(lookup_positional_param(p.index, span, source.positional));
    ZORV_CHECK(check_finite(value));
    return value;
}

// Whole rows and vectors: other messages for absent values, and Null is left to the conversion.
Result<Literal> plain_lookup(const ParamSource& source, const Placeholder& p) {
    std::optional<Literal> value;
    if (p.is_named()) {
        value = source.named ? source.named(p.name) : std::nullopt;
        if (!value) return std::unexpected(bind_unbound_param_error(p.name, p.span.get()));
    } else {
        if (p.index >= source.positional.size()) {
            return std::unexpected(bind_missing_positional_error(p.index, p.span.get()));
        }
        value = source.positional[p.index];
    }
    ZORV_CHECK(check_finite(*value));
    return std::move(*value);
}

constexpr const char* kRowShapeMessage =
    "point parameter must be an object ({id: \xE2\x80\xA6, \xE2\x80\xA6}) or a "
    "list of point objects";

// One UPSERT row from an object: "id" and "vector" (any ASCII case, first match) come out, the
// rest is payload.
Result<UpsertRow> row_from_object(LiteralDict entries, std::optional<Span> span) {
    const auto take = [&](std::string_view key) -> std::optional<Literal> {
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (!equals_ignore_case(it->first, key)) continue;
            Literal value = std::move(it->second);
            entries.erase(it);
            return value;
        }
        return std::nullopt;
    };
    std::optional<Literal> id = take("id");
    if (!id) return fail(Diag::ValidationUpsertId, "each UPSERT row requires an id", span);
    UpsertRow::Point point;
    point.id = ZORV_TRY(literal_to_point_id(std::move(*id), span.value_or(Span{0, 0})));
    if (std::optional<Literal> vector = take("vector")) {
        point.vectors = ZORV_TRY(literal_to_vector_input(std::move(*vector), span));
    }
    point.payload = std::move(entries);
    return UpsertRow{std::move(point)};
}

Result<std::vector<UpsertRow>> rows_from_value(Literal value, std::optional<Span> span) {
    std::vector<UpsertRow> rows;
    if (value.is(Literal::Kind::Dict)) {
        rows.push_back(ZORV_TRY(row_from_object(std::move(value.as_dict()), span)));
        return rows;
    }
    if (!value.is(Literal::Kind::List)) return fail(Diag::BindTypeMismatch, kRowShapeMessage, span);
    rows.reserve(value.as_list().size());
    for (Literal& item : value.as_list()) {
        if (!item.is(Literal::Kind::Dict)) return fail(Diag::BindTypeMismatch, kRowShapeMessage, span);
        rows.push_back(ZORV_TRY(row_from_object(std::move(item.as_dict()), span)));
    }
    return rows;
}

std::optional<std::string_view> unbindable_kind_name(StatementKind kind) {
    switch (kind) {
        case StatementKind::DropIndex: return "DROP INDEX";
        case StatementKind::DropCollection: return "DROP COLLECTION";
        case StatementKind::ShowCollections: return "SHOW COLLECTIONS";
        case StatementKind::ShowCollection: return "SHOW COLLECTION";
        case StatementKind::ShowShardKeys: return "SHOW SHARD KEYS";
        case StatementKind::ShowQuotas: return "SHOW QUOTAS";
        default: return std::nullopt;
    }
}

Result<void> check_bindable(const Statement& statement) {
    if (auto name = unbindable_kind_name(statement.kind())) {
        return fail(Diag::BindUnsupportedStatement,
                    "cannot bind parameters into statement type: " + std::string(*name));
    }
    return {};
}

// Rows that replace an UPSERT row placeholder, kept aside until every slot is bound: growing
// the row list in the middle would move the rows that later slots point into.
using RowExpansions = std::vector<std::pair<const UpsertRow*, std::vector<UpsertRow>>>;

class SlotBinder {
public:
    SlotBinder(const ParamSource& source, RowExpansions& expansions) : source_(source), expansions_(expansions) {}

    Result<void> bind(PlaceholderSlot& slot) {
        const Placeholder& p = *slot.placeholder;
        const std::optional<Span> span = p.span.get();
        return std::visit(
            Overloaded{
                [&](Literal* owner) -> Result<void> {
                    *owner = ZORV_TRY(strict_lookup(source_, p, span));
                    return {};
                },
                [&](PointId* owner) -> Result<void> {
                    *owner = ZORV_TRY(value_to_point_id(ZORV_TRY(strict_lookup(source_, p, span)), span));
                    return {};
                },
                [&](ShardKey* owner) -> Result<void> {
                    *owner = ZORV_TRY(value_to_shard_key(ZORV_TRY(strict_lookup(source_, p, span)), span));
                    return {};
                },
                [&](VectorValue* owner) -> Result<void> {
                    *owner = ZORV_TRY(literal_to_vector(ZORV_TRY(plain_lookup(source_, p)), span));
                    return {};
                },
                [&](PointVectors* owner) -> Result<void> {
                    *owner = ZORV_TRY(literal_to_vector_input(ZORV_TRY(plain_lookup(source_, p)), span));
                    return {};
                },
                [&](QueryInput* owner) -> Result<void> {
                    *owner = ZORV_TRY(value_to_query_input(ZORV_TRY(strict_lookup(source_, p, span)), span));
                    return {};
                },
                [&](QueryInput::Text* owner) { return text_input(*owner); },
                [&](QueryExpr::Hybrid* owner) { return query_text(owner->text, owner->text_param, "HYBRID"); },
                [&](QueryExpr::CrossRerank* owner) {
                    return query_text(owner->query, owner->query_param, "CROSS RERANK");
                },
                [&](Page* owner) -> Result<void> {
                    if (owner->limit_param && &*owner->limit_param == slot.placeholder) {
                        return count(owner->limit, owner->limit_param, "LIMIT", true);
                    }
                    return count(owner->offset, owner->offset_param, "OFFSET", false);
                },
                [&](Scroll* owner) { return count(owner->limit, owner->limit_param, "SCROLL LIMIT", true); },
                [&](Facet* owner) { return count(owner->limit, owner->limit_param, "FACET LIMIT", true); },
                [&](FormulaExpr* owner) -> Result<void> {
                    *owner = ZORV_TRY(
                        value_to_formula_expr(ZORV_TRY(strict_lookup(source_, p, std::nullopt)), std::nullopt));
                    return {};
                },
                [&](UpsertRow* owner) -> Result<void> {
                    std::vector<UpsertRow> rows = ZORV_TRY(rows_from_value(ZORV_TRY(plain_lookup(source_, p)), span));
                    ZORV_CHECK(bind_rows(rows));
                    expansions_.emplace_back(owner, std::move(rows));
                    return {};
                },
            },
            slot.owner);
    }

private:
    Result<void> text_input(QueryInput::Text& owner) {
        const Placeholder p = std::move(*owner.text_param);
        owner.text_param.reset();
        Literal value = ZORV_TRY(strict_lookup(source_, p, std::nullopt));
        if (!value.is(Literal::Kind::Str)) {
            std::string message =
                p.is_named() ? "parameter ':" + p.name + "' for TEXT query must be a string"
                             : "positional parameter ?" + std::to_string(p.index) + " for TEXT query must be a string";
            return fail(Diag::BindTypeMismatch, std::move(message));
        }
        owner.text = std::move(std::get<std::string>(value.value));
        return {};
    }

    Result<void> query_text(std::string& text, std::optional<Placeholder>& param, std::string_view what) {
        const Placeholder p = std::move(*param);
        param.reset();
        Literal value = ZORV_TRY(strict_lookup(source_, p, std::nullopt));
        if (!value.is(Literal::Kind::Str)) {
            return fail(Diag::BindTypeMismatch,
                        "parameter '" + p.text() + "' for " + std::string(what) + " query must be a string");
        }
        text = std::move(std::get<std::string>(value.value));
        return {};
    }

    Result<void> count(std::optional<std::uint64_t>& target, std::optional<Placeholder>& param, std::string_view label,
                       bool positive) {
        const Placeholder p = std::move(*param);
        param.reset();
        const std::optional<Span> span = p.span.get();
        const Literal value = ZORV_TRY(strict_lookup(source_, p, span));
        target = ZORV_TRY(value_to_count(value, label, positive, span));
        return {};
    }

    // Rows made from a value are bound like written rows, through a statement of their own.
    Result<void> bind_rows(std::vector<UpsertRow>& rows) {
        Upsert holder;
        holder.points = std::move(rows);
        Statement statement{Box<Upsert>(std::move(holder))};
        Result<void> bound = bind_statement_placeholders(statement, source_);
        rows = std::move(statement.get<StatementKind::Upsert>()->points);
        return bound;
    }

    const ParamSource& source_;
    RowExpansions& expansions_;
};

void apply_row_expansions(Statement& statement, RowExpansions& expansions) {
    if (expansions.empty()) return;
    walk(statement, [&](Upsert& upsert) {
        std::vector<UpsertRow> points;
        points.reserve(upsert.points.size());
        for (UpsertRow& row : upsert.points) {
            auto found =
                std::find_if(expansions.begin(), expansions.end(), [&](const auto& e) { return e.first == &row; });
            if (found == expansions.end()) {
                points.push_back(std::move(row));
                continue;
            }
            for (UpsertRow& expanded : found->second) points.push_back(std::move(expanded));
        }
        upsert.points = std::move(points);
    });
}

// The smallest "?" index of a statement becomes 0, the others shift with it.
void rebase_positional(Statement& statement) {
    std::optional<std::uint64_t> base;
    walk(statement, [&](const Placeholder& p) {
        if (p.is_positional() && (!base || p.index < *base)) base = p.index;
    });
    if (!base || *base == 0) return;
    walk(statement, [&](Placeholder& p) {
        if (p.is_positional()) p.index -= *base;
    });
}

}  // namespace

Result<ScopedParams> check_params_list_length(const Literal& params, std::uint64_t statements) {
    ScopedParams scoped;
    if (!params.is(Literal::Kind::List) || params.as_list().empty()) return scoped;
    const LiteralList& items = params.as_list();
    for (const Literal& item : items) {
        if (!item.is(Literal::Kind::Dict) && !item.is(Literal::Kind::List)) return scoped;
    }
    if (items.size() != statements) {
        return fail(Diag::BindBatchLength, "statement-scoped params list has " + std::to_string(items.size()) +
                                               " entr" + (items.size() == 1 ? "y" : "ies") + " but " +
                                               std::to_string(statements) + " statement" +
                                               (statements == 1 ? " was" : "s were") +
                                               " given; provide one params container (object or array) per statement");
    }
    scoped.per_statement.reserve(items.size());
    for (const Literal& item : items) scoped.per_statement.push_back(&item);
    return scoped;
}

Result<void> flatten_params(const LiteralDict& entries, std::string_view prefix, FlatParams& map) {
    for (const LiteralEntry& entry : entries) {
        std::string key = prefix.empty() ? entry.first : std::string(prefix) + "." + entry.first;
        if (entry.second.is(Literal::Kind::Dict)) ZORV_CHECK(flatten_params(entry.second.as_dict(), key, map));
        if (map.contains(key)) {
            return fail(Diag::BindDuplicateParam,
                        "duplicate parameter key '" + key + "' from flat and nested parameter sources");
        }
        map.emplace(std::move(key), entry.second);
    }
    return {};
}

Result<Literal> lookup_named_param(const ParamSource& source, std::string_view name, std::optional<Span> span) {
    std::optional<Literal> value = source.named ? source.named(name) : std::nullopt;
    if (!value)
        return fail(Diag::BindMissingParam, "missing value for named parameter ':" + std::string(name) + "'", span);
    if (value->is(Literal::Kind::Null)) {
        return fail(Diag::BindNullParam,
                    "parameter ':" + std::string(name) +
                        "' is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the placeholder",
                    span);
    }
    return std::move(*value);
}

Result<Literal> lookup_positional_param(std::uint64_t index, std::optional<Span> span,
                                        std::span<const Literal> values) {
    if (index >= values.size()) {
        return fail(Diag::BindMissingParam,
                    "positional parameter ? index " + std::to_string(index + 1) +
                        " out of range (total provided: " + std::to_string(values.size()) + ")",
                    span);
    }
    if (values[index].is(Literal::Kind::Null)) {
        return fail(Diag::BindNullParam,
                    "positional parameter ?" + std::to_string(index + 1) +
                        " is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the placeholder",
                    span);
    }
    return values[index];
}

Result<PointId> value_to_point_id(Literal value, std::optional<Span> span) {
    if (value.is(Literal::Kind::Str)) return PointId{std::move(std::get<std::string>(value.value))};
    if (auto number = as_non_negative(value)) return PointId{*number};
    return fail(Diag::BindTypeMismatch,
                "cannot bind " + literal_debug(value) + " as point ID: expected non-negative integer or string", span);
}

Result<ShardKey> value_to_shard_key(Literal value, std::optional<Span> span) {
    if (value.is(Literal::Kind::Str)) return ShardKey{std::move(std::get<std::string>(value.value))};
    if (auto number = as_non_negative(value)) return ShardKey{*number};
    return fail(Diag::BindTypeMismatch,
                "cannot bind " + literal_debug(value) + " as shard key: expected non-negative integer or string", span);
}

Result<std::uint64_t> value_to_count(const Literal& value, std::string_view label, bool positive,
                                     std::optional<Span> span) {
    std::optional<std::uint64_t> number = as_non_negative(value);
    if (!number)
        return fail(Diag::BindTypeMismatch, std::string(label) + " parameter must be a non-negative integer", span);
    if (positive && *number == 0) {
        return fail(Diag::BindTypeMismatch, std::string(label) + " parameter must be a positive integer", span);
    }
    return *number;
}

Result<QueryInput> value_to_query_input(Literal value, std::optional<Span> span) {
    if (value.is(Literal::Kind::Str)) {
        return QueryInput{
            QueryInput::Text{std::move(std::get<std::string>(value.value)), std::nullopt, std::nullopt, {}}};
    }
    if (auto number = as_non_negative(value)) return QueryInput{PointId{*number}};
    if (value.is(Literal::Kind::Dict) || value.is(Literal::Kind::List) || value.is(Literal::Kind::F32Array)) {
        return QueryInput{ZORV_TRY(literal_to_vector(std::move(value), span))};
    }
    return fail(Diag::BindTypeMismatch, "unsupported value type for query input: " + literal_debug(value), span);
}

Result<FormulaExpr> value_to_formula_expr(Literal value, std::optional<Span> span) {
    switch (value.kind()) {
        case Literal::Kind::Str: {
            auto& text = std::get<std::string>(value.value);
            if (is_datetime_literal(text)) return FormulaExpr{FormulaExpr::Datetime{std::move(text)}};
            if (std::optional<double> number = formula_number(text)) return FormulaExpr::constant(*number);
            return FormulaExpr::variable(std::move(text));
        }
        case Literal::Kind::Int: return FormulaExpr::constant(static_cast<double>(value.as_int()));
        case Literal::Kind::UInt: return FormulaExpr::constant(static_cast<double>(value.as_uint()));
        case Literal::Kind::Float:
            if (!std::isfinite(value.as_float())) {
                ZORV_CHECK(non_finite_error(value.as_float()));
            }
            return FormulaExpr::constant(value.as_float());
        default: break;
    }
    return fail(Diag::BindTypeMismatch, "formula parameter cannot be bound to value: " + literal_debug(value), span);
}

ZorvError bind_invalid_positional_error(std::string_view rest) {
    return make_error(Diag::BindInvalidParams, "invalid positional parameter index '?" + std::string(rest) + "'");
}

ZorvError bind_unbound_param_error(std::string_view name, std::optional<Span> span) {
    return make_error(Diag::BindUnboundParam, "unbound named parameter ':" + std::string(name) + "'", span);
}

ZorvError bind_missing_positional_error(std::uint64_t index, std::optional<Span> span) {
    return make_error(Diag::BindMissingPositional, "missing positional parameter ?" + std::to_string(index + 1), span);
}

std::optional<Literal> take_rows_param(RowsSlot& slot, std::string_view name) {
    if (name != "rows") return std::nullopt;
    std::lock_guard lock(slot.mutex);
    std::optional<Literal> rows = std::move(slot.rows);
    slot.rows.reset();
    return rows;
}

ParamSource rows_param_source(RowsSlot& slot) {
    return ParamSource{[&slot](std::string_view name) { return take_rows_param(slot, name); }, {}};
}

Result<void> bind_statement_placeholders(Statement& statement, const ParamSource& source) {
    ZORV_CHECK(check_bindable(statement));
    RowExpansions expansions;
    SlotBinder binder(source, expansions);
    for (PlaceholderSlot& slot : placeholder_slots(statement, WalkOrder::Bind)) ZORV_CHECK(binder.bind(slot));
    apply_row_expansions(statement, expansions);
    return {};
}

Result<void> bind_statement_params(Statement& statement, const Literal& params) {
    if (params.is(Literal::Kind::Dict)) {
        FlatParams map;
        ZORV_CHECK(flatten_params(params.as_dict(), "", map));
        const ParamSource source{[&map](std::string_view name) -> std::optional<Literal> {
                                     auto found = map.find(name);
                                     if (found == map.end()) return std::nullopt;
                                     return found->second;
                                 },
                                 {}};
        return bind_statement_placeholders(statement, source);
    }
    if (params.is(Literal::Kind::List)) {
        const ParamSource source{nullptr, params.as_list()};
        return bind_statement_placeholders(statement, source);
    }
    return fail(Diag::BindInvalidParams,
                "params must be an object for named parameters (:name) or an array for positional parameters (?)");
}

Result<void> bind_script_params(std::vector<Statement>& statements, const Literal& params) {
    const ScopedParams scoped = ZORV_TRY(check_params_list_length(params, statements.size()));
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (scoped.shared()) {
            ZORV_CHECK(bind_statement_params(statements[i], params));
            continue;
        }
        rebase_positional(statements[i]);
        ZORV_CHECK(bind_statement_params(statements[i], *scoped.per_statement[i]));
    }
    return {};
}

}  // namespace zorv::core
