// Canonical text of the point mutations: UPSERT, DELETE, CLEAR PAYLOAD and UPDATE.
#pragma once

#include <string>

#include "core/ast/mutation.h"

namespace zorv::core {

// "DENSE MODEL 'm' ON FIELD f INTO v", "HYBRID DENSE ... SPARSE ...", or members joined by ", ".
std::string format_upsert_embedding(const UpsertEmbedding& embedding);
// "source INTO target USING KIND [MODEL 'm']".
std::string format_embed_field(const EmbedField& field);

// Multi-row UPSERT and UPDATE VECTOR VALUES put each row on its own indented line.
std::string format_upsert(const Upsert& upsert);
std::string format_delete(const Delete& del);
std::string format_clear_payload(const ClearPayload& clear);
std::string format_delete_payload(const DeletePayload& del);
std::string format_delete_vector(const DeleteVector& del);
std::string format_update_payload(const UpdatePayload& update);
std::string format_update_vector(const UpdateVector& update);

}  // namespace zorv::core
