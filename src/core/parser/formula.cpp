#include "core/parser/formula.h"

#include "core/parser/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/text.h"

namespace zorv::core {
namespace {

constexpr std::uint8_t kUnaryBindingPower = 3;

std::unexpected<ZorvError> syntax_error(std::string message, Span span) {
    return fail(Diag::ParseSyntax, std::move(message), span);
}

Result<FormulaExpr> constant(std::string_view text, Span span) {
    std::optional<double> value = read_f64(text);
    if (!value) return syntax_error("invalid number format in formula", span);
    if (!std::isfinite(*value)) {
        return fail(Diag::ParseNumber, "number " + quote_for_message(text) + " is not finite", span);
    }
    return FormulaExpr::constant(*value);
}

Box<FormulaExpr> boxed(FormulaExpr expr) { return Box<FormulaExpr>(std::move(expr)); }

// `[DEFAULT = number]` after a division or a domain-checked function; nothing is consumed unless
// "[" is followed by DEFAULT.
Result<std::optional<double>> bracket_default(Parser& p) {
    if (!p.check(TokenKind::LBracket) || p.lookahead(1).kind != TokenKind::Default) return std::nullopt;
    Delimited brackets = ZORV_TRY(Delimited::open_flat(p, TokenKind::LBracket));
    p.take_token();  // DEFAULT
    ZORV_TRY(p.expect_token(TokenKind::Equals));
    const double value = ZORV_TRY(parse_number(p));
    ZORV_TRY(brackets.close());
    return value;
}

// ---------------------------------------------------------------------------------------------
// Expressions

struct InfixOp {
    FormulaExpr::Kind kind;
    std::uint8_t binding_power;
    Token token;  // the operator, for the nesting error
    bool split;   // a "-N" number token: the minus is the operator, N the right operand
};

std::optional<InfixOp> infix_op(const Token& token) {
    switch (token.kind) {
        case TokenKind::Star: return InfixOp{FormulaExpr::Kind::Mul, 2, token, false};
        case TokenKind::Slash: return InfixOp{FormulaExpr::Kind::Div, 2, token, false};
        case TokenKind::Plus: return InfixOp{FormulaExpr::Kind::Sum, 1, token, false};
        case TokenKind::Minus: return InfixOp{FormulaExpr::Kind::Sub, 1, token, false};
        default: break;
    }
    // After a keyword the lexer keeps "-0.5" whole ("score -0.5"); where an operator is due it is
    // a subtraction.
    if (token.is_number() && token.text.front() == '-') {
        Token minus{token.text.substr(0, 1), Span{token.span.start, token.span.start + 1}, token.span.start,
                    TokenKind::Minus};
        return InfixOp{FormulaExpr::Kind::Sub, 1, minus, true};
    }
    return std::nullopt;
}

Result<FormulaExpr> expression(Parser& p, std::uint8_t min_binding_power, bool split_minus);

Result<FormulaExpr> case_expression(Parser& p) {
    Delimited case_end = ZORV_TRY(Delimited::open(p, TokenKind::Case));
    ZORV_TRY(p.expect_token(TokenKind::When));
    Filter cond = ZORV_TRY(parse_filter(p));
    ZORV_TRY(p.expect_token(TokenKind::Then));
    FormulaExpr then_ = ZORV_TRY(expression(p, 0, false));
    ZORV_TRY(p.expect_token(TokenKind::Else));
    FormulaExpr else_ = ZORV_TRY(expression(p, 0, false));
    ZORV_TRY(case_end.close());
    return FormulaExpr{
        FormulaExpr::Case{Box<Filter>(std::move(cond)), boxed(std::move(then_)), boxed(std::move(else_))}};
}

Result<FormulaExpr> name_term(Parser& p) {
    const Token name = p.take_token();
    if (!p.check(TokenKind::LParen)) return FormulaExpr::variable(std::string(name.text));
    // The call's readers take the ")" themselves: some forms need it before their checks.
    Delimited parens = ZORV_TRY(Delimited::open(p, TokenKind::LParen));
    return parse_formula_call(p, to_ascii_lower(name.text), name.span);
}

Result<FormulaExpr> string_term(Parser& p) {
    std::string text = ZORV_TRY(parse_string_literal(p));
    if (is_datetime_literal(text)) return FormulaExpr{FormulaExpr::Datetime{std::move(text)}};
    return FormulaExpr::variable(std::move(text));
}

Result<FormulaExpr> prefix_term(Parser& p, bool split_minus) {
    const Token token = p.current();
    if (split_minus) {
        p.take_token();
        return constant(token.text.substr(1), Span{token.span.start + 1, token.span.end});
    }
    if (token.kind == TokenKind::Case) return case_expression(p);
    if (Parser::is_name_token(token)) return name_term(p);
    if (token.is_number()) {
        p.take_token();
        return constant(token.text, token.span);
    }
    switch (token.kind) {
        case TokenKind::String: return string_term(p);
        case TokenKind::LParen: {
            Delimited parens = ZORV_TRY(Delimited::open(p, TokenKind::LParen));
            FormulaExpr inner = ZORV_TRY(expression(p, 0, false));
            ZORV_TRY(parens.close());
            return inner;
        }
        case TokenKind::Colon: {
            p.take_token();
            std::string name = ZORV_TRY(p.parse_param());
            return FormulaExpr::named_param(std::move(name), Span{token.span.start, p.previous().span.end});
        }
        case TokenKind::Question:
            p.take_token();
            return FormulaExpr::positional_param(p.next_positional_index(), token.span);
        case TokenKind::Minus: {
            auto guard = ZORV_TRY(p.enter_nesting(token));
            p.take_token();
            FormulaExpr operand = ZORV_TRY(expression(p, kUnaryBindingPower, false));
            return FormulaExpr{FormulaExpr::Neg{boxed(std::move(operand))}};
        }
        case TokenKind::Star:
        case TokenKind::Equals:
        case TokenKind::Plus:
        case TokenKind::Slash:
            return syntax_error("unexpected token in formula: " + escape_for_message(token.text) +
                                    "\nhint: Did your shell interpolate '$score'? In bash/zsh, use bare 'score' or "
                                    "escape '\\$score'.",
                                token.span);
        default: return syntax_error("unexpected token in formula: " + escape_for_message(token.text), token.span);
    }
}

FormulaExpr combine(FormulaExpr::Kind kind, FormulaExpr left, FormulaExpr right, std::optional<double> by_zero) {
    Box<FormulaExpr> l = boxed(std::move(left));
    Box<FormulaExpr> r = boxed(std::move(right));
    switch (kind) {
        case FormulaExpr::Kind::Sum: return FormulaExpr{FormulaExpr::Sum{std::move(l), std::move(r)}};
        case FormulaExpr::Kind::Sub: return FormulaExpr{FormulaExpr::Sub{std::move(l), std::move(r)}};
        case FormulaExpr::Kind::Mul: return FormulaExpr{FormulaExpr::Mul{std::move(l), std::move(r)}};
        default: return FormulaExpr{FormulaExpr::Div{std::move(l), std::move(r), by_zero}};
    }
}

// Precedence climbing. Every operator applied here deepens the tree by one node, so each takes a
// nesting level until the expression ends: a long chain a + b + c ... is bounded like parentheses.
Result<FormulaExpr> expression(Parser& p, std::uint8_t min_binding_power, bool split_minus) {
    FormulaExpr left = ZORV_TRY(prefix_term(p, split_minus));
    std::vector<NestGuard> levels;
    for (;;) {
        std::optional<InfixOp> op = infix_op(p.current());
        if (!op || op->binding_power <= min_binding_power) break;
        levels.push_back(ZORV_TRY(p.enter_nesting(op->token)));
        if (!op->split) p.take_token();
        FormulaExpr right = ZORV_TRY(expression(p, op->binding_power, op->split));
        std::optional<double> by_zero;
        if (op->kind == FormulaExpr::Kind::Div) by_zero = ZORV_TRY(bracket_default(p));
        left = combine(op->kind, std::move(left), std::move(right), by_zero);
    }
    return left;
}

// ---------------------------------------------------------------------------------------------
// Calls

struct CallArgs {
    std::vector<FormulaExpr> positional;
    std::vector<std::pair<std::string, FormulaExpr>> keyword;

