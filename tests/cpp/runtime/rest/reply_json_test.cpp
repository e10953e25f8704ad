#include "runtime/rest/reply_json.h"

#include <gtest/gtest.h>

#include <string>

namespace zorv::runtime::rest {
namespace {

std::string nested_arrays(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(ReplyJson, ParsesAnObjectAndKeepsItsElementsAfterAMove) {
    auto parsed = parse_reply_json(R"({"result":{"count":3},"status":"ok"})", "http://h/c", "zorv-1");
    ASSERT_TRUE(parsed.has_value());
    JsonDocument moved = std::move(*parsed);
    EXPECT_EQ(moved.root()["result"]["count"].get_uint64().value(), 3U);
}

TEST(ReplyJson, DepthLimitIs128Levels) {
    EXPECT_TRUE(parse_json_text(nested_arrays(max_reply_depth)).has_value());
    for (std::size_t depth : {max_reply_depth + 1, std::size_t{100'000}}) {
        auto parsed = parse_reply_json(nested_arrays(depth), "http://h/collections", "zorv-7");
        ASSERT_FALSE(parsed.has_value()) << depth;
        EXPECT_EQ(parsed.error().code, "ZORV-BACKEND-JSON");
        EXPECT_EQ(parsed.error().message,
                  "failed to parse Qdrant response: JSON nests deeper than 128 levels (request id: zorv-7)");
        ASSERT_EQ(parsed.error().fields.size(), 1U);
        EXPECT_EQ(parsed.error().fields[0], (std::pair<std::string, std::string>{"url", "http://h/collections"}));
    }
}

TEST(ReplyJson, EmptyAndBrokenTextFail) {
    for (const char* text : {"", "{", "{\"a\":1} x"}) {
        auto parsed = parse_reply_json(text, "u", "r");
        ASSERT_FALSE(parsed.has_value()) << text;
        EXPECT_EQ(parsed.error().code, "ZORV-BACKEND-JSON");
        EXPECT_TRUE(parsed.error().message.starts_with("failed to parse Qdrant response: ")) << parsed.error().message;
    }
}

}  // namespace
}  // namespace zorv::runtime::rest
