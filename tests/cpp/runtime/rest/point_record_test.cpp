#include "runtime/rest/point_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/rest/reply_test_support.h"

namespace zorv::runtime::rest {
namespace {

using core::VectorValue;
using protocol::HitPayload;
using protocol::HitVectors;
using protocol::NamedHitVectors;
using protocol::ScoredPoint;
using test_support::expect_envelope_error;
using test_support::FailCase;
using test_support::parse;

VectorValue dense(std::vector<float> values) { return VectorValue{VectorValue::Dense{std::move(values)}}; }
VectorValue sparse(std::vector<std::uint32_t> indices, std::vector<float> values) {
    return VectorValue{VectorValue::Sparse{std::move(indices), std::move(values)}};
}
VectorValue multi(std::vector<std::vector<float>> rows) {
    return VectorValue{VectorValue::MultiDense{std::move(rows)}};
}

core::Result<ScoredPoint> decode(std::string_view text) {
    const JsonDocument doc = parse(text);
    return decode_point_record(doc.root());
}

struct PointCase {
    std::string json;
    ScoredPoint expected;
};

void PrintTo(const PointCase& c, std::ostream* os) { *os << c.json; }

class PointRecord : public testing::TestWithParam<PointCase> {};

TEST_P(PointRecord, Decodes) {
    auto point = decode(GetParam().json);
    ASSERT_TRUE(point.has_value()) << point.error().message;
    EXPECT_EQ(*point, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PointRecord,
    testing::Values(
        PointCase{R"({"id": 7, "score": 0.5})", {.id = std::uint64_t{7}, .score = 0.5}},
        PointCase{R"({"id": "not-a-uuid", "score": 1, "version": 3})", {.id = std::string("not-a-uuid"), .score = 1.0}},
        PointCase{R"({"id": 7})", {.id = std::uint64_t{7}}},
        PointCase{R"({"id": 7, "score": null, "payload": null, "vector": null})", {.id = std::uint64_t{7}}},
        // The server's f32 score as the double its shortest text names.
        PointCase{R"({"id": 1, "score": 0.1})", {.id = std::uint64_t{1}, .score = 0.1}},
        PointCase{R"({"id": 18446744073709551615})", {.id = std::uint64_t{18446744073709551615U}}},
        PointCase{R"({"id": 1, "payload": {}})", {.id = std::uint64_t{1}, .payload = HitPayload{}}},
        // Payload members keep the server's order.
        PointCase{R"({"id": 1, "payload": {"z": 1, "a": [true, null], "m": {"y": -2, "b": 1.5}}})",
                  {.id = std::uint64_t{1},
                   .payload = HitPayload{{"z", plan::JsonValue(std::uint64_t{1})},
                                         {"a", plan::JsonArray{true, nullptr}},
                                         {"m", plan::JsonObject{{"b", 1.5}, {"y", std::int64_t{-2}}}}}}},
        PointCase{R"({"id": 1, "vector": []})", {.id = std::uint64_t{1}, .vector = HitVectors{dense({})}}},
        PointCase{R"({"id": 1, "vector": [1, 2]})", {.id = std::uint64_t{1}, .vector = HitVectors{dense({1, 2})}}},
        PointCase{R"({"id": 1, "vector": [[]]})", {.id = std::uint64_t{1}, .vector = HitVectors{multi({{}})}}},
        PointCase{R"({"id": 1, "vector": [[1, 2], [3]]})",
                  {.id = std::uint64_t{1}, .vector = HitVectors{multi({{1, 2}, {3}})}}},
        // Sparse lists kept as received: unsorted, lengths not compared.
        PointCase{R"({"id": 1, "vector": {"indices": [3, 1], "values": [0.5], "extra": 1}})",
                  {.id = std::uint64_t{1}, .vector = HitVectors{sparse({3, 1}, {0.5})}}},
        PointCase{R"({"id": 1, "vector": {"indices": [4294967295], "values": [1]}})",
                  {.id = std::uint64_t{1}, .vector = HitVectors{sparse({4294967295U}, {1})}}},
        // An index that does not fit makes it no sparse vector: two named dense vectors.
        PointCase{R"({"id": 1, "vector": {"indices": [-1], "values": [0.5]}})",
                  {.id = std::uint64_t{1},
                   .vector = HitVectors{NamedHitVectors{{"indices", dense({-1})}, {"values", dense({0.5})}}}}},
        PointCase{R"({"id": 1, "vector": {"indices": [4294967296], "values": [0.5]}})",
                  {.id = std::uint64_t{1},
                   .vector = HitVectors{NamedHitVectors{{"indices", dense({4294967296.0F})},
                                                        {"values", dense({0.5})}}}}},
        PointCase{R"({"id": 1, "vector": {}})", {.id = std::uint64_t{1}, .vector = HitVectors{NamedHitVectors{}}}},
        PointCase{
            R"({"id": 1, "vector": {"text": [0.1], "image": [[0.2], [0.3]], "bm25": {"indices": [1], "values": [0.4]}}})",
            {.id = std::uint64_t{1},
             .vector = HitVectors{NamedHitVectors{
                 {"bm25", sparse({1}, {0.4F})}, {"image", multi({{0.2F}, {0.3F}})}, {"text", dense({0.1F})}}}}}));

TEST(PointRecord, NamedVectorsAreOrderedByName) {
    auto point =
        decode(R"({"id": 1, "vector": {"text": [1], "image": [[2]], "bm25": {"indices": [1], "values": [3]}}})");
    ASSERT_TRUE(point.has_value());
    const auto& named = std::get<NamedHitVectors>(*point->vector);
    std::vector<std::string> names;
    for (const auto& [name, vector] : named) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"bm25", "image", "text"}));
}

