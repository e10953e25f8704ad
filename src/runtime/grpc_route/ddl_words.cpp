#include "runtime/grpc_route/ddl_words.h"

#include <array>
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "runtime/grpc_route/proto_words.h"

namespace zorv::runtime::rpc {

namespace {

// One accepted spelling and the protobuf number it stands for.
struct Spelling {
    std::string_view word;
    int number;
};

// "a, b, or c"
template <std::size_t N>
std::string word_list(const proto_words::Words<N>& words) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        if (i > 0) out += N > 2 ? ", " : " ";
        if (i + 1 == N && N > 1) out += "or ";
        out += words[i];
    }
    return out;
}

core::ZorvError word_error(std::string_view setting, std::string_view word, const std::string& words) {
    return core::make_error(core::Diag::GrpcDdlWord, "unsupported " + std::string(setting) + " " +
                                                         core::quote_for_message(word) + " on the gRPC path; use " +
                                                         words);
}

template <std::size_t N>
std::optional<int> find_spelling(const std::array<Spelling, N>& spellings, std::string_view word, bool any_case) {
    for (const Spelling& spelling : spellings) {
        if (any_case ? core::equals_ignore_case(word, spelling.word) : word == spelling.word) return spelling.number;
    }
    return std::nullopt;
}

template <class Enum, std::size_t N, std::size_t W>
core::Result<Enum> lookup(const std::array<Spelling, N>& spellings, std::string_view word, bool any_case,
                          std::string_view setting, const proto_words::Words<W>& words) {
    if (auto number = find_spelling(spellings, word, any_case)) return static_cast<Enum>(*number);
    return std::unexpected(word_error(setting, word, word_list(words)));
}

// A plan code past its table: `numbers[code]` is the protobuf number, `words` its names.
template <class Enum, class Code, std::size_t N>
core::Result<Enum> code_to_proto(Code code, const std::array<int, N>& numbers, std::string_view setting,
                                 const proto_words::Words<N>& words) {
    const auto index = static_cast<std::size_t>(code);
    if (index < N) return static_cast<Enum>(numbers[index]);
    return std::unexpected(word_error(setting, "code " + std::to_string(index), word_list(words)));
}

constexpr std::array<Spelling, 5> compression_spellings = {{{"x4", 0}, {"x8", 1}, {"x16", 2}, {"x32", 3}, {"x64", 4}}};
constexpr std::array<Spelling, 6> encoding_spellings = {
    {{"one_bit", 0}, {"1", 0}, {"two_bits", 1}, {"2", 1}, {"one_and_half_bits", 2}, {"1.5", 2}}};
constexpr std::array<Spelling, 6> query_encoding_spellings = {
    {{"default", 0}, {"binary", 1}, {"scalar4bits", 2}, {"scalar4", 2}, {"scalar8bits", 3}, {"scalar8", 3}}};
constexpr std::array<Spelling, 8> bits_spellings = {
    {{"bits1", 0}, {"1", 0}, {"bits1_5", 1}, {"1.5", 1}, {"bits2", 2}, {"2", 2}, {"bits4", 3}, {"4", 3}}};

constexpr proto_words::Words<11> replica_state_words = {
    "Active",          "Dead",     "Partial",    "Initializing",        "Listener",
    "PartialSnapshot", "Recovery", "Resharding", "ReshardingScaleDown", "ActiveRead",
    "ManualRecovery",
};

// In plan order: the plan's codes are not the protobuf numbers.
constexpr proto_words::Words<4> distance_plan_words = {"Cosine", "Dot", "Euclid", "Manhattan"};
constexpr std::array<int, 4> distance_numbers = {1, 3, 2, 4};
constexpr proto_words::Words<4> datatype_plan_words = {"float32", "float16", "uint8", "turbo4"};
constexpr std::array<int, 4> datatype_numbers = {1, 3, 2, 4};
constexpr proto_words::Words<3> tier_plan_words = {"cold", "cached", "pinned"};
constexpr std::array<int, 3> tier_numbers = {1, 2, 3};
constexpr proto_words::Words<4> tokenizer_plan_words = {"prefix", "whitespace", "word", "multilingual"};
constexpr std::array<int, 4> tokenizer_numbers = {1, 2, 3, 4};
constexpr proto_words::Words<8> field_type_plan_words = {"keyword", "integer", "float",    "geo",
                                                         "text",    "bool",    "datetime", "uuid"};
