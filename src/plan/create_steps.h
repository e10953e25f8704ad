// CREATE COLLECTION over REST as its ordered requests: the creation, then the read fan-out
// settings, then one request per custom shard key. The server takes neither of those two in the
// creation body, so they follow it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plan/collection_config.h"
#include "plan/json_value.h"
#include "plan/rest/route.h"

namespace zorv::plan {

// One request of a sequence; steps carry no query parameters.
struct RestStep {
    std::string path;
    JsonValue body;  // value form
    HttpMethod method = HttpMethod::Put;
    friend bool operator==(const RestStep&, const RestStep&) = default;
};

// The steps in the order they must run; the first equals the single route of the statement.
// The body writers cannot fail, so neither can this.
std::vector<RestStep> create_collection_steps(std::string_view collection, const PlanCollectionConfig& config);

}  // namespace zorv::plan
