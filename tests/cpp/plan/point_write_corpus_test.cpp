#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/compile_route.h"
#include "plan/json_read.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/batch_body.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

// The two forms hold the same document: the text form keys in Qdrant's order, numbers that the
// reader cannot type (signed or not) and sparse values in their 32-bit digits, so numbers are
// compared as 32-bit floats.
bool same_document(const JsonValue& a, const JsonValue& b) {
    const auto number = [](const JsonValue& v) -> std::optional<float> {
        switch (v.kind()) {
            case JsonValue::Kind::UInt: return static_cast<float>(v.as_uint());
            case JsonValue::Kind::Int: return static_cast<float>(v.as_int());
            case JsonValue::Kind::Float: return static_cast<float>(v.as_float());
            default: return std::nullopt;
        }
    };
    if (number(a) && number(b)) return *number(a) == *number(b);
    if (a.kind() != b.kind()) return false;
    if (a.is(JsonValue::Kind::Array)) {
        if (a.as_array().size() != b.as_array().size()) return false;
        for (std::size_t i = 0; i < a.as_array().size(); ++i) {
            if (!same_document(a.as_array()[i], b.as_array()[i])) return false;
        }
        return true;
    }
    if (a.is(JsonValue::Kind::Object)) {
        if (a.as_object().size() != b.as_object().size()) return false;
        for (const auto& [key, value] : a.as_object()) {
            const auto it = b.as_object().find(key);
            if (it == b.as_object().end() || !same_document(value, it->second)) return false;
        }
        return true;
    }
    return a == b;
}

std::vector<UpdateOperation> operations_of(const PlanOp& op) {
    if (op.kind() == PlanOpKind::Batch)
        return update_batch_from_members(op.get<PlanOpKind::Batch>().members)->operations;
    return {to_update_operation(op)->second};
}

TEST(PointWriteCorpus, EveryLineCompilesAndBothFormsAgree) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/point_write_corpus.zorv");
    ASSERT_TRUE(in.is_open());
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("--")) continue;
        auto statement = core::parse_statement(line);
        ASSERT_TRUE(statement.has_value()) << line << "\n  " << core::format_error(statement.error());
        auto op = plan_statement(*statement);
        ASSERT_TRUE(op.has_value()) << line << "\n  " << core::format_error(op.error());
        auto route = compile_op_route(*op);
        ASSERT_TRUE(route.has_value()) << line << "\n  " << core::format_error(route.error());
        const auto* request = std::get_if<RestRequest>(&route->target);
        ASSERT_NE(request, nullptr) << line;
        ASSERT_TRUE(request->body.has_value()) << line;

        const std::vector<UpdateOperation> operations = operations_of(*op);
        std::string text;
        write_update_batch_body(text, operations);
        const auto read = test_support::JsonReader(text).read_document();
        ASSERT_TRUE(read.has_value()) << line << "\n  " << text;
        EXPECT_TRUE(same_document(*read, update_batch_body(operations))) << line << "\n  " << text;
        if (op->kind() == PlanOpKind::Batch) {
            EXPECT_EQ(*request->body, update_batch_body(operations)) << line;
        } else {
            EXPECT_EQ(JsonValue(JsonObject{{std::string(operations[0].name()), *request->body}}),
                      update_batch_body(operations).as_object().at("operations").as_array()[0])
                << line;
        }
    }
}

}  // namespace
}  // namespace zorv::plan
