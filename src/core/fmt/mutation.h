// Canonical text of the point mutations: UPSERT, DELETE, CLEAR PAYLOAD and UPDATE.
#pragma once

#include <string>

#include "core/ast/mutation.h"
#include "core/fmt/sink.h"

namespace zorv::core {

std::string format_upsert_embedding(const UpsertEmbedding& embedding);
std::string format_embed_field(const EmbedField& field);

void write_upsert_embedding(TextSink& sink, const UpsertEmbedding& embedding);
void write_embed_field(TextSink& sink, const EmbedField& field);
void write_upsert(TextSink& sink, const Upsert& upsert);
void write_delete(TextSink& sink, const Delete& del);
void write_clear_payload(TextSink& sink, const ClearPayload& clear);
void write_delete_payload(TextSink& sink, const DeletePayload& del);
void write_delete_vector(TextSink& sink, const DeleteVector& del);
void write_update_payload(TextSink& sink, const UpdatePayload& update);
void write_update_vector(TextSink& sink, const UpdateVector& update);

}  // namespace zorv::core
