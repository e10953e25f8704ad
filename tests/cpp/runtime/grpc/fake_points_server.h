// A loopback gRPC server of the Points write calls that answers as each test scripts it and
// keeps every request it received, for replies a real server cannot be made to give.
#pragma once

#include <grpcpp/grpcpp.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "qdrant/points.grpc.pb.h"

namespace zorv::runtime::rpc::test {

class FakePoints final : public qdrant::Points::CallbackService {
public:
    struct Received {
        std::string method;
        std::shared_ptr<google::protobuf::Message> request;
    };
    // Fills the reply of a single write; the default acknowledges as completed.
    using SingleScript = std::function<void(qdrant::PointsOperationResponse&)>;
    using BatchScript = std::function<void(qdrant::UpdateBatchResponse&)>;

    FakePoints() {
        ::grpc::ServerBuilder builder;
        builder.AddListeningPort("127.0.0.1:0", ::grpc::InsecureServerCredentials(), &port_);
        builder.RegisterService(this);
        server_ = builder.BuildAndStart();
    }
    ~FakePoints() override { server_->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(1)); }
    FakePoints(const FakePoints&) = delete;
    FakePoints& operator=(const FakePoints&) = delete;

    std::string url() const { return "grpc://127.0.0.1:" + std::to_string(port_); }
    void on_single(SingleScript script) { single_ = std::move(script); }
    void on_batch(BatchScript script) { batch_ = std::move(script); }

    std::vector<Received> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    template <class Request>
    const Request& last() const {
        std::lock_guard lock(mutex_);
        return static_cast<const Request&>(*received_.back().request);
    }

    ::grpc::ServerUnaryReactor* Upsert(::grpc::CallbackServerContext* c, const qdrant::UpsertPoints* r,
                                       qdrant::PointsOperationResponse* reply) override {
        return single(c, "Upsert", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* Delete(::grpc::CallbackServerContext* c, const qdrant::DeletePoints* r,
                                       qdrant::PointsOperationResponse* reply) override {
        return single(c, "Delete", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* UpdateVectors(::grpc::CallbackServerContext* c, const qdrant::UpdatePointVectors* r,
                                              qdrant::PointsOperationResponse* reply) override {
        return single(c, "UpdateVectors", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* DeleteVectors(::grpc::CallbackServerContext* c, const qdrant::DeletePointVectors* r,
                                              qdrant::PointsOperationResponse* reply) override {
        return single(c, "DeleteVectors", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* SetPayload(::grpc::CallbackServerContext* c, const qdrant::SetPayloadPoints* r,
                                           qdrant::PointsOperationResponse* reply) override {
        return single(c, "SetPayload", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* OverwritePayload(::grpc::CallbackServerContext* c, const qdrant::SetPayloadPoints* r,
                                                 qdrant::PointsOperationResponse* reply) override {
        return single(c, "OverwritePayload", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* DeletePayload(::grpc::CallbackServerContext* c, const qdrant::DeletePayloadPoints* r,
                                              qdrant::PointsOperationResponse* reply) override {
        return single(c, "DeletePayload", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* ClearPayload(::grpc::CallbackServerContext* c, const qdrant::ClearPayloadPoints* r,
                                             qdrant::PointsOperationResponse* reply) override {
        return single(c, "ClearPayload", *r, *reply);
    }
    ::grpc::ServerUnaryReactor* UpdateBatch(::grpc::CallbackServerContext* c, const qdrant::UpdateBatchPoints* r,
                                            qdrant::UpdateBatchResponse* reply) override {
        record("UpdateBatch", *r);
        if (batch_) batch_(*reply);
        auto* reactor = c->DefaultReactor();
        reactor->Finish(::grpc::Status::OK);
        return reactor;
    }

private:
    template <class Request>
    void record(std::string method, const Request& request) {
        std::lock_guard lock(mutex_);
        received_.push_back(Received{std::move(method), std::make_shared<Request>(request)});
    }

    template <class Request>
    ::grpc::ServerUnaryReactor* single(::grpc::CallbackServerContext* context, std::string method,
                                       const Request& request, qdrant::PointsOperationResponse& reply) {
        record(std::move(method), request);
        if (single_) single_(reply);
        else reply.mutable_result()->set_status(qdrant::UPDATE_STATUS_COMPLETED);
        auto* reactor = context->DefaultReactor();
        reactor->Finish(::grpc::Status::OK);
        return reactor;
    }

    int port_ = 0;
    std::unique_ptr<::grpc::Server> server_;
    SingleScript single_;
    BatchScript batch_;
    mutable std::mutex mutex_;
    std::vector<Received> received_;
};

}  // namespace zorv::runtime::rpc::test
