#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/ast/vector.h"
#include "core/lexer.h"
#include "core/parser/helpers.h"
#include "core/parser/parser.h"

namespace zorv::core {
namespace {

constexpr Span kSpan{100, 120};

Literal read_literal(const std::string& text) {
    auto tokens = lex_all(text);
    EXPECT_TRUE(tokens) << text;
    Parser parser(text, std::move(*tokens));
    auto value = parse_literal(parser);
    EXPECT_TRUE(value) << text << ": " << value.error().message;
    return value ? std::move(*value) : Literal::null();
}

// "[0.5, 1.0]": the 32-bit float texts of the literal debug form.
std::string floats_text(const std::vector<float>& values) {
    std::string debug = literal_debug(Literal::f32_array(values));  // F32Array([...])
    return debug.substr(9, debug.size() - 10);
}

std::string inference_tail(const std::optional<std::string>& model, const LiteralDict& options) {
    return std::string(", model ") + (model ? *model : "none") + ", options " + literal_debug(Literal::dict(options));
}

std::string vector_text(const VectorValue& v) {
    switch (v.kind()) {
        case VectorValue::Kind::Dense: return "Dense" + floats_text(std::get<0>(v.value).values);
        case VectorValue::Kind::Sparse: {
            const auto& s = std::get<1>(v.value);
            std::string indices;
            for (std::uint32_t i : s.indices) indices += (indices.empty() ? "" : ", ") + std::to_string(i);
            return "Sparse{[" + indices + "], " + floats_text(s.values) + "}";
        }
        case VectorValue::Kind::MultiDense: {
            std::string out = "MultiDense[";
            for (const auto& row : std::get<2>(v.value).rows) out += floats_text(row);
            return out + "]";
        }
        case VectorValue::Kind::Document: {
            const auto& d = std::get<3>(v.value);
            return "Document{" + d.text + inference_tail(d.model, d.options) + "}";
        }
        case VectorValue::Kind::Image: {
            const auto& i = std::get<4>(v.value);
            return "Image{" + i.source + inference_tail(i.model, i.options) + "}";
        }
        case VectorValue::Kind::Object: {
            const auto& o = std::get<5>(v.value);
            return "Object{" + literal_debug(*o.object) + inference_tail(o.model, o.options) + "}";
        }
        case VectorValue::Kind::Param:
        case VectorValue::Kind::PositionalParam: return literal_debug(Literal::placeholder(std::get<6>(v.value)));
    }
    return "?";
}

std::string point_vectors_text(const PointVectors& p) {
    switch (p.kind()) {
        case PointVectors::Kind::Unnamed: return "Unnamed " + vector_text(std::get<0>(p.value));
        case PointVectors::Kind::Named: {
            std::string out = "Named(";
            for (const auto& [name, vector] : std::get<1>(p.value)) out += name + "=" + vector_text(vector) + ";";
            return out + ")";
        }
        case PointVectors::Kind::Param:
        case PointVectors::Kind::PositionalParam:
            return "Whole " + literal_debug(Literal::placeholder(std::get<2>(p.value)));
    }
    return "?";
}

std::string point_id_text(const PointId& id) {
    switch (id.kind()) {
        case PointId::Kind::Number: return "Number(" + std::to_string(std::get<0>(id.value)) + ")";
        case PointId::Kind::String: return "String(" + std::get<1>(id.value) + ")";
        case PointId::Kind::Param:
        case PointId::Kind::PositionalParam: return literal_debug(Literal::placeholder(std::get<2>(id.value)));
    }
    return "?";
}

template <class T, class Render>
std::string outcome(const Result<T>& r, Render render) {
    if (r) return render(*r);
    const ZorvError& e = r.error();
    EXPECT_EQ(e.kind, ErrorKind::Validation);
    EXPECT_EQ(e.span, kSpan);
    EXPECT_TRUE(e.fields.empty());
    return "ERR " + e.code + "|" + e.message;
}

enum class Conversion { Vector, Input, PointId };

struct ConversionCase {
    Conversion conversion;
    std::string input;  // literal text
    std::string expected;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    const char* names[] = {"vector", "input", "point id"};
    *os << names[static_cast<int>(c.conversion)] << " " << c.input;
}

std::string convert(Conversion conversion, Literal literal) {
    switch (conversion) {
        case Conversion::Vector: return outcome(literal_to_vector(std::move(literal), kSpan), vector_text);
        case Conversion::Input: return outcome(literal_to_vector_input(std::move(literal), kSpan), point_vectors_text);
        case Conversion::PointId: return outcome(literal_to_point_id(std::move(literal), kSpan), point_id_text);
    }
    return "?";
}

class Conversions : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversions, Convert) {
    EXPECT_EQ(convert(GetParam().conversion, read_literal(GetParam().input)), GetParam().expected);
}

constexpr auto V = Conversion::Vector;
constexpr auto I = Conversion::Input;
constexpr auto P = Conversion::PointId;

const std::string kNumeric = "ERR ZORV-BIND-TYPE-MISMATCH|vector elements must be numeric";
const std::string kFinite = "ERR ZORV-VALIDATION-VECTOR|vector elements must be finite f32 values";
const std::string kNotVector =
    "ERR ZORV-VALIDATION-VECTOR|vector must be a dense list, sparse object, or list of dense lists";
const std::string kSparseRequires = "ERR ZORV-VALIDATION-VECTOR|sparse vectors require indices and values lists";
const std::string kSparseLengths =
    "ERR ZORV-VALIDATION-VECTOR|sparse vector indices and values must be non-empty and have equal length";
const std::string kNegativeIndex = "ERR ZORV-VALIDATION-VECTOR|sparse vector indices must be non-negative integers";
const std::string kIndexRange = "ERR ZORV-VALIDATION-VECTOR|sparse vector index is out of range";
const std::string kMultiple = "ERR ZORV-VALIDATION-VECTOR|multivector data length must be a non-empty multiple of dim";
const std::string kDim = "ERR ZORV-VALIDATION-VECTOR|multivector dim must be a positive integer";
const std::string kNotPointId = "ERR ZORV-VALIDATION-POINT-ID|point IDs must be unsigned integers or strings";

const ConversionCase kCases[] = {
    // dense and multidense lists
    {V, "[3, 4.5]", "Dense[3.0, 4.5]"},
    {V, "[-1, 18446744073709551615, 0.1]", "Dense[-1.0, 1.8446744e19, 0.1]"},
    {V, "[]", "ERR ZORV-VALIDATION-VECTOR|multidense vector cannot be empty"},
    {V, "[[]]", "ERR ZORV-VALIDATION-VECTOR|multidense vector rows cannot be empty"},
    {V, "[[1], []]", "ERR ZORV-VALIDATION-VECTOR|multidense vector rows cannot be empty"},
    {V, "[[1, 2], [3]]", "MultiDense[[1.0, 2.0][3.0]]"},
    {V, "[[1, 'a']]", kNumeric},
    {V, "[1, [2]]", kNumeric},
    {V, "['a']", kNumeric},
    {V, "[1, null]", kNumeric},
    {V, "[1, :p]", kNumeric},
    {V, "[1e39]", kFinite},
    {V, "[3.4028235e38]", "Dense[3.4028235e38]"},
    {V, "[-3.4028235e38]", "Dense[-3.4028235e38]"},
    {V, "[3.4028236e38]", kFinite},
    // The first failing element decides.
    {V, "[1e39, 'a']", kFinite},
    {V, "['a', 1e39]", kNumeric},
    // sparse objects
    {V, "{Indices: [1, 7], VALUES: [0.5, 2]}", "Sparse{[1, 7], [0.5, 2.0]}"},
    {V, "{values: [0.5], indices: [4294967295], other: 'ignored'}", "Sparse{[4294967295], [0.5]}"},
    {V, "{indices: [1], values: [0.5, 1]}", kSparseLengths},
    {V, "{indices: [], values: []}", kSparseLengths},
    {V, "{indices: [-1], values: [1]}", kNegativeIndex},
    {V, "{indices: [1.0], values: [1]}", kNegativeIndex},
    {V, "{indices: 1, values: [1]}", kNegativeIndex},
    {V, "{indices: [4294967296], values: [1]}", kIndexRange},
    {V, "{indices: [18446744073709551615], values: [1]}", kIndexRange},
    {V, "{indices: [1], values: 'x'}", "ERR ZORV-VALIDATION-VECTOR|sparse vector values must be a list of numbers"},
    {V, "{indices: [1], values: ['x']}", kNumeric},
    // Indices are checked before values.
    {V, "{values: ['x'], indices: [-1]}", kNegativeIndex},
    {V, "{indices: [1]}", kSparseRequires},
    {V, "{}", kSparseRequires},
    {V, "{foo: 1}", kSparseRequires},
    {V, "{text: 5}", kSparseRequires},
    // flat multivectors
    {V, "{data: [1, 2, 3, 4], dim: 2}", "MultiDense[[1.0, 2.0][3.0, 4.0]]"},
    {V, "{DIM: 18446744073709551615, data: []}", kMultiple},
    {V, "{data: [1, 2, 3], dim: 2}", kMultiple},
    {V, "{data: [], dim: 2}", kMultiple},
    {V, "{data: 'x', dim: 0}", kDim},
    {V, "{data: [1], dim: -1}", kDim},
    {V, "{data: [1], dim: 1.0}", kDim},
    {V, "{data: 'x', dim: 2}", "ERR ZORV-VALIDATION-VECTOR|multivector data must be a flat list of numbers"},
    {V, "{data: [[1]], dim: 1}", kNumeric},
    {V, "{dim: 2}", "ERR ZORV-VALIDATION-VECTOR|flat multivector requires data and dim (e.g. {data: [...], dim: 128})"},
    {V, "{data: [1], indices: [1]}",
     "ERR ZORV-VALIDATION-VECTOR|vector object must be either flat multivector {data, dim} or sparse {indices, "
     "values}, not both"},
    // inference inputs
    {V, "{text: 'hello', model: 'm'}", "Document{hello, model m, options Dict([])}"},
    {V, "{TEXT: 'hi', Options: {lang: en}}", R"(Document{hi, model none, options Dict([("lang", Str("en"))])})"},
    {V, "{image: 'http://x/cat.png', model: 'clip'}", "Image{http://x/cat.png, model clip, options Dict([])}"},
    {V, "{object: {a: 1}}", R"(Object{Dict([("a", Int(1))]), model none, options Dict([])})"},
    // A key whose value has another kind carries nothing.
    {V, "{text: 'a', image: 5}", "Document{a, model none, options Dict([])}"},
    {V, "{text: 'a', image: 'b'}",
     "ERR ZORV-VALIDATION-VECTOR|inference vector carries more than one of text, image, object"},
    {V, "{text: 'a', foo: 1}",
     "ERR ZORV-VALIDATION-VECTOR|inference vector must only carry text/image/object, model, and options"},
    {V, "{text: 'a', values: [1]}",
     "ERR ZORV-VALIDATION-VECTOR|inference vector must only carry text/image/object, model, and options"},
    {V, "{object: {a: 1}, model: 3}", "ERR ZORV-VALIDATION-VECTOR|inference vector model must be a string"},
    {V, "{text: 'a', options: [1]}", "ERR ZORV-VALIDATION-VECTOR|inference vector options must be an object"},
    // scalars and placeholders
    {V, "'x'", kNotVector},
    {V, "5", kNotVector},
    {V, "1.5", kNotVector},
    {V, "true", kNotVector},
    {V, "null", kNotVector},
    {V, ":v", R"(Param("v", Some(Span { start: 0, end: 2 })))"},
    {V, "?", "PositionalParam(0, Some(Span { start: 0, end: 1 }))"},
    // point rows
    {I, "[1, 2]", "Unnamed Dense[1.0, 2.0]"},
    {I, "[[1], [2]]", "Unnamed MultiDense[[1.0][2.0]]"},
    {I, "{indices: [1], values: [2]}", "Unnamed Sparse{[1], [2.0]}"},
    {I, "{VALUES: [1]}", "ERR ZORV-VALIDATION-VECTOR|sparse vectors require indices and values lists"},
    {I, "{text: 'a'}", "Unnamed Document{a, model none, options Dict([])}"},
    {I, "{text: 'a', foo: 1}",
     "ERR ZORV-VALIDATION-VECTOR|inference vector must only carry text/image/object, model, and options"},
    {I, "{dense: [1, 2], sparse: {indices: [1], values: [1]}}",
     "Named(dense=Dense[1.0, 2.0];sparse=Sparse{[1], [1.0]};)"},
    {I, "{img: {image: 'p.png'}, v: :x}",
     R"(Named(img=Image{p.png, model none, options Dict([])};v=Param("x", Some(Span { start: 27, end: 29 }));))"},
    {I, "{}", "Named()"},
    {I, "{text: 5}", kNotVector},
    {I, "{data: [1, 2], dim: 2}", kNotVector},
    {I, "{a: [1], b: [], c: 'x'}", "ERR ZORV-VALIDATION-VECTOR|multidense vector cannot be empty"},
    {I, "5", kNotVector},
    {I, "[]", "ERR ZORV-VALIDATION-VECTOR|multidense vector cannot be empty"},
    {I, ":row", R"(Whole Param("row", Some(Span { start: 0, end: 4 })))"},
    {I, "?", "Whole PositionalParam(0, Some(Span { start: 0, end: 1 }))"},
    // point ids
    {P, "0", "Number(0)"},
    {P, "42", "Number(42)"},
    {P, "18446744073709551615", "Number(18446744073709551615)"},
    {P, "'abc'", "String(abc)"},
    {P, "'not a uuid'", "String(not a uuid)"},
    {P, ":id", R"(Param("id", Some(Span { start: 0, end: 3 })))"},
    {P, "?", "PositionalParam(0, Some(Span { start: 0, end: 1 }))"},
    {P, "-1", kNotPointId},
    {P, "1.5", kNotPointId},
    {P, "true", kNotPointId},
    {P, "null", kNotPointId},
    {P, "[1]", kNotPointId},
    {P, "{}", kNotPointId},
};

INSTANTIATE_TEST_SUITE_P(All, Conversions, ::testing::ValuesIn(kCases));

// Values that text cannot spell: F32Array buffers, placeholders without spans, keys that
// differ only in case (a bound Dict may hold them).
TEST(VectorConversion, F32ArraysAreTakenAsTheyAre) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(convert(V, Literal::f32_array({})), "ERR ZORV-VALIDATION-VECTOR|dense vector cannot be empty");
    auto dense = literal_to_vector(Literal::f32_array({0.5f, nan}), kSpan);
    ASSERT_TRUE(dense);
    const auto& values = std::get<VectorValue::Dense>(dense->value).values;
    ASSERT_EQ(values.size(), 2u);
    EXPECT_TRUE(std::isnan(values[1]));

