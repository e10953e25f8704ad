#include "plan/rest/json_sink.h"

#include <algorithm>
#include <array>

namespace zorv::plan {

namespace {

// Stacks grown by a bulk body are dropped rather than held for the life of the thread.
constexpr std::size_t max_kept_frames = 256;
constexpr std::size_t max_kept_values = 1024;

ValueSinkStacks& spare_stacks() {
    thread_local ValueSinkStacks spare;
    return spare;
}

// Byte order of two keys, as std::string orders them; keys are a few bytes, which a loop compares
// quicker than a call to memcmp.
int compare_keys(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// An object of `entries` (moved from) in any order: keys ascending, and a later entry replacing
// an earlier one with the same key, as a run of insert_or_assign would leave them.
JsonObject sorted_object(std::span<ValueSinkStacks::Entry> entries) {
    using Entry = ValueSinkStacks::Entry;
    constexpr std::size_t kInline = 16;
    std::array<Entry*, kInline> inline_order{};
    std::vector<Entry*> heap_order;
    std::span<Entry*> order(inline_order.data(), std::min(entries.size(), kInline));
    if (entries.size() > kInline) {
        heap_order.resize(entries.size());
        order = heap_order;
    }
    // Insertion sort of pointers: stable, and quick on the few keys of a request object.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Entry* entry = &entries[i];
        std::size_t at = i;
        for (; at > 0 && compare_keys(entry->key, order[at - 1]->key) < 0; --at) order[at] = order[at - 1];
        order[at] = entry;
    }
    std::vector<JsonObject::value_type> sorted;
    sorted.reserve(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 1 < order.size() && compare_keys(order[i + 1]->key, order[i]->key) == 0) continue;
        sorted.emplace_back(std::piecewise_construct, std::forward_as_tuple(order[i]->key),
                            std::forward_as_tuple(std::move(order[i]->value)));
    }
    return JsonObject::from_sorted(std::move(sorted));
}

}  // namespace

void ValueSink::end_object() {
    Frame frame = close();
    JsonObject object = sorted_object(std::span(entries_).subspan(frame.first));
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(frame.first), entries_.end());
    place(frame.key, std::move(object));
}

ValueSinkStacks ValueSinkStacks::take_spare() { return std::exchange(spare_stacks(), ValueSinkStacks{}); }

void ValueSinkStacks::give_back(ValueSinkStacks&& stacks) {
    if (stacks.frames.capacity() > max_kept_frames || stacks.entries.capacity() > max_kept_values ||
        stacks.items.capacity() > max_kept_values) {
        return;
    }
    // A sink left by an early return may still hold values.
    stacks.frames.clear();
    stacks.entries.clear();
    stacks.items.clear();
    spare_stacks() = std::move(stacks);
}

}  // namespace zorv::plan
