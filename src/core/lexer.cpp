#include "core/lexer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/diagnostics.h"
#include "core/quoting.h"

namespace zorv::core {
namespace {

constexpr std::array<std::string_view, keyword_count> keyword_names = {
#define ZORV_KEYWORD_NAME(name, text) text,
    ZORV_KEYWORDS(ZORV_KEYWORD_NAME)
#undef ZORV_KEYWORD_NAME
};

constexpr std::size_t max_keyword_len = [] {
    std::size_t longest = 0;
    for (std::string_view name : keyword_names) longest = name.size() > longest ? name.size() : longest;
    return longest;
}();
constexpr std::size_t keyword_slots = 1024;
constexpr int keyword_slot_bits = 10;
static_assert(std::size_t{1} << keyword_slot_bits == keyword_slots);
static_assert(keyword_count < 255, "table slots hold kind + 1 in a byte");

// A name of up to 15 bytes, zero-padded and upper-cased, as two words with the length in the last
// byte (so a name never equals itself plus a NUL): keywords are found by comparing and hashing
// words instead of bytes.
struct FoldedName {
    std::uint64_t lo = 0;
    std::uint64_t hi = 0;
    bool operator==(const FoldedName&) const = default;
};

static_assert(max_keyword_len < 16);

// ASCII a-z upper-cased in all eight bytes at once; every other byte, UTF-8 included, is kept,
// so only the case variants of a name fold to it.
std::uint64_t fold_ascii_upper(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t high_bits = ones * 0x80;
    const std::uint64_t low7 = word & ~high_bits;
    const std::uint64_t from_a = low7 + ones * (0x80 - 'a');      // high bit set where byte >= 'a'
    const std::uint64_t past_z = low7 + ones * (0x80 - 'z' - 1);  // high bit set where byte > 'z'
    const std::uint64_t lower = from_a & ~past_z & ~word & high_bits;
    return word ^ (lower >> 2);
}

// `word` must be shorter than 16 bytes.
FoldedName fold_name(std::string_view word) {
    std::array<char, 16> bytes{};
    std::memcpy(bytes.data(), word.data(), word.size());
    const auto words = std::bit_cast<std::array<std::uint64_t, 2>>(bytes);
    const std::uint64_t length = std::uint64_t{word.size()} << 56;
    return FoldedName{fold_ascii_upper(words[0]), fold_ascii_upper(words[1]) | length};
}

// The word of `length` bytes at `start` of `src`, as fold_name folds it; with 16 bytes of source
// left it is read in two loads and masked, without a copy of a variable length.
FoldedName fold_source_word(std::string_view src, std::size_t start, std::size_t length) {
    if constexpr (std::endian::native == std::endian::little) {
        if (src.size() - start >= 16) {
            std::array<std::uint64_t, 2> words{};
            std::memcpy(words.data(), src.data() + start, sizeof words);
            const auto keep = [](std::size_t bytes) {
                return bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * bytes)) - 1;
            };
            words[0] &= keep(length);
            words[1] = length > 8 ? words[1] & keep(length - 8) : 0;
            const std::uint64_t size_byte = std::uint64_t{length} << 56;
            return FoldedName{fold_ascii_upper(words[0]), fold_ascii_upper(words[1]) | size_byte};
        }
    }
    return fold_name(src.substr(start, length));
}

std::size_t keyword_slot(const FoldedName& name) {
    const std::uint64_t mixed = (name.lo * 0x9E3779B97F4A7C15ULL) ^ (name.hi * 0xC2B2AE3D27D4EB4FULL);
    return static_cast<std::size_t>(mixed >> (64 - keyword_slot_bits));
}

const std::array<FoldedName, keyword_count> folded_keywords = [] {
    std::array<FoldedName, keyword_count> names{};
    for (std::size_t k = 0; k < keyword_names.size(); ++k) names[k] = fold_name(keyword_names[k]);
    return names;
}();

