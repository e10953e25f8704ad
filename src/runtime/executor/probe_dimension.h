// The dense dimension the executor gives vectors it adds for text embeddings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "embed/inference_settings.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// What the dimension probe reads of the executor's settings; nothing without settings.
std::optional<embed::InferenceSettings> inference_settings(const Executor& executor);

// The embedder's dimension, the configured one, or the fallback; `model` is the one the
// statement asks for.
AsyncResult<std::uint64_t> probe_dimension(const Executor& executor, std::optional<std::string> model);

}  // namespace zorv::runtime
