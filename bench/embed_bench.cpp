// The HTTP embedder against a loopback service (round trips per second, 384-d vectors, batches of
// 1 and 64), and the reading of embedding replies (bytes per second).
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <string>
#include <vector>

#include "embed/embed_protocol.h"
#include "embed/http_embedder.h"
#include "net/loopback_server.h"

namespace {

using zorv::embed::DenseVector;

constexpr std::size_t kDimension = 384;

std::string reply_body(std::size_t inputs) {
    std::string body = R"({"data":[)";
    for (std::size_t i = 0; i < inputs; ++i) {
        body +=
            (i ? "," : "") + std::string(R"({"object":"embedding","index":)") + std::to_string(i) + R"(,"embedding":[)";
        for (std::size_t d = 0; d < kDimension; ++d)
            body += (d ? "," : "") + std::to_string(-0.0123456 * static_cast<double>(d % 97));
        body += "]}";
    }
    return body + R"(],"model":"mini","usage":{"prompt_tokens":1,"total_tokens":1}})";
}

void embed_round_trip(benchmark::State& state) {
    const auto batch = static_cast<std::size_t>(state.range(0));
    const std::string body = reply_body(batch);
    zorv::test_support::LoopbackServer server(zorv::test_support::CannedReply{200, body});
    zorv::embed::HttpEmbedderConfig config;
    config.endpoint = server.url("/embed");
    config.model = "mini";
    config.dimension = kDimension;
    auto embedder = *zorv::embed::build_http_embedder(config);
    const std::vector<std::string> texts(batch, "red shoes");
    boost::asio::io_context context;
    bool ok = true;
    for (auto _ : state) {
        boost::asio::co_spawn(
            context,
            [](std::shared_ptr<zorv::embed::HttpEmbedder> e, std::vector<std::string> t,
               bool* ok_out) -> boost::asio::awaitable<void> {
                auto out = co_await e->embed_dense_batch(std::move(t), "");
                *ok_out = *ok_out && out.has_value();
            }(embedder, texts, &ok),
            boost::asio::detached);
        context.run();
        context.restart();
    }
    if (!ok) state.SkipWithError("an embedding call failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(embed_round_trip)->Arg(1)->Arg(64)->UseRealTime();

void embed_reply_decoding(benchmark::State& state) {
    const std::string body = reply_body(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto items = zorv::embed::decode_embed_response(body);
        benchmark::DoNotOptimize(items);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(embed_reply_decoding)->Arg(1)->Arg(64);

}  // namespace
