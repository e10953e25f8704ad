// Values written in statements: literals, placeholders, point ids, shard keys.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/placeholder.h"
#include "core/error.h"

namespace zorv::core {

// An exclusively owned heap value with value semantics: copying copies the pointee.
template <class T>
class Box {
public:
    Box() : ptr_(std::make_unique<T>()) {}
    Box(T value) : ptr_(std::make_unique<T>(std::move(value))) {}  // NOLINT: implicit on purpose
    Box(const Box& other) : ptr_(std::make_unique<T>(*other.ptr_)) {}
    Box(Box&&) noexcept = default;
    Box& operator=(const Box& other) {
        if (this != &other) ptr_ = std::make_unique<T>(*other.ptr_);
        return *this;
    }
    Box& operator=(Box&&) noexcept = default;

    T& operator*() { return *ptr_; }
    const T& operator*() const { return *ptr_; }
    T* operator->() { return ptr_.get(); }
    const T* operator->() const { return ptr_.get(); }
    T* get() { return ptr_.get(); }
    const T* get() const { return ptr_.get(); }

    friend bool operator==(const Box& a, const Box& b) { return *a.ptr_ == *b.ptr_; }

private:
    std::unique_ptr<T> ptr_;
};

struct NullValue {
    friend bool operator==(const NullValue&, const NullValue&) = default;
};

struct Literal;
using LiteralEntry = std::pair<std::string, Literal>;
using LiteralDict = std::vector<LiteralEntry>;
using LiteralList = std::vector<Literal>;
using F32Array = std::vector<float>;

struct Literal {
    // Tag order: the variant index is the kind, except that the one Placeholder alternative is
    // Param when named and PositionalParam when positional.
    enum class Kind : std::uint8_t { Str, Int, UInt, Float, Bool, Null, Dict, List, F32Array, Param, PositionalParam };
    using Value = std::variant<std::string, std::int64_t, std::uint64_t, double, bool, NullValue, LiteralDict,
                               LiteralList, F32Array, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    bool is_placeholder() const { return value.index() == 9; }
    bool is(Kind k) const { return kind() == k; }

    static Literal str(std::string s) { return Literal{Value(std::in_place_index<0>, std::move(s))}; }
    static Literal int64(std::int64_t v) { return Literal{Value(std::in_place_index<1>, v)}; }
    static Literal uint64(std::uint64_t v) { return Literal{Value(std::in_place_index<2>, v)}; }
    static Literal f64(double v) { return Literal{Value(std::in_place_index<3>, v)}; }
    static Literal boolean(bool v) { return Literal{Value(std::in_place_index<4>, v)}; }
    static Literal null() { return Literal{Value(std::in_place_index<5>)}; }
    static Literal dict(LiteralDict d) { return Literal{Value(std::in_place_index<6>, std::move(d))}; }
    static Literal list(LiteralList l) { return Literal{Value(std::in_place_index<7>, std::move(l))}; }
    static Literal f32_array(F32Array a) { return Literal{Value(std::in_place_index<8>, std::move(a))}; }
    static Literal param(std::string name, SourceSpan span = {}) {
        return Literal{Value(std::in_place_index<9>, Placeholder::named(std::move(name), span))};
    }
    static Literal positional(std::uint64_t index, SourceSpan span = {}) {
        return Literal{Value(std::in_place_index<9>, Placeholder::positional(index, span))};
    }
    static Literal placeholder(Placeholder p) { return Literal{Value(std::in_place_index<9>, std::move(p))}; }

    const std::string& as_str() const { return std::get<0>(value); }
    std::int64_t as_int() const { return std::get<1>(value); }
    std::uint64_t as_uint() const { return std::get<2>(value); }
    double as_float() const { return std::get<3>(value); }
    bool as_bool() const { return std::get<4>(value); }
    const LiteralDict& as_dict() const { return std::get<6>(value); }
    LiteralDict& as_dict() { return std::get<6>(value); }
    const LiteralList& as_list() const { return std::get<7>(value); }
    LiteralList& as_list() { return std::get<7>(value); }
    const F32Array& as_f32_array() const { return std::get<8>(value); }
    F32Array& as_f32_array() { return std::get<8>(value); }
    const Placeholder& as_placeholder() const { return std::get<9>(value); }
    Placeholder& as_placeholder() { return std::get<9>(value); }
    // The placeholder of a Param or a PositionalParam.
    const Placeholder& as_param() const { return std::get<9>(value); }
    const Placeholder& as_positional() const { return std::get<9>(value); }

    friend bool operator==(const Literal&, const Literal&) = default;
};

// Debug text used inside messages: Str("a\"b"), Int(-3), Dict([("k", Null)]), Param("x", None), ...
std::string literal_debug(const Literal& literal);
// Shortest round-trip float text with at least one fractional digit; exponent form outside [1e-4, 1e16).
std::string float_debug(double value);

struct PointId {
    // Tag order: Number, String, Param, PositionalParam (both held as the Placeholder alternative).
    enum class Kind : std::uint8_t { Number, String, Param, PositionalParam };
    using Value = std::variant<std::uint64_t, std::string, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    friend bool operator==(const PointId&, const PointId&) = default;
};

struct ShardKey {
    // Tag order: Keyword, Number, Param, PositionalParam (text first, unlike PointId).
    enum class Kind : std::uint8_t { Keyword, Number, Param, PositionalParam };
    using Value = std::variant<std::string, std::uint64_t, Placeholder>;
    Value value;

    Kind kind() const { return kind_with_placeholder<Kind>(value); }
    friend bool operator==(const ShardKey&, const ShardKey&) = default;
};

// 'text' (escaped as canonical string literals), decimal number, ":name" or "?".
std::string shard_key_display(const ShardKey& key);

// Copy everything, placeholder spans included; the copy shares nothing with its source.
inline Literal clone_literal(const Literal& literal) { return literal; }
inline ShardKey clone_shard_key(const ShardKey& key) { return key; }

// The collection a QUERY, COUNT or FACET reads from; no name means inherited.
struct CollectionRef {
    std::optional<std::string> name;
    bool is_inherited() const { return !name.has_value(); }
    friend bool operator==(const CollectionRef&, const CollectionRef&) = default;
};

// The debug names of small enumerations that the explanation prints.
enum class OrderDirection : std::uint8_t { Asc, Desc };
enum class VectorKind : std::uint8_t { Dense, Sparse };
enum class UpdateMode : std::uint8_t { InsertOnly, UpdateOnly, Upsert };
std::string_view order_direction_name(OrderDirection d);
std::string_view vector_kind_name(VectorKind k);
std::string_view update_mode_name(UpdateMode m);

}  // namespace zorv::core