// Open-addressing table: slot value is kind + 1, 0 when empty.
const std::array<std::uint8_t, keyword_slots> keyword_table = [] {
    std::array<std::uint8_t, keyword_slots> table{};
    for (std::size_t k = 0; k < folded_keywords.size(); ++k) {
        std::size_t slot = keyword_slot(folded_keywords[k]);
        while (table[slot] != 0) slot = (slot + 1) & (keyword_slots - 1);
        table[slot] = static_cast<std::uint8_t>(k + 1);
    }
    return table;
}();

std::optional<TokenKind> lookup_folded_keyword(const FoldedName& folded);

enum CharClass : std::uint8_t {
    kBlank = 1,
    kDigit = 2,
    kLetter = 4,
    kWordStart = 8,  // letter, '_' or '$'
    kWordPart = 16,  // letters, digits, '_' and '$'
};

constexpr std::array<std::uint8_t, 256> build_char_classes() {
    std::array<std::uint8_t, 256> t{};
    t['\t'] = t['\n'] = t['\r'] = t[' '] = kBlank;
    for (int c = '0'; c <= '9'; ++c) t[c] = kDigit | kWordPart;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = kLetter | kWordStart | kWordPart;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = kLetter | kWordStart | kWordPart;
    t['_'] = t['$'] = kWordStart | kWordPart;
    return t;
}

constexpr auto char_classes = build_char_classes();

inline bool has_class(char c, std::uint8_t cls) { return (char_classes[static_cast<unsigned char>(c)] & cls) != 0; }

// Length of the UTF-8 sequence starting at `i`; a malformed sequence counts as one byte.
std::size_t utf8_char_len(std::string_view s, std::size_t i) {
    auto lead = static_cast<unsigned char>(s[i]);
    std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (i + len > s.size()) return 1;
    for (std::size_t k = 1; k < len; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    }
    return len;
}

std::string display_char(std::string_view bytes) {
    if (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) >= 0x80) return "\xEF\xBF\xBD";
    return std::string(bytes);
}

// Scan functions return a token of kind Eof to signal an error, which they store in `err`;
// no real token has that kind, and the hot loop then carries no per-token Result.
struct Scanner {
    std::string_view src;
    std::size_t start;
    ZorvError* err;

    Token make(std::size_t end, TokenKind kind) const {
        return Token{src.substr(start, end - start), Span{start, end}, start, kind};
    }
    Token make_text(std::size_t text_begin, std::size_t text_end, std::size_t end, TokenKind kind) const {
        return Token{src.substr(text_begin, text_end - text_begin), Span{start, end}, start, kind};
    }
    Token error(Diag diag, std::string message, std::size_t end) const {
        *err = make_error(diag, std::move(message), Span{start, end});
        return Token{src.substr(start, 0), Span{start, start}, start, TokenKind::Eof};
    }
    char at(std::size_t i) const { return i < src.size() ? src[i] : '\0'; }
    bool digit_at(std::size_t i) const { return i < src.size() && has_class(src[i], kDigit); }

    Token number() const;
    Token quoted(const QuotedRegion& region) const;
    Token word() const;
};

Token Scanner::number() const {
    std::size_t i = start;
    if (src[i] == '-') ++i;
    while (digit_at(i)) ++i;
    if (i == src.size()) return make(i, TokenKind::Integer);
    bool is_float = false;
    if (at(i) == '.' && digit_at(i + 1)) {
        i += 1;
        while (digit_at(i)) ++i;
        is_float = true;
    }
    if (at(i) == 'e' || at(i) == 'E') {
        ++i;
        if (at(i) == '+' || at(i) == '-') ++i;
        if (!digit_at(i)) {
            return error(Diag::LexNumber, "malformed numeric literal: exponent requires at least one digit", i);
        }
        while (digit_at(i)) ++i;
        is_float = true;
    }
    if (at(i) == '.') {
        return error(Diag::LexNumber, "malformed numeric literal: unexpected '.'", i + 1);
    }
    return make(i, is_float ? TokenKind::Float : TokenKind::Integer);
}

