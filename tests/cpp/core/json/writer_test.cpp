#include "core/json/writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace zorv::core {
namespace {

struct F64Case {
    double value;
    const char* text;
};

TEST(JsonNumbers, F64PlainFromExponentMinus5To15AndExponentFormOutside) {
    const double inf = std::numeric_limits<double>::infinity();
    const F64Case cases[] = {
        {1.0, "1.0"},
        {0.25, "0.25"},
        {-1.5, "-1.5"},
        {123.456, "123.456"},
        {0.00001, "0.00001"},
        {0.000012, "0.000012"},
        {0.000001, "1e-6"},
        {2.5e-7, "2.5e-7"},
        {1e15, "1000000000000000.0"},
        {1.5e15, "1500000000000000.0"},
        {1e16, "1e+16"},
        {1.5e20, "1.5e+20"},
        {1e300, "1e+300"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {0.1, "0.1"},
        {inf, "null"},
        {-inf, "null"},
        {std::numeric_limits<double>::quiet_NaN(), "null"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_json_f64(out, c.value);
        EXPECT_EQ(out, c.text) << c.text;
    }
}

TEST(JsonNumbers, F32KeepsItsOwnShortestDigitsAndPlainRange) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.1F, "0.1"},           {0.41F, "0.41"},
        {1e13F, "1e+13"},        {1e12F, "1000000000000.0"},
        {0.000001F, "0.000001"}, {1e-7F, "1e-7"},
        {-7.0F, "-7.0"},         {250.0F, "250.0"},
        {0.0F, "0.0"},           {std::numeric_limits<float>::quiet_NaN(), "null"},
    };
    for (const auto& c : cases) {
        std::string out;
        append_json_f32(out, c.value);
        EXPECT_EQ(out, c.text) << c.text;
    }
}

TEST(JsonStrings, EscapesQuoteBackslashAndControlCharactersOnly) {
    std::string out;
    append_json_string(out, "a\tb\nc\"d\\e\x01\x1f\b\f\r\x7f\xC3\xA9");
    EXPECT_EQ(out, "\"a\\tb\\nc\\\"d\\\\e\\u0001\\u001f\\b\\f\\r\x7f\xC3\xA9\"");
}

TEST(JsonTextWriter, PlacesCommasAndColonsWithoutWhitespace) {
    std::string out;
    JsonTextWriter w(out);
    w.begin_object();
    w.key("a");
    w.begin_array();
    w.i64(std::numeric_limits<std::int64_t>::min());
    w.u64(std::numeric_limits<std::uint64_t>::max());
    w.begin_array();
    w.end_array();
    w.null();
    w.end_array();
    w.key("b");
    w.begin_object();
    w.end_object();
    w.key("c");
    w.boolean(false);
    w.end_object();
    EXPECT_EQ(out, R"({"a":[-9223372036854775808,18446744073709551615,[],null],"b":{},"c":false})");
}

}  // namespace
}  // namespace zorv::core
