// The two orders of the client-side rerank and the choice of document texts.
#include "runtime/executor/rerank_order.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace zorv::runtime {
namespace {

using protocol::ScoredPoint;

plan::QueryOp candidate_on(std::string collection) {
    plan::QueryOp op;
    op.collection = std::move(collection);
    return op;
}

ScoredPoint hit(plan::PlanPointId id) { return ScoredPoint{.id = std::move(id)}; }

TEST(RerankOrder, CollectedHitsSortByCollectionBytesThenId) {
    const std::vector<plan::QueryOp> candidates{candidate_on("b"), candidate_on("a"), candidate_on("ab")};
    RerankCandidates collected;
    auto add = [&](std::size_t origin, plan::PlanPointId id) {
        collected.origins.push_back(origin);
        collected.hits.push_back(hit(std::move(id)));
    };
    add(0, std::uint64_t{1});                      // 0: b/1
    add(1, std::string("0000-uuid"));              // 1: a/"0000-uuid"
    add(1, std::uint64_t{10});                     // 2: a/10
    add(2, std::uint64_t{3});                      // 3: ab/3
    add(1, std::uint64_t{2});                      // 4: a/2
    add(1, std::uint64_t{2});                      // 5: a/2 again, from another reply: kept after 4
    add(1, std::string("0000-uui"));               // 6: a/"0000-uui", a prefix: before 1
    add(0, std::uint64_t{18446744073709551615U});  // 7: b/max, compared unsigned
    EXPECT_EQ(candidate_hit_positions(candidates, collected), (std::vector<std::size_t>{4, 5, 2, 6, 1, 3, 0, 7}));
    EXPECT_FALSE(candidate_hit_order(candidates, collected, 4, 5));
    EXPECT_FALSE(candidate_hit_order(candidates, collected, 5, 4));
}

TEST(RerankOrder, ScoresSortHighestFirstWithNanLastAndTiesInPlace) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<double> scores;
        std::vector<std::size_t> order;
    };
    const std::vector<Case> cases{
        {{}, {}},
        {{0.2}, {0}},
        {{0.2, 0.9}, {1, 0}},
        {{0.5, 0.5, 0.5}, {0, 1, 2}},
        {{nan, 0.1, nan, -1.0, 0.1}, {1, 4, 3, 0, 2}},
        {{-0.0, 0.0}, {0, 1}},
        {{-std::numeric_limits<double>::infinity(), nan, std::numeric_limits<double>::infinity()}, {2, 0, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(score_order(c.scores), c.order);
}

TEST(RerankOrder, DocumentTextIsANonEmptyTopLevelString) {
    using plan::JsonValue;
    struct Case {
        std::optional<protocol::HitPayload> payload;
        std::optional<std::string> text;
    };
    const std::vector<Case> cases{
        {std::nullopt, std::nullopt},
        {protocol::HitPayload{}, std::nullopt},
        {protocol::HitPayload{{"text", JsonValue("a b")}}, "a b"},
        {protocol::HitPayload{{"text", JsonValue("  ")}}, "  "},
        {protocol::HitPayload{{"text", JsonValue("")}}, std::nullopt},
        {protocol::HitPayload{{"text", JsonValue(std::uint64_t{7})}}, std::nullopt},
        {protocol::HitPayload{{"text", JsonValue(plan::JsonArray{JsonValue("x")})}}, std::nullopt},
        {protocol::HitPayload{{"Text", JsonValue("x")}}, std::nullopt},
        {protocol::HitPayload{{"other", JsonValue("x")}, {"text", JsonValue("y")}}, "y"},
    };
    for (const Case& c : cases) {
        ScoredPoint point = hit(std::uint64_t{1});
        point.payload = c.payload;
        auto got = document_text(point, "text");
        EXPECT_EQ(got ? std::optional<std::string>(*got) : std::nullopt, c.text);
    }
    ScoredPoint dotted = hit(std::uint64_t{1});
    dotted.payload = protocol::HitPayload{{"meta.text", JsonValue("x")}, {"meta", JsonValue("y")}};
    EXPECT_EQ(document_text(dotted, "meta.text"), std::optional<std::string_view>("x"));
}

}  // namespace
}  // namespace zorv::runtime
