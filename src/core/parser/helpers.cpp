#include "core/parser/helpers.h"

#include "core/parser/numbers.h"
#include "core/text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <unordered_set>

namespace zorv::core {
namespace {

std::string quoted_token(const Token& tok) { return quote_for_message(tok.text); }

// Keys seen so far in one object or settings list, compared ignoring ASCII case. Small lists
// scan linearly; large payload objects switch to a hash set so reading stays linear.
class KeySet {
public:
    // False when an equal key was seen before.
    bool insert(std::string_view key) {
        std::string folded = to_ascii_lower(key);
        if (keys_.size() < linear_limit) {
            for (const std::string& seen : keys_) {
                if (seen == folded) return false;
            }
            keys_.push_back(std::move(folded));
            if (keys_.size() == linear_limit) hashed_.insert(keys_.begin(), keys_.end());
            return true;
        }
        return hashed_.insert(std::move(folded)).second;
    }

private:
    static constexpr std::size_t linear_limit = 16;
    std::vector<std::string> keys_;
    std::unordered_set<std::string> hashed_;
};

enum class FloatRead { Ok, Invalid, Infinite };

FloatRead read_double(std::string_view text, double& value) {
    std::optional<double> read = read_f64(text);
    if (!read) return FloatRead::Invalid;
    value = *read;
    return std::isfinite(value) ? FloatRead::Ok : FloatRead::Infinite;
}

Result<Literal> integer_literal(const Token& tok) {
    if (auto v = read_decimal<std::int64_t>(tok.text)) return Literal::int64(*v);
    if (auto v = read_decimal<std::uint64_t>(tok.text)) return Literal::uint64(*v);
    return fail(Diag::ParseNumber, "integer literal " + quoted_token(tok) + " is out of range", tok.span);
}

Result<Literal> float_literal(const Token& tok) {
    double value = 0.0;
    if (read_double(tok.text, value) != FloatRead::Ok) {
        return fail(Diag::ParseFloat, "float literal " + quoted_token(tok) + " is not finite", tok.span);
    }
    return Literal::f64(value);
}

Literal number_literal(const LexedNumber& number) {
    switch (number.kind) {
        case LexedNumber::Kind::Int: return Literal::int64(std::bit_cast<std::int64_t>(number.bits));
        case LexedNumber::Kind::UInt: return Literal::uint64(number.bits);
        case LexedNumber::Kind::Float: return Literal::f64(std::bit_cast<double>(number.bits));
    }
    return Literal::f64(std::bit_cast<double>(number.bits));
}

// The ":" is current; gives the name and the span from ":" through the name.
Result<Placeholder> named_placeholder(Parser& parser) {
    const std::uint64_t start = parser.take_token().span.start;
    std::string name = ZORV_TRY(parser.parse_param());
    return Placeholder::named(std::move(name), Span{start, parser.previous().span.end});
}

// The "?" is current; takes the next positional index.
Placeholder positional_placeholder(Parser& parser) {
    const Span span = parser.take_token().span;
    return Placeholder::positional(parser.next_positional_index(), span);
}

std::unexpected<ZorvError> trailing_comma(const Token& closer) {
    return fail(Diag::ParseTrailingComma, "trailing commas are not allowed", closer.span);
}

// After an element: "," continues (refusing a closer right after it), the closer ends.
// Gives true when another element follows.
Result<bool> continue_after_element(Parser& parser, Delimited& list) {
    if (parser.accept(TokenKind::Comma)) {
        if (list.at_close()) return trailing_comma(parser.current());
        return true;
    }
    ZORV_CHECK(list.close());
    return false;
}

}  // namespace

Result<Literal> parse_literal(Parser& parser) {
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::String: {
            std::string text = ZORV_TRY(parser.unescape_string(tok));
            parser.take_token();
            return Literal::str(std::move(text));
        }
        case TokenKind::Integer:
        case TokenKind::Float: {
            if (!tok.is_number()) break;  // the keywords FLOAT and INTEGER: a bare word
            Literal number = ZORV_TRY(tok.kind == TokenKind::Integer ? integer_literal(tok) : float_literal(tok));
            parser.take_token();
            return number;
        }
        case TokenKind::True:
        case TokenKind::False: parser.take_token(); return Literal::boolean(tok.kind == TokenKind::True);
        case TokenKind::Null: parser.take_token(); return Literal::null();
        case TokenKind::LBrace: {
            LiteralDict entries = ZORV_TRY(parse_object_literal(parser));
            return Literal::dict(std::move(entries));
        }
        case TokenKind::LBracket: {
            LiteralList items = ZORV_TRY(parse_list_literal(parser));
            return Literal::list(std::move(items));
        }
        case TokenKind::Colon: {
            Placeholder param = ZORV_TRY(named_placeholder(parser));
            return Literal::placeholder(std::move(param));
        }
        case TokenKind::Question: return Literal::placeholder(positional_placeholder(parser));
        default: break;
    }
    if (Parser::is_name_token(tok)) {
        parser.take_token();
        return Literal::str(std::string(tok.text));
    }
    return fail(Diag::ParseValue, "unexpected value token " + quoted_token(tok), tok.span);
}

