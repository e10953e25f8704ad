#include "plan/rest/formula_body.h"

#include <string_view>
#include <vector>

#include "core/overloaded.h"
#include "plan/rest/filter_body.h"
#include "plan/rest/json_sink.h"

namespace zorv::plan {

namespace {

using Kind = PlanExpression::Kind;

// A formula's condition keeps the single form: the server reads a bare condition there.
void emit_filter_entry(ValueSink& sink, const PlanFilter& filter) { put_filter_value(sink, filter); }
void emit_filter_entry(TextSink& sink, const PlanFilter& filter) { write_filter(sink.prefix(), filter); }

template <class Sink>
void emit_expression(Sink& sink, const PlanExpression& expression);

// {name: [a, b]}, the shape of sum and mult.
template <class Sink, class A, class B>
void emit_pair(Sink& sink, std::string_view name, const A& a, const B& b) {
    sink.begin_object();
    sink.key(name);
    sink.begin_array();
    a();
    b();
    sink.end_array();
    sink.end_object();
}

template <class Sink, class E>
void emit_unary(Sink& sink, std::string_view name, const E& operand) {
    sink.begin_object();
    sink.key(name);
    operand();
    sink.end_object();
}

template <class Sink>
void emit_operands(Sink& sink, std::string_view name, const PlanExpression::Operands& operands) {
    sink.begin_object();
    sink.key(name);
    sink.begin_array();
    for (const PlanExpression& item : operands.items) emit_expression(sink, item);
    sink.end_array();
    sink.end_object();
}

// CASE c THEN t ELSE f: c * t + (1 - c) * f, with c written in full in both terms.
template <class Sink>
void emit_case(Sink& sink, const PlanExpression::Case& when) {
    auto condition = [&] { emit_filter_entry(sink, when.condition); };
    emit_pair(
        sink, "sum", [&] { emit_pair(sink, "mult", condition, [&] { emit_expression(sink, *when.then_); }); },
        [&] {
            emit_pair(
                sink, "mult",
                [&] {
                    emit_pair(
                        sink, "sum", [&] { sink.f64(1.0); }, [&] { emit_unary(sink, "neg", condition); });
                },
                [&] { emit_expression(sink, *when.else_); });
        });
}

template <class Sink>
void emit_decay(Sink& sink, const PlanExpression::Decay& decay) {
    sink.begin_object();
    sink.key(decay_function_name(decay.kind));
    sink.begin_object();
    if (decay.midpoint) {
        sink.key("midpoint");
        sink.f64(*decay.midpoint);
    }
    if (decay.scale) {
        sink.key("scale");
        sink.f64(*decay.scale);
    }
    if (decay.target) {
        sink.key("target");
        emit_expression(sink, **decay.target);
    }
    sink.key("x");
    emit_expression(sink, *decay.x);
    sink.end_object();
    sink.end_object();
}

template <class Sink>
void emit_string_object(Sink& sink, std::string_view name, const std::string& text) {
    sink.begin_object();
    sink.key(name);
    sink.string(text);
    sink.end_object();
}

template <class Sink>
void emit_expression(Sink& sink, const PlanExpression& expression) {
    auto sub = [&](const PlanExpression& e) { return [&sink, &e] { emit_expression(sink, e); }; };
    const auto& node = expression.node;
    switch (expression.kind()) {
        case Kind::Constant: sink.f64(std::get<0>(node)); return;
        case Kind::Variable: sink.string(std::get<1>(node)); return;
        case Kind::Sum: {
            const auto& sum = std::get<2>(node);
            emit_pair(sink, "sum", sub(*sum.left), sub(*sum.right));
            return;
        }
        case Kind::Sub: {
            const auto& diff = std::get<3>(node);
            emit_pair(sink, "sum", sub(*diff.left), [&] { emit_unary(sink, "neg", sub(*diff.right)); });
            return;
        }
        case Kind::Mult: {
            const auto& mult = std::get<4>(node);
            emit_pair(sink, "mult", sub(*mult.left), sub(*mult.right));
            return;
        }
        case Kind::Div: {
            const auto& div = std::get<5>(node);
            sink.begin_object();
            sink.key("div");
            sink.begin_object();
            if (div.by_zero_default) {
                sink.key("by_zero_default");
                sink.f64(*div.by_zero_default);
            }
            sink.key("left");
            emit_expression(sink, *div.left);
            sink.key("right");
            emit_expression(sink, *div.right);
            sink.end_object();
            sink.end_object();
            return;
        }
        case Kind::Neg: emit_unary(sink, "neg", sub(*std::get<6>(node).operand)); return;
        case Kind::Abs: emit_unary(sink, "abs", sub(*std::get<7>(node).operand)); return;
        case Kind::Sqrt: emit_unary(sink, "sqrt", sub(*std::get<8>(node).operand)); return;
        case Kind::Log10: emit_unary(sink, "log10", sub(*std::get<9>(node).operand)); return;
        case Kind::Ln: emit_unary(sink, "ln", sub(*std::get<10>(node).operand)); return;
        case Kind::Exp: emit_unary(sink, "exp", sub(*std::get<11>(node).operand)); return;
        case Kind::Acosh: emit_unary(sink, "acosh", sub(*std::get<12>(node).operand)); return;
        case Kind::Max: emit_operands(sink, "max", std::get<13>(node)); return;
        case Kind::Min: emit_operands(sink, "min", std::get<14>(node)); return;
        case Kind::Pow: {
            const auto& pow = std::get<15>(node);
            sink.begin_object();
            sink.key("pow");
            sink.begin_object();
            sink.key("base");
            emit_expression(sink, *pow.base);
            sink.key("exponent");
            emit_expression(sink, *pow.exponent);
            sink.end_object();
            sink.end_object();
            return;
        }
        case Kind::GeoDistance: {
            const auto& geo = std::get<16>(node);
            sink.begin_object();
            sink.key("geo_distance");
            sink.begin_object();
            sink.key("origin");
            sink.begin_object();
            sink.key("lat");
            sink.f64(geo.origin.lat);
            sink.key("lon");
            sink.f64(geo.origin.lon);
            sink.end_object();
            sink.key("to");
            sink.string(geo.to);
            sink.end_object();
            sink.end_object();
            return;
        }
        case Kind::Decay: emit_decay(sink, std::get<17>(node)); return;
        case Kind::Condition: emit_filter_entry(sink, std::get<18>(node)); return;
        case Kind::Case: emit_case(sink, std::get<19>(node)); return;
        case Kind::Datetime: emit_string_object(sink, "datetime", std::get<20>(node)); return;
        case Kind::DatetimeKey: emit_string_object(sink, "datetime_key", std::get<21>(node)); return;
    }
}

template <class Sink>
void emit_default(Sink& sink, const PlanDefaultValue& value) {
    std::visit(core::Overloaded{
                   [&](std::nullptr_t) { sink.null(); },
                   [&](bool b) { sink.boolean(b); },
                   [&](std::int64_t n) { sink.i64(n); },
                   [&](double x) { sink.f64(x); },
                   [&](const std::string& s) { sink.string(s); },
                   [&](const PlanDefaultList& items) {
                       sink.begin_array();
                       for (const PlanDefaultValue& item : items) emit_default(sink, item);
                       sink.end_array();
                   },
                   [&](const PlanDefaultObject& entries) {
                       sink.begin_object();
                       for (const auto& [key, item] : entries) {
                           sink.key(key);
                           emit_default(sink, item);
                       }
                       sink.end_object();
                   },
               },
               value.value);
}

}  // namespace

JsonValue expression_to_value(const PlanExpression& expression) {
    ValueSink sink;
    emit_expression(sink, expression);
    return sink.take();
}

void write_expression(std::string& out, const PlanExpression& expression) {
    TextSink sink(out);
    emit_expression(sink, expression);
}

void put_expression_value(ValueSink& sink, const PlanExpression& expression) { emit_expression(sink, expression); }

JsonValue default_value_to_value(const PlanDefaultValue& value) {
    ValueSink sink;
    emit_default(sink, value);
    return sink.take();
}

void write_default_value(std::string& out, const PlanDefaultValue& value) {
    TextSink sink(out);
    emit_default(sink, value);
}

void put_default_value(ValueSink& sink, const PlanDefaultValue& value) { emit_default(sink, value); }

}  // namespace zorv::plan
