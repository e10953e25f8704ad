#include "runtime/rest/envelope.h"

#include <gtest/gtest.h>

#include <string>

namespace zorv::runtime::rest {
namespace {

struct ReadCase {
    std::string text;
    std::string error;  // empty: reads
    bool data = true;   // for a failure: a fault of shape, not of syntax
};

TEST(EnvelopeReaders, ReadObjectsAndPairsStrictly) {
    const ReadCase cases[] = {
        {R"({"status": "ok", "result": 1, "time": 0.1})", ""},
        {R"( {"result": {"a": [1, {"b": null}]}, "usage": {"x": 1}, "status": "ok"} )", ""},
        {R"(["r", "ok"])", ""},
        {R"({"result": 1})", "missing field `status`"},
        {R"({"status": "ok"})", "missing field `result`"},
        {R"({"result": 1, "status": "x", "status": "ok"})", "duplicate field `status`"},
        {R"({"result": 1, "result": 2, "status": "ok"})", "duplicate field `result`"},
        {R"({"result": 1, "status": 5})", "invalid type: integer `5`, expected a string"},
        {R"({"result": 1, "status": {"error": "x"}})", "invalid type: map, expected a string"},
        {R"(["r"])", "invalid length 1, expected struct Envelope with 2 elements"},
        {R"(["r", "ok", 3])", "invalid length 3, expected struct Envelope with 2 elements"},
        {R"("ok")", "invalid type: string \"ok\", expected struct Envelope"},
        {R"(true)", "invalid type: boolean `true`, expected struct Envelope"},
        {R"(null)", "invalid type: null, expected struct Envelope"},
    };
    for (const ReadCase& c : cases) {
        auto batch = parse_batch_envelope(c.text);
        auto status = parse_status_envelope(c.text);
        if (c.error.empty()) {
            ASSERT_TRUE(batch) << c.text << ": " << batch.error().message;
            ASSERT_TRUE(status) << c.text;
            EXPECT_EQ(batch->status, "ok");
            EXPECT_TRUE(batch->document.has_value());
            EXPECT_FALSE(status->document.has_value());
            continue;
        }
        ASSERT_FALSE(batch) << c.text;
        ASSERT_FALSE(status) << c.text;
        EXPECT_EQ(batch.error().message, c.error) << c.text;
        EXPECT_TRUE(batch.error().data) << c.text;
    }
}

TEST(EnvelopeReaders, SyntaxFaultsAreNotDataFaults) {
    for (const std::string& text :
         {std::string(""), std::string("  "), std::string(R"({"result": 1, "status": "ok"} x)"),
          std::string(R"({"result": [1,, "status": "ok"})"), std::string(129, '[') + "]"}) {
        auto read = parse_batch_envelope(text);
        ASSERT_FALSE(read) << text;
        EXPECT_FALSE(read.error().data) << text;
        EXPECT_FALSE(read.error().message.empty());
    }
}

TEST(EnvelopeReaders, KeepTheResultValueAliveWithTheEnvelope) {
    auto read = parse_batch_envelope(R"({"result": [{"status": "completed"}], "status": "ok"})");
    ASSERT_TRUE(read);
    Envelope moved = std::move(*read);
    EXPECT_EQ(std::string(moved.result.at(0)["status"].get_string().value()), "completed");
}

TEST(EnvelopeReaders, DeepResultFailsCleanly) {
    std::string deep(100'000, '[');
    deep += std::string(100'000, ']');
    auto read = parse_status_envelope(R"({"status":"ok","result":)" + deep + "}");
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().message, "JSON nests deeper than 128 levels");
}

}  // namespace
}  // namespace zorv::runtime::rest
