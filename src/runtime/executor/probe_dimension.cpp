#include "runtime/executor/probe_dimension.h"

#include <utility>

#include "embed/embedding_dimension.h"

namespace zorv::runtime {

std::optional<embed::InferenceSettings> inference_settings(const Executor& executor) {
    if (!executor.settings) return std::nullopt;
    embed::InferenceSettings out;
    out.inference_mode = executor.settings->inference_mode;
    out.embedding_dimension = executor.settings->embedding_dimension;
    return out;
}

AsyncResult<std::uint64_t> probe_dimension(const Executor& executor, std::optional<std::string> model) {
    auto settings = inference_settings(executor);
    co_return co_await embed::probe_embedding_dimension(executor.embedder, std::move(settings), std::move(model));
}

}  // namespace zorv::runtime
