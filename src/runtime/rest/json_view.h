// The settings readers' value view over a parsed server reply.
#pragma once

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/value_view.h"

namespace zorv::runtime::rest {

class JsonView {
public:
    explicit JsonView(simdjson::dom::element element) : element_(element) {}

    protocol::ValueKind kind() const {
        using simdjson::dom::element_type;
        switch (element_.type()) {
            case element_type::NULL_VALUE: return protocol::ValueKind::Null;
            case element_type::BOOL: return protocol::ValueKind::Bool;
            case element_type::INT64: return int64_value() < 0 ? protocol::ValueKind::Int : protocol::ValueKind::UInt;
            case element_type::UINT64: return protocol::ValueKind::UInt;
            case element_type::DOUBLE: return protocol::ValueKind::Float;
            case element_type::STRING: return protocol::ValueKind::String;
            case element_type::ARRAY: return protocol::ValueKind::Array;
            case element_type::OBJECT: return protocol::ValueKind::Object;
        }
        return protocol::ValueKind::Other;
    }

    bool as_bool() const { return element_.get_bool().value_unsafe(); }
    std::uint64_t as_uint() const {
        if (element_.type() == simdjson::dom::element_type::INT64) return static_cast<std::uint64_t>(int64_value());
        return element_.get_uint64().value_unsafe();
    }
    std::int64_t as_int() const { return int64_value(); }
    double as_float() const { return element_.get_double().value_unsafe(); }
    std::string_view as_string() const { return element_.get_string().value_unsafe(); }
    std::size_t array_size() const { return simdjson::dom::array(element_).size(); }

    template <class F>
    bool for_each_member(F&& visit) const {
        for (auto member : simdjson::dom::object(element_))
            if (!visit(member.key, JsonView(member.value))) return false;
        return true;
    }

    template <class F>
    bool for_each_element(F&& visit) const {
        for (auto item : simdjson::dom::array(element_))
            if (!visit(JsonView(item))) return false;
        return true;
    }

    simdjson::dom::element element() const { return element_; }

private:
    std::int64_t int64_value() const { return element_.get_int64().value_unsafe(); }

    simdjson::dom::element element_;
};

static_assert(protocol::ValueView<JsonView>);

}  // namespace zorv::runtime::rest