constexpr std::array<int, 8> field_type_numbers = {0, 1, 2, 3, 4, 5, 6, 7};

}  // namespace

core::Result<std::uint32_t> check_uint32(std::string_view setting, std::uint64_t value) {
    if (value <= uint32_max) return static_cast<std::uint32_t>(value);
    return core::fail(core::Diag::GrpcDdlRange,
                      std::string(setting) + " value " + std::to_string(value) +
                          " cannot be represented on the gRPC path: the bundled Qdrant proto stores it as uint32 "
                          "(max " +
                          std::to_string(uint32_max) + ")");
}

core::Result<std::optional<std::uint32_t>> check_uint32(std::string_view setting,
                                                        const std::optional<std::uint64_t>& value) {
    if (!value) return std::optional<std::uint32_t>{};
    auto checked = check_uint32(setting, *value);
    if (!checked) return std::unexpected(std::move(checked).error());
    return std::optional<std::uint32_t>{*checked};
}

core::Result<qdrant::CompressionRatio> compression_to_proto(std::string_view word) {
    return lookup<qdrant::CompressionRatio>(compression_spellings, word, false, "product compression",
                                            proto_words::compression);
}

core::Result<qdrant::BinaryQuantizationEncoding> binary_encoding_to_proto(std::string_view word) {
    return lookup<qdrant::BinaryQuantizationEncoding>(encoding_spellings, word, true, "binary encoding",
                                                      proto_words::encoding);
}

core::Result<qdrant::BinaryQuantizationQueryEncoding::Setting> query_encoding_to_proto(std::string_view word) {
    return lookup<qdrant::BinaryQuantizationQueryEncoding::Setting>(query_encoding_spellings, word, true,
                                                                    "query encoding", proto_words::query_encoding);
}

core::Result<qdrant::TurboQuantBitSize> turbo_bits_to_proto(std::string_view word) {
    return lookup<qdrant::TurboQuantBitSize>(bits_spellings, word, true, "turbo bits", proto_words::bits);
}

core::Result<qdrant::ReplicaState> replica_state_to_proto(std::string_view word) {
    for (std::size_t i = 0; i < replica_state_words.size(); ++i) {
        if (core::equals_ignore_case(word, replica_state_words[i])) return static_cast<qdrant::ReplicaState>(i);
    }
    return std::unexpected(word_error("replica state", word, word_list(replica_state_words)));
}

core::Result<qdrant::Distance> distance_to_proto(plan::PlanDistance distance) {
    return code_to_proto<qdrant::Distance>(distance, distance_numbers, "distance", distance_plan_words);
}

core::Result<qdrant::Datatype> datatype_to_proto(plan::PlanDatatype datatype) {
    return code_to_proto<qdrant::Datatype>(datatype, datatype_numbers, "datatype", datatype_plan_words);
}

core::Result<qdrant::Memory> tier_to_proto(plan::StorageTier tier) {
    return code_to_proto<qdrant::Memory>(tier, tier_numbers, "storage tier", tier_plan_words);
}

core::Result<qdrant::TokenizerType> tokenizer_to_proto(plan::PlanTokenizer tokenizer) {
    return code_to_proto<qdrant::TokenizerType>(tokenizer, tokenizer_numbers, "tokenizer", tokenizer_plan_words);
}

core::Result<int> field_type_to_proto(plan::PlanIndexType type) {
    return code_to_proto<int>(type, field_type_numbers, "field type", field_type_plan_words);
}

}  // namespace zorv::runtime::rpc
