#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/index_body.h"
#include "plan/rest/quota_body.h"

namespace zorv::plan {
namespace {

// The text form of a body holds the same keys as the value form, only in another order, so both
// come out with the same length.
void expect_bodies(const PlanOp& op, const std::string& line) {
    std::string text;
    JsonValue value;
    if (op.kind() == PlanOpKind::CreateIndex) {
        value = field_index_body(op.get<PlanOpKind::CreateIndex>());
        write_field_index_body(text, op.get<PlanOpKind::CreateIndex>());
    } else {
        ASSERT_EQ(op.kind(), PlanOpKind::SetQuota) << line;
        value = set_quota_body(op.get<PlanOpKind::SetQuota>());
        write_set_quota_body(text, op.get<PlanOpKind::SetQuota>());
    }
    EXPECT_TRUE(value.is(JsonValue::Kind::Object)) << line;
    EXPECT_EQ(text.size(), json_text(value).size()) << line << "\n  " << text;
}

TEST(IndexCorpus, EveryLinePlansAndWritesItsBody) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/index_corpus.zorv");
    ASSERT_TRUE(in.is_open());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("--")) continue;
        auto statement = core::parse_statement(line);
        ASSERT_TRUE(statement.has_value()) << line << "\n  " << core::format_error(statement.error());
        auto op = plan_statement(*statement);
        ASSERT_TRUE(op.has_value()) << line << "\n  " << core::format_error(op.error());
        expect_bodies(*op, line);
    }
}

}  // namespace
}  // namespace zorv::plan
