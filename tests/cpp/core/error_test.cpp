#include <gtest/gtest.h>

#include "core/diagnostics.h"
#include "core/error.h"

namespace zorv::core {
namespace {

TEST(ErrorDisplay, CodeAndMessageOnly) {
    ZorvError e("ZORV-PARSE-SYNTAX", "bad thing", ErrorKind::Parse);
    EXPECT_EQ(format_error(e), "[ZORV-PARSE-SYNTAX] bad thing");
}

TEST(ErrorDisplay, EmptySpanAtEndOfInput) {
    ZorvError e("ZORV-PARSE-STATEMENT", "m", ErrorKind::Parse, Span{12, 12});
    EXPECT_EQ(format_error(e), "[ZORV-PARSE-STATEMENT] m at 12..12");
}

TEST(ErrorDisplay, FieldsKeepInsertionOrderAndFollowTheSpan) {
    ZorvError e("ZORV-BACKEND-NOT-FOUND", "missing", ErrorKind::Backend, Span{1, 4});
    e.add_field("status_code", "404");
    EXPECT_EQ(format_error(e), "[ZORV-BACKEND-NOT-FOUND] missing at 1..4 {status_code: 404}");
    e.add_field("request_id", "zorv-1");
    EXPECT_EQ(format_error(e), "[ZORV-BACKEND-NOT-FOUND] missing at 1..4 {status_code: 404, request_id: zorv-1}");
}

TEST(ErrorDisplay, FieldsWithoutSpanFollowTheMessage) {
    ZorvError e("ZORV-TRANSPORT", "down", ErrorKind::Transport);
    e.add_field("request_id", "r");
    EXPECT_EQ(format_error(e), "[ZORV-TRANSPORT] down {request_id: r}");
}

TEST(ErrorDisplay, CauseChainIsOneLinePerLevelWithoutDeeperIndent) {
    ZorvError inner("ZORV-C", "c", ErrorKind::Execution);
    ZorvError middle("ZORV-B", "b", ErrorKind::Execution, Span{0, 1});
    middle.set_cause(inner);
    ZorvError outer("ZORV-A", "a", ErrorKind::Execution);
    outer.set_cause(middle);
    EXPECT_EQ(format_error(outer), "[ZORV-A] a\n  caused by: [ZORV-B] b at 0..1\n  caused by: [ZORV-C] c");
    ZorvError copy = outer;
    EXPECT_EQ(format_error(copy), format_error(outer));
    EXPECT_NE(copy.cause.get(), outer.cause.get());
}

TEST(ErrorDisplay, SpanDebugAndKindNames) {
    EXPECT_EQ(span_debug(Span{0, 0}), "Span { start: 0, end: 0 }");
    EXPECT_EQ(span_debug(Span{3, 7}), "Span { start: 3, end: 7 }");
    const char* names[] = {"Lex", "Parse", "Validation", "Execution", "Transport", "Backend"};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(error_kind_name(static_cast<ErrorKind>(k)), names[k]);
}

Result<int> half(int x) {
    if (x % 2 != 0) return fail(Diag::ValidationSlice, "odd");
    return x / 2;
}

Result<int> quarter(int x) {
    int h = ZORV_TRY(half(x));
    return ZORV_TRY(half(h));
}

TEST(ErrorResult, TryPropagatesTheFirstError) {
    EXPECT_EQ(*quarter(8), 2);
    auto r = quarter(6);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().code, "ZORV-VALIDATION-SLICE");
    EXPECT_EQ(r.error().kind, ErrorKind::Validation);
}

}  // namespace
}  // namespace zorv::core
