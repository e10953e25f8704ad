// The words of Qdrant's collection enumerations, indexed by their protobuf numbers: what a reply's
// number reads as, and the first spelling a request's word is matched against.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace zorv::runtime::rpc::proto_words {

template <std::size_t N>
using Words = std::array<std::string_view, N>;

inline constexpr Words<5> status = {"unknown", "green", "yellow", "red", "grey"};
inline constexpr Words<5> distance = {"UnknownDistance", "Cosine", "Euclid", "Dot", "Manhattan"};
inline constexpr Words<5> datatype = {"default", "float32", "uint8", "float16", "turbo4"};
inline constexpr Words<2> sharding = {"auto", "custom"};
inline constexpr Words<2> modifier = {"none", "idf"};
inline constexpr Words<5> compression = {"x4", "x8", "x16", "x32", "x64"};
inline constexpr Words<3> encoding = {"one_bit", "two_bits", "one_and_half_bits"};
inline constexpr Words<4> query_encoding = {"default", "binary", "scalar4bits", "scalar8bits"};
inline constexpr Words<4> bits = {"bits1", "bits1_5", "bits2", "bits4"};
inline constexpr Words<5> tokenizer = {"unknown", "prefix", "whitespace", "word", "multilingual"};
// Index 0 is the unknown type, which no index has.
inline constexpr Words<9> schema = {"", "keyword", "integer", "float", "geo", "text", "bool", "datetime", "uuid"};

}  // namespace zorv::runtime::rpc::proto_words
