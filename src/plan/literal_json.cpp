#include "plan/literal_json.h"

#include <cstdint>
#include <limits>
#include <utility>

namespace zorv::plan {

core::Literal literal_from_json(const JsonValue& value) {
    switch (value.kind()) {
        case JsonValue::Kind::Null: return core::Literal::null();
        case JsonValue::Kind::Bool: return core::Literal::boolean(value.as_bool());
        case JsonValue::Kind::UInt: {
            const std::uint64_t n = value.as_uint();
            if (n <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return core::Literal::int64(static_cast<std::int64_t>(n));
            }
            return core::Literal::uint64(n);
        }
        case JsonValue::Kind::Int: return core::Literal::int64(value.as_int());
        case JsonValue::Kind::Float: return core::Literal::f64(value.as_float());
        case JsonValue::Kind::String: return core::Literal::str(value.as_string());
        case JsonValue::Kind::Array: {
            core::LiteralList items;
            items.reserve(value.as_array().size());
            for (const JsonValue& item : value.as_array()) items.push_back(literal_from_json(item));
            return core::Literal::list(std::move(items));
        }
        case JsonValue::Kind::Object: {
            core::LiteralDict entries;
            entries.reserve(value.as_object().size());
            for (const auto& [key, item] : value.as_object()) entries.emplace_back(key, literal_from_json(item));
            return core::Literal::dict(std::move(entries));
        }
    }
    return core::Literal::null();
}

}  // namespace zorv::plan
