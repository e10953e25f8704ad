#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "plan/point_ids.h"

namespace zorv::plan {
namespace {

struct UuidCase {
    std::string text;
    bool accepted;
};

void PrintTo(const UuidCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class UuidReader : public ::testing::TestWithParam<UuidCase> {};

TEST_P(UuidReader, AcceptsExactlyTheFourForms) { EXPECT_EQ(is_uuid_text(GetParam().text), GetParam().accepted); }

INSTANTIATE_TEST_SUITE_P(Forms, UuidReader,
                         ::testing::Values(UuidCase{"550e8400-e29b-41d4-a716-446655440000", true},
                                           UuidCase{"550E8400-E29B-41D4-A716-446655440000", true},
                                           UuidCase{"550E8400e29b41D4A716446655440000", true},
                                           UuidCase{"{550e8400-E29B-41d4-a716-446655440000}", true},
                                           UuidCase{"urn:uuid:550E8400-e29b-41d4-a716-446655440000", true},
                                           UuidCase{"URN:UUID:550e8400-e29b-41d4-a716-446655440000", false},
                                           UuidCase{"550e8400e-29b-41d4-a716-446655440000",
                                                    false},  // hyphen at 9, still 36 long
                                           UuidCase{"", false}, UuidCase{"550e8400e29b41d4a71644665544000", false},
                                           UuidCase{"550e8400e29b41d4a71644665544000g", false},
                                           UuidCase{"(550e8400-e29b-41d4-a716-446655440000)", false},
                                           UuidCase{"{550e8400e29b41d4a716446655440000}", false},
                                           UuidCase{"urn:uuid:{550e8400-e29b-41d4-a716-44665544000}", false}));

GetPointsOp get_points(std::vector<PlanPointId> ids) {
    return GetPointsOp{"c", std::move(ids), PlanPayloadSelector{true}, std::nullopt, std::nullopt};
}

void expect_point_id_error(const core::Result<void>& result, const std::string& id) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PLAN-POINT-ID");
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(result.error().message,
              "point ID \"" + id + "\" is not a UUID; point IDs must be unsigned integers or UUIDs");
    EXPECT_FALSE(result.error().span.has_value());
}

TEST(ValidatePointIds, ReportsTheFirstStringThatIsNotAUuid) {
    const std::string uuid = "550e8400-e29b-41d4-a716-446655440000";
    EXPECT_TRUE(validate_point_ids(make_op<PlanOpKind::GetPoints>(get_points({7U, uuid, 7U}))).has_value());
    expect_point_id_error(validate_point_ids(make_op<PlanOpKind::GetPoints>(get_points({7U, uuid, "", "x"}))), "");
}

TEST(ValidatePointIds, WalksBatchMembersInOrder) {
    const std::string uuid = "550e8400e29b41d4a716446655440000";
    PlanBatch batch{"c",
                    {make_op<PlanOpKind::GetPoints>(get_points({1U})),
                     make_op<PlanOpKind::GetPoints>(get_points({uuid})),
                     make_op<PlanOpKind::GetPoints>(get_points({"third"})),
                     make_op<PlanOpKind::GetPoints>(get_points({"fourth"}))}};
    expect_point_id_error(validate_point_ids(make_op<PlanOpKind::Batch>(std::move(batch))), "third");
}

}  // namespace
}  // namespace zorv::plan