// f32 exact: each number becomes the nearest float; past the f32 range, an infinity.
TEST(PointRecord, NumbersBecomeTheNearestF32) {
    auto point = decode(
        R"({"id": 1, "score": 1e40, "vector": [0.1, 16777217, -1e40, 1e-50, 3.4028235677973362e38, 18446744073709551615]})");
    ASSERT_TRUE(point.has_value());
    EXPECT_EQ(point->score, std::numeric_limits<double>::infinity());
    const auto& values = std::get<VectorValue::Dense>(std::get<VectorValue>(*point->vector).value).values;
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(values, (std::vector<float>{0.1F, 16777216.0F, -inf, 0.0F, std::numeric_limits<float>::max(),
                                          18446744073709551615.0F}));
}

TEST(PointRecord, AFloatJustPastTheLargestRoundsToInfinity) {
    // Halfway between the largest float and the next power of two rounds (to even) to infinity.
    auto point = decode(R"({"id": 1, "vector": [3.4028235677973362e38, 3.4028235677973366e38]})");
    ASSERT_TRUE(point.has_value());
    const auto& values = std::get<VectorValue::Dense>(std::get<VectorValue>(*point->vector).value).values;
    EXPECT_EQ(values[0], std::numeric_limits<float>::max());
    EXPECT_TRUE(std::isinf(values[1]));
}

class PointRecordFault : public testing::TestWithParam<FailCase> {};

TEST_P(PointRecordFault, FailsWithItsMessage) { expect_envelope_error(decode(GetParam().json), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(
    Table, PointRecordFault,
    testing::Values(
        FailCase{"[1]", "point record is not an object"}, FailCase{R"({"score": 1})", "point record is missing id"},
        FailCase{R"({"id": -1})", "point id -1 is not an unsigned integer"},
        FailCase{R"({"id": 1.0})", "point id 1.0 is not an unsigned integer"},
        FailCase{R"({"id": true})", "point id must be a string or unsigned integer, got true"},
        FailCase{R"({"id": null})", "point id must be a string or unsigned integer, got null"},
        FailCase{R"({"id": 7, "score": "0.5"})", R"(point score must be a number, got "0.5")"},
        FailCase{R"({"id": 7, "payload": []})", "point payload must be an object or null, got []"},
        FailCase{
            R"({"id": 7, "vector": [1, [2]]})",
            "point vector does not match VectorStructOutput: data did not match any variant of untagged enum Wire"},
        FailCase{
            R"({"id": 7, "vector": {"a": null}})",
            "point vector does not match VectorStructOutput: data did not match any variant of untagged enum Wire"},
        FailCase{
            R"({"id": 7, "vector": "x"})",
            "point vector does not match VectorStructOutput: data did not match any variant of untagged enum Wire"},
        FailCase{
            R"({"id": 7, "vector": {"a": [[1], 2]}})",
            "point vector does not match VectorStructOutput: data did not match any variant of untagged enum Wire"},
        // The id is checked before the score, the score before the payload.
        FailCase{R"({"id": -1, "score": "x", "payload": 1})", "point id -1 is not an unsigned integer"},
        FailCase{R"({"id": 1, "score": "x", "payload": 1})", R"(point score must be a number, got "x")"}));

}  // namespace
}  // namespace zorv::runtime::rest
