// A loopback gRPC server of the Collections service that answers as each test scripts it and
// records the metadata it received, for what a real server cannot be made to do.
#pragma once

#include <grpcpp/grpcpp.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "qdrant/collections.grpc.pb.h"

namespace zorv::runtime::rpc::test {

// A server certificate and its private key, both PEM.
struct TlsIdentity {
    std::string certificate;
    std::string private_key;
};

class FakeCollections final : public qdrant::Collections::CallbackService {
public:
    using Metadata = std::multimap<std::string, std::string>;
    // Fills the reply or returns a failing status; runs on a gRPC thread.
    using GetScript = std::function<::grpc::Status(qdrant::GetCollectionInfoResponse&)>;
    // The same, seeing the metadata the call carried.
    using GetScriptSeeing = std::function<::grpc::Status(const Metadata&, qdrant::GetCollectionInfoResponse&)>;

    // Plain text, or TLS with the given identity.
    explicit FakeCollections(std::optional<TlsIdentity> tls = std::nullopt) : tls_(tls.has_value()) {
        std::shared_ptr<::grpc::ServerCredentials> credentials = ::grpc::InsecureServerCredentials();
        if (tls) {
            ::grpc::SslServerCredentialsOptions options;
            options.pem_key_cert_pairs.push_back({tls->private_key, tls->certificate});
            credentials = ::grpc::SslServerCredentials(options);
        }
        ::grpc::ServerBuilder builder;
        builder.AddListeningPort("127.0.0.1:0", credentials, &port_);
        builder.RegisterService(this);
        builder.SetMaxSendMessageSize(256 << 20);
        server_ = builder.BuildAndStart();
    }
    ~FakeCollections() override {
        stop_ = true;
        server_->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(1));
    }
    FakeCollections(const FakeCollections&) = delete;
    FakeCollections& operator=(const FakeCollections&) = delete;

    std::string url() const { return (tls_ ? "https://127.0.0.1:" : "grpc://127.0.0.1:") + std::to_string(port_); }
    void on_get(GetScript script) {
        get_script_ = [script = std::move(script)](const Metadata&, qdrant::GetCollectionInfoResponse& reply) {
            return script(reply);
        };
    }
    void on_get_seeing(GetScriptSeeing script) { get_script_ = std::move(script); }
    // Get never answers until the server stops or the client gives up.
    void go_silent() { silent_ = true; }

    std::vector<Metadata> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    ::grpc::ServerUnaryReactor* Get(::grpc::CallbackServerContext* context, const qdrant::GetCollectionInfoRequest*,
                                    qdrant::GetCollectionInfoResponse* reply) override {
        const Metadata metadata = record(*context);
        auto* reactor = context->DefaultReactor();
        if (silent_) {
            while (!stop_ && !context->IsCancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            reactor->Finish(::grpc::Status::CANCELLED);
            return reactor;
        }
        reactor->Finish(get_script_ ? get_script_(metadata, *reply) : ::grpc::Status::OK);
        return reactor;
    }

private:
    Metadata record(const ::grpc::CallbackServerContext& context) {
        Metadata metadata;
        for (const auto& [key, value] : context.client_metadata()) {
            metadata.emplace(std::string(key.data(), key.size()), std::string(value.data(), value.size()));
        }
        std::lock_guard lock(mutex_);
        received_.push_back(metadata);
        return metadata;
    }

    bool tls_ = false;
    int port_ = 0;
    std::unique_ptr<::grpc::Server> server_;
    GetScriptSeeing get_script_;
    std::atomic<bool> silent_{false};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Metadata> received_;
};

}  // namespace zorv::runtime::rpc::test
