// A loopback gRPC server of the Collections DDL calls and the Points field index calls: records
// each request in arrival order and answers as the test scripts it (OK by default, result false,
// the time of its method).
#pragma once

#include <grpcpp/grpcpp.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qdrant/collections.grpc.pb.h"
#include "qdrant/points.grpc.pb.h"

namespace zorv::runtime::rpc::test {

class FakeDdl final : public qdrant::Collections::CallbackService {
public:
    struct Call {
        std::string method;  // "Create", "Update", ...
        std::string bytes;   // the request as received
    };
    // The status of the n-th call of `method` (0-based); OK unless the test says otherwise.
    using Script = std::function<::grpc::Status(const std::string& method, int n)>;

    // Reply times: Create answers 1.5 s, every other call 7 s.
    static constexpr double create_time = 1.5;
    static constexpr double other_time = 7.0;

    FakeDdl() {
        ::grpc::ServerBuilder builder;
        // Without this, port 0 may hand out a port another process's server shares, and calls
        // would be spread over both.
        builder.AddChannelArgument(GRPC_ARG_ALLOW_REUSEPORT, 0);
        builder.AddListeningPort("127.0.0.1:0", ::grpc::InsecureServerCredentials(), &port_);
        builder.RegisterService(this);
        builder.RegisterService(&points_);
        server_ = builder.BuildAndStart();
    }
    ~FakeDdl() override { server_->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(1)); }
    FakeDdl(const FakeDdl&) = delete;
    FakeDdl& operator=(const FakeDdl&) = delete;

    std::string url() const { return "grpc://127.0.0.1:" + std::to_string(port_); }
    void script(Script script) {
        std::lock_guard lock(mutex_);
        script_ = std::move(script);
    }
    void shard_keys(qdrant::ListShardKeysResponse reply) {
        std::lock_guard lock(mutex_);
        shard_keys_ = std::move(reply);
    }

    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> methods() const {
        std::vector<std::string> out;
        for (const Call& call : calls()) out.push_back(call.method);
        return out;
    }
    template <class Message>
    Message request(std::size_t index) const {
        Message out;
        const auto recorded = calls();
        if (index < recorded.size()) out.ParseFromString(recorded[index].bytes);
        return out;
    }

    ::grpc::ServerUnaryReactor* Create(::grpc::CallbackServerContext* context, const qdrant::CreateCollection* request,
                                       qdrant::CollectionOperationResponse* reply) override {
        return answer(context, "Create", *request, *reply, create_time);
    }
    ::grpc::ServerUnaryReactor* Update(::grpc::CallbackServerContext* context, const qdrant::UpdateCollection* request,
                                       qdrant::CollectionOperationResponse* reply) override {
        return answer(context, "Update", *request, *reply, other_time);
    }
    ::grpc::ServerUnaryReactor* Delete(::grpc::CallbackServerContext* context, const qdrant::DeleteCollection* request,
                                       qdrant::CollectionOperationResponse* reply) override {
        return answer(context, "Delete", *request, *reply, other_time);
    }
    ::grpc::ServerUnaryReactor* UpdateAliases(::grpc::CallbackServerContext* context,
                                              const qdrant::ChangeAliases* request,
                                              qdrant::CollectionOperationResponse* reply) override {
        return answer(context, "UpdateAliases", *request, *reply, other_time);
    }
    ::grpc::ServerUnaryReactor* CreateShardKey(::grpc::CallbackServerContext* context,
                                               const qdrant::CreateShardKeyRequest* request,
                                               qdrant::CreateShardKeyResponse* reply) override {
        return answer(context, "CreateShardKey", *request, *reply, other_time);
    }
    ::grpc::ServerUnaryReactor* DeleteShardKey(::grpc::CallbackServerContext* context,
                                               const qdrant::DeleteShardKeyRequest* request,
                                               qdrant::DeleteShardKeyResponse* reply) override {
        return answer(context, "DeleteShardKey", *request, *reply, other_time);
    }
    ::grpc::ServerUnaryReactor* ListShardKeys(::grpc::CallbackServerContext* context,
                                              const qdrant::ListShardKeysRequest* request,
                                              qdrant::ListShardKeysResponse* reply) override {
        {
            std::lock_guard lock(mutex_);
            *reply = shard_keys_;
        }
        reply->set_time(other_time);
        auto* reactor = context->DefaultReactor();
        reactor->Finish(record("ListShardKeys", *request));
        return reactor;
    }

private:
    class Points final : public qdrant::Points::CallbackService {
    public:
        explicit Points(FakeDdl& owner) : owner_(owner) {}
        ::grpc::ServerUnaryReactor* CreateFieldIndex(::grpc::CallbackServerContext* context,
                                                     const qdrant::CreateFieldIndexCollection* request,
                                                     qdrant::PointsOperationResponse* reply) override {
            return answer(context, "CreateFieldIndex", *request, *reply);
        }
        ::grpc::ServerUnaryReactor* DeleteFieldIndex(::grpc::CallbackServerContext* context,
                                                     const qdrant::DeleteFieldIndexCollection* request,
                                                     qdrant::PointsOperationResponse* reply) override {
            return answer(context, "DeleteFieldIndex", *request, *reply);
        }

    private:
        ::grpc::ServerUnaryReactor* answer(::grpc::CallbackServerContext* context, const std::string& method,
                                           const google::protobuf::Message& request,
                                           qdrant::PointsOperationResponse& reply) {
            reply.mutable_result()->set_status(qdrant::UPDATE_STATUS_UNKNOWN);  // a verdict, not read
            reply.set_time(other_time);
            reply.mutable_usage()->mutable_hardware()->set_cpu(3);
            auto* reactor = context->DefaultReactor();
            reactor->Finish(owner_.record(method, request));
            return reactor;
        }
        FakeDdl& owner_;
    };

    ::grpc::Status record(const std::string& method, const google::protobuf::Message& request) {
        std::lock_guard lock(mutex_);
        int n = 0;
        for (const Call& call : calls_) n += call.method == method ? 1 : 0;
        calls_.push_back(Call{method, request.SerializeAsString()});
        return script_ ? script_(method, n) : ::grpc::Status::OK;
    }

    template <class Reply>
    ::grpc::ServerUnaryReactor* answer(::grpc::CallbackServerContext* context, const std::string& method,
                                       const google::protobuf::Message& request, Reply& reply, double time) {
        reply.set_result(false);  // a verdict the client must not read as failure
        reply.set_time(time);
        auto* reactor = context->DefaultReactor();
        reactor->Finish(record(method, request));
        return reactor;
    }

    int port_ = 0;
    Points points_{*this};
    std::unique_ptr<::grpc::Server> server_;
    mutable std::mutex mutex_;
    Script script_;
    qdrant::ListShardKeysResponse shard_keys_;
    std::vector<Call> calls_;
};

}  // namespace zorv::runtime::rpc::test
