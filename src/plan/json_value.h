// The JSON value tree that request bodies are built as before they are written out.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace zorv::plan {

// An object's entries in one sorted vector: request bodies hold a handful of keys each, and one
// allocation per object beats a tree node per key. Keys stay in ascending byte order whatever the
// order of insertion, which is the order sent to the server and shown to Python. The interface is
// the part of std::map's that the library uses, with the same rules: `emplace` keeps an existing
// entry, `insert_or_assign` replaces it. A template only so that `V` may still be incomplete here.
template <class V>
class SortedObject {
public:
    using value_type = std::pair<std::string, V>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    SortedObject() = default;
    SortedObject(std::initializer_list<value_type> entries) {
        entries_.reserve(entries.size());
        for (const value_type& entry : entries) emplace(entry.first, entry.second);
    }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void reserve(std::size_t n) { entries_.reserve(n); }

    iterator find(std::string_view key) { return find_in(entries_, key); }
    const_iterator find(std::string_view key) const { return find_in(entries_, key); }
    std::size_t count(std::string_view key) const { return find(key) == end() ? 0 : 1; }
    bool contains(std::string_view key) const { return find(key) != end(); }
    V& at(std::string_view key) { return checked(find(key))->second; }
    const V& at(std::string_view key) const { return checked(find(key))->second; }

    template <class K, class... Args>
    std::pair<iterator, bool> emplace(K&& key, Args&&... args) {
        std::string_view view(key);
        auto at = lower_bound(view);
        if (at != entries_.end() && at->first == view) return {at, false};
        at = entries_.emplace(at, std::piecewise_construct, std::forward_as_tuple(std::forward<K>(key)),
                              std::forward_as_tuple(std::forward<Args>(args)...));
        return {at, true};
    }
    template <class K, class M>
    std::pair<iterator, bool> insert_or_assign(K&& key, M&& value) {
        std::string_view view(key);
        auto at = lower_bound(view);
        if (at != entries_.end() && at->first == view) {
            at->second = std::forward<M>(value);
            return {at, false};
        }
        at = entries_.emplace(at, std::string(std::forward<K>(key)), V(std::forward<M>(value)));
        return {at, true};
    }
    V& operator[](std::string_view key) { return emplace(std::string(key)).first->second; }

    // An object of `entries` (moved from) given in any order: keys ascending, and a later entry
    // replacing an earlier one with the same key, as a run of `insert_or_assign` would leave
    // them. One allocation, and each entry moved once, where inserting one by one shifts the
    // entries already in place.
    static SortedObject from_entries(std::span<value_type> entries) {
        SortedObject object;
        if (entries.empty()) return object;
        object.entries_.reserve(entries.size());
        constexpr std::size_t kInline = 16;
        std::array<value_type*, kInline> inline_order{};
        std::vector<value_type*> heap_order;
        std::span<value_type*> order(inline_order.data(), entries.size());
        if (entries.size() > kInline) {
            heap_order.resize(entries.size());
            order = heap_order;
        }
        // Insertion sort of pointers: stable, and quick on the few keys of a request object.
        for (std::size_t i = 0; i < entries.size(); ++i) {
            value_type* entry = &entries[i];
            std::size_t at = i;
            for (; at > 0 && entry->first < order[at - 1]->first; --at) order[at] = order[at - 1];
            order[at] = entry;
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i + 1 < order.size() && order[i + 1]->first == order[i]->first) continue;
            object.entries_.push_back(std::move(*order[i]));
        }
        return object;
    }
    // An object of `entries` already in ascending key order with no key twice, taken as they are.
    static SortedObject from_sorted(std::vector<value_type> entries) {
        SortedObject object;
        object.entries_ = std::move(entries);
        return object;
    }
    std::size_t erase(std::string_view key) {
        auto at = find(key);
        if (at == entries_.end()) return 0;
        entries_.erase(at);
        return 1;
    }

    friend bool operator==(const SortedObject&, const SortedObject&) = default;

private:
    template <class Entries>
    static auto lower_bound_in(Entries& entries, std::string_view key) {
        // Appending in key order is the common case: check the end first.
        if (entries.empty() || std::string_view(entries.back().first) < key) return entries.end();
        return std::lower_bound(entries.begin(), entries.end(), key,
                                [](const value_type& entry, std::string_view k) { return entry.first < k; });
    }
    template <class Entries>
    static auto find_in(Entries& entries, std::string_view key) {
        auto at = lower_bound_in(entries, key);
        return at != entries.end() && at->first == key ? at : entries.end();
    }
    iterator lower_bound(std::string_view key) { return lower_bound_in(entries_, key); }
    template <class It>
    It checked(It at) const {
        if (at == entries_.end()) throw std::out_of_range("JSON object has no such key");
        return at;
    }

    std::vector<value_type> entries_;
};

class JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonObject = SortedObject<JsonValue>;

class JsonValue {
public:
    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };
    using Value =
        std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, JsonArray, JsonObject>;

    // One constructor per kind and none from `int`, so a literal never picks a kind by accident.
    JsonValue() = default;
    JsonValue(std::nullptr_t) {}                                                // NOLINT: implicit on purpose
    JsonValue(bool b) : value_(std::in_place_index<1>, b) {}                    // NOLINT
    JsonValue(std::uint64_t n) : value_(std::in_place_index<2>, n) {}           // NOLINT
    JsonValue(std::int64_t n) : value_(std::in_place_index<3>, n) {}            // NOLINT
    JsonValue(double x) : value_(std::in_place_index<4>, x) {}                  // NOLINT
    JsonValue(std::string s) : value_(std::in_place_index<5>, std::move(s)) {}  // NOLINT
    JsonValue(const char* s) : value_(std::in_place_index<5>, s) {}             // NOLINT
    explicit JsonValue(std::string_view s) : value_(std::in_place_index<5>, s) {}
    JsonValue(JsonArray a) : value_(std::in_place_index<6>, std::move(a)) {}   // NOLINT
    JsonValue(JsonObject o) : value_(std::in_place_index<7>, std::move(o)) {}  // NOLINT

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool is(Kind k) const { return kind() == k; }
    const Value& value() const { return value_; }

    bool as_bool() const { return std::get<1>(value_); }
    std::uint64_t as_uint() const { return std::get<2>(value_); }
    std::int64_t as_int() const { return std::get<3>(value_); }
    double as_float() const { return std::get<4>(value_); }
    const std::string& as_string() const { return std::get<5>(value_); }
    const JsonArray& as_array() const { return std::get<6>(value_); }
    JsonArray& as_array() { return std::get<6>(value_); }
    const JsonObject& as_object() const { return std::get<7>(value_); }
    JsonObject& as_object() { return std::get<7>(value_); }

    friend bool operator==(const JsonValue&, const JsonValue&) = default;

private:
    Value value_;
};

}  // namespace zorv::plan