Result<std::string> parse_string_literal(Parser& parser) {
    Token tok = ZORV_TRY(parser.expect_token(TokenKind::String));
    return parser.unescape_string(tok);
}

Result<LiteralList> parse_list_literal(Parser& parser) {
    const std::size_t open_index = parser.position();
    Delimited list = ZORV_TRY(Delimited::open(parser, TokenKind::LBracket));
    LiteralList items;
    if (std::span<const LexedNumber> folded = parser.folded_numbers(open_index); !folded.empty()) {
        items.reserve(folded.size());
        for (const LexedNumber& number : folded) items.push_back(number_literal(number));
        ZORV_CHECK(list.close());
        return items;
    }
    if (list.accept_close()) return items;
    for (bool more = true; more;) {
        items.push_back(ZORV_TRY(parse_literal(parser)));
        more = ZORV_TRY(continue_after_element(parser, list));
    }
    return items;
}

Result<LiteralDict> parse_object_literal(Parser& parser) {
    Delimited object = ZORV_TRY(Delimited::open(parser, TokenKind::LBrace));
    LiteralDict entries;
    if (object.accept_close()) return entries;
    KeySet seen;
    for (bool more = true; more;) {
        Token key_tok = ZORV_TRY(take_object_key(parser));
        std::string key = key_tok.kind == TokenKind::String ? ZORV_TRY(parser.unescape_string(key_tok))
                                                            : std::string(key_tok.text);
        if (!seen.insert(key)) {
            return fail(Diag::ParseDuplicateKey, "duplicate payload key " + quote_for_message(key), key_tok.span);
        }
        ZORV_CHECK(parser.expect_token(TokenKind::Colon));
        Literal value = ZORV_TRY(parse_literal(parser));
        entries.emplace_back(std::move(key), std::move(value));
        more = ZORV_TRY(continue_after_element(parser, object));
    }
    return entries;
}

Result<LiteralDict> parse_config_list(Parser& parser) {
    Delimited list = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    LiteralDict entries;
    if (list.accept_close()) return entries;
    KeySet seen;
    for (bool more = true; more;) {
        // Settings keys are plain words; a quoted key keeps its text as written.
        Token key_tok = ZORV_TRY(take_object_key(parser));
        if (!seen.insert(key_tok.text)) {
            return fail(Diag::ParseDuplicateKey, "duplicate configuration key " + quoted_token(key_tok), key_tok.span);
        }
        ZORV_CHECK(parser.expect_token(TokenKind::Equals));
        Literal value = ZORV_TRY(parse_literal(parser));
        entries.emplace_back(std::string(key_tok.text), std::move(value));
        more = ZORV_TRY(continue_after_element(parser, list));
    }
    return entries;
}

Result<Token> take_object_key(Parser& parser) {
    const Token& tok = parser.current();
    if (Parser::is_name_token(tok) || tok.is_number() || tok.kind == TokenKind::String) return parser.take_token();
    return fail(Diag::ParseObjectKey, "expected an object key, got " + quoted_token(tok), tok.span);
}

Result<Literal> parse_scalar_literal(Parser& parser) {
    const std::uint64_t start = parser.current().span.start;
    Literal value = ZORV_TRY(parse_literal(parser));
    if (value.is(Literal::Kind::Dict) || value.is(Literal::Kind::List)) {
        return fail(Diag::ParseLiteral, "expected a scalar literal", Span{start, parser.previous().span.end});
    }
    return value;
}

Result<LiteralList> parse_value_list(Parser& parser) {
    Delimited list = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    LiteralList items;
    if (list.accept_close()) return items;
    do {
        items.push_back(ZORV_TRY(parse_scalar_literal(parser)));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(list.close());
    return items;
}

Result<std::string> parse_field_name(Parser& parser) {
    const Token& tok = parser.current();
    if (tok.kind == TokenKind::String) {
        std::string text = ZORV_TRY(parser.unescape_string(tok));
        parser.take_token();
        return text;
    }
    if (Parser::is_name_token(tok)) {
        parser.take_token();
        return std::string(tok.text);
    }
    return fail(Diag::ParseField, "expected a field name, got " + quoted_token(tok), tok.span);
}

Result<PointId> parse_point_id(Parser& parser, std::string_view context) {
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::Integer:
            if (!tok.is_number()) break;
            if (auto id = read_decimal<std::uint64_t>(tok.text)) {
                parser.take_token();
                return PointId{*id};
            }
            break;
        case TokenKind::String: {
            std::string text = ZORV_TRY(parser.unescape_string(tok));
            parser.take_token();
            return PointId{std::move(text)};
        }
        case TokenKind::Colon: {
            Placeholder param = ZORV_TRY(named_placeholder(parser));
            return PointId{std::move(param)};
        }
        case TokenKind::Question: return PointId{positional_placeholder(parser)};
        default: break;
    }
    return fail(Diag::ParsePointId, std::string(context) + " requires an unsigned integer or string point ID",
                tok.span);
}

