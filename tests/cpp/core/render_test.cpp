// Shortened vector literals in display text.
#include <gtest/gtest.h>

#include <cctype>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/params/render.h"

namespace zorv::core {
namespace {

struct TruncateCase {
    std::string text;
    std::string shown;
};

TEST(TruncateVectors, ShortensNumericListsAndLeavesTheRest) {
    const std::vector<TruncateCase> cases = {
        {"[0.1, 0.2, 0.3, 0.4]", "[0.1, 0.2, ... (4 dims)]"},
        {"[1, 2, 3]", "[1, 2, ... (3 dims)]"},
        {"[1, 2]", "[1, 2]"},
        {"[]", "[]"},
        {"[ -1 ,2e-3,  +4 ,5 ]", "[-1, 2e-3, ... (4 dims)]"},
        {"[1,,2,3,]", "[1, 2, ... (3 dims)]"},
        {"[[1,2,3],[4,5,6]]", "[[1, 2, ... (3 dims)],[4, 5, ... (3 dims)]]"},
        {"[1\n,\t2,\r3\f]", "[1, 2, ... (3 dims)]"},
        {"[5., .5, -1E+3]", "[5., .5, ... (3 dims)]"},
        // non-numbers and non-numeric bytes keep the list
        {"[1, 2, 'a']", "[1, 2, 'a']"},
        {"[1, 2, :v]", "[1, 2, :v]"},
        {"[1, 2, NULL]", "[1, 2, NULL]"},
        {"[1-2, 3, 4]", "[1-2, 3, 4]"},
        {"[e, 1, 2]", "[e, 1, 2]"},
        {"[.., 1, 2]", "[.., 1, 2]"},
        {"[1e, 2, 3]", "[1e, 2, 3]"},
        {"[1, 2, 3 -- note\n]", "[1, 2, 3 -- note\n]"},
        // brackets in quoted texts and comments are not lists
        {"'[1, 2, 3]'", "'[1, 2, 3]'"},
        {"\"[1, 2, 3]\"", "\"[1, 2, 3]\""},
        {"`[1, 2, 3]`", "`[1, 2, 3]`"},
        {"r'[1,2,3]'", "r'[1,2,3]'"},
        {"'''x ' [1,2,3] '''", "'''x ' [1,2,3] '''"},
        {"'it''s [1,2,3]'", "'it''s [1,2,3]'"},
        {"'a\\' [1,2,3]'", "'a\\' [1,2,3]'"},
        {"-- [1, 2, 3]\n[1, 2, 3]", "-- [1, 2, 3]\n[1, 2, ... (3 dims)]"},
        {"[1, 2, 3] -- [4, 5, 6]", "[1, 2, ... (3 dims)] -- [4, 5, 6]"},
        {"q -- [1, 2, 3]\nVECTOR [1, 2, 3]", "q -- [1, 2, 3]\nVECTOR [1, 2, ... (3 dims)]"},
        // unclosed lists are copied, inner closed ones still examined
        {"QUERY [1, 2, 3", "QUERY [1, 2, 3"},
        {"[[1, 2, 3]", "[[1, 2, ... (3 dims)]"},
        {"[1, 'abc", "[1, 'abc"},
        {"x [", "x ["},
        {"] [1,2,3] ]", "] [1, 2, ... (3 dims)] ]"},
        {"[a [1,2,3] ]", "[a [1, 2, ... (3 dims)] ]"},
        {"QUERY VECTOR [0.5, 1.0, 2.0] FROM c WHERE t IN ['a', 'b', 'c']",
         "QUERY VECTOR [0.5, 1.0, ... (3 dims)] FROM c WHERE t IN ['a', 'b', 'c']"},
    };
    for (const auto& c : cases) EXPECT_EQ(truncate_vector_literals(c.text, 2), c.shown) << c.text;
}

// The rule as written, rescanning every candidate from its bracket: quadratic, but the
// one-pass implementation must agree with it on every text.
std::optional<std::size_t> reference_skip(std::string_view t, std::size_t p) {
    const std::size_t n = t.size();
    const char c = t[p];
    if (c == '\'' || c == '"') {
        if (p + 6 <= n && t[p + 1] == c && t[p + 2] == c) {
            std::size_t close = t.find(std::string(3, c), p + 3);
            if (close != std::string_view::npos) return close + 3;
        }
        for (std::size_t i = p + 1; i < n; ++i) {
            if (t[i] == '\\') {
                ++i;
            } else if (t[i] == c) {
                if (c == '\'' && i + 1 < n && t[i + 1] == '\'') {
                    ++i;
                } else {
                    return i + 1;
                }
            }
        }
        return n;
    }
    if (c == '`' || (c == 'r' && p + 1 < n && (t[p + 1] == '\'' || t[p + 1] == '"'))) {
        const std::size_t from = c == '`' ? p + 1 : p + 2;
        std::size_t close = t.find(c == '`' ? '`' : t[p + 1], from);
        return close == std::string_view::npos ? n : close + 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> reference_comment_end(std::string_view t, std::size_t p) {
    if (t[p] != '-' || p + 1 >= t.size() || t[p + 1] != '-') return std::nullopt;
    std::size_t lf = t.find('\n', p);
    return lf == std::string_view::npos ? t.size() : lf;
}

std::optional<std::string> reference_shorten(std::string_view body) {
    std::vector<std::string> pieces;
    std::string cur;
    auto flush = [&] {
        std::size_t b = cur.find_first_not_of(" \t\n\f\r");
        if (b != std::string::npos) pieces.push_back(cur.substr(b, cur.find_last_not_of(" \t\n\f\r") - b + 1));
        cur.clear();
    };
    for (char c : body) {
        if (c == ',') flush();
        else cur += c;
    }
    flush();
    if (pieces.size() <= 2) return std::nullopt;
    for (const auto& piece : pieces) {
        std::size_t i = (piece[0] == '+' || piece[0] == '-') ? 1 : 0;
        std::size_t digits = 0;
        while (i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i]))) ++i, ++digits;
        if (i < piece.size() && piece[i] == '.') {
            ++i;
            while (i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i]))) ++i, ++digits;
        }
        if (digits == 0) return std::nullopt;
        if (i < piece.size() && (piece[i] == 'e' || piece[i] == 'E')) {
            ++i;
            if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) ++i;
            std::size_t exp = 0;
            while (i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i]))) ++i, ++exp;
            if (exp == 0) return std::nullopt;
        }
        if (i != piece.size()) return std::nullopt;
    }
    return "[" + pieces[0] + ", " + pieces[1] + ", ... (" + std::to_string(pieces.size()) + " dims)]";
}

