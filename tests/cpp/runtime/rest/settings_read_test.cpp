#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/settings_read.h"
#include "runtime/rest/json_view.h"
#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest {
namespace {

using protocol::BinaryQuantization;
using protocol::HnswConfig;
using protocol::OptimizersConfig;
using protocol::OptimizerThreads;
using protocol::ProductQuantization;
using protocol::QuantizationConfig;
using protocol::ScalarQuantization;
using protocol::StorageTier;
using protocol::TurboQuantization;

// Runs a reader on parsed JSON text; the document lives for the call only, as readers own their output.
template <class Reader>
auto read_json(std::string_view text, Reader reader) {
    auto document = parse_json_text(text);
    EXPECT_TRUE(document.has_value()) << text;
    return reader(JsonView(document->root()));
}

constexpr std::string_view no_variant = "data did not match any variant of untagged enum QuantizationConfig";

TEST(QuantizationRead, VariantsInOrderAndRecordForms) {
    struct Case {
        std::string_view json;
        std::optional<QuantizationConfig> expected;
    };
    const std::vector<Case> cases = {
        {R"({"scalar":{"type":"int8","quantile":0.99,"always_ram":true}})",
         ScalarQuantization{"int8", 0.99, true, std::nullopt}},
        {R"({"scalar":["int8",0.99,true,"cold"]})", ScalarQuantization{"int8", 0.99, true, StorageTier::Cold}},
        {R"({"scalar":["int8",null,null,null]})", ScalarQuantization{"int8"}},
        {R"({"scalar":{"type":"int8","quantile":1,"extra":[1]}})", ScalarQuantization{"int8", 1.0}},
        {R"({"product":{"compression":"x32","memory":1}})",
         ProductQuantization{"x32", std::nullopt, StorageTier::Cached}},
        {R"({"product":{"compression":"x16","memory":{"pinned":null}}})",
         ProductQuantization{"x16", std::nullopt, StorageTier::Pinned}},
        {R"({"binary":{}})", BinaryQuantization{}},
        {R"({"binary":{"encoding":"two_bits","query_encoding":"scalar8bits","memory":"cached"}})",
         BinaryQuantization{std::nullopt, "two_bits", "scalar8bits", StorageTier::Cached}},
        {R"({"turbo":{"bits":"4"}})", TurboQuantization{"4"}},
        // A wrapper with several keys: the first variant in order whose record reads.
        {R"({"binary":{},"scalar":{"type":"int8"}})", ScalarQuantization{"int8"}},
        {R"({"scalar":{"quantile":0.5},"binary":{"always_ram":false}})", BinaryQuantization{false}},
        // Unreadable.
        {R"({"scalar":{"quantile":0.99}})", std::nullopt},
        {R"({"scalar":{"type":null}})", std::nullopt},
        {R"({"turbo":{"bits":4}})", std::nullopt},
        {R"([{"type":"int8"}])", std::nullopt},
        {R"({"scalar":["int8",0.99,true]})", std::nullopt},
        {R"({"scalar":["int8",0.99,true,"cold",null]})", std::nullopt},
        {R"({"product":{"compression":"x16","memory":3}})", std::nullopt},
        {R"({"product":{"compression":"x16","memory":"Cold"}})", std::nullopt},
        {R"({"scalar":{"type":"int8","always_ram":1}})", std::nullopt},
        {R"({"scalar":{"type":"int8","type":"int8"}})", std::nullopt},
        {"null", std::nullopt},
        {"5", std::nullopt},
        {"{}", std::nullopt},
        {R"({"other":{"type":"int8"}})", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto read = read_json(c.json, [](JsonView v) { return protocol::deserialize_quantization_config(v); });
        if (c.expected) {
            ASSERT_TRUE(read.has_value()) << read.error();
            EXPECT_EQ(*read, *c.expected);
        } else {
            ASSERT_FALSE(read.has_value());
            EXPECT_EQ(read.error(), no_variant);
        }
    }
}

TEST(HnswRead, ObjectAndPositionalForms) {
    struct Case {
        std::string_view json;
        std::optional<HnswConfig> expected;
    };
    const std::vector<Case> cases = {
        {R"({"m":16,"ef_construct":100,"extra":"x"})", HnswConfig{16, 100}},
        {R"({"m":null,"on_disk":false})", HnswConfig{.on_disk = false}},
        {R"([16,100,10000,4,true,0,false,"pinned"])",
         HnswConfig{16, 100, 10000, 4, true, 0, false, StorageTier::Pinned}},
        {R"([null,null,null,null,null,null,null,null])", HnswConfig{}},
        {R"({"memory":{"pinned":null}})", HnswConfig{.memory = StorageTier::Pinned}},
        {R"({"memory":"cold"})", HnswConfig{.memory = StorageTier::Cold}},
        {R"({"m":18446744073709551615})", HnswConfig{18446744073709551615ULL}},
        {R"([16,100,10000,4,true,0,false])", std::nullopt},
        {R"([16,100,10000,4,true,0,false,"pinned",1])", std::nullopt},
        {R"({"m":-1})", std::nullopt},
        {R"({"m":16.0})", std::nullopt},
        {R"({"m":"16"})", std::nullopt},
        {R"({"m":16,"m":16})", std::nullopt},
        {R"({"memory":{"pinned":1}})", std::nullopt},
        {R"({"memory":{}})", std::nullopt},
        {R"({"memory":{"cold":null,"pinned":null}})", std::nullopt},
        {R"({"memory":"Cold"})", std::nullopt},
        {R"({"memory":1})", std::nullopt},
        {R"("x")", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto read = read_json(c.json, [](JsonView v) { return protocol::read_hnsw_config(v); });
        ASSERT_EQ(read.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(*read, *c.expected);
        }
    }
}

TEST(OptimizersRead, FieldsAndThreadSetting) {
    struct Case {
        std::string_view json;
        std::optional<OptimizersConfig> expected;
    };
    const OptimizerThreads automatic{OptimizerThreads::Auto{}};
    const std::vector<Case> cases = {
        {R"({"deleted_threshold":1})", OptimizersConfig{1.0}},
        {R"({"deleted_threshold":0.2,"flush_interval_sec":5,"prevent_unoptimized":true})",
         OptimizersConfig{.deleted_threshold = 0.2, .flush_interval_sec = 5, .prevent_unoptimized = true}},
        {R"({"max_optimization_threads":"Auto"})", OptimizersConfig{.max_optimization_threads = automatic}},
        {R"({"max_optimization_threads":"aUTo"})", OptimizersConfig{.max_optimization_threads = automatic}},
        {R"({"max_optimization_threads":8})",
         OptimizersConfig{.max_optimization_threads = OptimizerThreads{OptimizerThreads::ThreadCount{8}}}},
        {R"({"max_optimization_threads":null})", OptimizersConfig{}},
        {R"([0.2,1000,0,null,null,10000,5,"auto",null])",
         OptimizersConfig{0.2, 1000, 0, std::nullopt, std::nullopt, 10000, 5, automatic}},
        {R"({"max_optimization_threads":"all"})", std::nullopt},
        {R"({"max_optimization_threads":-1})", std::nullopt},
        {R"({"max_optimization_threads":true})", std::nullopt},
        {R"({"deleted_threshold":"0.2"})", std::nullopt},
        {R"({"indexing_threshold":1e3})", std::nullopt},
        {R"([0.2,1000])", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto read = read_json(c.json, [](JsonView v) { return protocol::read_optimizers_config(v); });
        ASSERT_EQ(read.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(*read, *c.expected);
        }
    }
}

// The detail texts matter where a failure reaches a caller (values read from Python).
TEST(SettingsRead, ScalarReaderMessages) {
    struct Case {
        std::string_view json;
        bool buffered;
        std::string_view message;
    };
    const std::vector<Case> tiers = {
        {R"("Cold")", false, "unknown variant `Cold`, expected one of `cold`, `cached`, `pinned`"},
        {R"({"warm":null})", true, "unknown variant `warm`, expected one of `cold`, `cached`, `pinned`"},
        {"{}", false, "expected tagged enum dict to have exactly 1 key"},
        {R"({"cold":null,"pinned":null})", true, "expected tagged enum dict to have exactly 1 key"},
        {"1", false, "expected either a str or dict for enum"},
        {"true", true, "expected either a str or dict for enum"},
        {"3", true, "invalid value: integer `3`, expected variant index 0 <= i < 3"},
        {"-1", true, "invalid value: integer `-1`, expected variant index 0 <= i < 3"},
    };
    for (const auto& c : tiers) {
        SCOPED_TRACE(c.json);
        auto read = read_json(c.json, [&](JsonView v) {
            return c.buffered ? protocol::decode_buffered_storage_tier(v) : protocol::decode_storage_tier(v);
        });
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error(), c.message);
    }
    const std::vector<std::pair<std::string_view, std::string_view>> threads = {
        {R"("all")", R"(invalid value: string "all", expected a thread count or "auto")"},
        {"-1", R"(invalid value: integer `-1`, expected a thread count or "auto")"},
        {"true", R"(invalid type: boolean `true`, expected a thread count or "auto")"},
        {"1.5", R"(invalid type: floating point `1.5`, expected a thread count or "auto")"},
        {"[]", R"(invalid type: sequence, expected a thread count or "auto")"},
    };
    for (const auto& [json, message] : threads) {
        SCOPED_TRACE(json);
        auto read = read_json(json, [](JsonView v) { return protocol::decode_optimizer_threads(v); });
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error(), message);
    }
    EXPECT_EQ(read_json("null", [](JsonView v) { return protocol::decode_storage_tier(v); }).value(), std::nullopt);
    EXPECT_EQ(read_json("2", [](JsonView v) { return protocol::decode_buffered_storage_tier(v); }).value(),
              StorageTier::Pinned);
    auto missing = read_json(R"({"quantile":1})", [](JsonView v) { return protocol::read_scalar_quantization(v); });
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error(), "missing field `type`");
    auto duplicate = read_json(R"({"m":1,"m":2})", [](JsonView v) { return protocol::read_hnsw_config(v); });
    ASSERT_FALSE(duplicate.has_value());
    EXPECT_EQ(duplicate.error(), "duplicate field `m`");
}

}  // namespace
}  // namespace zorv::runtime::rest
