#include "plan/rest/batch_body.h"

#include "plan/json_write.h"
#include "plan/rest/point_body.h"

namespace zorv::plan {

JsonValue update_batch_body(const std::vector<UpdateOperation>& operations) {
    JsonArray list;
    list.reserve(operations.size());
    for (const UpdateOperation& operation : operations) {
        JsonObject entry;
        entry.emplace(std::string(operation.name()), update_operation_body_to_value(operation));
        list.emplace_back(std::move(entry));
    }
    JsonObject body;
    body.emplace("operations", std::move(list));
    return body;
}

void write_update_batch_body(std::string& out, const std::vector<UpdateOperation>& operations) {
    out += "{\"operations\":[";
    for (std::size_t i = 0; i < operations.size(); ++i) {
        if (i > 0) out += ',';
        out += '{';
        write_json_string(out, operations[i].name());
        out += ':';
        write_update_operation_body(out, operations[i]);
        out += '}';
    }
    out += "]}";
}

}  // namespace zorv::plan
