// The Unicode pieces of the BM25 token pipeline: splitting, lower-casing, counting characters.
// ASCII takes a fast path; everything else asks ICU (ICU 72 on Debian 12: Unicode 15.0).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorv::embed {

// Alphabetic, or a number of category Nd, Nl or No: the characters of a Word token.
bool is_word_char(char32_t c);
// The Unicode White_Space property: the separators of the Whitespace tokenizer.
bool is_space_char(char32_t c);

bool is_ascii(std::string_view text);
// Unicode scalar values in UTF-8 text (every byte that does not continue a sequence).
std::size_t char_count(std::string_view text);
// The first `chars` characters of UTF-8 text (all of it when shorter).
std::string_view first_chars(std::string_view text, std::size_t chars);

// Full Unicode lower-casing of a string (one character may become several; a capital sigma that
// ends a word becomes a final sigma), in place.
void lowercase_in_place(std::string& text);

// Calls on_token(std::string_view) for each raw token, in text order. Word tokens are the maximal
// runs of word characters; Whitespace tokens the non-empty pieces between White_Space characters.
template <class OnToken>
void split_words(std::string_view text, OnToken&& on_token);
template <class OnToken>
void split_whitespace(std::string_view text, OnToken&& on_token);

namespace detail {
// Decodes the character at text[at] and moves at past it; an ill-formed sequence reads as -1.
char32_t next_char(std::string_view text, std::size_t& at);
}  // namespace detail

template <class OnToken, class IsPart>
void split_runs(std::string_view text, OnToken& on_token, IsPart is_part) {
    std::size_t start = 0;
    bool in_token = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t here = at;
        const auto byte = static_cast<unsigned char>(text[at]);
        bool part;
        if (byte < 0x80) {
            ++at;
            part = is_part(static_cast<char32_t>(byte));
        } else {
            part = is_part(detail::next_char(text, at));
        }
        if (part && !in_token) {
            start = here;
            in_token = true;
        } else if (!part && in_token) {
            on_token(text.substr(start, here - start));
            in_token = false;
        }
    }
    if (in_token) on_token(text.substr(start));
}

template <class OnToken>
void split_words(std::string_view text, OnToken&& on_token) {
    split_runs(text, on_token, [](char32_t c) { return is_word_char(c); });
}

template <class OnToken>
void split_whitespace(std::string_view text, OnToken&& on_token) {
    split_runs(text, on_token, [](char32_t c) { return !is_space_char(c); });
}

}  // namespace zorv::embed
