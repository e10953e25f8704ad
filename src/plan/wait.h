// Whether a point mutation waits for the server to apply it, when the statement has no WAIT.
#pragma once

#include <optional>

#include "core/ast/mutation.h"

namespace zorv::plan {

// DELETE, CLEAR / DELETE / UPDATE / OVERWRITE PAYLOAD, UPDATE and DELETE VECTOR wait by default.
inline bool point_mutation_wait(std::optional<bool> wait) { return wait.value_or(true); }

// An UPSERT does not, unless it embeds: its caller then expects to search the points at once.
inline bool upsert_wait(const core::Upsert& upsert) {
    return upsert.wait.value_or(upsert.embedding.has_value() || !upsert.embed.empty());
}

}  // namespace zorv::plan
