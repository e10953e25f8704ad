// What a failed HTTP reply means, and whether a successful one is a well-formed envelope
// ({"result": ..., "status": "ok", "time": ..., "usage": ...}).
#pragma once

#include <simdjson.h>

#include <cstdint>
#include <string_view>

#include "core/error.h"

namespace zorv::runtime::rest {

// The error code of a non-2xx reply, chosen by its status and the words of its body excerpt.
std::string_view classify_http_error(std::uint16_t status, std::string_view text);

// Appends "status_code" after the fields already there.
core::ZorvError add_status_code_detail(core::ZorvError error, std::uint16_t status);

// ZORV-BACKEND-ENVELOPE naming `path` when the reply is not an object, lacks "result", or its
// "status" is not exactly "ok". A key named twice counts by its later value.
core::Result<void> check_rest_envelope(simdjson::dom::element reply, std::string_view path);

}  // namespace zorv::runtime::rest
