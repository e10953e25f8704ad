// Canonical text of the definition statements and SET QUOTA.
#pragma once

#include "core/ast/ddl.h"
#include "core/fmt/sink.h"

namespace zorv::core {

void write_create_collection(TextSink& sink, const CreateCollection& create);
void write_alter_collection(TextSink& sink, const AlterCollection& alter);
void write_drop_collection(TextSink& sink, const DropCollection& drop);
void write_create_index(TextSink& sink, const CreateIndex& create);
void write_drop_index(TextSink& sink, const DropIndex& drop);
void write_create_shard_key(TextSink& sink, const CreateShardKey& create);
void write_drop_shard_key(TextSink& sink, const DropShardKey& drop);
void write_set_quota(TextSink& sink, const SetQuota& quota);

}  // namespace zorv::core
