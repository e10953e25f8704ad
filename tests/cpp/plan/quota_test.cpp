#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/quota.h"
#include "plan/rest/quota_body.h"
#include "test_support.h"

namespace zorv::plan {
namespace {

using core::Literal;
using core::test_support::must_parse;

struct QuotaCase {
    std::string text;
    std::string value_form;  // keys sorted
    std::string text_form;   // enabled, then the three percentages
    std::optional<bool> wait;
};

void PrintTo(const QuotaCase& c, std::ostream* os) { *os << c.text; }

class SetQuotaBody : public ::testing::TestWithParam<QuotaCase> {};

TEST_P(SetQuotaBody, CarriesTheSettingsAndTheWrittenWait) {
    auto op = plan_statement(must_parse(GetParam().text));
    ASSERT_TRUE(op.has_value()) << core::format_error(op.error());
    ASSERT_EQ(op->kind(), PlanOpKind::SetQuota);
    const SetQuotaOp& quota = op->get<PlanOpKind::SetQuota>();
    EXPECT_EQ(quota.wait, GetParam().wait);
    EXPECT_EQ(json_text(set_quota_body(quota)), GetParam().value_form);
    std::string text;
    write_set_quota_body(text, quota);
    EXPECT_EQ(text, GetParam().text_form);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SetQuotaBody,
    ::testing::Values(QuotaCase{"SET QUOTA (ENABLED = true, release_margin_percent = 0)",
                                R"({"enabled":true,"release_margin_percent":0})",
                                R"({"enabled":true,"release_margin_percent":0})", std::nullopt},
                      QuotaCase{"SET QUOTA (enabled = true, release_margin_percent = 0) WAIT TRUE",
                                R"({"enabled":true,"release_margin_percent":0})",
                                R"({"enabled":true,"release_margin_percent":0})", true},
                      QuotaCase{"SET QUOTA () WAIT false", "{}", "{}", false},
                      QuotaCase{"SET QUOTA (release_margin_percent = 5, Max_Disk_Usage_Percent = 90, "
                                "max_resident_memory_percent = 100, enabled = false)",
                                R"({"enabled":false,"max_disk_usage_percent":90,"max_resident_memory_percent":100,)"
                                R"("release_margin_percent":5})",
                                R"({"enabled":false,"max_resident_memory_percent":100,"max_disk_usage_percent":90,)"
                                R"("release_margin_percent":5})",
                                std::nullopt},
                      QuotaCase{"SET QUOTA (max_disk_usage_percent = null, release_margin_percent = 100)",
                                R"({"release_margin_percent":100})", R"({"release_margin_percent":100})",
                                std::nullopt}));

class SetQuotaRefusal : public ::testing::TestWithParam<core::test_support::TextCase> {};

TEST_P(SetQuotaRefusal, NamesTheSetting) {
    auto op = plan_statement(must_parse(GetParam().input));
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-PLAN-QUOTA");
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().expected);
    EXPECT_FALSE(op.error().span.has_value());
    EXPECT_TRUE(op.error().fields.empty());
}

using core::test_support::TextCase;

INSTANTIATE_TEST_SUITE_P(
    Statements, SetQuotaRefusal,
    ::testing::Values(TextCase{"SET QUOTA (max_disk_usage_percent = 0)",
                               "max_disk_usage_percent must be an integer in [1, 100] or null"},
                      TextCase{"SET QUOTA (MAX_DISK_USAGE_PERCENT = 0)",
                               "max_disk_usage_percent must be an integer in [1, 100] or null"},
                      TextCase{"SET QUOTA (max_resident_memory_percent = 101)",
                               "max_resident_memory_percent must be an integer in [1, 100] or null"},
                      TextCase{"SET QUOTA (max_resident_memory_percent = 50.0)",
                               "max_resident_memory_percent must be an integer in [1, 100] or null"},
                      TextCase{"SET QUOTA (max_resident_memory_percent = 18446744073709551615)",
                               "max_resident_memory_percent must be an integer in [1, 100] or null"},
                      TextCase{"SET QUOTA (release_margin_percent = -1)",
                               "release_margin_percent must be an integer in [0, 100] or null"},
                      TextCase{"SET QUOTA (release_margin_percent = '5')",
                               "release_margin_percent must be an integer in [0, 100] or null"},
                      TextCase{"SET QUOTA (release_margin_percent = true)",
                               "release_margin_percent must be an integer in [0, 100] or null"},
                      TextCase{"SET QUOTA (enabled = 1)", "enabled must be true or false"},
                      TextCase{"SET QUOTA (enabled = null)", "enabled must be true or false"},
                      TextCase{"SET QUOTA (enabled = true, Max_Points = 5, max_disk_usage_percent = 0)",
                               "unknown quota parameter 'Max_Points'. Expected: enabled, max_resident_memory_percent, "
                               "max_disk_usage_percent, release_margin_percent"}));

// The parser refuses repeated keys in text, so repeats are built as trees.
TEST(LowerQuotaConfig, ALaterSettingReplacesAndNullKeeps) {
    auto config = lower_quota_config({{"max_resident_memory_percent", Literal::int64(40)},
                                      {"enabled", Literal::boolean(true)},
                                      {"MAX_RESIDENT_MEMORY_PERCENT", Literal::null()},
                                      {"enabled", Literal::boolean(false)},
                                      {"release_margin_percent", Literal::int64(3)},
                                      {"release_margin_percent", Literal::int64(7)}});
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, (PlanQuotaConfig{40, std::nullopt, 7, false}));
}

TEST(LowerQuotaSetting, UsesTheGivenLowerBoundAndLendsAPlaceholderItsSpan) {
    EXPECT_EQ(lower_quota_setting({}, "max_disk_usage_percent", Literal::int64(1), 1),
              (PlanQuotaConfig{std::nullopt, 1, std::nullopt, std::nullopt}));
    EXPECT_EQ(lower_quota_setting({}, "release_margin_percent", Literal::int64(0), 0),
              (PlanQuotaConfig{std::nullopt, std::nullopt, 0, std::nullopt}));

    const core::Span span{10, 14};
    auto refused = lower_quota_setting({}, "max_disk_usage_percent", Literal::param("pct", span), 1);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().message, "max_disk_usage_percent must be an integer in [1, 100] or null");
    EXPECT_EQ(refused.error().span, span);
}

}  // namespace
}  // namespace zorv::plan