Token Scanner::quoted(const QuotedRegion& region) const {
    if (region.closed) return make_text(region.text_begin, region.text_end, region.end, TokenKind::String);
    switch (region.style) {
        case QuoteStyle::Backtick: return error(Diag::LexString, "unterminated backtick string literal", region.end);
        case QuoteStyle::Raw: return error(Diag::LexString, "unterminated raw string literal", region.end);
        default: return error(Diag::LexString, "unterminated string literal", region.end);
    }
}

Token Scanner::word() const {
    std::size_t i = start;
    while (i < src.size() && has_class(src[i], kWordPart)) ++i;
    bool dotted = false;
    for (;;) {
        std::size_t ext = 0;
        if (at(i) == '.' && i + 1 < src.size() && (has_class(src[i + 1], kLetter) || src[i + 1] == '_')) {
            ext = 1;
        } else if (at(i) == '[' && at(i + 1) == ']' && at(i + 2) == '.' && i + 3 < src.size() &&
                   (has_class(src[i + 3], kLetter) || src[i + 3] == '_')) {
            ext = 3;
        }
        if (ext == 0) break;
        dotted = true;
        i += ext;
        while (i < src.size() && has_class(src[i], kWordPart)) ++i;
    }
    Token tok = make(i, TokenKind::Identifier);
    if (!dotted && tok.text.size() <= max_keyword_len) {
        if (auto kw = lookup_folded_keyword(fold_source_word(src, start, tok.text.size()))) tok.kind = *kw;
    }
    return tok;
}

TokenKind single_byte_kind(char c) {
    switch (c) {
        case '(': return TokenKind::LParen;
        case ')': return TokenKind::RParen;
        case '[': return TokenKind::LBracket;
        case ']': return TokenKind::RBracket;
        case '{': return TokenKind::LBrace;
        case '}': return TokenKind::RBrace;
        case ':': return TokenKind::Colon;
        case ',': return TokenKind::Comma;
        case ';': return TokenKind::Semicolon;
        case '?': return TokenKind::Question;
        case '*': return TokenKind::Star;
        case '+': return TokenKind::Plus;
        case '/': return TokenKind::Slash;
        case '=': return TokenKind::Equals;
        default: return TokenKind::Eof;
    }
}

// The three-byte comparison characters: U+2265, U+2264, U+2260.
std::optional<TokenKind> math_operator(std::string_view s, std::size_t i) {
    if (i + 3 > s.size() || static_cast<unsigned char>(s[i]) != 0xE2 || static_cast<unsigned char>(s[i + 1]) != 0x89) {
        return std::nullopt;
    }
    switch (static_cast<unsigned char>(s[i + 2])) {
        case 0xA5: return TokenKind::Gte;
        case 0xA4: return TokenKind::Lte;
        case 0xA0: return TokenKind::NotEquals;
        default: return std::nullopt;
    }
}

// Scans one token starting at a non-blank byte; kind Eof with `err` set on failure.
Token scan_token(std::string_view src, std::size_t start, ZorvError& err) {
    Scanner s{src, start, &err};
    char c = src[start];
    if (TokenKind k = single_byte_kind(c); k != TokenKind::Eof) return s.make(start + 1, k);
    if (has_class(c, kDigit)) return s.number();
    switch (c) {
        case '<': return s.at(start + 1) == '=' ? s.make(start + 2, TokenKind::Lte) : s.make(start + 1, TokenKind::Lt);
        case '>': return s.at(start + 1) == '=' ? s.make(start + 2, TokenKind::Gte) : s.make(start + 1, TokenKind::Gt);
        case '!':
            if (s.at(start + 1) == '=') return s.make(start + 2, TokenKind::NotEquals);
            return s.error(Diag::LexChar, "Unexpected character '!'", start + 1);
        case '-':
            if (s.digit_at(start + 1)) return s.number();
            if (s.at(start + 1) == '.') {
                return s.error(Diag::LexNumber, "malformed numeric literal: '-' must be followed by a digit",
                               start + 2);
            }
            return s.make(start + 1, TokenKind::Minus);
        case '\'':
        case '"':
        case '`':
        case 'r':  // r only opens a raw string when a quote follows
            if (auto region = scan_quoted(src, start)) return s.quoted(*region);
            break;
        default: break;
    }
    if (has_class(c, kWordStart)) return s.word();
    if (auto k = math_operator(src, start)) return s.make(start + 3, *k);
    std::size_t len = utf8_char_len(src, start);
    return s.error(Diag::LexChar, "Unexpected character " + quote_for_message(display_char(src.substr(start, len))),
                   start + len);
}

