#include <gtest/gtest.h>

#include <vector>

#include "embed/default_text.h"

namespace zorv::embed {
namespace {

using core::Literal;
using core::UpsertRow;

UpsertRow point(core::LiteralDict payload) {
    UpsertRow::Point p;
    p.id.value = std::uint64_t{1};
    p.payload = std::move(payload);
    return UpsertRow{std::move(p)};
}

std::vector<DefaultText> all_texts(const std::vector<UpsertRow>& rows) {
    std::vector<DefaultText> out;
    std::size_t cursor = 0;
    while (auto text = next_default_text(rows, cursor)) out.push_back(std::move(*text));
    EXPECT_EQ(cursor, rows.size());
    return out;
}

TEST(DefaultText, KeysInOrderFirstEntryDecides) {
    const std::vector<UpsertRow> rows = {
        point({{"text", Literal::str("")}, {"body", Literal::str("x")}}),        // empty text: next key
        UpsertRow{core::Placeholder::named("row", {})},                          // skipped, still counted
        point({{"TEXT", Literal::str("a")}, {"text", Literal::str("b")}}),       // first match decides
        point({{"text", Literal::int64(3)}, {"body", Literal::str("x")}}),       // not a string: next key
        point({{"other", Literal::str("y")}}),                                   // no text: skipped
        point({{"document", Literal::str("d")}, {"Title", Literal::str("t")}}),  // title before document
    };
    EXPECT_EQ(all_texts(rows), (std::vector<DefaultText>{{0, "x"}, {2, "a"}, {3, "x"}, {5, "t"}}));
}

TEST(DefaultText, EmptyRows) { EXPECT_TRUE(all_texts({}).empty()); }

}  // namespace
}  // namespace zorv::embed
