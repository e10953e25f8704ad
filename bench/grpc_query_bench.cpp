// QUERY round trips against a live server (ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL), over
// gRPC and over REST, one call after another: 2,000 points of 768 dims with payloads, top 10 with
// payloads, the shape of the comparison with qdrant-client.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>

#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "core/parser/parser.h"
#include "net/http_client.h"
#include "plan/planner.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/rest_backend.h"

namespace {

using namespace zorv;

constexpr const char* collection = "zorv_bench_grpc_query";
constexpr int dim = 768;
constexpr int points = 2000;

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

std::string vector_text(std::mt19937& rng) {
    std::uniform_real_distribution<float> value(-1.0F, 1.0F);
    std::string out = "[";
    for (int i = 0; i < dim; ++i) out += (i > 0 ? ", " : "") + std::to_string(value(rng));
    return out + "]";
}

template <class T>
std::optional<T> finish(boost::asio::awaitable<T> work) {
    boost::asio::io_context context;
    std::optional<T> out;
    boost::asio::co_spawn(context, std::move(work), [&out](const std::exception_ptr& error, T value) {
        if (!error) out = std::move(value);
    });
    context.run();
    return out;
}

bool send(net::HttpClient& client, std::string method, const std::string& path, std::string body) {
    net::HttpRequest request{std::move(method), std::string(env("ZORV_TEST_QDRANT_URL")) + path, {}, std::move(body)};
    request.headers.emplace_back("content-type", "application/json");
    auto outcome = finish(client.send(std::move(request)));
    return outcome && *outcome && (**outcome).status / 100 == 2;
}

// Loads the collection once per process, over plain REST.
bool load() {
    static const bool loaded = [] {
        auto client = net::HttpClient::create(runtime::rest::rest_client_options());
        if (!client) return false;
        const std::string path = std::string("/collections/") + collection;
        (void)send(**client, "DELETE", path, "");
        if (!send(**client, "PUT", path, R"({"vectors":{"size":768,"distance":"Cosine"}})")) return false;
        std::mt19937 rng(20261211);
        for (int start = 0; start < points; start += 250) {
            std::string body = R"({"points":[)";
            for (int id = start; id < start + 250; ++id) {
                body += (id > start ? "," : "") + std::string(R"({"id":)") + std::to_string(id) + R"(,"vector":)" +
                        vector_text(rng) + R"(,"payload":{"title":"document )" + std::to_string(id) + R"(","rank":)" +
                        std::to_string(id) + "}}";
            }
            if (!send(**client, "PUT", path + "/points?wait=true", body + "]}")) return false;
        }
        return true;
    }();
    return loaded;
}

void query(benchmark::State& state, bool over_grpc) {
    if (env("ZORV_TEST_QDRANT_URL") == nullptr || env("ZORV_TEST_QDRANT_GRPC_URL") == nullptr) {
        state.SkipWithError("set ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL");
        return;
    }
    auto rest = rest_backend();
    if (!load()) {
        state.SkipWithError("loading the collection failed");
        return;
    }
    std::unique_ptr<runtime::Backend> backend = std::move(rest);
    if (over_grpc)
        backend = std::move(*runtime::rpc::make_grpc_backend(env("ZORV_TEST_QDRANT_GRPC_URL"), std::nullopt));
    std::mt19937 rng(7);
    const auto op = plan_of("QUERY " + vector_text(rng) + " FROM " + collection + " WITH PAYLOAD true LIMIT 10");
    for (auto _ : state) {
        if (!op || !succeeds(backend->execute(*op))) {
            state.SkipWithError("QUERY failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_QueryGrpc(benchmark::State& state) { query(state, true); }
void BM_QueryRest(benchmark::State& state) { query(state, false); }

BENCHMARK(BM_QueryGrpc)->UseRealTime();
BENCHMARK(BM_QueryRest)->UseRealTime();

}  // namespace
