// Payload values, vectors, query inputs and points as Qdrant's messages, and reply usage back.
#include <google/protobuf/text_format.h>
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/grpc_route/usage.h"
#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {
namespace {

using core::Literal;
using core::VectorValue;

template <class Message>
void expect_message(const core::Result<Message>& got, const std::string& text) {
    ASSERT_TRUE(got) << got.error().code << ": " << got.error().message;
    Message expected;
    ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &expected)) << text;
    EXPECT_TRUE(google::protobuf::util::MessageDifferencer::Equals(*got, expected)) << "got:\n"
                                                                                    << got->DebugString() << "want:\n"
                                                                                    << expected.DebugString();
}

template <class Message>
void expect_error(const core::Result<Message>& got, const std::string& code_and_message) {
    ASSERT_FALSE(got) << got->DebugString();
    EXPECT_EQ(got.error().code + ": " + got.error().message, code_and_message);
    EXPECT_EQ(got.error().kind, core::ErrorKind::Validation);
}

const std::string kValueInt =
    "ZORV-GRPC-VALUE-INT: integer 18446744073709551615 cannot be represented on the gRPC path: the bundled Qdrant "
    "proto stores integers as int64 (max 9223372036854775807)";
constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();

struct ValueCase {
    std::string name;
    Literal value;
    std::string expected;  // Value in text format, or "CODE: message"
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class GrpcValueConversion : public ::testing::TestWithParam<ValueCase> {};

TEST_P(GrpcValueConversion, ConvertsOrRefuses) {
    const ValueCase& c = GetParam();
    if (c.expected.starts_with("ZORV-")) expect_error(value_to_proto(c.value), c.expected);
    else expect_message(value_to_proto(c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, GrpcValueConversion,
    ::testing::Values(
        ValueCase{"string", Literal::str("é\n"), R"(string_value: "é\n")"},
        ValueCase{"int64_min", Literal::int64(std::numeric_limits<std::int64_t>::min()),
                  "integer_value: -9223372036854775808"},
        ValueCase{"uint_at_int64_max", Literal::uint64(9223372036854775807ULL), "integer_value: 9223372036854775807"},
        ValueCase{"uint_above_int64", Literal::uint64(kU64Max), kValueInt},
        ValueCase{"float", Literal::f64(-2.5), "double_value: -2.5"},
        ValueCase{"bool", Literal::boolean(false), "bool_value: false"},
        ValueCase{"null_has_no_kind", Literal::null(), ""},
        ValueCase{"dict_later_key_wins",
                  Literal::dict({{"a", Literal::int64(1)}, {"b", Literal::null()}, {"a", Literal::int64(2)}}),
                  R"(struct_value { fields { key: "a" value { integer_value: 2 } } fields { key: "b" value {} } })"},
        ValueCase{"list_nested", Literal::list({Literal::list({}), Literal::dict({}), Literal::str("x")}),
                  R"(list_value { values { list_value {} } values { struct_value {} } values { string_value: "x" } })"},
        ValueCase{"f32_array_widened_exactly", Literal::f32_array({0.1F, -1.0F}),
                  "list_value { values { double_value: 0.10000000149011612 } values { double_value: -1 } }"},
        ValueCase{"refusal_deep_inside",
                  Literal::dict({{"a", Literal::list({Literal::int64(1), Literal::uint64(kU64Max)})}}), kValueInt}),
    [](const auto& info) { return info.param.name; });

struct VectorCase {
    std::string name;
    std::function<core::Result<std::string>()> convert;  // the message in text form
    std::string expected;                                // text, or "CODE: message"
};

template <class Message>
core::Result<std::string> as_text(core::Result<Message> converted) {
    if (!converted) return std::unexpected(std::move(converted).error());
    return converted->ShortDebugString();
}

VectorValue dense(std::vector<float> values) { return VectorValue{VectorValue::Dense{std::move(values)}}; }

VectorValue placeholder(core::Placeholder p) { return VectorValue{std::move(p)}; }

plan::PlanPoint point(plan::PlanPointId id, std::optional<core::PointVectors> vectors,
                      std::optional<core::LiteralDict> payload) {
    return plan::PlanPoint{std::move(id), std::move(vectors), std::move(payload)};
}

TEST(GrpcVectorConversion, FillsEachAlternative) {
    const VectorValue sparse{VectorValue::Sparse{{7, 2}, {0.5F, 0.25F}}};
    const VectorValue multi{VectorValue::MultiDense{{{1.0F, 2.0F}, {3.0F}}}};
    const VectorValue document{VectorValue::Document{"tea", std::nullopt, {}}};
    const VectorValue image{VectorValue::Image{"https://x/cat.jpg", "clip", {}}};
    const VectorValue object{
        VectorValue::Object{Literal::dict({{"q", Literal::str("x")}}),
                            "m",
                            {{"lang", Literal::str("en")}, {"n", Literal::int64(1)}, {"lang", Literal::str("de")}}}};
    const std::vector<std::pair<VectorValue, std::string>> cases{
        {dense({}), "dense {}"},
        {dense({0.5F, -1.0F}), "dense { data: 0.5 data: -1 }"},
        {sparse, "sparse { values: 0.5 values: 0.25 indices: 7 indices: 2 }"},
        {multi, "multi_dense { vectors { data: 1 data: 2 } vectors { data: 3 } }"},
        {document, R"(document { text: "tea" model: "" })"},
        {image, R"(image { image { string_value: "https://x/cat.jpg" } model: "clip" })"},
        {object, R"(object { object { struct_value { fields { key: "q" value { string_value: "x" } } } } model: "m"
                    options { key: "lang" value { string_value: "de" } } options { key: "n" value { integer_value: 1 } } })"},
    };
    for (const auto& [vector, text] : cases) {
        SCOPED_TRACE(text);
        expect_message(plan_vector_to_proto(vector), text);
        expect_message(to_vector_input(plan::PlanQueryInput{vector}), text);
    }
}

TEST(GrpcVectorConversion, PointIdInputKeepsItsText) {
    const std::string uuid = "550E8400-e29b-41d4-a716-446655440000";
    expect_message(to_vector_input(plan::PlanQueryInput{plan::PlanPointId{uuid}}), R"(id { uuid: ")" + uuid + R"(" })");
    expect_message(to_vector_input(plan::PlanQueryInput{plan::PlanPointId{std::uint64_t{7}}}), "id { num: 7 }");
}

TEST(GrpcVectorConversion, RefusesWhatTheProtoCannotHold) {
    const VectorValue object{VectorValue::Object{Literal::dict({}), std::nullopt, {{"n", Literal::uint64(kU64Max)}}}};
    const auto named = core::Placeholder::named("v");
    const auto first = core::Placeholder::positional(0);
    const std::string tail = " (bind parameters before dispatch)";
    const std::vector<VectorCase> cases{
        {"object_option_int", [&] { return as_text(plan_vector_to_proto(object)); }, kValueInt},
        {"write_named", [&] { return as_text(plan_vector_to_proto(placeholder(named))); },
         "ZORV-BIND-UNBOUND-PARAM: unbound named parameter ':v' reached gRPC plan_vector_to_proto" + tail},
        {"query_positional", [&] { return as_text(to_vector_input(plan::PlanQueryInput{placeholder(first)})); },
         "ZORV-BIND-MISSING-POSITIONAL: missing positional parameter '?1' reached gRPC to_vector_input" + tail},
        {"query_named", [&] { return as_text(to_vector_input(plan::PlanQueryInput{placeholder(named)})); },
         "ZORV-BIND-UNBOUND-PARAM: unbound named parameter ':v' reached gRPC to_vector_input" + tail},
        {"whole_row_named", [&] { return as_text(to_vectors(core::PointVectors{named})); },
         "ZORV-BIND-UNBOUND-PARAM: unbound named parameter ':v' reached gRPC to_vectors" + tail},
        {"whole_row_positional", [&] { return as_text(to_vectors(core::PointVectors{first})); },
         "ZORV-BIND-MISSING-POSITIONAL: missing positional parameter '?1' reached gRPC to_vectors" + tail},
        {"one_named_entry",
         [&] {
             core::NamedVectors entries{{"a", dense({1.0F})}, {"b", placeholder(first)}};
             return as_text(point_to_proto(point(std::uint64_t{1}, core::PointVectors{entries}, std::nullopt)));
         },
         "ZORV-BIND-MISSING-POSITIONAL: missing positional parameter '?1' reached gRPC plan_vector_to_proto" + tail},
        {"payload_of_a_row",
         [&] {
             return as_text(point_to_proto(
                 point(std::uint64_t{1}, std::nullopt, core::LiteralDict{{"n", Literal::uint64(kU64Max)}})));
         },
         kValueInt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto got = c.convert();
        ASSERT_FALSE(got) << *got;
        EXPECT_EQ(got.error().code + ": " + got.error().message, c.expected);
        EXPECT_EQ(got.error().kind, core::ErrorKind::Validation);
    }
}

TEST(GrpcPointConversion, RowsBecomePointsAndVectorRows) {
    core::NamedVectors twice{{"a", dense({1.0F})}, {"b", dense({2.0F})}, {"a", dense({3.0F})}};
    expect_message(point_to_proto(point(std::uint64_t{1}, std::nullopt, std::nullopt)), "id { num: 1 }");
    expect_message(point_to_proto(point(std::string("u-1"), core::PointVectors{dense({0.5F})},
                                        core::LiteralDict{{"a", Literal::int64(1)}, {"a", Literal::int64(2)}})),
                   R"(id { uuid: "u-1" } vectors { vector { dense { data: 0.5 } } }
           payload { key: "a" value { integer_value: 2 } })");
    expect_message(point_to_proto(point(std::uint64_t{2}, core::PointVectors{twice}, core::LiteralDict{})),
                   R"(id { num: 2 } vectors { vectors { vectors { key: "a" value { dense { data: 3 } } }
                                                         vectors { key: "b" value { dense { data: 2 } } } } })");
    expect_message(point_vectors_to_proto(plan::PlanPointVectorsUpdate{std::uint64_t{3}, core::PointVectors{twice}}),
                   R"(id { num: 3 } vectors { vectors { vectors { key: "a" value { dense { data: 3 } } }
                                                         vectors { key: "b" value { dense { data: 2 } } } } })");
}