bool splits_minus_after(TokenKind previous) {
    switch (previous) {
        case TokenKind::Identifier:
        case TokenKind::String:
        case TokenKind::RBracket:
        case TokenKind::RParen:
        case TokenKind::Integer:
        case TokenKind::Float: return true;
        default: return false;
    }
}

// Blanks and "--" comments up to the next LF.
std::size_t skip_blanks(std::string_view src, std::size_t i) {
    const std::size_t n = src.size();
    for (;;) {
        while (i < n && has_class(src[i], kBlank)) ++i;
        if (i + 1 < n && src[i] == '-' && src[i + 1] == '-') {
            const void* lf = std::memchr(src.data() + i, '\n', n - i);
            i = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - src.data()) : n;
            continue;
        }
        return i;
    }
}

constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;
constexpr int max_exact_power = 22;

constexpr std::array<double, max_exact_power + 1> exact_powers_of_ten = [] {
    std::array<double, max_exact_power + 1> powers{};
    double p = 1.0;
    for (double& power : powers) {
        power = p;
        p *= 10.0;
    }
    return powers;
}();

inline std::uint64_t digit_value(char c) { return static_cast<std::uint64_t>(c - '0'); }

// One number of a folded list starting at `i`, scanned and converted in one pass. Gives the end
// of the lexeme, or nullopt when the text is not a plain number lex_all would give as one token
// followed by a blank, "," or "]", or when its value is out of range or not finite.
std::optional<std::size_t> read_list_number(std::string_view src, std::size_t i, LexedNumber& out) {
    const std::size_t start = i;
    const std::size_t n = src.size();
    const bool negative = i < n && src[i] == '-';
    if (negative) ++i;
    std::uint64_t mantissa = 0;
    std::size_t digits = 0;  // every digit read into the mantissa, leading zeros included
    const std::size_t int_begin = i;
    for (; i < n && has_class(src[i], kDigit); ++i, ++digits) mantissa = mantissa * 10 + digit_value(src[i]);
    if (i == int_begin) return std::nullopt;
    bool is_float = false;
    int power = 0;
    if (i + 1 < n && src[i] == '.' && has_class(src[i + 1], kDigit)) {
        is_float = true;
        for (++i; i < n && has_class(src[i], kDigit); ++i, ++digits, --power) {
            mantissa = mantissa * 10 + digit_value(src[i]);
        }
    }
    if (i < n && (src[i] == 'e' || src[i] == 'E')) {
        is_float = true;
        ++i;
        const bool negative_exponent = i < n && src[i] == '-';
        if (i < n && (src[i] == '+' || src[i] == '-')) ++i;
        if (i == n || !has_class(src[i], kDigit)) return std::nullopt;
        int exponent = 0;
        for (; i < n && has_class(src[i], kDigit); ++i) {
            if (exponent < 100'000) exponent = exponent * 10 + (src[i] - '0');
        }
        power += negative_exponent ? -exponent : exponent;
    }
    if (i < n && src[i] != ',' && src[i] != ']' && !has_class(src[i], kBlank)) return std::nullopt;
    const std::string_view lexeme = src.substr(start, i - start);
    if (!is_float) {
        // Up to 18 digits always fit an int64; longer ones take the library reader.
        if (digits <= 18) {
            const auto magnitude = static_cast<std::int64_t>(mantissa);
            out = {std::bit_cast<std::uint64_t>(negative ? -magnitude : magnitude), LexedNumber::Kind::Int};
            return i;
        }
        const char* end = lexeme.data() + lexeme.size();
        std::int64_t wide = 0;
        if (auto [p, ec] = std::from_chars(lexeme.data(), end, wide); ec == std::errc{} && p == end) {
            out = {std::bit_cast<std::uint64_t>(wide), LexedNumber::Kind::Int};
            return i;
        }
        std::uint64_t unsigned_wide = 0;
        if (auto [p, ec] = std::from_chars(lexeme.data(), end, unsigned_wide); ec == std::errc{} && p == end) {
            out = {unsigned_wide, LexedNumber::Kind::UInt};
            return i;
        }
        return std::nullopt;
    }
    double value = 0.0;
    if (digits <= 19 && mantissa <= max_exact_mantissa && power >= -max_exact_power && power <= max_exact_power) {
        // Both operands are exact doubles, so one rounded operation gives the nearest double.
        const auto exact = static_cast<double>(mantissa);
        value = power < 0 ? exact / exact_powers_of_ten[-power] : exact * exact_powers_of_ten[power];
        if (negative) value = -value;
    } else {
        const char* end = lexeme.data() + lexeme.size();
        auto [p, ec] = std::from_chars(lexeme.data(), end, value);
        // Underflow, overflow and infinity keep the messages and rules of the token path.
        if (ec != std::errc{} || p != end || !std::isfinite(value)) return std::nullopt;
    }
    out = {std::bit_cast<std::uint64_t>(value), LexedNumber::Kind::Float};
    return i;
}

std::size_t skip_plain_blanks(std::string_view src, std::size_t i) {
    while (i < src.size() && has_class(src[i], kBlank)) ++i;
    return i;
}

// The numbers of a list whose "[" ends at `i`, appended to `numbers`; gives the offset of its
// "]", or nullopt (with `numbers` left longer) when the list is not a flat list of plain numbers.
std::optional<std::size_t> read_number_list(std::string_view src, std::size_t i, std::vector<LexedNumber>& numbers) {
    for (;;) {
        i = skip_plain_blanks(src, i);
        LexedNumber number;
        std::optional<std::size_t> end = read_list_number(src, i, number);
        if (!end) return std::nullopt;
        numbers.push_back(number);
        i = skip_plain_blanks(src, *end);
        if (i >= src.size()) return std::nullopt;
        if (src[i] == ']') return i;
        if (src[i] != ',') return std::nullopt;
        ++i;
    }
}

}  // namespace

