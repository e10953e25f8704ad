#include "core/params/scan.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "core/ast/walk.h"
#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "core/quoting.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// The shard keys a collection's PARAMS lists: values of the collection, unlike the SHARD clause
// that routes a statement.
std::vector<const ShardKey*> listed_shard_keys(const Statement& statement) {
    std::vector<const ShardKey*> keys;
    walk(statement, [&keys](const CollectionParamsSettings& params) {
        if (!params.shard_keys) return;
        for (const ShardKey& key : *params.shard_keys) keys.push_back(&key);
    });
    return keys;
}

bool is_structural(const ConstPlaceholderSlot& slot, const std::vector<const ShardKey*>& listed_keys) {
    return std::visit(Overloaded{
                          [](const UpsertRow*) { return true; },
                          [](const PointVectors*) { return true; },
                          [](const VectorValue*) { return true; },
                          [](const QueryInput*) { return true; },
                          [&listed_keys](const ShardKey* key) {
                              return std::find(listed_keys.begin(), listed_keys.end(), key) == listed_keys.end();
                          },
                          [](const auto*) { return false; },
                      },
                      slot.owner);
}

ZorvError missing_value_error(const Placeholder& p) {
    std::string message = p.is_named() ? "missing value for named parameter ':" + p.name + "'"
                                       : "missing value for positional parameter '?" + std::to_string(p.index) + "'";
    return make_error(Diag::BindMissingParam, std::move(message), p.span.get());
}

// Word and number tokens as the lexer reads them, for telling whether an `r` starts a token.
bool is_word_start(char c) { return is_ascii_letter(c) || c == '_' || c == '$'; }
bool is_word_part(char c) { return is_word_start(c) || is_digit(c); }

std::size_t word_end(std::string_view s, std::size_t i) {
    const auto at = [&](std::size_t k) { return k < s.size() ? s[k] : '\0'; };
    const auto name_start = [&](std::size_t k) { return k < s.size() && (is_ascii_letter(s[k]) || s[k] == '_'); };
    while (i < s.size() && is_word_part(s[i])) ++i;
    for (;;) {
        std::size_t ext = 0;
        if (at(i) == '.' && name_start(i + 1)) {
            ext = 1;
        } else if (at(i) == '[' && at(i + 1) == ']' && at(i + 2) == '.' && name_start(i + 3)) {
            ext = 3;
        }
        if (ext == 0) return i;
        i += ext;
        while (i < s.size() && is_word_part(s[i])) ++i;
    }
}

std::size_t number_end(std::string_view s, std::size_t i) {
    const auto digit_at = [&](std::size_t k) { return k < s.size() && is_digit(s[k]); };
    while (digit_at(i)) ++i;
    if (i < s.size() && s[i] == '.' && digit_at(i + 1)) {
        ++i;
        while (digit_at(i)) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t k = i + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (!digit_at(k)) return i;  // the lexer refuses the text here anyway
        while (digit_at(k)) ++k;
        i = k;
    }
    return i;
}

// Whether a token starts at `p`: back up over the bytes a word or number may span, then read
// tokens forward as the lexer does and see whether one begins exactly at `p`.
bool starts_token(std::string_view text, std::size_t p) {
    std::size_t b = p;
    while (b > 0) {
        const char c = text[b - 1];
        if (!is_word_part(c) && c != '.' && c != '[' && c != ']') break;
        --b;
    }
    std::size_t i = b;
    while (i < p) {
        const char c = text[i];
        if (is_digit(c)) {
            const std::size_t end = number_end(text, i);
            i = end > i ? end : i + 1;
        } else if (is_word_start(c)) {
            i = word_end(text, i);
        } else {
            ++i;
        }
    }
    return i == p;
}

}  // namespace

PlaceholderSet scan_placeholders(const Statement& statement) {
    PlaceholderSet set;
    const std::vector<const ShardKey*> listed_keys = listed_shard_keys(statement);
    for (const ConstPlaceholderSlot& slot : placeholder_slots(statement)) {
        const Placeholder& p = *slot.placeholder;
        if (p.is_named()) {
            set.named.insert(p.name);
        } else if (p.index >= set.positional_count) {
            set.positional_count = p.index + 1;
        }
        if (std::holds_alternative<const UpsertRow*>(slot.owner)) set.has_row_placeholder = true;
        const bool value_slot = !is_structural(slot, listed_keys);
        if (!set.first_unbound) set.first_unbound = missing_value_error(p);
        if (value_slot && !set.first_unbound_value) set.first_unbound_value = missing_value_error(p);
    }
    return set;
}

PlaceholderNames placeholder_names(const Statement& statement) {
    PlaceholderSet set = scan_placeholders(statement);
    return PlaceholderNames{std::move(set.named), set.positional_count};
}

Result<void> ensure_fully_bound(const Statement& statement) {
    PlaceholderSet set = scan_placeholders(statement);
    if (set.first_unbound) return std::unexpected(std::move(*set.first_unbound));
    return {};
}

Result<void> check_placeholders(const Statement& statement) {
    PlaceholderSet set = scan_placeholders(statement);
    if (set.first_unbound_value) return std::unexpected(std::move(*set.first_unbound_value));
    return {};
}

std::optional<std::size_t> scan_placeholder_text(std::string_view text, std::size_t p) {
    if (p >= text.size()) return std::nullopt;
    if (text[p] == 'r' && !starts_token(text, p)) return std::nullopt;
    std::optional<QuotedRegion> region = scan_quoted(text, p);
    if (!region) return std::nullopt;
    return region->end;
}

std::vector<std::pair<std::size_t, std::size_t>> placeholder_text_regions(std::string_view text) {
    std::vector<std::pair<std::size_t, std::size_t>> regions;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::optional<std::size_t> end = scan_placeholder_text(text, i)) {
            regions.emplace_back(i, *end);
            i = *end;
        } else if (text[i] == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            const std::size_t lf = text.find('\n', i);
            i = lf == std::string_view::npos ? text.size() : lf;
        } else {
            ++i;
        }
    }
    return regions;
}

}  // namespace zorv::core