TEST(GrpcUsageConversion, KeepsTimeAndOnlyThePartsPresent) {
    qdrant::Usage neither;
    qdrant::Usage both;
    ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
        R"(hardware { cpu: 1 payload_io_read: 2 payload_io_write: 3 payload_index_io_read: 4
                      payload_index_io_write: 5 vector_io_read: 6 vector_io_write: 7 }
           inference { models { key: "b" value { tokens: 9 } } models { key: "a" value { tokens: 8 } } })",
        &both));
    qdrant::Usage no_models;
    no_models.mutable_inference();

    EXPECT_EQ(usage_from_proto(nullptr, 0.25), (protocol::Telemetry{0.25, std::nullopt}));
    EXPECT_EQ(usage_from_proto(&neither, 0.5), (protocol::Telemetry{0.5, std::nullopt}));
    EXPECT_EQ(usage_from_proto(&no_models, 0.0),
              (protocol::Telemetry{0.0, protocol::Usage{std::nullopt, protocol::InferenceUsage{}}}));
    const protocol::Usage expected{protocol::HardwareUsage{1, 2, 3, 4, 5, 6, 7},
                                   protocol::InferenceUsage{{{"a", {8}}, {"b", {9}}}}};
    EXPECT_EQ(usage_from_proto(&both, 1.5), (protocol::Telemetry{1.5, expected}));
}

}  // namespace
}  // namespace zorv::runtime::rpc
