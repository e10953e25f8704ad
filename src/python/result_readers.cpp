#include "python/result_readers.h"

#include <utility>

#include "python/record_reader.h"
#include "python/value_forms.h"

namespace zorv::python {

std::optional<std::vector<plan::PlanShardKey>> read_shard_keys(PyObject* obj) {
    std::vector<plan::PlanShardKey> keys;
    PyRead<void> done;
    if (PyUnicode_Check(obj) || PyBytes_Check(obj)) {
        done = read_failure("invalid type: " + type_phrase(obj) + ", expected a sequence");
    } else {
        done = read_list(obj, [&](PyObject* item) -> PyRead<void> {
            auto key = read_wire(item);
            if (!key) return std::unexpected(std::move(key).error());
            keys.push_back(std::move(*key));
            return {};
        });
    }
    if (!done) {
        raise_value_error("shard keys", done.error());
        return std::nullopt;
    }
    return keys;
}

std::optional<protocol::QuotaConfig> read_quota_config(PyObject* obj) {
    protocol::QuotaConfig config;
    auto done = read_record(obj,
                            {{"enabled", false},
                             {"max_resident_memory_percent", false},
                             {"max_disk_usage_percent", false},
                             {"release_margin_percent", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                if (value == Py_None) return {};
                                if (field == 0) {
                                    auto flag = read_flag(value);
                                    if (!flag) return std::unexpected(std::move(flag).error());
                                    config.enabled = *flag;
                                    return {};
                                }
                                auto percent = read_count(value);
                                if (!percent) return std::unexpected(std::move(percent).error());
                                std::optional<std::uint64_t>* slots[] = {&config.max_resident_memory_percent,
                                                                         &config.max_disk_usage_percent,
                                                                         &config.release_margin_percent};
                                *slots[field - 1] = *percent;
                                return {};
                            });
    if (!done) {
        raise_value_error("quotas", done.error());
        return std::nullopt;
    }
    return config;
}

}  // namespace zorv::python
