// Two sinks behind one set of calls, so that a body is described once and written in both forms:
// `ValueSink` builds the value tree (keys sorted by the map), `TextSink` appends compact text in
// call order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ast/literal.h"
#include "plan/json_value.h"
#include "plan/json_write.h"
#include "plan/value_json.h"

namespace zorv::plan {

class TextSink {
public:
    explicit TextSink(std::string& out) : out_(out) {}

    void begin_object() { open('{'); }
    void end_object() { close('}'); }
    void begin_array() { open('['); }
    void end_array() { close(']'); }
    void key(std::string_view name) {
        separate();
        write_json_string(out_, name);
        out_ += ':';
        after_key_ = true;
    }
    void string(std::string_view s) { write_json_string(prefix(), s); }
    void u64(std::uint64_t n) { write_json_u64(prefix(), n); }
    void i64(std::int64_t n) { write_json_i64(prefix(), n); }
    void f64(double x) { write_json_f64(prefix(), x); }
    void boolean(bool b) { prefix() += b ? "true" : "false"; }
    void null() { prefix() += "null"; }
    void literal(const core::Literal& value) { write_plan_value(value, prefix()); }
    void literals(const core::LiteralList& values) { write_plan_value_list(values, prefix()); }
    // The buffer, after the separator a value in this place needs.
    std::string& prefix() {
        if (after_key_) {
            after_key_ = false;
        } else {
            separate();
        }
        return out_;
    }

private:
    void separate() {
        if (firsts_.empty()) return;
        if (!firsts_.back()) out_ += ',';
        firsts_.back() = false;
    }
    void open(char c) {
        prefix() += c;
        firsts_.push_back(true);
    }
    void close(char c) {
        out_ += c;
        firsts_.pop_back();
    }

    std::string& out_;
    std::vector<bool> firsts_;  // per open container: nothing written in it yet
    bool after_key_ = false;
};

// g++ 12 warns that a moved JsonValue's inactive string or vector may be read uninitialized when
// the flat object shifts its entries; the variant's move never reads an inactive member.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
class ValueSink {
public:
    ValueSink() {
        // Request bodies rarely nest deeper than this; one allocation each instead of regrowing.
        open_.reserve(16);
        keys_.reserve(16);
    }
    void begin_object() {
        // Request objects hold a few keys: one allocation instead of regrowing entry by entry.
        JsonObject object;
        object.reserve(4);
        open(std::move(object));
    }
    void end_object() { close(); }
    void begin_array() { open(JsonArray{}); }
    void end_array() { close(); }
    void key(std::string_view name) { keys_.back() = std::string(name); }
    void string(std::string_view s) { put(std::string(s)); }
    void u64(std::uint64_t n) { put(n); }
    void i64(std::int64_t n) { put(n); }
    void f64(double x) { put(x); }
    void boolean(bool b) { put(b); }
    void null() { put(nullptr); }
    void literal(const core::Literal& value) { put(plan_value_to_json(value)); }
    void literals(const core::LiteralList& values) { put(plan_value_list_to_json(values)); }
    // Places a finished value where the next value goes.
    void put(JsonValue value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return;
        }
        JsonValue& top = open_.back();
        if (top.is(JsonValue::Kind::Object)) {
            top.as_object().insert_or_assign(std::move(keys_.back()), std::move(value));
        } else {
            top.as_array().push_back(std::move(value));
        }
    }
    JsonValue take() { return std::move(root_); }

private:
    void open(JsonObject object) {
        open_.emplace_back(std::move(object));
        keys_.emplace_back();
    }
    void open(JsonArray array) {
        open_.emplace_back(std::move(array));
        keys_.emplace_back();
    }
    void close() {
        JsonValue done = std::move(open_.back());
        open_.pop_back();
        keys_.pop_back();
        put(std::move(done));
    }

    std::vector<JsonValue> open_;    // the containers being filled, innermost last
    std::vector<std::string> keys_;  // per open container: where an object's next value goes
    JsonValue root_;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace zorv::plan
