// Written JSON read back by an independent parser: both body forms of a plan value must be valid
// JSON and, where no Dict repeats a key, the same document.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "core/ast/literal.h"
#include "plan/json_write.h"
#include "plan/value_json.h"

namespace zorv::plan {
namespace {

using core::Literal;

// A parsed document as a value tree. Integers are kind-neutral on the wire, so every non-negative
// integer becomes unsigned on both sides of a comparison.
JsonValue from_dom(simdjson::dom::element element) {
    using Type = simdjson::dom::element_type;
    switch (element.type()) {
        case Type::ARRAY: {
            JsonArray items;
            const simdjson::dom::array array = element.get_array().value();
            for (simdjson::dom::element item : array) items.push_back(from_dom(item));
            return items;
        }
        case Type::OBJECT: {
            JsonObject entries;
            const simdjson::dom::object object = element.get_object().value();
            for (simdjson::dom::key_value_pair field : object) {
                entries.insert_or_assign(std::string(field.key), from_dom(field.value));
            }
            return entries;
        }
        case Type::INT64: {
            const std::int64_t n = element.get_int64().value();
            return n >= 0 ? JsonValue(static_cast<std::uint64_t>(n)) : JsonValue(n);
        }
        case Type::UINT64: return element.get_uint64().value();
        case Type::DOUBLE: return element.get_double().value();
        case Type::STRING: return std::string(element.get_string().value());
        case Type::BOOL: return element.get_bool().value();
        case Type::NULL_VALUE: return nullptr;
    }
    return nullptr;
}

JsonValue normalized(const JsonValue& value) {
    switch (value.kind()) {
        case JsonValue::Kind::Int:
            return value.as_int() >= 0 ? JsonValue(static_cast<std::uint64_t>(value.as_int())) : value;
        case JsonValue::Kind::Float: return std::isfinite(value.as_float()) ? value : JsonValue(nullptr);
        case JsonValue::Kind::Array: {
            JsonArray items;
            for (const JsonValue& item : value.as_array()) items.push_back(normalized(item));
            return items;
        }
        case JsonValue::Kind::Object: {
            JsonObject entries;
            for (const auto& [key, item] : value.as_object()) entries.emplace(key, normalized(item));
            return entries;
        }
        default: return value;
    }
}

testing::AssertionResult read_back(const std::string& text, JsonValue& out) {
    simdjson::dom::parser parser;
    simdjson::dom::element element;
    const simdjson::padded_string padded(text);
    if (auto error = parser.parse(padded).get(element)) {
        return testing::AssertionFailure() << simdjson::error_message(error) << " in " << text;
    }
    out = from_dom(element);
    return testing::AssertionSuccess();
}

std::string random_text(std::mt19937_64& rng) {
    static constexpr std::string_view kPieces[] = {"a",    "\"",  "\\",       "\n",           "\x01",
                                                   "\x1f", "/",   "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                                   " ",    "\x7F"};
    std::string out;
    for (std::uint64_t i = rng() % 5; i > 0; --i) out += kPieces[rng() % std::size(kPieces)];
    return out;
}

double random_double(std::mt19937_64& rng) {
    static constexpr double kSpecial[] = {0.0,
                                          -0.0,
                                          1e16,
                                          5e-324,
                                          0.1,
                                          -1e308,
                                          std::numeric_limits<double>::max(),
                                          1.0e-7,
                                          3.0,
                                          std::numeric_limits<double>::quiet_NaN(),
                                          -std::numeric_limits<double>::infinity()};
    return rng() % 2 ? kSpecial[rng() % std::size(kSpecial)] : std::bit_cast<double>(rng());
}

// Dict keys are distinct but in random order: the text form keeps that order, the value form sorts.
Literal random_value(std::mt19937_64& rng, int depth) {
    switch (rng() % (depth > 0 ? 9 : 7)) {
        case 0: return Literal::str(random_text(rng));
        case 1: return Literal::int64(static_cast<std::int64_t>(rng()));
        case 2: return Literal::uint64(rng() % 2 ? rng() : rng() % 100);
        case 3: return Literal::f64(random_double(rng));
        case 4: return Literal::boolean(rng() % 2 == 0);
        case 5: return Literal::null();
        case 6: {
            core::F32Array items;
            for (std::uint64_t i = rng() % 4; i > 0; --i) {
                items.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(rng())));
            }
            return Literal::f32_array(std::move(items));
        }
        case 7: {
            core::LiteralList items;
            for (std::uint64_t i = rng() % 4; i > 0; --i) items.push_back(random_value(rng, depth - 1));
            return Literal::list(std::move(items));
        }
        default: {
            core::LiteralDict entries;
            const std::uint64_t n = rng() % 5;
            const std::uint64_t start = rng() % 5;
            for (std::uint64_t i = 0; i < n; ++i) {
                // Distinct keys, rotated so they are seldom sorted; one non-ASCII key among them.
                std::string key = (i == 0 ? "\xC3\xA9" : "k") + std::to_string((start + i * 3) % 7) + random_text(rng);
                key += std::to_string(i);
                entries.emplace_back(std::move(key), random_value(rng, depth - 1));
            }
            return Literal::dict(std::move(entries));
        }
    }
}

TEST(JsonReadBack, BothFormsAreOneDocument) {
    std::mt19937_64 rng(1404);
    for (int i = 0; i < 2000; ++i) {
        const Literal value = random_value(rng, 4);
        const JsonValue tree = plan_value_to_json(value);
        std::string text_form;
        write_plan_value(value, text_form);
        JsonValue from_value_form;
        JsonValue from_text_form;
        ASSERT_TRUE(read_back(json_text(tree), from_value_form)) << core::literal_debug(value);
        ASSERT_TRUE(read_back(text_form, from_text_form)) << core::literal_debug(value);
        ASSERT_EQ(from_value_form, from_text_form) << text_form;
        ASSERT_EQ(from_value_form, normalized(tree)) << text_form;
    }
}

// A repeated key is where the forms part: the text form keeps every entry, the value form the last.
TEST(JsonReadBack, RepeatedKeysDifferOnlyInWhichEntryStays) {
    const Literal value = Literal::dict({{"b", Literal::int64(1)}, {"a", Literal::int64(2)}, {"b", Literal::int64(3)}});
    std::string text_form;
    write_plan_value(value, text_form);
    simdjson::dom::parser parser;
    const simdjson::padded_string padded(text_form);
    simdjson::dom::object object;
    ASSERT_FALSE(parser.parse(padded).get(object));
    EXPECT_EQ(object.size(), 3U);
    JsonValue from_value_form;
    ASSERT_TRUE(read_back(json_text(plan_value_to_json(value)), from_value_form));
    EXPECT_EQ(from_value_form, JsonValue(JsonObject{{"a", std::uint64_t{2}}, {"b", std::uint64_t{3}}}));
}

}  // namespace
}  // namespace zorv::plan
