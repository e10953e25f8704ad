// A script of 256 one-point UPSERTs (one batch call) against the same 256 UPSERTs sent one call
// each, on the real server named by ZORV_TEST_QDRANT_URL; skipped without it.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "runtime/executor.h"
#include "runtime/executor/runs.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/transport.h"

namespace {

using zorv::protocol::ExecutionReport;
using zorv::runtime::Executor;

constexpr int kPoints = 256;
constexpr const char* kCollection = "zorv_bench_runs";

boost::asio::awaitable<std::optional<zorv::core::Result<ExecutionReport>>> optional_report(
    zorv::runtime::AsyncResult<ExecutionReport> work) {
    co_return co_await std::move(work);
}

// The report's success; false when the script failed or did not finish within a minute.
bool run_script(Executor& executor, std::string script) {
    boost::asio::io_context context;
    std::optional<zorv::core::Result<ExecutionReport>> out;
    boost::asio::co_spawn(context, optional_report(zorv::runtime::execute_script(executor, std::move(script), false)),
                          [&out](const std::exception_ptr& error,
                                 std::optional<zorv::core::Result<ExecutionReport>> value) {
                              if (!error && value) out = std::move(*value);
                          });
    context.run_for(std::chrono::minutes(1));
    return out && *out && (*out)->ok;
}

std::string upsert(int id) {
    return std::string("UPSERT INTO ") + kCollection + " VALUES {id: " + std::to_string(id) +
           ", vector: {v: [0.5, 0.25]}, n: " + std::to_string(id) + "}";
}

// An executor over a fresh collection; null without a server.
std::shared_ptr<Executor> bench_executor() {
    const char* url = std::getenv("ZORV_TEST_QDRANT_URL");
    if (url == nullptr || *url == '\0') return nullptr;
    auto client = zorv::net::HttpClient::create(zorv::runtime::rest::rest_client_options());
    if (!client) return nullptr;
    auto backend =
        zorv::runtime::rest::make_rest_backend(zorv::runtime::rest::build_rest_backend(url, std::nullopt, *client));
    auto executor = zorv::runtime::build_executor(std::move(backend), zorv::runtime::ExecutorSettings{}, nullptr);
    run_script(*executor, std::string("DROP COLLECTION ") + kCollection);
    if (!run_script(*executor, std::string("CREATE COLLECTION ") + kCollection + " (v VECTOR(2, DOT))")) return nullptr;
    return executor;
}

void BM_ScriptOf256UpsertsOneBatchCall(benchmark::State& state) {
    auto executor = bench_executor();
    if (!executor) {
        state.SkipWithError("no Qdrant server: set ZORV_TEST_QDRANT_URL to a running server's URL");
        return;
    }
    std::string script;
    for (int id = 0; id < kPoints; ++id) script += (id == 0 ? "" : "; ") + upsert(id);
    for (auto _ : state) {
        if (!run_script(*executor, script)) {
            state.SkipWithError("the script failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_256UpsertsOneCallEach(benchmark::State& state) {
    auto executor = bench_executor();
    if (!executor) {
        state.SkipWithError("no Qdrant server: set ZORV_TEST_QDRANT_URL to a running server's URL");
        return;
    }
    std::vector<std::string> statements;
    for (int id = 0; id < kPoints; ++id) statements.push_back(upsert(id));
    for (auto _ : state) {
        for (const std::string& statement : statements) {
            if (!run_script(*executor, statement)) {
                state.SkipWithError("an upsert failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK(BM_ScriptOf256UpsertsOneBatchCall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_256UpsertsOneCallEach)->Unit(benchmark::kMillisecond);

}  // namespace