Result<ShardKey> parse_shard_key(Parser& parser) {
    const Token& tok = parser.current();
    if (tok.kind == TokenKind::Integer && tok.is_number()) {
        std::uint64_t number = ZORV_TRY(parse_nonnegative_integer(parser, "shard key"));
        return ShardKey{number};
    }
    if (tok.kind == TokenKind::Colon) {
        Placeholder param = ZORV_TRY(named_placeholder(parser));
        return ShardKey{std::move(param)};
    }
    if (tok.kind == TokenKind::Question) return ShardKey{positional_placeholder(parser)};
    std::string keyword = ZORV_TRY(parse_string_literal(parser));
    return ShardKey{std::move(keyword)};
}

Result<std::uint64_t> parse_positive_integer(Parser& parser, std::string_view context) {
    Token tok = ZORV_TRY(parser.expect_token(TokenKind::Integer));
    std::optional<std::uint64_t> value = read_decimal<std::uint64_t>(tok.text);
    if (!value || *value == 0) {
        return fail(Diag::ParsePositiveInteger, std::string(context) + " must be a positive integer", tok.span);
    }
    return *value;
}

Result<std::uint64_t> parse_nonnegative_integer(Parser& parser, std::string_view context) {
    Token tok = ZORV_TRY(parser.expect_token(TokenKind::Integer));
    std::optional<std::uint64_t> value = read_decimal<std::uint64_t>(tok.text);
    if (!value) {
        return fail(Diag::ParseNonnegativeInteger, std::string(context) + " must be a non-negative integer", tok.span);
    }
    return *value;
}

Result<double> parse_number(Parser& parser) {
    const Token& tok = parser.current();
    if (tok.kind != TokenKind::Float && tok.kind != TokenKind::Integer) {
        return fail(Diag::ParseNumber, "expected a number, got " + quoted_token(tok), tok.span);
    }
    parser.take_token();
    double value = 0.0;
    switch (read_double(tok.text, value)) {
        case FloatRead::Ok: return value;
        case FloatRead::Invalid: return fail(Diag::ParseNumber, "invalid number " + quoted_token(tok), tok.span);
        case FloatRead::Infinite:
            return fail(Diag::ParseNumber, "number " + quoted_token(tok) + " is not finite", tok.span);
    }
    return value;
}

Result<Placeholder> parse_placeholder(Parser& parser) {
    if (parser.check(TokenKind::Question)) return positional_placeholder(parser);
    return named_placeholder(parser);
}

std::optional<Placeholder> parse_placeholder_ref(Parser& parser) {
    const Token& tok = parser.current();
    if (tok.kind == TokenKind::Colon && Parser::is_name_token(parser.lookahead(1))) {
        const Token& name = parser.lookahead(1);
        Placeholder ref = Placeholder::named(std::string(name.text), Span{tok.span.start, name.span.end});
        parser.take_token();
        parser.take_token();
        return ref;
    }
    if (tok.kind == TokenKind::Question) return positional_placeholder(parser);
    return std::nullopt;
}

Result<std::optional<std::string>> parse_optional_model(Parser& parser) {
    if (!parser.accept(TokenKind::Model)) return std::optional<std::string>{};
    std::string model = ZORV_TRY(parse_string_literal(parser));
    return std::optional<std::string>(std::move(model));
}

Result<std::string> parse_model_clause(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Model));
    return parse_string_literal(parser);
}

bool is_datetime_literal(std::string_view text) {
    auto digits_at = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = from; i < from + count; ++i) {
            if (i >= text.size() || !is_digit(text[i])) return false;
        }
        return true;
    };
    auto char_at = [&](std::size_t i, char c) { return i < text.size() && text[i] == c; };

    if (!(digits_at(0, 4) && char_at(4, '-') && digits_at(5, 2) && char_at(7, '-') && digits_at(8, 2))) return false;
    if (text.size() == 10) return true;
    const char sep = text[10];
    if (sep != ' ' && sep != 'T' && sep != 't') return false;
    if (!(digits_at(11, 2) && char_at(13, ':') && digits_at(14, 2) && char_at(16, ':') && digits_at(17, 2))) {
        return false;
    }
    std::size_t i = 19;
    if (char_at(i, '.')) {
        ++i;
        if (!digits_at(i, 1)) return false;
        while (i < text.size() && is_digit(text[i])) ++i;
    }
    if (i == text.size()) return true;
    const char zone = text[i];
    if (zone == 'Z' || zone == 'z') return i + 1 == text.size();
    if (zone != '+' && zone != '-') return false;
    const std::size_t rest = text.size() - i - 1;
    if (rest != 2 && rest != 4 && rest != 5) return false;
    for (std::size_t k = i + 1; k < text.size(); ++k) {
        if (!is_digit(text[k]) && text[k] != ':') return false;
    }
    return true;
}

}  // namespace zorv::core
