// Two sinks behind one set of calls, so that a body is described once and written in both forms:
// `ValueSink` builds the value tree (keys sorted by the map), `TextSink` appends compact text in
// call order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
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
// entries move; the variant's move never reads an inactive member.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The working stacks of a ValueSink, kept per thread between bodies so that a body allocates
// only the containers it returns.
struct ValueSinkStacks {
    struct Frame {
        std::size_t first;     // its first value in `entries` or `items`
        std::string_view key;  // where it goes in its parent object
        bool object;
    };
    // An object's value with the writer's view of its key: the key is copied once, into the object.
    struct Entry {
        std::string_view key;
        JsonValue value;
    };
    std::vector<Frame> frames;     // the open containers, innermost last
    std::vector<Entry> entries;    // values of the open objects, with keys
    std::vector<JsonValue> items;  // values of the open arrays

    // This thread's spare stacks (empty while a sink holds them), and their return.
    static ValueSinkStacks take_spare();
    static void give_back(ValueSinkStacks&& stacks);
};

// Finished values wait on two stacks until their container closes; the container is then built
// once at its final size (objects sorted then), so no container regrows or shifts its entries.
class ValueSink {
public:
    ValueSink() : stacks_(ValueSinkStacks::take_spare()) {}
    ~ValueSink() { ValueSinkStacks::give_back(std::move(stacks_)); }
    ValueSink(const ValueSink&) = delete;
    ValueSink& operator=(const ValueSink&) = delete;
    ValueSink(ValueSink&&) = delete;
    ValueSink& operator=(ValueSink&&) = delete;

    void begin_object() { open(true); }
    void end_object();
    void begin_array() { open(false); }
    void end_array() {
        Frame frame = close();
        auto first = items_.begin() + static_cast<std::ptrdiff_t>(frame.first);
        JsonArray array(std::make_move_iterator(first), std::make_move_iterator(items_.end()));
        items_.erase(first, items_.end());
        place(frame.key, std::move(array));
    }
    // The writers pass names that outlive the value written under them.
    void key(std::string_view name) { key_ = name; }
    void string(std::string_view s) { put(s); }
    void u64(std::uint64_t n) { put(n); }
    void i64(std::int64_t n) { put(n); }
    void f64(double x) { put(x); }
    void boolean(bool b) { put(b); }
    void null() { put(nullptr); }
    void literal(const core::Literal& value) { put(plan_value_to_json(value)); }
    void literals(const core::LiteralList& values) { put(plan_value_list_to_json(values)); }
    // Places a finished value (or what a JsonValue is made from: a string view is copied) where the
    // next value goes.
    template <class T>
    void put(T&& value) {
        place(key_, std::forward<T>(value));
    }
    JsonValue take() { return std::move(root_); }

private:
    using Frame = ValueSinkStacks::Frame;

    void open(bool object) {
        reserve_first(frames_);
        frames_.push_back(Frame{object ? entries_.size() : items_.size(), key_, object});
    }
    Frame close() {
        Frame frame = frames_.back();
        frames_.pop_back();
        return frame;
    }
    // Values are built in place: an entry's key and value are constructed once, where they stay
    // until their container closes.
    template <class T>
    void place(std::string_view key, T&& value) {
        if (frames_.empty()) {
            root_ = JsonValue(std::forward<T>(value));
        } else if (frames_.back().object) {
            reserve_first(entries_);
            entries_.push_back(Entry{key, JsonValue(std::forward<T>(value))});
        } else {
            reserve_first(items_);
            items_.emplace_back(std::forward<T>(value));
        }
    }

    // A stack's first use takes room for a typical request body at once instead of regrowing;
    // a body without arrays never allocates the array stack.
    template <class Stack>
    static void reserve_first(Stack& stack) {
        if (stack.capacity() == 0) stack.reserve(16);
    }

    ValueSinkStacks stacks_;
    std::vector<Frame>& frames_ = stacks_.frames;
    using Entry = ValueSinkStacks::Entry;
    std::vector<Entry>& entries_ = stacks_.entries;
    std::vector<JsonValue>& items_ = stacks_.items;
    std::string_view key_;  // the key of the next object entry
    JsonValue root_;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace zorv::plan
