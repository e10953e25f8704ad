#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/grpc_route/ddl_words.h"
#include "runtime/grpc_route/index_params.h"

namespace zorv::runtime::rpc {
namespace {

// Either the protobuf number or the refusal's message.
struct Expect {
    int number = -1;
    std::string message;
};

template <class T>
Expect outcome(const core::Result<T>& result) {
    if (result) return Expect{static_cast<int>(*result), ""};
    EXPECT_EQ(result.error().code, "ZORV-GRPC-DDL-WORD");
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_FALSE(result.error().span.has_value());
    EXPECT_TRUE(result.error().fields.empty());
    return Expect{-1, result.error().message};
}

struct WordCase {
    std::string setting;
    std::string word;
    Expect expect;
};

Expect convert_word(const WordCase& c) {
    if (c.setting == "compression") return outcome(compression_to_proto(c.word));
    if (c.setting == "encoding") return outcome(binary_encoding_to_proto(c.word));
    if (c.setting == "query") return outcome(query_encoding_to_proto(c.word));
    if (c.setting == "bits") return outcome(turbo_bits_to_proto(c.word));
    return outcome(replica_state_to_proto(c.word));
}

TEST(GrpcDdlWords, EverySpellingMapsAndNothingElseDoes) {
    const std::string compression = " on the gRPC path; use x4, x8, x16, x32, or x64";
    const std::string encoding = " on the gRPC path; use one_bit, two_bits, or one_and_half_bits";
    const std::string query = " on the gRPC path; use default, binary, scalar4bits, or scalar8bits";
    const std::string bits = " on the gRPC path; use bits1, bits1_5, bits2, or bits4";
    const std::vector<WordCase> cases = {
        {"compression", "x4", {0, ""}},
        {"compression", "x8", {1, ""}},
        {"compression", "x16", {2, ""}},
        {"compression", "x32", {3, ""}},
        {"compression", "x64", {4, ""}},
        {"compression", "X16", {-1, "unsupported product compression 'X16'" + compression}},
        {"compression", "x128", {-1, "unsupported product compression 'x128'" + compression}},
        {"compression", "", {-1, "unsupported product compression ''" + compression}},
        {"encoding", "one_bit", {0, ""}},
        {"encoding", "1", {0, ""}},
        {"encoding", "TWO_BITS", {1, ""}},
        {"encoding", "2", {1, ""}},
        {"encoding", "One_And_Half_Bits", {2, ""}},
        {"encoding", "1.5", {2, ""}},
        {"encoding", "three_bits", {-1, "unsupported binary encoding 'three_bits'" + encoding}},
        {"encoding", "", {-1, "unsupported binary encoding ''" + encoding}},
        {"query", "default", {0, ""}},
        {"query", "Binary", {1, ""}},
        {"query", "scalar4bits", {2, ""}},
        {"query", "scalar4", {2, ""}},
        {"query", "SCALAR8BITS", {3, ""}},
        {"query", "SCALAR8", {3, ""}},
        {"query", "scalar2", {-1, "unsupported query encoding 'scalar2'" + query}},
        {"query", "", {-1, "unsupported query encoding ''" + query}},
        {"bits", "bits1", {0, ""}},
        {"bits", "1", {0, ""}},
        {"bits", "bits1_5", {1, ""}},
        {"bits", "1.5", {1, ""}},
        {"bits", "BITS2", {2, ""}},
        {"bits", "2", {2, ""}},
        {"bits", "Bits4", {3, ""}},
        {"bits", "4", {3, ""}},
        {"bits", "bits3", {-1, "unsupported turbo bits 'bits3'" + bits}},
        {"bits", "3", {-1, "unsupported turbo bits '3'" + bits}},
        {"bits", "", {-1, "unsupported turbo bits ''" + bits}},
        {"state", "Active", {0, ""}},
        {"state", "listener", {4, ""}},
        {"state", "ManualRecovery", {10, ""}},
        {"state",
         "Sleeping",
         {-1,
          "unsupported replica state 'Sleeping' on the gRPC path; use Active, Dead, Partial, Initializing, "
          "Listener, PartialSnapshot, Recovery, Resharding, ReshardingScaleDown, ActiveRead, or ManualRecovery"}},
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(c.setting + " '" + c.word + "'");
        const Expect got = convert_word(c);
        EXPECT_EQ(got.number, c.expect.number);
        EXPECT_EQ(got.message, c.expect.message);
    }
}

struct CodeCase {
    std::string name;
    std::function<Expect()> convert;
    Expect expect;
};

TEST(GrpcDdlWords, PlanCodesMapByTableAndCodesPastItAreRefused) {
    using plan::PlanDatatype;
    using plan::PlanDistance;
    using plan::PlanTokenizer;
    using plan::StorageTier;
    const std::vector<CodeCase> cases = {
        {"cosine", [] { return outcome(distance_to_proto(PlanDistance::Cosine)); }, {1, ""}},
        {"dot", [] { return outcome(distance_to_proto(PlanDistance::Dot)); }, {3, ""}},
        {"euclid", [] { return outcome(distance_to_proto(PlanDistance::Euclid)); }, {2, ""}},
        {"manhattan", [] { return outcome(distance_to_proto(PlanDistance::Manhattan)); }, {4, ""}},
        {"distance 4",
         [] { return outcome(distance_to_proto(static_cast<PlanDistance>(4))); },
         {-1, "unsupported distance 'code 4' on the gRPC path; use Cosine, Dot, Euclid, or Manhattan"}},
        {"float32", [] { return outcome(datatype_to_proto(PlanDatatype::Float32)); }, {1, ""}},
        {"float16", [] { return outcome(datatype_to_proto(PlanDatatype::Float16)); }, {3, ""}},
        {"uint8", [] { return outcome(datatype_to_proto(PlanDatatype::Uint8)); }, {2, ""}},
        {"turbo4", [] { return outcome(datatype_to_proto(PlanDatatype::Turbo4)); }, {4, ""}},
        {"datatype 9",
         [] { return outcome(datatype_to_proto(static_cast<PlanDatatype>(9))); },
         {-1, "unsupported datatype 'code 9' on the gRPC path; use float32, float16, uint8, or turbo4"}},
        {"cold", [] { return outcome(tier_to_proto(StorageTier::Cold)); }, {1, ""}},
        {"cached", [] { return outcome(tier_to_proto(StorageTier::Cached)); }, {2, ""}},
        {"pinned", [] { return outcome(tier_to_proto(StorageTier::Pinned)); }, {3, ""}},
        {"tier 3",
         [] { return outcome(tier_to_proto(static_cast<StorageTier>(3))); },
         {-1, "unsupported storage tier 'code 3' on the gRPC path; use cold, cached, or pinned"}},
        {"prefix", [] { return outcome(tokenizer_to_proto(PlanTokenizer::Prefix)); }, {1, ""}},
        {"whitespace", [] { return outcome(tokenizer_to_proto(PlanTokenizer::Whitespace)); }, {2, ""}},
        {"word", [] { return outcome(tokenizer_to_proto(PlanTokenizer::Word)); }, {3, ""}},
        {"multilingual", [] { return outcome(tokenizer_to_proto(PlanTokenizer::Multilingual)); }, {4, ""}},
        {"tokenizer 4",
         [] { return outcome(tokenizer_to_proto(static_cast<PlanTokenizer>(4))); },
         {-1, "unsupported tokenizer 'code 4' on the gRPC path; use prefix, whitespace, word, or multilingual"}},
        {"keyword", [] { return outcome(field_type_to_proto(plan::PlanIndexType::Keyword)); }, {0, ""}},
        {"uuid", [] { return outcome(field_type_to_proto(plan::PlanIndexType::Uuid)); }, {7, ""}},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Expect got = c.convert();
        EXPECT_EQ(got.number, c.expect.number);
        EXPECT_EQ(got.message, c.expect.message);
    }
}

// A field type past the table must not become a uuid index.
TEST(GrpcDdlWords, FieldTypePastTheTableIsRefusedNotUuid) {
    plan::PlanFieldIndex index;
    index.field_name = "f";
    index.field_type = static_cast<plan::PlanIndexType>(8);
    qdrant::PayloadIndexParams params;
    auto converted = field_index_params_to_proto(index, params);
    ASSERT_FALSE(converted.has_value());
    EXPECT_EQ(converted.error().code, "ZORV-GRPC-DDL-WORD");
    EXPECT_EQ(converted.error().message,
              "unsupported field type 'code 8' on the gRPC path; use keyword, integer, float, geo, text, bool, "
              "datetime, or uuid");
    EXPECT_FALSE(params.has_uuid_index_params());
}

}  // namespace
}  // namespace zorv::runtime::rpc
