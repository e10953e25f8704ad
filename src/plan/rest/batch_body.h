// The update batch body {"operations": [{key: body}, ...]}, one operation per member in order.
#pragma once

#include <string>
#include <vector>

#include "plan/batch.h"
#include "plan/json_value.h"

namespace zorv::plan {

JsonValue update_batch_body(const std::vector<UpdateOperation>& operations);
void write_update_batch_body(std::string& out, const std::vector<UpdateOperation>& operations);

}  // namespace zorv::plan
