#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "plan/json_value.h"
#include "plan/json_write.h"

namespace zorv::plan {
namespace {

struct TextCase {
    const char* name;
    JsonValue value;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class JsonText : public testing::TestWithParam<TextCase> {};

TEST_P(JsonText, WritesCompactText) { EXPECT_EQ(json_text(GetParam().value), GetParam().text); }

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Scalars, JsonText,
    testing::Values(TextCase{"null", nullptr, "null"}, TextCase{"true", true, "true"},
                    TextCase{"false", false, "false"},
                    TextCase{"uint_max", std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
                    TextCase{"int_min", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
                    TextCase{"int_negative", std::int64_t{-5}, "-5"}, TextCase{"integral_float", 10.0, "10.0"},
                    TextCase{"negative_zero", -0.0, "-0.0"}, TextCase{"shortest_float", 0.1, "0.1"},
                    TextCase{"widened_f32", static_cast<double>(0.1F), "0.10000000149011612"},
                    TextCase{"large_float", 1e300, "1e+300"}, TextCase{"small_float", 5e-324, "5e-324"},
                    TextCase{"nan", kNan, "null"}, TextCase{"infinity", kInf, "null"},
                    TextCase{"minus_infinity", -kInf, "null"},
                    TextCase{"quote_and_backslash", "a\"b\\c", R"("a\"b\\c")"},
                    TextCase{"short_escapes", "\b\f\n\r\t", R"("\b\f\n\r\t")"},
                    TextCase{"other_controls", std::string("\x00\x01\x1f\x7f", 4), "\"\\u0000\\u0001\\u001f\x7f\""},
                    TextCase{"utf8_copied", "h\xC3\xA9/\xF0\x9F\x98\x80", "\"h\xC3\xA9/\xF0\x9F\x98\x80\""}));

INSTANTIATE_TEST_SUITE_P(
    Containers, JsonText,
    testing::Values(
        TextCase{"empty_array", JsonArray{}, "[]"}, TextCase{"empty_object", JsonObject{}, "{}"},
        TextCase{"nested", JsonArray{JsonObject{{"k", JsonArray{1.5, nullptr}}}, "x"}, R"([{"k":[1.5,null]},"x"])"},
        TextCase{"keys_in_byte_order",
                 JsonObject{{"b", std::uint64_t{1}}, {"a", std::uint64_t{2}}, {"B", true}, {"\xC3\xA9", false}},
                 "{\"B\":true,\"a\":2,\"b\":1,\"\xC3\xA9\":false}"}));

TEST(JsonValue, LaterInsertionUnderAKeyReplacesTheEarlierOne) {
    JsonObject obj;
    obj.insert_or_assign("b", std::uint64_t{1});
    obj.insert_or_assign("a", std::uint64_t{2});
    obj.insert_or_assign("b", std::uint64_t{3});
    EXPECT_EQ(json_text(obj), R"({"a":2,"b":3})");
}

TEST(JsonValue, KindsStayApart) {
    EXPECT_NE(JsonValue(std::uint64_t{1}), JsonValue(std::int64_t{1}));
    EXPECT_NE(JsonValue(std::uint64_t{1}), JsonValue(1.0));
    EXPECT_EQ(JsonValue("a").kind(), JsonValue::Kind::String);
}

TEST(JsonFloat32, SparseValuesUseTheShortest32BitDigits) {
    std::string out;
    write_json_f32(out, 0.1F);
    out += ',';
    write_json_f32(out, 3.0F);
    out += ',';
    write_json_f32(out, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(out, "0.1,3.0,null");
}

TEST(JsonObjectWriter, EntriesGetCommasAndTheObjectClosesOnce) {
    std::string out = "[";
    {
        JsonObjectWriter obj(out);
        EXPECT_TRUE(obj.empty());
        write_u64_entry(obj, "limit", 10);
        write_f64_entry(obj, "score_threshold", kNan);
        write_f64_entry(obj, "offset_f", 2.0);
        write_opt_string_entry(obj, "using", std::nullopt);
        write_opt_string_entry(obj, "name", std::string("d\"x"));
        write_str_entry(obj, "alias_name", "a");
        write_str_entry_ref(obj, "collection_name", "c\n");
        obj.close();
        out += ',';
    }
    { JsonObjectWriter empty(out); }
    out += ']';
    EXPECT_EQ(out, R"([{"limit":10,"score_threshold":null,"offset_f":2.0,"using":null,"name":"d\"x","alias_name":"a",)"
                   R"("collection_name":"c\n"},{}])");
}

TEST(JsonObjectWriter, RepeatedKeysAreAllWrittenInOrder) {
    std::string out;
    {
        JsonObjectWriter obj(out);
        write_u64_entry(obj, "b", 1);
        write_u64_entry(obj, "a", 2);
        write_u64_entry(obj, "b", 3);
    }
    EXPECT_EQ(out, R"({"b":1,"a":2,"b":3})");
}

}  // namespace
}  // namespace zorv::plan
