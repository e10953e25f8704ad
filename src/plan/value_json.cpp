#include "plan/value_json.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <variant>

#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "plan/json_write.h"
#include "plan/values.h"

namespace zorv::plan {
namespace {

constexpr std::string_view kPlace = "value serialization";

JsonValue f64_json(double x) { return std::isfinite(x) ? JsonValue(x) : JsonValue(nullptr); }

}  // namespace

JsonValue plan_value_to_json(const core::Literal& value) {
    return std::visit(core::Overloaded{
                          [](const std::string& s) { return JsonValue(s); },
                          [](std::int64_t n) { return JsonValue(n); },
                          [](std::uint64_t n) { return JsonValue(n); },
                          [](double x) { return f64_json(x); },
                          [](bool b) { return JsonValue(b); },
                          [](core::NullValue) { return JsonValue(nullptr); },
                          [](const core::LiteralDict& entries) {
                              JsonObject obj;
                              for (const auto& [key, item] : entries)
                                  obj.insert_or_assign(key, plan_value_to_json(item));
                              return JsonValue(std::move(obj));
                          },
                          [](const core::LiteralList& items) { return plan_value_list_to_json(items); },
                          [](const core::F32Array& items) {
                              JsonArray arr;
                              arr.reserve(items.size());
                              for (float x : items) arr.push_back(f64_json(x));
                              return JsonValue(std::move(arr));
                          },
                          [](const core::Placeholder& p) -> JsonValue { unbound_placeholder(p, kPlace); },
                      },
                      value.value);
}

JsonValue plan_value_list_to_json(const core::LiteralList& values) {
    JsonArray arr;
    arr.reserve(values.size());
    for (const auto& item : values) arr.push_back(plan_value_to_json(item));
    return arr;
}

void write_plan_value(const core::Literal& value, std::string& out) {
    std::visit(core::Overloaded{
                   [&](const std::string& s) { write_json_string(out, s); },
                   [&](std::int64_t n) { write_json_i64(out, n); },
                   [&](std::uint64_t n) { write_json_u64(out, n); },
                   [&](double x) { write_json_f64(out, x); },
                   [&](bool b) { out += b ? "true" : "false"; },
                   [&](core::NullValue) { out += "null"; },
                   [&](const core::LiteralDict& entries) {
                       JsonObjectWriter obj(out);
                       for (const auto& [key, item] : entries) write_plan_value(item, obj.key(key));
                   },
                   [&](const core::LiteralList& items) { write_plan_value_list(items, out); },
                   [&](const core::F32Array& items) {
                       out += '[';
                       for (std::size_t i = 0; i < items.size(); ++i) {
                           if (i > 0) out += ',';
                           write_json_f64(out, items[i]);
                       }
                       out += ']';
                   },
                   [&](const core::Placeholder& p) { unbound_placeholder(p, kPlace); },
               },
               value.value);
}

void write_plan_value_list(const core::LiteralList& values, std::string& out) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        write_plan_value(values[i], out);
    }
    out += ']';
}

std::string render_value_text(const core::Literal& value) {
    std::string out;
    switch (value.kind()) {
        case core::Literal::Kind::Str:
        case core::Literal::Kind::Int:
        case core::Literal::Kind::UInt:
        case core::Literal::Kind::Float:
        case core::Literal::Kind::Bool:
        case core::Literal::Kind::Null: write_plan_value(value, out); return out;
        case core::Literal::Kind::F32Array: {
            out += '[';
            const auto& items = value.as_f32_array();
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i > 0) out += ", ";
                write_json_f64(out, items[i]);
            }
            out += ']';
            return out;
        }
        case core::Literal::Kind::Dict:
        case core::Literal::Kind::List:
        case core::Literal::Kind::Param:
        case core::Literal::Kind::PositionalParam: break;
    }
    return core::literal_debug(value);
}

core::ZorvError non_finite_error(const core::Literal& value) {
    return core::make_error(core::Diag::PlanNonFinite, render_value_text(value) +
                                                           " is not a finite number; JSON has no NaN/infinity "
                                                           "representation");
}

core::Result<void> check_finite_values(const core::Literal& value) {
    switch (value.kind()) {
        case core::Literal::Kind::Float:
            if (!std::isfinite(value.as_float())) return std::unexpected(non_finite_error(value));
            return {};
        case core::Literal::Kind::F32Array: {
            const auto& items = value.as_f32_array();
            if (!std::ranges::all_of(items, [](float x) { return std::isfinite(x); })) {
                return std::unexpected(non_finite_error(value));
            }
            return {};
        }
        case core::Literal::Kind::Dict:
            for (const auto& entry : value.as_dict()) ZORV_CHECK(check_finite_values(entry.second));
            return {};
        case core::Literal::Kind::List:
            for (const auto& item : value.as_list()) ZORV_CHECK(check_finite_values(item));
            return {};
        default: return {};
    }
}

std::string point_id_text(const PlanPointId& id) {
    return std::visit(core::Overloaded{
                          [](std::uint64_t n) { return std::to_string(n); },
                          [](const std::string& uuid) { return uuid; },
                      },
                      id);
}

}  // namespace zorv::plan