    // The first keyword argument named `name` ignoring ASCII case.
    FormulaExpr* find(std::string_view name) {
        for (auto& [key, value] : keyword) {
            if (to_ascii_lower(key) == name) return &value;
        }
        return nullptr;
    }
};

// Arguments up to and including ")"; `name = expr` arguments must come last.
Result<CallArgs> call_args(Parser& p) {
    CallArgs args;
    if (p.accept(TokenKind::RParen)) return args;
    for (;;) {
        const Token first = p.current();
        const bool keyword = (Parser::is_name_token(first) || first.kind == TokenKind::String) &&
                             p.lookahead(1).kind == TokenKind::Equals;
        if (keyword) {
            p.take_token();
            p.take_token();
            FormulaExpr value = ZORV_TRY(expression(p, 0, false));
            args.keyword.emplace_back(std::string(first.text), std::move(value));
        } else {
            if (!args.keyword.empty())
                return syntax_error("positional argument cannot follow keyword argument", first.span);
            args.positional.push_back(ZORV_TRY(expression(p, 0, false)));
        }
        if (p.accept(TokenKind::Comma)) {
            if (p.accept(TokenKind::RParen)) return args;
            continue;
        }
        ZORV_TRY(p.expect_token(TokenKind::RParen));
        return args;
    }
}

// match(field, value) and match(field, [values]).
Result<FormulaExpr> match_call(Parser& p) {
    std::string field = ZORV_TRY(p.parse_identifier());
    ZORV_TRY(p.expect_token(TokenKind::Comma));
    LiteralList values;
    if (p.check(TokenKind::LBracket)) {
        values = ZORV_TRY(parse_list_literal(p));
    } else {
        values.push_back(ZORV_TRY(parse_literal(p)));
    }
    ZORV_TRY(p.expect_token(TokenKind::RParen));
    return FormulaExpr{FormulaExpr::MatchCondition{std::move(field), std::move(values)}};
}

Result<double> geo_dict_coordinate(const LiteralDict& dict, std::string_view key, Span span) {
    for (const auto& [k, v] : dict) {
        if (to_ascii_lower(k) != key) continue;
        switch (v.kind()) {
            case Literal::Kind::Int: return static_cast<double>(v.as_int());
            case Literal::Kind::UInt: return static_cast<double>(v.as_uint());
            case Literal::Kind::Float: return v.as_float();
            default: return syntax_error("geo_distance dict '" + std::string(key) + "' must be a number", span);
        }
    }
    return syntax_error("geo_distance dict must have '" + std::string(key) + "' key", span);
}

// geo_distance({lat: .., lon: ..}, field)
Result<FormulaExpr> geo_distance_object_call(Parser& p, Span name_span) {
    LiteralDict origin = ZORV_TRY(parse_object_literal(p));
    p.accept(TokenKind::Comma);
    std::string field = p.check(TokenKind::String) ? ZORV_TRY(parse_string_literal(p)) : ZORV_TRY(p.parse_identifier());
    ZORV_TRY(p.expect_token(TokenKind::RParen));
    const double lat = ZORV_TRY(geo_dict_coordinate(origin, "lat", name_span));
    const double lon = ZORV_TRY(geo_dict_coordinate(origin, "lon", name_span));
    return FormulaExpr{FormulaExpr::GeoDistance{lat, lon, std::move(field)}};
}

// geo_distance(lat, lon, field) with constant coordinates and a payload field.
Result<FormulaExpr> geo_distance_call(CallArgs& args, Span span) {
    if (args.positional.size() != 3)
        return syntax_error("GEO_DISTANCE() expects 3 arguments (lat, lon, field_name)", span);
    const FormulaExpr& lat = args.positional[0];
    const FormulaExpr& lon = args.positional[1];
    const FormulaExpr& field = args.positional[2];
    if (!lat.is(FormulaExpr::Kind::Constant))
        return syntax_error("GEO_DISTANCE() first argument must be a float constant", span);
    if (!lon.is(FormulaExpr::Kind::Constant))
        return syntax_error("GEO_DISTANCE() second argument must be a float constant", span);
    // A placeholder would end up as a field literally named ":x" that nothing binds.
    if (!field.is(FormulaExpr::Kind::Variable) || field.get<FormulaExpr::Kind::Variable>().is_placeholder()) {
        return syntax_error("GEO_DISTANCE() third argument must be a field name", span);
    }
    return FormulaExpr{FormulaExpr::GeoDistance{lat.get<FormulaExpr::Kind::Constant>().value,
                                                lon.get<FormulaExpr::Kind::Constant>().value,
                                                field.get<FormulaExpr::Kind::Variable>().name}};
}

Result<std::optional<double>> decay_constant(const FormulaExpr* arg, const char* message, Span span) {
    if (arg == nullptr) return std::nullopt;
    if (!arg->is(FormulaExpr::Kind::Constant)) return syntax_error(message, span);
    return arg->get<FormulaExpr::Kind::Constant>().value;
}

Result<FormulaExpr> decay_call(std::string_view name, CallArgs& args, Span span) {
    std::vector<FormulaExpr>& pos = args.positional;
    const std::size_t count = pos.size();
    if (count > 4) {
        return syntax_error(to_ascii_upper(name) +
                                "() accepts at most 4 positional arguments (x, target, scale, midpoint)",
                            span);
    }
    FormulaExpr* x = count >= 1 ? &pos[0] : args.find("x");
    if (x == nullptr) return syntax_error(to_ascii_upper(name) + "() requires 'x' argument", span);
    FormulaExpr* target = count >= 2 ? &pos[1] : args.find("target");

    std::optional<double> scale = ZORV_TRY(decay_constant(count >= 3 ? &pos[2] : args.find("scale"),
                                                          "scale argument in decay function must be a constant", span));
    std::optional<double> midpoint;
    if (count >= 4) {
        midpoint =
            ZORV_TRY(decay_constant(&pos[3], "midpoint/decay argument in decay function must be a constant", span));
    } else if (FormulaExpr* m = args.find("midpoint")) {
        midpoint = ZORV_TRY(decay_constant(m, "midpoint argument in decay function must be a constant", span));
    } else {
        midpoint =
            ZORV_TRY(decay_constant(args.find("decay"), "decay argument in decay function must be a constant", span));
    }

    FormulaExpr::Decay decay{std::string(name), boxed(std::move(*x)), std::nullopt, scale, midpoint};
    if (target != nullptr) decay.target = boxed(std::move(*target));
    return FormulaExpr{std::move(decay)};
}

// Exactly one positional argument.
Result<Box<FormulaExpr>> single_arg(CallArgs& args, std::string_view upper_name, Span span) {
    if (args.positional.size() != 1) return syntax_error(std::string(upper_name) + "() expects 1 argument", span);
    return boxed(std::move(args.positional[0]));
}

// SQRT, LOG, LN and ACOSH: one argument, then an optional [DEFAULT = n] after the ")".
template <class Node>
Result<FormulaExpr> domain_call(Parser& p, CallArgs& args, std::string_view upper_name, Span span) {
    Box<FormulaExpr> x = ZORV_TRY(single_arg(args, upper_name, span));
    std::optional<double> fallback = ZORV_TRY(bracket_default(p));
    return FormulaExpr{Node{std::move(x), fallback}};
}

Result<FormulaExpr> build_call(Parser& p, std::string_view name, CallArgs args, Span span) {
    using E = FormulaExpr;
    if (name == "abs") return E{E::Abs{ZORV_TRY(single_arg(args, "ABS", span))}};
    if (name == "exp") return E{E::Exp{ZORV_TRY(single_arg(args, "EXP", span))}};
    if (name == "sqrt") return domain_call<E::Sqrt>(p, args, "SQRT", span);
    if (name == "log") return domain_call<E::Log>(p, args, "LOG", span);
    if (name == "ln") return domain_call<E::Ln>(p, args, "LN", span);
    if (name == "acosh") return domain_call<E::Acosh>(p, args, "ACOSH", span);
    if (name == "pow") {
        if (args.positional.size() != 2) return syntax_error("POW() expects 2 arguments", span);
        return E{E::Pow{boxed(std::move(args.positional[0])), boxed(std::move(args.positional[1]))}};
    }
    if (name == "max" || name == "min") {
        if (args.positional.empty())
            return syntax_error(to_ascii_upper(name) + "() requires at least one argument", span);
        if (name == "max") return E{E::Max{std::move(args.positional)}};
        return E{E::Min{std::move(args.positional)}};
    }
    if (name == "geo_distance") return geo_distance_call(args, span);
    if (name == "exp_decay" || name == "lin_decay" || name == "gauss_decay") return decay_call(name, args, span);
    return syntax_error("unknown formula function: " + escape_for_message(name), span);
}

}  // namespace

Result<FormulaExpr> parse_formula(Parser& parser, std::uint8_t min_binding_power) {
    return expression(parser, min_binding_power, false);
}

Result<FormulaExpr> parse_formula_call(Parser& parser, std::string_view name, Span name_span) {
    if (name == "datetime" || name == "datetime_key") {
        std::string text = ZORV_TRY(parse_string_literal(parser));
        ZORV_TRY(parser.expect_token(TokenKind::RParen));
        if (name == "datetime") return FormulaExpr{FormulaExpr::Datetime{std::move(text)}};
        return FormulaExpr{FormulaExpr::DatetimeKey{std::move(text)}};
    }
    if (name == "match" || name == "match_any") return match_call(parser);
    if (name == "geo_distance" && parser.check(TokenKind::LBrace)) return geo_distance_object_call(parser, name_span);
    CallArgs args = ZORV_TRY(call_args(parser));
    return build_call(parser, name, std::move(args), name_span);
}

}  // namespace zorv::core
