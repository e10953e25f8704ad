#include "runtime/rest/json_copy.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest {

namespace {

// The parser already refuses deeper documents; the guard keeps the walk bounded for elements of
// any origin.
std::optional<plan::JsonValue> copy_at(simdjson::dom::element element,
                                       std::size_t depth) {  // NOLINT(misc-no-recursion)
    using simdjson::dom::element_type;
    switch (element.type()) {
        case element_type::NULL_VALUE: return plan::JsonValue(nullptr);
        case element_type::BOOL: return plan::JsonValue(element.get_bool().value_unsafe());
        case element_type::INT64: {
            const std::int64_t n = element.get_int64().value_unsafe();
            if (n >= 0) return plan::JsonValue(static_cast<std::uint64_t>(n));
            return plan::JsonValue(n);
        }
        case element_type::UINT64: return plan::JsonValue(element.get_uint64().value_unsafe());
        case element_type::DOUBLE: return plan::JsonValue(element.get_double().value_unsafe());
        case element_type::STRING: return plan::JsonValue(std::string(element.get_string().value_unsafe()));
        case element_type::ARRAY: {
            if (depth >= max_reply_depth) return std::nullopt;
            plan::JsonArray items;
            for (auto item : simdjson::dom::array(element)) {
                auto copy = copy_at(item, depth + 1);
                if (!copy) return std::nullopt;
                items.push_back(std::move(*copy));
            }
            return plan::JsonValue(std::move(items));
        }
        case element_type::OBJECT: {
            if (depth >= max_reply_depth) return std::nullopt;
            plan::JsonObject members;
            for (auto member : simdjson::dom::object(element)) {
                auto copy = copy_at(member.value, depth + 1);
                if (!copy) return std::nullopt;
                members.insert_or_assign(std::string(member.key), std::move(*copy));
            }
            return plan::JsonValue(std::move(members));
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<plan::JsonValue> copy_json_value(simdjson::dom::element element) { return copy_at(element, 0); }

}  // namespace zorv::runtime::rest