    Literal rows = Literal::list({Literal::f32_array({1.0f}), read_literal("[2, 3]")});
    EXPECT_EQ(convert(V, rows), "MultiDense[[1.0][2.0, 3.0]]");
    EXPECT_EQ(convert(V, Literal::list({Literal::f32_array({})})),
              "ERR ZORV-VALIDATION-VECTOR|multidense vector rows cannot be empty");

    Literal sparse = Literal::dict({{"indices", read_literal("[3]")}, {"values", Literal::f32_array({0.25f})}});
    EXPECT_EQ(convert(V, sparse), "Sparse{[3], [0.25]}");
    Literal flat = Literal::dict({{"data", Literal::f32_array({1, 2, 3, 4, 5, 6})}, {"dim", Literal::uint64(3)}});
    EXPECT_EQ(convert(V, flat), "MultiDense[[1.0, 2.0, 3.0][4.0, 5.0, 6.0]]");
    EXPECT_EQ(convert(V, Literal::list({Literal::f32_array({1.0f}), Literal::int64(2)})), kNumeric);
    EXPECT_EQ(convert(P, Literal::f32_array({1.0f})), kNotPointId);
}

TEST(VectorConversion, MovesTheFloatBufferIntoTheVector) {
    Literal array = Literal::f32_array({1.0f, 2.0f, 3.0f});
    const float* buffer = array.as_f32_array().data();
    auto dense = literal_to_vector(std::move(array), kSpan);
    ASSERT_TRUE(dense);
    EXPECT_EQ(std::get<VectorValue::Dense>(dense->value).values.data(), buffer);

    LiteralDict pairs;
    pairs.emplace_back("indices", read_literal("[1]"));
    pairs.emplace_back("values", Literal::f32_array({0.5f}));
    const float* values_buffer = pairs.back().second.as_f32_array().data();
    auto sparse = literal_to_vector(Literal::dict(std::move(pairs)), kSpan);
    ASSERT_TRUE(sparse);
    EXPECT_EQ(std::get<VectorValue::Sparse>(sparse->value).values.data(), values_buffer);
}

