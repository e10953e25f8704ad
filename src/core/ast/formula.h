// The FORMULA expression tree of a QUERY.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/filter.h"
#include "core/ast/literal.h"

namespace zorv::core {

// A node owns its children; copying a FormulaExpr copies the whole tree (CASE filters included).
// The variant index is the kind; walkers switch over kind() or std::visit the node.
struct FormulaExpr {
    enum class Kind : std::uint8_t {
        Constant,
        Variable,
        Sum,
        Sub,
        Mul,
        Div,
        Neg,
        Abs,
        Sqrt,
        Log,
        Ln,
        Exp,
        Acosh,
        Pow,
        Max,
        Min,
        GeoDistance,
        Decay,
        Case,
        MatchCondition,
        Datetime,
        DatetimeKey,
    };

    // No default member initialisers in the first alternative: inside the enclosing class they
    // would make the variant (and so FormulaExpr) look not default-constructible.
    struct Constant {
        double value;
        friend bool operator==(const Constant&, const Constant&) = default;
    };
    // A payload key, or a placeholder. `param` tells the two apart, since a quoted key may itself
    // begin with ":" or "?"; `name` is the key, empty for a placeholder.
    struct Variable {
        std::string name;
        std::optional<Placeholder> param;

        bool is_placeholder() const { return param.has_value(); }
        friend bool operator==(const Variable&, const Variable&) = default;
    };
    struct Sum {
        Box<FormulaExpr> left;
        Box<FormulaExpr> right;
        friend bool operator==(const Sum&, const Sum&) = default;
    };
    struct Sub {
        Box<FormulaExpr> left;
        Box<FormulaExpr> right;
        friend bool operator==(const Sub&, const Sub&) = default;
    };
    struct Mul {
        Box<FormulaExpr> left;
        Box<FormulaExpr> right;
        friend bool operator==(const Mul&, const Mul&) = default;
    };
    struct Div {
        Box<FormulaExpr> left;
        Box<FormulaExpr> right;
        std::optional<double> by_zero_default;
        friend bool operator==(const Div&, const Div&) = default;
    };
    struct Neg {
        Box<FormulaExpr> operand;
        friend bool operator==(const Neg&, const Neg&) = default;
    };
    struct Abs {
        Box<FormulaExpr> x;
        friend bool operator==(const Abs&, const Abs&) = default;
    };
    struct Sqrt {
        Box<FormulaExpr> x;
        std::optional<double> domain_default;
        friend bool operator==(const Sqrt&, const Sqrt&) = default;
    };
    struct Log {
        Box<FormulaExpr> x;
        std::optional<double> domain_default;
        friend bool operator==(const Log&, const Log&) = default;
    };
    struct Ln {
        Box<FormulaExpr> x;
        std::optional<double> domain_default;
        friend bool operator==(const Ln&, const Ln&) = default;
    };
    struct Exp {
        Box<FormulaExpr> x;
        friend bool operator==(const Exp&, const Exp&) = default;
    };
    struct Acosh {
        Box<FormulaExpr> x;
        std::optional<double> domain_default;
        friend bool operator==(const Acosh&, const Acosh&) = default;
    };
    struct Pow {
        Box<FormulaExpr> base;
        Box<FormulaExpr> exponent;
        friend bool operator==(const Pow&, const Pow&) = default;
    };
    struct Max {
        std::vector<FormulaExpr> args;
        friend bool operator==(const Max&, const Max&) = default;
    };
    struct Min {
        std::vector<FormulaExpr> args;
        friend bool operator==(const Min&, const Min&) = default;
    };
    struct GeoDistance {
        double lat = 0.0;
        double lon = 0.0;
        std::string field;
        friend bool operator==(const GeoDistance&, const GeoDistance&) = default;
    };
    // `kind` is the lower-case function name: "exp_decay", "lin_decay" or "gauss_decay".
    struct Decay {
        std::string kind;
        Box<FormulaExpr> x;
        std::optional<Box<FormulaExpr>> target;
        std::optional<double> scale;
        std::optional<double> midpoint;
        friend bool operator==(const Decay&, const Decay&) = default;
    };
    struct Case {
        Box<Filter> cond;
        Box<FormulaExpr> then_;
        Box<FormulaExpr> else_;
        friend bool operator==(const Case&, const Case&) = default;
    };
    struct MatchCondition {
        std::string field;
        LiteralList values;
        friend bool operator==(const MatchCondition&, const MatchCondition&) = default;
    };
    struct Datetime {
        std::string value;
        friend bool operator==(const Datetime&, const Datetime&) = default;
    };
    struct DatetimeKey {
        std::string key;
        friend bool operator==(const DatetimeKey&, const DatetimeKey&) = default;
    };

    using Node = std::variant<Constant, Variable, Sum, Sub, Mul, Div, Neg, Abs, Sqrt, Log, Ln, Exp, Acosh, Pow, Max,
                              Min, GeoDistance, Decay, Case, MatchCondition, Datetime, DatetimeKey>;
    Node node;

    Kind kind() const { return static_cast<Kind>(node.index()); }
    bool is(Kind k) const { return kind() == k; }

    template <Kind K>
    auto& get() {
        return std::get<static_cast<std::size_t>(K)>(node);
    }
    template <Kind K>
    const auto& get() const {
        return std::get<static_cast<std::size_t>(K)>(node);
    }

    static FormulaExpr constant(double value) { return FormulaExpr{Constant{value}}; }
    // A payload key (never a placeholder, whatever its first character).
    static FormulaExpr variable(std::string name) { return FormulaExpr{Variable{std::move(name), std::nullopt}}; }
    // ":name" placeholder; `name` is given without the colon.
    static FormulaExpr named_param(std::string name, SourceSpan span = {});
    // "?" placeholder with its positional index.
    static FormulaExpr positional_param(std::uint64_t index, SourceSpan span = {});
    static FormulaExpr placeholder(Placeholder param) { return FormulaExpr{Variable{std::string(), std::move(param)}}; }

    friend bool operator==(const FormulaExpr&, const FormulaExpr&) = default;
};

static_assert(std::variant_size_v<FormulaExpr::Node> == 22);

// The variant name ("Constant", "Variable", ...), also the key of the statement JSON.
std::string_view formula_kind_name(FormulaExpr::Kind kind);

// Deep copy: copies every child, CASE conditions with their filters.
inline FormulaExpr clone_formula(const FormulaExpr& expr) { return expr; }

}  // namespace zorv::core
