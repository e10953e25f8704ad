// A loopback gRPC server of the read calls of the Points service that answers as each test
// scripts it and records each call's deadline, for replies a real server never sends.
#pragma once

#include <grpcpp/grpcpp.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "qdrant/points.grpc.pb.h"

namespace zorv::runtime::rpc::test {

class FakeReadPoints final : public qdrant::Points::CallbackService {
public:
    template <class Reply>
    using Script = std::function<::grpc::Status(Reply&)>;

    FakeReadPoints() {
        ::grpc::ServerBuilder builder;
        builder.AddListeningPort("127.0.0.1:0", ::grpc::InsecureServerCredentials(), &port_);
        builder.RegisterService(this);
        server_ = builder.BuildAndStart();
    }
    ~FakeReadPoints() override { server_->Shutdown(std::chrono::system_clock::now() + std::chrono::seconds(1)); }
    FakeReadPoints(const FakeReadPoints&) = delete;
    FakeReadPoints& operator=(const FakeReadPoints&) = delete;

    std::string url() const { return "grpc://127.0.0.1:" + std::to_string(port_); }

    Script<qdrant::QueryResponse> query;
    Script<qdrant::QueryBatchResponse> query_batch;
    Script<qdrant::QueryGroupsResponse> query_groups;
    Script<qdrant::CountResponse> count;
    Script<qdrant::FacetResponse> facet;
    Script<qdrant::ScrollResponse> scroll;

    // How long the client gave each call, as the server saw it on arrival.
    std::vector<std::chrono::milliseconds> deadlines() const {
        std::lock_guard lock(mutex_);
        return deadlines_;
    }

    ::grpc::ServerUnaryReactor* Query(::grpc::CallbackServerContext* context, const qdrant::QueryPoints*,
                                      qdrant::QueryResponse* reply) override {
        return answer(context, query, *reply);
    }
    ::grpc::ServerUnaryReactor* QueryBatch(::grpc::CallbackServerContext* context, const qdrant::QueryBatchPoints*,
                                           qdrant::QueryBatchResponse* reply) override {
        return answer(context, query_batch, *reply);
    }
    ::grpc::ServerUnaryReactor* QueryGroups(::grpc::CallbackServerContext* context, const qdrant::QueryPointGroups*,
                                            qdrant::QueryGroupsResponse* reply) override {
        return answer(context, query_groups, *reply);
    }
    ::grpc::ServerUnaryReactor* Count(::grpc::CallbackServerContext* context, const qdrant::CountPoints*,
                                      qdrant::CountResponse* reply) override {
        return answer(context, count, *reply);
    }
    ::grpc::ServerUnaryReactor* Facet(::grpc::CallbackServerContext* context, const qdrant::FacetCounts*,
                                      qdrant::FacetResponse* reply) override {
        return answer(context, facet, *reply);
    }
    ::grpc::ServerUnaryReactor* Scroll(::grpc::CallbackServerContext* context, const qdrant::ScrollPoints*,
                                       qdrant::ScrollResponse* reply) override {
        return answer(context, scroll, *reply);
    }

private:
    template <class Reply>
    ::grpc::ServerUnaryReactor* answer(::grpc::CallbackServerContext* context, const Script<Reply>& script,
                                       Reply& reply) {
        {
            std::lock_guard lock(mutex_);
            deadlines_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                context->deadline() - std::chrono::system_clock::now()));
        }
        auto* reactor = context->DefaultReactor();
        reactor->Finish(script ? script(reply) : ::grpc::Status(::grpc::StatusCode::UNIMPLEMENTED, "no script"));
        return reactor;
    }

    int port_ = 0;
    std::unique_ptr<::grpc::Server> server_;
    mutable std::mutex mutex_;
    std::vector<std::chrono::milliseconds> deadlines_;
};

}  // namespace zorv::runtime::rpc::test
