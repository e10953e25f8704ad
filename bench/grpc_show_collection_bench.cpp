// SHOW COLLECTION round trips against a live server (ZORV_TEST_QDRANT_URL and
// ZORV_TEST_QDRANT_GRPC_URL), over gRPC and over REST, one call after another.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "core/parser/parser.h"
#include "net/http_client.h"
#include "plan/planner.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/rest_backend.h"

namespace {

using namespace zorv;

constexpr const char* collection = "zorv_bench_grpc_show";

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

template <class T>
boost::asio::awaitable<void> store(runtime::AsyncResult<T> work, bool* ok) {
    auto out = co_await std::move(work);
    *ok = out.has_value();
}

// Every call is bounded by its transport's own deadline.
template <class T>
bool succeeds(runtime::AsyncResult<T> work) {
    boost::asio::io_context context;
    bool ok = false;
    boost::asio::co_spawn(context, store(std::move(work), &ok), boost::asio::detached);
    context.run();
    return ok;
}

std::optional<plan::PlanOp> plan_of(const std::string& text) {
    auto parsed = core::parse_statement(text);
    if (!parsed) return std::nullopt;
    auto op = plan::plan_statement(*parsed);
    if (!op) return std::nullopt;
    return std::move(*op);
}

std::unique_ptr<runtime::Backend> rest_backend() {
    auto client = net::HttpClient::create(runtime::rest::rest_client_options());
    if (!client) return nullptr;
    return runtime::rest::make_rest_backend(
        runtime::rest::build_rest_backend(env("ZORV_TEST_QDRANT_URL"), std::nullopt, *client));
}

void show_collection(benchmark::State& state, bool over_grpc) {
    if (env("ZORV_TEST_QDRANT_URL") == nullptr || env("ZORV_TEST_QDRANT_GRPC_URL") == nullptr) {
        state.SkipWithError("set ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL");
        return;
    }
    auto rest = rest_backend();
    auto create = plan_of(std::string("CREATE COLLECTION ") + collection + " (v VECTOR(8, COSINE), s SPARSE)");
    if (create) (void)succeeds(rest->execute(std::move(*create)));  // fails harmlessly when it exists
    std::unique_ptr<runtime::Backend> backend = rest_backend();
    if (over_grpc)
        backend = std::move(*runtime::rpc::make_grpc_backend(env("ZORV_TEST_QDRANT_GRPC_URL"), std::nullopt));
    const auto op = plan_of(std::string("SHOW COLLECTION ") + collection);
    for (auto _ : state) {
        if (!op || !succeeds(backend->execute(*op))) {
            state.SkipWithError("SHOW COLLECTION failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ShowCollectionGrpc(benchmark::State& state) { show_collection(state, true); }
void BM_ShowCollectionRest(benchmark::State& state) { show_collection(state, false); }

BENCHMARK(BM_ShowCollectionGrpc)->UseRealTime();
BENCHMARK(BM_ShowCollectionRest)->UseRealTime();

}  // namespace
