// A collection's description from the Get reply's CollectionInfo message, in the same record the
// REST transport decodes from JSON.
#pragma once

#include <string_view>

#include "core/error.h"
#include "protocol/collection_schema.h"

namespace qdrant {
class CollectionInfo;
}  // namespace qdrant

namespace zorv::runtime::rpc {

// An enumeration number outside the known words is refused, never guessed:
// ZORV-BACKEND-ENVELOPE "collection info carries unknown {what} {n}", field collection.
core::Result<protocol::CollectionSchema> collection_schema_from_proto(const qdrant::CollectionInfo& info,
                                                                      std::string_view collection);

}  // namespace zorv::runtime::rpc
