// Client construction: settings, transport, embedder, executor. Nothing is sent and no thread
// starts: the process-wide transfer thread starts with the first HTTP request, the gRPC channel
// dials on its first call.
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "embed/http_embedder.h"
#include "python/client.h"
#include "python/embedder_settings.h"
#include "python/errors.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/transport.h"

namespace zorv::python {
namespace {

void raise_runtime_error(const core::ZorvError& error) {
    PyErr_SetString(PyExc_RuntimeError, core::format_error(error).c_str());
}

// Every request carries its own limit, so there is no client without limits to fall back on.
std::shared_ptr<net::HttpClient> rest_http_client() {
    auto client = net::HttpClient::create(runtime::rest::rest_client_options());
    if (client) return *client;
    PyErr_Format(PyExc_RuntimeError, "cannot create the HTTP client: %s", client.error().c_str());
    return nullptr;
}

std::unique_ptr<runtime::Backend> rest_backend(std::string_view url, std::optional<std::string> api_key,
                                               const std::optional<std::string>& route_affinity) {
    std::shared_ptr<net::HttpClient> client = rest_http_client();
    if (!client) return nullptr;
    runtime::rest::RestBackend backend = runtime::rest::build_rest_backend(url, std::move(api_key), std::move(client));
    // Kept even when it is no valid header value: the request is then refused, never sent without it.
    if (route_affinity && !route_affinity->empty()) {
        backend.route_affinity = route_affinity;
        backend.route_affinity_header = runtime::rest::optional_header_value(route_affinity);
    }
    return runtime::rest::make_rest_backend(std::move(backend));
}

// The channel dials on the first call; only a URL that is no URI fails here.
std::unique_ptr<runtime::Backend> grpc_backend(std::string_view url, std::optional<std::string> api_key,
                                               const std::optional<std::string>& route_affinity) {
    auto backend = runtime::rpc::make_grpc_backend(url, std::move(api_key), route_affinity);
    if (backend) return std::move(*backend);
    raise_runtime_error(backend.error());
    return nullptr;
}

// An endpoint that is blank means no embedding service.
bool build_embedder(const std::optional<embed::HttpEmbedderConfig>& config,
                    std::shared_ptr<const embed::Embedder>& out) {
    if (!config || embed::is_blank(config->endpoint)) return true;
    auto embedder = embed::build_http_embedder(*config);
    if (!embedder) {
        raise_runtime_error(embedder.error());
        return false;
    }
    out = std::move(*embedder);
    return true;
}

}  // namespace

std::shared_ptr<runtime::Executor> build_client(std::string_view url, std::optional<std::string> api_key, bool use_grpc,
                                                PyObject* embedder, const std::optional<std::string>& route_affinity) {
    std::optional<embed::HttpEmbedderConfig> config;
    if (!embedder_settings_from_py(embedder, config)) return nullptr;
    runtime::ExecutorSettings settings;
    if (config) {
        settings.embedding_dimension = config->dimension;
        settings.multi_dimension = config->multi_dimension;
        auto bm25 = embed::build_bm25_config(config->bm25);
        if (!bm25) {
            raise_zorv_error(std::move(bm25).error(), kValidationErrorClass);
            return nullptr;
        }
    }
    std::unique_ptr<runtime::Backend> backend = use_grpc ? grpc_backend(url, std::move(api_key), route_affinity)
                                                         : rest_backend(url, std::move(api_key), route_affinity);
    if (!backend) return nullptr;
    std::shared_ptr<const embed::Embedder> embedding;
    if (!build_embedder(config, embedding)) return nullptr;
    return runtime::build_executor(std::move(backend), settings, std::move(embedding));
}

}  // namespace zorv::python
