#include "plan/scroll.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "plan/filter.h"
#include "plan/point_ids.h"
#include "plan/value_json.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using Uuid = std::array<std::uint8_t, 32>;  // one hexadecimal digit per entry, most significant first

std::uint8_t hex_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    return static_cast<std::uint8_t>(c - 'A' + 10);
}

// The 32 digits of a text in one of the four UUID forms.
std::optional<Uuid> read_uuid(std::string_view text) {
    if (!is_uuid_text(text)) return std::nullopt;
    Uuid digits{};
    std::size_t n = 0;
    if (text.starts_with("urn:uuid:")) text.remove_prefix(9);
    for (char c : text) {
        if (c == '-' || c == '{' || c == '}') continue;
        digits[n++] = hex_value(c);
    }
    return digits;
}

bool is_max_uuid(const Uuid& digits) {
    for (std::uint8_t d : digits) {
        if (d != 15) return false;
    }
    return true;
}

std::string uuid_text(const Uuid& digits) {
    static constexpr std::string_view kHex = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
        out += kHex[digits[i]];
    }
    return out;
}

core::Result<void> check_after_not_max(const core::PointId& after) {
    if (const auto* n = std::get_if<std::uint64_t>(&after.value); n && *n == std::numeric_limits<std::uint64_t>::max())
        return core::fail(core::Diag::PlanScrollAfter,
                          "SCROLL AFTER is already the maximum point ID; there is no next page");
    if (const auto* text = std::get_if<std::string>(&after.value)) {
        const std::optional<Uuid> digits = read_uuid(*text);
        if (digits && is_max_uuid(*digits))
            return core::fail(core::Diag::PlanScrollAfter,
                              "SCROLL AFTER is already the maximum UUID; there is no next page");
    }
    return {};
}

PlanPointId scroll_offset(const core::PointId& after) {
    if (const auto* n = std::get_if<std::uint64_t>(&after.value)) return PlanPointId(*n + 1);
    if (const auto* text = std::get_if<std::string>(&after.value)) {
        std::optional<std::string> next = next_uuid_text(*text);
        if (next) return PlanPointId(std::move(*next));
        return PlanPointId(*text);
    }
    return to_plan_point_id(after);  // a placeholder: stops the process
}

PlanPayloadSelector payload_selector(const std::optional<core::PayloadSelector>& selector) {
    if (!selector) return PlanPayloadSelector{true};
    return std::visit(core::Overloaded{
                          [](const core::PayloadSelector::All&) { return PlanPayloadSelector{true}; },
                          [](const core::PayloadSelector::None&) { return PlanPayloadSelector{false}; },
                          [](const core::PayloadSelector::Include& s) {
                              return PlanPayloadSelector{PlanPayloadSelector::Include{s.names}};
                          },
                          [](const core::PayloadSelector::Exclude& s) {
                              return PlanPayloadSelector{PlanPayloadSelector::Exclude{s.names}};
                          },
                      },
                      selector->value);
}

PlanVectorSelector vector_selector(const std::optional<core::VectorSelector>& selector) {
    if (!selector) return PlanVectorSelector{false};
    return std::visit(core::Overloaded{
                          [](const core::VectorSelector::All&) { return PlanVectorSelector{true}; },
                          [](const core::VectorSelector::None&) { return PlanVectorSelector{false}; },
                          [](const core::VectorSelector::Names& s) { return PlanVectorSelector{s.names}; },
                      },
                      selector->value);
}

}  // namespace

std::optional<std::string> next_uuid_text(std::string_view text) {
    std::optional<Uuid> digits = read_uuid(text);
    if (!digits || is_max_uuid(*digits)) return std::nullopt;
    for (std::size_t i = digits->size(); i-- > 0;) {
        if ((*digits)[i] != 15) {
            ++(*digits)[i];
            break;
        }
        (*digits)[i] = 0;
    }
    return uuid_text(*digits);
}

std::optional<PlanShardKey> to_plan_shard_key(const std::optional<core::ShardKey>& key) {
    if (!key) return std::nullopt;
    return to_plan_shard_key(*key);
}

core::Result<ScrollOp> lower_scroll(const core::Scroll& scroll) {
    if (scroll.after) ZORV_CHECK(check_after_not_max(*scroll.after));
    if (!scroll.limit)
        return core::fail(core::Diag::PlanScrollLimit,
                          "SCROLL requires a LIMIT (an unbound LIMIT placeholder cannot be planned)");
    ScrollOp op;
    op.collection = scroll.collection;
    op.limit = *scroll.limit;
    op.with_payload = payload_selector(scroll.with_payload);
    if (scroll.order_by && scroll.order_by->start_from) ZORV_CHECK(check_finite_values(*scroll.order_by->start_from));
    op.with_vector = vector_selector(scroll.with_vector);
    op.filter = ZORV_TRY(lower_where(scroll.filter));
    if (scroll.after) op.offset = scroll_offset(*scroll.after);
    if (scroll.order_by) {
        const core::OrderClause& order = *scroll.order_by;
        op.order_by =
            PlanOrderBy{order.field, order.direction == core::OrderDirection::Desc ? "desc" : "asc", order.start_from};
    }
    op.shard_key = to_plan_shard_key(scroll.shard_key);
    return op;
}

core::Result<PlanPointsSelector> lower_points_selector(const core::PointSelector& selector,
                                                       const std::optional<core::ShardKey>& shard_key) {
    PlanPointsSelector out;
    switch (selector.kind()) {
        case core::PointSelector::Kind::Id:
            out.points = std::vector<PlanPointId>{to_plan_point_id(std::get<0>(selector.value))};
            break;
        case core::PointSelector::Kind::Ids: out.points = to_plan_point_ids(std::get<1>(selector.value)); break;
        case core::PointSelector::Kind::Filter: {
            PlanFilter filter = ZORV_TRY(lower_where(*std::get<2>(selector.value)));
            out.filter = std::move(filter);
            break;
        }
    }
    out.shard_key = to_plan_shard_key(shard_key);
    return out;
}

}  // namespace zorv::plan