std::optional<TokenKind> lookup_keyword(std::string_view word) {
    if (word.empty() || word.size() > max_keyword_len) return std::nullopt;
    return lookup_folded_keyword(fold_name(word));
}

namespace {

std::optional<TokenKind> lookup_folded_keyword(const FoldedName& folded) {
    std::size_t slot = keyword_slot(folded);
    while (std::uint8_t entry = keyword_table[slot]) {
        if (folded_keywords[entry - 1] == folded) return static_cast<TokenKind>(entry - 1);
        slot = (slot + 1) & (keyword_slots - 1);
    }
    return std::nullopt;
}

}  // namespace

std::string_view token_kind_name(TokenKind kind) {
    auto value = static_cast<std::size_t>(kind);
    if (value < keyword_names.size()) return keyword_names[value];
    static constexpr std::array<std::string_view, token_kind_count - keyword_count> others = {
        "*",      "IDENTIFIER", "STRING", "LBRACE", "RBRACE",     "LBRACKET", "RBRACKET", "LPAREN",
        "RPAREN", "COLON",      "COMMA",  "EQUALS", "NOT_EQUALS", "GT",       "GTE",      "LT",
        "LTE",    "PLUS",       "MINUS",  "SLASH",  "SEMICOLON",  "QUESTION", "EOF"};
    static_assert(others.back() == "EOF", "one name for every kind after the keywords");
    value -= keyword_names.size();
    return value < others.size() ? others[value] : "EOF";
}