TEST(VectorConversion, LaterCaseVariantOfAShapeKeyWins) {
    Literal dict = Literal::dict(
        {{"indices", read_literal("[1]")}, {"values", read_literal("[1]")}, {"INDICES", read_literal("[9]")}});
    EXPECT_EQ(convert(V, dict), "Sparse{[9], [1.0]}");
    // For inference keys the first pair counts.
    Literal doc = Literal::dict({{"text", Literal::str("first")}, {"Text", Literal::str("second")}});
    EXPECT_EQ(convert(V, doc), "Document{first, model none, options Dict([])}");
    Literal models =
        Literal::dict({{"text", Literal::str("t")}, {"model", Literal::str("a")}, {"MODEL", Literal::int64(1)}});
    EXPECT_EQ(convert(V, models), "Document{t, model a, options Dict([])}");
}

TEST(VectorConversion, PlaceholdersWithoutSpansTakeTheGivenSpan) {
    const std::string given = "Some(Span { start: 100, end: 120 })";
    EXPECT_EQ(convert(V, Literal::param("v")), "Param(\"v\", " + given + ")");
    EXPECT_EQ(convert(V, Literal::positional(3)), "PositionalParam(3, " + given + ")");
    EXPECT_EQ(convert(I, Literal::param("row")), "Whole Param(\"row\", " + given + ")");
    EXPECT_EQ(convert(I, Literal::positional(1)), "Whole PositionalParam(1, " + given + ")");
    EXPECT_EQ(convert(P, Literal::param("id")), "Param(\"id\", " + given + ")");
    EXPECT_EQ(convert(P, Literal::positional(2)), "PositionalParam(2, " + given + ")");
    EXPECT_EQ(convert(I, Literal::dict({{"a", Literal::param("x")}})), "Named(a=Param(\"x\", " + given + ");)");

    auto unspanned = literal_to_vector(Literal::param("v"), std::nullopt);
    ASSERT_TRUE(unspanned);
    EXPECT_EQ(std::get<Placeholder>(unspanned->value).span.get(), std::nullopt);
    auto error = literal_to_vector(Literal::null(), std::nullopt);
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error().span, std::nullopt);
}

TEST(VectorConversion, InferenceInputCopiesOutOfTheDict) {
    const LiteralDict pairs = {{"object", read_literal("{k: [1, 2]}")},
                               {"options", read_literal("{truncate: true}")},
                               {"model", Literal::str("m")}};
    auto result = inference_vector_from_dict(pairs, kSpan);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ(vector_text(**result),
              R"(Object{Dict([("k", List([Int(1), Int(2)]))]), model m, options Dict([("truncate", Bool(true))])})");
    EXPECT_EQ(pairs[0].second, read_literal("{k: [1, 2]}"));

    auto none = inference_vector_from_dict(read_literal("{text: 1, image: null, object: 'x'}").as_dict(), kSpan);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->has_value());
}

}  // namespace
}  // namespace zorv::core
