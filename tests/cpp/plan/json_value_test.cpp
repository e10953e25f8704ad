#include "plan/json_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace zorv::plan
