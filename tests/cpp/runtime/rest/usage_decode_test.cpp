#include "runtime/rest/usage_decode.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/rest/reply_test_support.h"

namespace zorv::runtime::rest {
namespace {

using protocol::HardwareUsage;
using protocol::InferenceUsage;
using protocol::ModelUsage;
using protocol::Telemetry;
using protocol::Usage;
using test_support::parse;

constexpr std::uint64_t u64_max = 18446744073709551615U;

struct UsageCase {
    std::string json;  // the "usage" member
    std::optional<Usage> expected;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.json; }

class UsageDecode : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageDecode, Reads) {
    const JsonDocument doc = parse(GetParam().json);
    EXPECT_EQ(decode_usage(doc.root()), GetParam().expected);
}

HardwareUsage cpu(std::uint64_t n) { return HardwareUsage{.cpu = n}; }

INSTANTIATE_TEST_SUITE_P(
    Table, UsageDecode,
    testing::Values(
        UsageCase{"null", std::nullopt}, UsageCase{"5", std::nullopt}, UsageCase{"{}", std::nullopt},
        UsageCase{R"({"other": 1})", std::nullopt}, UsageCase{R"({"hardware": {"cpu": 3}})", Usage{.hardware = cpu(3)}},
        UsageCase{R"({"hardware": {}})", Usage{.hardware = HardwareUsage{}}},
        UsageCase{R"({"hardware": {"cpu": 18446744073709551615}})", Usage{.hardware = cpu(u64_max)}},
        UsageCase{R"({"hardware": {"cpu": 1, "payload_io_read": 2, "payload_io_write": 3, "payload_index_io_read": 4,
                      "payload_index_io_write": 5, "vector_io_read": 6, "vector_io_write": 7, "gpu": -1}})",
                  Usage{.hardware = HardwareUsage{1, 2, 3, 4, 5, 6, 7}}},
        // One bad counter drops the whole hardware part.
        UsageCase{R"({"hardware": {"cpu": -1, "payload_io_read": 2}})", std::nullopt},
        UsageCase{R"({"hardware": {"cpu": 1.5}})", std::nullopt},
        UsageCase{R"({"hardware": {"cpu": null}})", std::nullopt}, UsageCase{R"({"hardware": null})", std::nullopt},
        UsageCase{R"({"hardware": [1, 2]})", Usage{.hardware = HardwareUsage{.cpu = 1, .payload_io_read = 2}}},
        UsageCase{R"({"hardware": [1, 2, 3, 4, 5, 6, 7]})", Usage{.hardware = HardwareUsage{1, 2, 3, 4, 5, 6, 7}}},
        UsageCase{R"({"hardware": [1, 2, 3, 4, 5, 6, 7, 8]})", std::nullopt},
        // Models keep the order the server wrote them in.
        UsageCase{R"({"inference": {"models": {"m2": {"tokens": 12}, "m1": {}}}})",
                  Usage{.inference = InferenceUsage{{{"m2", ModelUsage{12}}, {"m1", ModelUsage{0}}}}}},
        UsageCase{R"({"inference": {"models": {"m": [4]}}})",
                  Usage{.inference = InferenceUsage{{{"m", ModelUsage{4}}}}}},
        UsageCase{R"({"inference": {}})", Usage{.inference = InferenceUsage{}}},
        UsageCase{R"({"inference": []})", Usage{.inference = InferenceUsage{}}},
        UsageCase{R"({"inference": [{"a": {"tokens": 1}}]})",
                  Usage{.inference = InferenceUsage{{{"a", ModelUsage{1}}}}}},
        UsageCase{R"({"inference": [{}, {}]})", std::nullopt},
        UsageCase{R"({"inference": {"models": null}})", std::nullopt},
        UsageCase{R"({"inference": {"models": {"m": {"tokens": -1}}}})", std::nullopt},
        UsageCase{R"({"inference": {"models": {"m": [1, 2]}}})", std::nullopt},
        UsageCase{R"({"hardware": null, "inference": {"models": {}}})", Usage{.inference = InferenceUsage{}}},
        UsageCase{R"({"hardware": {"cpu": 2}, "inference": 7})", Usage{.hardware = cpu(2)}}));

struct TelemetryCase {
    std::string json;  // a whole reply
    std::optional<Telemetry> expected;
};

void PrintTo(const TelemetryCase& c, std::ostream* os) { *os << c.json; }

class TelemetryDecode : public testing::TestWithParam<TelemetryCase> {};

TEST_P(TelemetryDecode, Reads) {
    const JsonDocument doc = parse(GetParam().json);
    EXPECT_EQ(decode_telemetry(doc.root()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TelemetryDecode,
                         testing::Values(TelemetryCase{R"({"result": 1})", std::nullopt},
                                         TelemetryCase{R"({"time": 0.25})", Telemetry{.time_s = 0.25}},
                                         TelemetryCase{R"({"time": 3})", Telemetry{.time_s = 3.0}},
                                         TelemetryCase{R"({"time": "5"})", std::nullopt},
                                         TelemetryCase{R"({"time": "5", "usage": {"hardware": {"cpu": 1}}})",
                                                       Telemetry{.usage = Usage{.hardware = cpu(1)}}},
                                         TelemetryCase{R"({"time": 0.5, "usage": {"hardware": {"cpu": -1}}})",
                                                       Telemetry{.time_s = 0.5}},
                                         TelemetryCase{R"([{"time": 1}])", std::nullopt}));

}  // namespace
}  // namespace zorv::runtime::rest
