#include "plan/json_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "plan/rest/json_sink.h"

namespace zorv::plan {
namespace {

std::vector<std::string> keys_of(const JsonObject& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object) keys.push_back(key);
    return keys;
}

TEST(JsonObject, KeysStayInByteOrderWhateverTheInsertionOrder) {
    JsonObject object;
    for (const char* key : {"limit", "B", "with_payload", "a", "\xC3\xA9", "filter", "z"}) object.emplace(key, true);
    EXPECT_EQ(keys_of(object),
              (std::vector<std::string>{"B", "a", "filter", "limit", "with_payload", "z", "\xC3\xA9"}));
}

TEST(JsonObject, EmplaceKeepsAndInsertOrAssignReplaces) {
    JsonObject object{{"k", JsonValue(std::uint64_t{1})}, {"k", JsonValue(std::uint64_t{2})}};
    ASSERT_EQ(object.size(), 1U);
    EXPECT_EQ(object.at("k"), JsonValue(std::uint64_t{1}));
    EXPECT_FALSE(object.emplace("k", JsonValue(std::uint64_t{3})).second);
    EXPECT_EQ(object.at("k"), JsonValue(std::uint64_t{1}));
    EXPECT_FALSE(object.insert_or_assign("k", JsonValue("x")).second);
    EXPECT_EQ(object.at("k"), JsonValue("x"));
    object["j"] = JsonValue(false);
    EXPECT_EQ(keys_of(object), (std::vector<std::string>{"j", "k"}));
    EXPECT_EQ(object.count("j"), 1U);
    EXPECT_EQ(object.erase("j"), 1U);
    EXPECT_EQ(object.erase("j"), 0U);
    EXPECT_EQ(object.find("j"), object.end());
}

TEST(JsonObject, EqualityComparesEntriesNotInsertionOrder) {
    JsonObject a{{"x", JsonValue(true)}, {"y", JsonValue(nullptr)}};
    JsonObject b{{"y", JsonValue(nullptr)}, {"x", JsonValue(true)}};
    EXPECT_EQ(a, b);
    b.insert_or_assign("x", JsonValue(false));
    EXPECT_NE(a, b);
}

TEST(JsonObject, FromEntriesSortsAndKeepsTheLastOfEqualKeys) {
    // Past sixteen entries the order is kept on the heap: both paths must agree.
    for (std::size_t filler : {0U, 20U}) {
        std::vector<std::pair<std::string, JsonValue>> entries;
        entries.emplace_back("query", JsonValue(std::uint64_t{1}));
        entries.emplace_back("limit", JsonValue(std::uint64_t{2}));
        entries.emplace_back("query", JsonValue(std::uint64_t{3}));
        entries.emplace_back("filter", JsonValue(true));
        for (std::size_t i = 0; i < filler; ++i)
            entries.emplace_back("x" + std::to_string(100 + i), JsonValue(nullptr));
        entries.emplace_back("limit", JsonValue("last"));
        JsonObject object = JsonObject::from_entries(entries);
        ASSERT_EQ(object.size(), 3 + filler);
        EXPECT_EQ(keys_of(object).front(), "filter");
        EXPECT_EQ(object.at("limit"), JsonValue("last"));
        EXPECT_EQ(object.at("query"), JsonValue(std::uint64_t{3}));
        EXPECT_TRUE(std::is_sorted(object.begin(), object.end(),
                                   [](const auto& a, const auto& b) { return a.first < b.first; }));
    }
    EXPECT_TRUE(JsonObject::from_entries({}).empty());
}

// Nested containers close into the place their key named, whatever was written inside them.
TEST(ValueSink, BuildsNestedContainersUnderTheirKeys) {
    ValueSink sink;
    sink.begin_object();
    sink.key("using");
    sink.string("dense");
    sink.key("prefetch");
    sink.begin_array();
    sink.begin_object();
    sink.key("limit");
    sink.u64(5);
    sink.key("filter");
    sink.begin_object();
    sink.end_object();
    sink.end_object();
    sink.null();
    sink.end_array();
    sink.key("empty");
    sink.begin_array();
    sink.end_array();
    sink.key("b");
    sink.f64(0.5);
    sink.end_object();
    JsonObject stage{{"limit", JsonValue(std::uint64_t{5})}, {"filter", JsonValue(JsonObject{})}};
    JsonObject expected{{"using", JsonValue("dense")},
                        {"prefetch", JsonValue(JsonArray{JsonValue(stage), JsonValue(nullptr)})},
                        {"empty", JsonValue(JsonArray{})},
                        {"b", JsonValue(0.5)}};
    EXPECT_EQ(sink.take(), JsonValue(expected));
}

}  // namespace
}  // namespace zorv::plan