Result<Token> Lexer::next_token() {
    if (stopped) return Token{source.substr(position, 0), Span{position, position}, position, TokenKind::Eof};
    const std::size_t i = skip_blanks(source, position);
    position = i;
    if (i >= source.size()) return Token{source.substr(i, 0), Span{i, i}, i, TokenKind::Eof};
    ZorvError err;
    Token token = scan_token(source, i, err);
    if (token.kind == TokenKind::Eof) [[unlikely]] {
        stopped = true;
        return std::unexpected(std::move(err));
    }
    position = token.span.end;
    return token;
}

namespace {

// A negative number token: split off its minus when it follows an operand ("a -1" is a
// subtraction, not a negative literal).
void push_signed_number(std::vector<Token>& tokens, const Token& tok) {
    if (!tokens.empty() && splits_minus_after(tokens.back().kind) && tok.is_number()) {
        const std::uint64_t s = tok.span.start;
        tokens.push_back(Token{tok.text.substr(0, 1), Span{s, s + 1}, s, TokenKind::Minus});
        tokens.push_back(Token{tok.text.substr(1), Span{s + 1, tok.span.end}, s + 1, tok.kind});
        return;
    }
    tokens.push_back(tok);
}

// Appends `tok`; the rare signed number takes the slow path, so that this one stays small enough
// to inline into the lexing loops.
void push_token(std::vector<Token>& tokens, const Token& tok) {
    if (tok.text.size() > 1 && tok.text.front() == '-') [[unlikely]] {
        push_signed_number(tokens, tok);
        return;
    }
    tokens.push_back(tok);
}

}  // namespace

Result<std::vector<Token>> lex_all(std::string_view text) {
    std::vector<Token> tokens;
    // Typical statements average about four bytes a token; one allocation covers them.
    tokens.reserve(text.size() / 4 + 1);
    ZorvError err;
    std::size_t i = skip_blanks(text, 0);
    while (i < text.size()) {
        Token tok = scan_token(text, i, err);
        if (tok.kind == TokenKind::Eof) [[unlikely]]
            return std::unexpected(std::move(err));
        i = skip_blanks(text, tok.span.end);
        push_token(tokens, tok);
    }
    return tokens;
}

Result<LexedTokens> lex_for_parser(std::string_view text) {
    LexedTokens out;
    ZORV_CHECK(lex_for_parser_into(text, out));
    return out;
}

Result<void> lex_for_parser_into(std::string_view text, LexedTokens& out) {
    out.tokens.clear();
    out.numbers.clear();
    out.lists.clear();
    // Short statements get one allocation; bulk text, whose folded lists leave few tokens,
    // grows as it needs rather than reserving for a token every four bytes.
    out.tokens.reserve(std::min<std::size_t>(text.size() / 4 + 1, 256));
    std::vector<Token>& tokens = out.tokens;
    bool sized_numbers = false;
    ZorvError err;
    std::size_t i = skip_blanks(text, 0);
    while (i < text.size()) {
        Token tok = scan_token(text, i, err);
        if (tok.kind == TokenKind::Eof) [[unlikely]]
            return std::unexpected(std::move(err));
        if (tok.kind == TokenKind::LBracket) {
            tokens.push_back(tok);
            const std::size_t first = out.numbers.size();
            if (!sized_numbers) {
                // Sized for the rest of the text as bulk numbers, so vector rows do not regrow it.
                out.numbers.reserve((text.size() - i) / 6 + 16);
                sized_numbers = true;
            }
            if (std::optional<std::size_t> close = read_number_list(text, tok.span.end, out.numbers)) {
                out.lists.push_back(FoldedList{tokens.size() - 1, first, out.numbers.size() - first});
                tokens.push_back(Token{text.substr(*close, 1), Span{*close, *close + 1}, *close, TokenKind::RBracket});
                i = skip_blanks(text, *close + 1);
            } else {
                out.numbers.resize(first);
                i = skip_blanks(text, tok.span.end);
            }
            continue;
        }
        i = skip_blanks(text, tok.span.end);
        push_token(tokens, tok);
    }
    return {};
}

}  // namespace zorv::core
