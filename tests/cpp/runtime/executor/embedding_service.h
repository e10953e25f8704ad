// A loopback embedding service for executor tests: every input gets a vector of `width` whose
// largest component says which colour word the text holds ("red" the first, "blue" the second,
// neither: all equal), so a search for a colour finds the points written about it.
#pragma once

#include <simdjson.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "embed/http_embedder.h"
#include "net/loopback_server.h"

namespace zorv::runtime::test {

inline std::string colour_vector(std::string_view text, std::size_t width) {
    std::size_t hot = width;  // none
    if (text.find("red") != std::string_view::npos) hot = 0;
    else if (text.find("blue") != std::string_view::npos) hot = 1;
    std::string out = "[";
    for (std::size_t i = 0; i < width; ++i) {
        const char* value = hot == width ? "0.5" : i == hot ? "1" : "0.01";
        out += std::string(i == 0 ? "" : ",") + value;
    }
    return out + "]";
}

inline test_support::CannedReply colour_embeddings(const test_support::RecordedRequest& request, std::size_t width) {
    simdjson::dom::parser parser;
    simdjson::dom::array inputs;
    if (parser.parse(request.body)["input"].get(inputs) != simdjson::SUCCESS) return {400, "no input"};
    std::string body = R"({"data":[)";
    std::size_t index = 0;
    for (simdjson::dom::element input : inputs) {
        std::string_view text;
        if (input.get(text) != simdjson::SUCCESS) return {400, "input is not text"};
        body += (index == 0 ? "" : ",") + std::string(R"({"index":)") + std::to_string(index) + R"(,"embedding":)" +
                colour_vector(text, width) + "}";
        ++index;
    }
    return {200, body + "]}"};
}

class EmbeddingService {
public:
    explicit EmbeddingService(std::size_t width)
        : server_([width](const test_support::RecordedRequest& r) { return colour_embeddings(r, width); }),
          width_(width) {}

    // Dense vectors from this service, sparse ones from the local BM25 encoder.
    std::shared_ptr<embed::HttpEmbedder> embedder() const {
        embed::HttpEmbedderConfig config;
        config.endpoint = server_.url("/embed");
        config.model = "colours";
        config.dimension = width_;
        auto built = embed::build_http_embedder(config, {std::chrono::seconds(5), std::chrono::seconds(10), 4});
        return built ? *built : nullptr;
    }

    std::size_t requests() const { return server_.requests().size(); }

private:
    test_support::LoopbackServer server_;
    std::size_t width_;
};

}  // namespace zorv::runtime::test
