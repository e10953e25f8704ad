#include "protocol/response.h"

#include <array>
#include <charconv>
#include <string>
#include <system_error>

#include "core/diagnostics.h"

namespace zorv::protocol {
namespace {

using plan::PlanOpKind;

// The message templates hold one "{}".
std::string fill(std::string_view pattern, std::string_view value) {
    const std::size_t at = pattern.find("{}");
    std::string out(pattern.substr(0, at));
    out += value;
    out += pattern.substr(at + 2);
    return out;
}
std::string fill(std::string_view pattern, std::uint64_t n) { return fill(pattern, std::to_string(n)); }

template <class T>
std::uint64_t size_if(const std::optional<ExecData>& data, auto T::*member) {
    if (!data) return 0;
    const T* held = std::get_if<T>(&data->value);
    return held ? (held->*member).size() : 0;
}

// The point list of an UPSERT operation joins the plan with its lowering; until then the
// operation carries no points to count.
template <class Op>
std::uint64_t upsert_point_count(const Op& op) {
    if constexpr (requires { op.request.points.size(); }) {
        return op.request.points.size();
    } else {
        return 0;
    }
}

// A grouped query asks for LIMIT + OFFSET groups; the first OFFSET are dropped here.
void drop_leading_groups(std::optional<ExecData>& data, std::uint64_t offset) {
    if (!data || offset == 0) return;
    auto* groups = std::get_if<ExecData::Groups>(&data->value);
    if (!groups) return;
    auto& list = groups->groups;
    if (offset < list.size()) {
        list.erase(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(offset));
    } else {
        list.clear();
    }
}

std::uint64_t reply_count(const std::optional<ExecData>& data) {
    if (!data) return 0;
    if (const auto* count = std::get_if<ExecData::Count>(&data->value)) return count->count;
    if (const auto* mutation = std::get_if<ExecData::Mutation>(&data->value)) return mutation->count.value_or(0);
    return 0;
}

StatementResult ok_result(std::string_view operation, std::string message, std::optional<ExecData> data,
                          std::optional<Telemetry> telemetry) {
    return StatementResult{.ok = true,
                           .operation = std::string(operation),
                           .message = std::move(message),
                           .data = std::move(data),
                           .telemetry = std::move(telemetry)};
}

ExecData mutation(std::optional<std::uint64_t> count) { return ExecData{ExecData::Mutation{count}}; }

}  // namespace

core::Result<StatementResult> operation_result(const plan::PlanOp& op, BackendReply reply) {
    const PlanOpKind kind = op.kind();
    const std::string_view name = plan::plan_op_name(kind);
    auto& data = reply.data;
    auto& telemetry = reply.telemetry;
    switch (kind) {
        case PlanOpKind::Query:
        case PlanOpKind::GetPoints:
        case PlanOpKind::Scroll: {
            std::string message = fill("Found {} hits", size_if<ExecData::Hits>(data, &ExecData::Hits::points));
            return ok_result(name, std::move(message), std::move(data), std::move(telemetry));
        }
        case PlanOpKind::QueryGroups: {
            drop_leading_groups(data, op.get<PlanOpKind::QueryGroups>().offset);
            std::string message = fill("Found {} group(s)", size_if<ExecData::Groups>(data, &ExecData::Groups::groups));
            return ok_result(name, std::move(message), std::move(data), std::move(telemetry));
        }
        case PlanOpKind::Count: {
            const std::uint64_t n = reply_count(data);
            return ok_result(name, fill("Count: {}", n), ExecData{ExecData::Count{n}}, std::move(telemetry));
        }
        case PlanOpKind::Facet: {
            std::string message = fill("Found {} facet hit(s)", size_if<ExecData::Facet>(data, &ExecData::Facet::hits));
            return ok_result(name, std::move(message), std::move(data), std::move(telemetry));
        }
        case PlanOpKind::Upsert: {
            const std::uint64_t n = upsert_point_count(op.get<PlanOpKind::Upsert>());
            return ok_result(name, fill("Upserted {} point(s)", n), mutation(n), std::move(telemetry));
        }
        case PlanOpKind::Delete:
        case PlanOpKind::UpdatePayload:
        case PlanOpKind::OverwritePayload:
        case PlanOpKind::ClearPayload:
        case PlanOpKind::DeletePayload:
        case PlanOpKind::UpdateVector:
        case PlanOpKind::DeleteVector:
            return ok_result(name, fill("{} ok", name), mutation(std::nullopt), std::move(telemetry));
        case PlanOpKind::CreateCollection:
        case PlanOpKind::AlterCollection:
        case PlanOpKind::DropCollection:
        case PlanOpKind::CreateIndex:
        case PlanOpKind::DropIndex:
        case PlanOpKind::CreateShardKey:
        case PlanOpKind::DropShardKey:
        case PlanOpKind::Batch: return ok_result(name, fill("{} ok", name), std::nullopt, std::move(telemetry));
        case PlanOpKind::ShowShardKeys:
            return ok_result(name, "Shard keys listed", std::move(data), std::move(telemetry));
        case PlanOpKind::ShowCollections: {
            std::string message =
                fill("Found {} collection(s)", size_if<ExecData::Collections>(data, &ExecData::Collections::names));
            return ok_result(name, std::move(message), std::move(data), std::move(telemetry));
        }
        case PlanOpKind::ShowCollection:
            return ok_result(name, fill("{} ok", name), std::move(data), std::move(telemetry));
        case PlanOpKind::ShowQuotas:
            return ok_result(name, "Quota configuration shown", std::move(data), std::move(telemetry));
        case PlanOpKind::SetQuota:
            return ok_result(name, "Quota configuration updated", std::move(data), std::move(telemetry));
        case PlanOpKind::CrossRerank: break;
    }
    return core::fail(core::Diag::CrossRerank, "CROSS RERANK must be executed client-side, not via a Qdrant route");
}

StatementResult query_batch_result(BackendReply reply) {
    std::string message = fill("Found {} hits", size_if<ExecData::Hits>(reply.data, &ExecData::Hits::points));
    return ok_result("QUERY", std::move(message), std::move(reply.data), std::move(reply.telemetry));
}

StatementResult update_run_results(plan::PlanOpKind kind, std::uint64_t upsert_points, BackendReply reply) {
    const std::string_view name = plan::plan_op_name(kind);
    if (kind == PlanOpKind::Upsert) {
        return ok_result(name, fill("Upserted {} point(s)", upsert_points), mutation(upsert_points),
                         std::move(reply.telemetry));
    }
    return ok_result(name, fill("{} ok", name), mutation(std::nullopt), std::move(reply.telemetry));
}

StatementResult failed_statement_result(std::string_view operation, const core::ZorvError& error) {
    return StatementResult{.ok = false, .operation = std::string(operation), .message = core::format_error(error)};
}

StatementResult failed_statement_result(const plan::PlanOp& op, const core::ZorvError& error) {
    return failed_statement_result(plan::plan_op_name(op.kind()), error);
}

ExecutionReport summarize_results(std::vector<StatementResult> results) {
    ExecutionReport report;
    std::optional<double> time_total;
    std::optional<Usage> usage_total;
    for (const StatementResult& result : results) {
        if (result.ok) ++report.succeeded;
        if (!result.telemetry) continue;
        if (result.telemetry->time_s) time_total = time_total.value_or(0.0) + *result.telemetry->time_s;
        if (const auto& usage = result.telemetry->usage) {
            usage_total = usage_total ? merge_usage(*usage_total, *usage) : *usage;
        }
    }
    report.failed = results.size() - report.succeeded;
    report.ok = report.failed == 0;
    if (time_total || usage_total) report.telemetry = Telemetry{time_total, std::move(usage_total)};
    report.results = std::move(results);
    return report;
}

double score_f64(float score) noexcept {
    // The shortest digits that name the float, read back as a double. Plain or exponent form
    // names the same value; fixed notation would print the exact binary value of large floats.
    std::array<char, 64> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), score);
    if (written.ec != std::errc{}) return static_cast<double>(score);
    double out = 0.0;
    const auto parsed = std::from_chars(buffer.data(), written.ptr, out);
    if (parsed.ec != std::errc{} || parsed.ptr != written.ptr) return static_cast<double>(score);
    return out;
}

}  // namespace zorv::protocol
