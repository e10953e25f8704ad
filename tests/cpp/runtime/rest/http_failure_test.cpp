#include "runtime/rest/http_failure.h"

#include <gtest/gtest.h>

#include <string>

#include "core/diagnostics.h"
#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest {
namespace {

TEST(ClassifyHttpError, FirstMatchingRuleGivesTheCode) {
    struct Case {
        std::uint16_t status;
        std::string text;
        std::string_view code;
    };
    const Case cases[] = {
        {401, "Rejected by STRICT MODE", "ZORV-BACKEND-STRICT-MODE"},
        {400, "Quota exceeded for points", "ZORV-BACKEND-STRICT-MODE"},
        {500, "strict-mode limit", "ZORV-BACKEND-STRICT-MODE"},
        {401, "", "ZORV-BACKEND-AUTH"},
        {403, "nothing here", "ZORV-BACKEND-AUTH"},
        {403, "see strict_mode_config", "ZORV-BACKEND-HTTP"},
        {404, "see strict_mode_config", "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
        {400, "Must provide an API-KEY", "ZORV-BACKEND-AUTH"},
        {500, "Forbidden: no access", "ZORV-BACKEND-AUTH"},
        {404, "", "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
        {500, "Not Found: Collection `x` doesn't exist!", "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
        {400, "Index required but not found for \"city\"", "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
        {400, "Bad request: Index required for field city, missing", "ZORV-BACKEND-INDEX-NOT-READY"},
        {400, "index is not ready", "ZORV-BACKEND-INDEX-NOT-READY"},
        {400, "index here, but nothing else", "ZORV-BACKEND-HTTP"},
        {500, "Wrong input: Vector dimension error: expected dim: 4, got 3", "ZORV-BACKEND-DIMENSION-MISMATCH"},
        {400, "bad VECTOR SIZE", "ZORV-BACKEND-DIMENSION-MISMATCH"},
        {400, "ÉTAT NOT FOUND", "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
        {400, "FORBİDDEN", "ZORV-BACKEND-HTTP"},  // dotted capital I is not folded
        {502, "", "ZORV-BACKEND-HTTP"},
    };
    for (const Case& c : cases) EXPECT_EQ(classify_http_error(c.status, c.text), c.code) << c.status << " " << c.text;
}

TEST(AddStatusCodeDetail, AppendsAfterExistingFields) {
    auto error = core::make_error(core::Diag::BackendHttp, "m");
    error.add_field("url", "u");
    error = add_status_code_detail(std::move(error), 404);
    ASSERT_EQ(error.fields.size(), 2U);
    EXPECT_EQ(error.fields[1], (std::pair<std::string, std::string>{"status_code", "404"}));
}

TEST(CheckRestEnvelope, ReportsTheFirstDeviation) {
    struct Case {
        std::string json;
        std::string error;  // empty: passes
    };
    const std::string p = "/collections/a/points/query";
    const Case cases[] = {
        {R"({"result":null,"status":"ok"})", ""},
        {R"({"result":1,"status":"ok","time":"x","usage":[]})", ""},
        {R"({"status":"ok"})", p + " response is missing the result field"},
        {R"({"result":1,"status":"OK"})", p + " response is missing status=ok"},
        {R"({"result":1,"status":{"error":"boom"}})", p + " response is missing status=ok"},
        {R"({"result":1})", p + " response is missing status=ok"},
        {R"([1,"ok"])", p + " returned a non-object JSON response"},
        {R"("ok")", p + " returned a non-object JSON response"},
        // A repeated key counts by its later value.
        {R"({"result":1,"status":"bad","status":"ok"})", ""},
        {R"({"result":1,"status":"ok","status":"bad"})", p + " response is missing status=ok"},
    };
    for (const Case& c : cases) {
        auto document = parse_json_text(c.json);
        ASSERT_TRUE(document) << c.json;
        auto checked = check_rest_envelope(document->root(), p);
        if (c.error.empty()) {
            EXPECT_TRUE(checked) << c.json;
            continue;
        }
        ASSERT_FALSE(checked) << c.json;
        EXPECT_EQ(core::format_error(checked.error()), "[ZORV-BACKEND-ENVELOPE] " + c.error) << c.json;
        EXPECT_EQ(checked.error().kind, core::ErrorKind::Backend);
    }
}

}  // namespace
}  // namespace zorv::runtime::rest
