#include "embed/murmur3.h"

#include <bit>

namespace zorv::embed {

namespace {

constexpr std::uint32_t c1 = 0xcc9e2d51;
constexpr std::uint32_t c2 = 0x1b873593;

constexpr std::uint32_t mix_block(std::uint32_t k1) {
    k1 *= c1;
    k1 = std::rotl(k1, 15);
    return k1 * c2;
}

constexpr std::uint32_t fmix32(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x85ebca6b;
    h ^= h >> 13;
    h *= 0xc2b2ae35;
    h ^= h >> 16;
    return h;
}

constexpr std::uint32_t absorb(std::uint32_t h1, std::uint32_t block) {
    h1 ^= mix_block(block);
    h1 = std::rotl(h1, 13);
    return h1 * 5 + 0xe6546b64;
}

constexpr std::uint32_t finish(std::uint32_t h1, std::uint32_t tail, std::uint32_t tail_len, std::uint32_t total) {
    if (tail_len != 0) h1 ^= mix_block(tail);
    return fmix32(h1 ^ total);
}

}  // namespace

void Murmur3Stream::append(std::string_view bytes) {
    for (const char c : bytes) {
        tail_ |= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << (8 * tail_len_);
        if (++tail_len_ == 4) {
            h1_ = absorb(h1_, tail_);
            tail_ = 0;
            tail_len_ = 0;
        }
    }
    total_ += static_cast<std::uint32_t>(bytes.size());
}

std::uint32_t Murmur3Stream::hash() const { return finish(h1_, tail_, tail_len_, total_); }

std::uint32_t murmur3_x86_32(std::string_view bytes, std::uint32_t seed) {
    std::uint32_t h1 = seed;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t blocks = bytes.size() / 4;
    for (std::size_t i = 0; i < blocks; ++i) {
        const unsigned char* p = data + 4 * i;
        h1 = absorb(h1, std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                            std::uint32_t{p[3]} << 24);
    }
    std::uint32_t tail = 0;
    const std::uint32_t tail_len = bytes.size() & 3;
    for (std::uint32_t i = 0; i < tail_len; ++i) tail |= std::uint32_t{data[4 * blocks + i]} << (8 * i);
    // The length enters modulo 2^32, as in the reference.
    return finish(h1, tail, tail_len, static_cast<std::uint32_t>(bytes.size()));
}

std::uint32_t bm25_index_of_hash(std::uint32_t hash) {
    // |h| of the signed reading, with wrap-around: -2^31 stays 2^31 when read unsigned.
    return (hash & 0x80000000u) != 0 ? 0u - hash : hash;
}

std::uint32_t bm25_token_index(std::string_view token) { return bm25_index_of_hash(murmur3_x86_32(token)); }

}  // namespace zorv::embed
