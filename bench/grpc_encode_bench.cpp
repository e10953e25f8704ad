// Encoding an UPSERT of 1,000 points of 1,536 dimensions as the gRPC update batch: plan to
// messages, then to wire bytes. Reports the wire size per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plan/batch.h"
#include "qdrant/points.pb.h"
#include "runtime/grpc_route/mutations.h"

namespace {

using namespace zorv;

plan::UpdateOperation make_upsert(std::size_t points, std::size_t dimensions) {
    plan::PlanUpsert upsert;
    upsert.points.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        std::vector<float> values(dimensions);
        for (std::size_t d = 0; d < dimensions; ++d) values[d] = static_cast<float>((i * 31 + d) % 997) / 997.0F;
        core::LiteralDict payload{{"title", core::Literal::str("point " + std::to_string(i))},
                                  {"rank", core::Literal::int64(static_cast<std::int64_t>(i))}};
        upsert.points.push_back(plan::PlanPoint{std::uint64_t{i},
                                                core::PointVectors{core::VectorValue{core::VectorValue::Dense{values}}},
                                                std::move(payload)});
    }
    return plan::UpdateOperation{plan::UpdateOperation::Value(std::in_place_index<0>, std::move(upsert))};
}

void BM_GrpcEncodeUpsertBatch(benchmark::State& state) {
    const auto operation = make_upsert(1000, 1536);
    std::size_t bytes = 0;
    std::string wire;
    for (auto _ : state) {
        qdrant::UpdateBatchPoints request;
        request.set_collection_name("bench");
        request.set_wait(false);
        auto converted = runtime::rpc::to_update_operation(operation);
        if (!converted) state.SkipWithError("conversion failed");
        *request.add_operations() = std::move(*converted);
        wire.clear();
        request.SerializeToString(&wire);
        bytes += wire.size();
        benchmark::DoNotOptimize(wire.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_GrpcEncodeUpsertBatch)->Unit(benchmark::kMillisecond);

}  // namespace
