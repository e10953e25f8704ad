// Collection metadata as the map<string, Value> of the creation and update messages.
#pragma once

#include <string>

#include <google/protobuf/map.h>

#include "core/error.h"
#include "plan/collection_config.h"
#include "qdrant/json_with_int.pb.h"

namespace zorv::runtime::rpc {

// A later duplicate key replaces an earlier one; a value the message cannot carry is refused.
core::Result<void> metadata_to_proto(const plan::OptionList& metadata,
                                     google::protobuf::Map<std::string, qdrant::Value>& out);

}  // namespace zorv::runtime::rpc
