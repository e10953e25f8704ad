// MurmurHash3 x86 32-bit (seed 0 for BM25), whole and incremental, and the BM25 token index.
#pragma once

#include <cstdint>
#include <string_view>

namespace zorv::embed {

std::uint32_t murmur3_x86_32(std::string_view bytes, std::uint32_t seed = 0);

// The index of a token: the absolute value of its hash read as a signed 32-bit number, with
// wrap-around, so -2147483648 gives 2147483648.
std::uint32_t bm25_token_index(std::string_view token);
std::uint32_t bm25_index_of_hash(std::uint32_t hash);

// Hashes a growing text: append bytes, then read the hash of everything appended so far in O(1).
// The prefix tokenizer hashes each prefix of a token this way, so a token costs O(length).
class Murmur3Stream {
public:
    explicit Murmur3Stream(std::uint32_t seed = 0) : h1_(seed) {}

    void append(std::string_view bytes);
    std::uint32_t hash() const;

private:
    std::uint32_t h1_;
    std::uint32_t tail_ = 0;  // the bytes of an unfinished block, little-endian
    std::uint32_t tail_len_ = 0;
    std::uint32_t total_ = 0;
};

}  // namespace zorv::embed