std::string reference_truncate(std::string_view t) {
    std::string out;
    std::size_t p = 0;
    while (p < t.size()) {
        std::optional<std::size_t> skip = reference_skip(t, p);
        if (!skip) skip = reference_comment_end(t, p);
        if (skip) {
            out.append(t.substr(p, *skip - p));
            p = *skip;
            continue;
        }
        if (t[p] == '[' && p + 1 < t.size()) {
            std::size_t q = p + 1;
            int depth = 1;
            bool mark = true;
            std::optional<std::size_t> close;
            while (q < t.size()) {
                std::optional<std::size_t> inner = reference_skip(t, q);
                if (!inner) inner = reference_comment_end(t, q);
                if (inner) {
                    mark = false;
                    q = *inner;
                    continue;
                }
                if (t[q] == '[') {
                    ++depth;
                    mark = false;
                } else if (t[q] == ']' && --depth == 0) {
                    close = q;
                    break;
                } else if (std::string_view("0123456789+,-.eE \t\n\f\r").find(t[q]) == std::string_view::npos) {
                    mark = false;
                }
                ++q;
            }
            if (close && mark) {
                if (auto shortened = reference_shorten(t.substr(p + 1, *close - p - 1))) {
                    out += *shortened;
                    p = *close + 1;
                    continue;
                }
            }
        }
        out += t[p++];
    }
    return out;
}

TEST(TruncateVectors, AgreesWithTheRescanningRuleOnRandomTexts) {
    const std::string alphabet = "[[[]]],,, 1 2.e-+'\"`r\nx:--";
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 50000; ++round) {
        std::string text;
        for (int i = length(rng); i > 0; --i) text += alphabet[pick(rng)];
        ASSERT_EQ(truncate_vector_literals(text, 2), reference_truncate(text)) << text;
    }
}

TEST(TruncateVectors, KeepCountDecidesTheLength) {
    EXPECT_EQ(truncate_vector_literals("[1, 2, 3, 4]", 3), "[1, 2, 3, ... (4 dims)]");
    EXPECT_EQ(truncate_vector_literals("[1, 2, 3]", 3), "[1, 2, 3]");
}

TEST(TruncateVectors, ManyVectorsAndDeepBracketsStayLinear) {
    std::string deep(100000, '[');
    EXPECT_TRUE(truncate_vector_literals(deep, 2) == deep);

    std::string nested = deep + "1,2,3" + std::string(100000, ']');
    std::string expected = std::string(99999, '[') + "[1, 2, ... (3 dims)]" + std::string(99999, ']');
    EXPECT_TRUE(truncate_vector_literals(nested, 2) == expected);

    std::string row;
    std::string shown;
    for (int i = 0; i < 2000; ++i) {
        row += "[1.5,2,3,4],";
        shown += "[1.5, 2, ... (4 dims)],";
    }
    EXPECT_TRUE(truncate_vector_literals(row, 2) == shown);
}

}  // namespace
}  // namespace zorv::core
