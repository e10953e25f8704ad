// The FORMULA expression of a query in plan form, its DEFAULTS values, and their lowering from
// the statement tree.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/formula.h"
#include "core/ast/literal.h"
#include "core/error.h"
#include "plan/filter.h"

namespace zorv::plan {

// Kinds that share a payload type (the two-operand and one-operand kinds) are told apart by the
// variant index only: build them with `make`.
struct PlanExpression {
    enum class Kind : std::uint8_t {
        Constant,
        Variable,
        Sum,
        Sub,
        Mult,
        Div,
        Neg,
        Abs,
        Sqrt,
        Log10,
        Ln,
        Exp,
        Acosh,
        Max,
        Min,
        Pow,
        GeoDistance,
        Decay,
        Condition,
        Case,
        Datetime,
        DatetimeKey,
    };
    enum class DecayKind : std::uint8_t { Exp, Lin, Gauss };

    struct Binary {
        core::Box<PlanExpression> left;
        core::Box<PlanExpression> right;
        friend bool operator==(const Binary&, const Binary&) = default;
    };
    struct Div {
        core::Box<PlanExpression> left;
        core::Box<PlanExpression> right;
        std::optional<double> by_zero_default;
        friend bool operator==(const Div&, const Div&) = default;
    };
    struct Unary {
        core::Box<PlanExpression> operand;
        friend bool operator==(const Unary&, const Unary&) = default;
    };
    struct Operands {
        std::vector<PlanExpression> items;
        friend bool operator==(const Operands&, const Operands&) = default;
    };
    struct Pow {
        core::Box<PlanExpression> base;
        core::Box<PlanExpression> exponent;
        friend bool operator==(const Pow&, const Pow&) = default;
    };
    struct GeoDistance {
        PlanGeoPoint origin;
        std::string to;  // the payload key holding the other point
        friend bool operator==(const GeoDistance&, const GeoDistance&) = default;
    };
    struct Decay {
        DecayKind kind = DecayKind::Exp;
        core::Box<PlanExpression> x;
        std::optional<core::Box<PlanExpression>> target;
        std::optional<double> scale;
        std::optional<double> midpoint;
        friend bool operator==(const Decay&, const Decay&) = default;
    };
    struct Case {
        PlanFilter condition;
        core::Box<PlanExpression> then_;
        core::Box<PlanExpression> else_;
        friend bool operator==(const Case&, const Case&) = default;
    };

    // Variable, Datetime and DatetimeKey hold their text; Condition its filter in either form.
    using Node =
        std::variant<double, std::string, Binary, Binary, Binary, Div, Unary, Unary, Unary, Unary, Unary, Unary, Unary,
                     Operands, Operands, Pow, GeoDistance, Decay, PlanFilter, Case, std::string, std::string>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <Kind K, class... A>
    static PlanExpression make(A&&... args) {
        return PlanExpression{Node(std::in_place_index<static_cast<std::size_t>(K)>, std::forward<A>(args)...)};
    }

    friend bool operator==(const PlanExpression&, const PlanExpression&) = default;
};

static_assert(std::variant_size_v<PlanExpression::Node> == 22);

// "exp_decay", "lin_decay" or "gauss_decay": the key the server reads.
std::string_view decay_function_name(PlanExpression::DecayKind kind);

struct PlanDefaultValue;
using PlanDefaultList = std::vector<PlanDefaultValue>;
// Keys in ascending byte order, one entry per key.
using PlanDefaultObject = std::map<std::string, PlanDefaultValue, std::less<>>;

// A value of the DEFAULTS map.
struct PlanDefaultValue {
    enum class Kind : std::uint8_t { Null, Bool, Integer, Float, String, List, Object };
    using Value =
        std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, PlanDefaultList, PlanDefaultObject>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    friend bool operator==(const PlanDefaultValue&, const PlanDefaultValue&) = default;
};

core::Result<PlanExpression> lower_formula(const core::FormulaExpr& expr);
// Cannot fail: every literal kind has a default value form.
PlanDefaultValue lower_formula_defaults(const core::Literal& value);
// ZORV-PLAN-FORMULA-DECAY for a decay function name outside exp, lin and gauss.
core::ZorvError decay_error(std::string_view kind);

}  // namespace zorv::plan
