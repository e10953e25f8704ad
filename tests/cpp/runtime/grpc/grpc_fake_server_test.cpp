#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_future.hpp>
#include <chrono>
#include <fstream>
#include <future>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/grpc/fake_collections_server.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/request_id.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using rest::test::run;

std::string field(const core::ZorvError& error, std::string_view key) {
    for (const auto& [k, v] : error.fields) {
        if (k == key) return v;
    }
    return "<absent>";
}

std::string only(const test::FakeCollections::Metadata& metadata, const std::string& key) {
    auto [first, last] = metadata.equal_range(key);
    if (first == last || std::next(first) != last) return "<not once>";
    return first->second;
}

TEST(GrpcFakeServer, MetadataAndIdsOnTheSharedCounter) {
    test::FakeCollections fake;
    for (const char* key : {"a\nb", "a\tb", "\xC3\xA9"}) {  // refused: never reaches the wire
        auto refused = make_grpc_backend(fake.url(), std::string(key));
        ASSERT_TRUE(refused.has_value());
        auto info = run((*refused)->collection_info("c"));
        ASSERT_FALSE(info.has_value());
        EXPECT_EQ(info.error().code, "ZORV-TRANSPORT-REQUEST");
    }
    EXPECT_TRUE(fake.received().empty());

    auto backend = make_grpc_backend(fake.url(), std::string("key"), std::string("shard-1"));
    ASSERT_TRUE(backend.has_value());
    fake.on_get(
        [](qdrant::GetCollectionInfoResponse&) { return ::grpc::Status(::grpc::StatusCode::INTERNAL, "boom"); });
    const std::uint64_t next = REQUEST_ID_COUNTER.load();
    auto failed = run((*backend)->collection_info("c"));
    ASSERT_FALSE(failed.has_value());
    const auto received = fake.received();
    ASSERT_EQ(received.size(), 1U);
    const auto& metadata = received[0];
    EXPECT_EQ(only(metadata, "api-key"), "key");
    EXPECT_EQ(only(metadata, "x-qdrant-route-affinity"), "shard-1");
    const std::string id = only(metadata, "x-request-id");
    ASSERT_EQ(id.size(), 25U) << id;
    EXPECT_EQ(id.substr(21), format_request_id(0, next).substr(21));
    EXPECT_EQ(field(failed.error(), "request_id"), id);
    EXPECT_EQ(failed.error().code, "ZORV-GRPC");
    EXPECT_EQ(failed.error().message,
              "collection_info: code: 'Internal error', message: \"boom\" (request id: " + id + ")");
}

std::string read_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A self-signed certificate for localhost and 127.0.0.1, made for these tests only.
test::TlsIdentity loopback_identity() {
    const std::string dir = ZORV_TEST_DATA_DIR;
    return {.certificate = read_text(dir + "/tls_loopback.crt"), .private_key = read_text(dir + "/tls_loopback.key")};
}

::grpc::Status green(qdrant::GetCollectionInfoResponse& reply) {
    reply.mutable_result()->set_status(qdrant::COLLECTION_STATUS_GREEN);
    return ::grpc::Status::OK;
}

// TLS needs a root that signs the server's certificate; plain text never reaches a TLS port.
TEST(GrpcFakeServer, TlsServerAnswersWithTheGivenRoot) {
    const test::TlsIdentity identity = loopback_identity();
    test::FakeCollections fake(identity);
    fake.on_get(green);
    const std::string port = fake.url().substr(fake.url().rfind(':'));
    struct Case {
        std::string url;
        std::optional<std::string> root;
        bool answers;
    };
    const std::vector<Case> cases = {
        {"https://127.0.0.1" + port, identity.certificate, true},
        {"https://127.0.0.1" + port, std::nullopt, false},  // the system store does not know it
        {"grpc://127.0.0.1" + port, identity.certificate, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + (c.root ? " with the test root" : " with the system roots"));
        GrpcSettings settings;
        settings.root_certificates = c.root;
        settings.call_deadline = std::chrono::seconds(5);
        auto backend = make_grpc_backend(c.url, settings);
        ASSERT_TRUE(backend.has_value());
        auto info = run((*backend)->collection_info("docs"));
        if (c.answers) {
            ASSERT_TRUE(info.has_value()) << info.error().message;
            EXPECT_EQ(info->status, "green");
        } else {
            ASSERT_FALSE(info.has_value());
            EXPECT_EQ(field(info.error(), "grpc_code"), "14") << info.error().message;
        }
    }
}

// Each failure names the id its own call carried, however the calls interleave.
TEST(GrpcFakeServer, ConcurrentFailuresKeepTheirOwnIds) {
    test::FakeCollections fake;
    fake.on_get_seeing([](const test::FakeCollections::Metadata& metadata, qdrant::GetCollectionInfoResponse&) {
        auto sent = metadata.find("x-request-id");
        return ::grpc::Status(::grpc::StatusCode::INTERNAL, sent == metadata.end() ? "none" : sent->second);
    });
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    constexpr int calls = 16;
    std::vector<std::optional<core::ZorvError>> errors(calls);
    std::vector<std::thread> threads;
    for (int i = 0; i < calls; ++i) {
        threads.emplace_back([&backend, &errors, i] {
            auto info = run((*backend)->collection_info("c" + std::to_string(i)));
            if (!info) errors[static_cast<std::size_t>(i)] = std::move(info).error();
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<std::string> ids;
    for (const auto& error : errors) {
        ASSERT_TRUE(error.has_value());
        const std::string id = field(*error, "request_id");
        std::string expected = "collection_info: code: 'Internal error', message: \"";
        expected.append(id).append("\" (request id: ").append(id).append(")");
        EXPECT_EQ(error->message, expected);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), std::size_t{calls});
    EXPECT_EQ(fake.received().size(), std::size_t{calls});
}

TEST(GrpcFakeServer, ReplyWithoutResultIsNoResult) {
    test::FakeCollections fake;
    fake.on_get([](qdrant::GetCollectionInfoResponse& reply) {
        reply.set_time(0.5);
        return ::grpc::Status::OK;
    });
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    auto info = run((*backend)->collection_info("docs"));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(info.error().code, "ZORV-GRPC-NO-RESULT");
    EXPECT_EQ(info.error().message, "collection_info response missing result field");
    EXPECT_EQ(info.error().fields, (std::vector<std::pair<std::string, std::string>>{{"collection", "docs"}}));
}

TEST(GrpcFakeServer, UnknownEnumInReplyIsRefused) {
    test::FakeCollections fake;
    fake.on_get([](qdrant::GetCollectionInfoResponse& reply) {
        reply.mutable_result()->set_status(static_cast<qdrant::CollectionStatus>(12));
        return ::grpc::Status::OK;
    });
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    auto info = run((*backend)->collection_info("docs"));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(info.error().code, "ZORV-BACKEND-ENVELOPE");
    EXPECT_EQ(info.error().message, "collection info carries unknown status 12");
}

TEST(GrpcFakeServer, OversizeReplyIsOutOfRange) {
    test::FakeCollections fake;
    fake.on_get([](qdrant::GetCollectionInfoResponse& reply) {
        auto& schema = *reply.mutable_result()->mutable_payload_schema();
        for (int i = 0; i < 65; ++i) schema[std::to_string(i) + std::string(std::size_t{1} << 20, 'f')];
        return ::grpc::Status::OK;
    });
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    auto info = run((*backend)->collection_info("docs"), std::chrono::seconds(30));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(field(info.error(), "grpc_code"), "11");
    EXPECT_NE(info.error().message.find("Error, decoded message length too large: found "), std::string::npos)
        << info.error().message;
    EXPECT_NE(info.error().message.find(" bytes, the limit is: 67108864 bytes"), std::string::npos);
}

TEST(GrpcFakeServer, SilentServerHitsTheDeadline) {
    test::FakeCollections fake;
    fake.go_silent();
    GrpcSettings settings;
    settings.call_deadline = std::chrono::milliseconds(300);
    auto backend = make_grpc_backend(fake.url(), settings);
    ASSERT_TRUE(backend.has_value());
    const auto start = std::chrono::steady_clock::now();
    auto info = run((*backend)->collection_info("docs"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(field(info.error(), "grpc_code"), "4");
    EXPECT_EQ(info.error().code, "ZORV-GRPC");
}

// A blocking caller reads its own reply; one slower than its polling slice is waited out on the
// pool and still arrives. On the pool itself gRPC's threads deliver the reply.
TEST(GrpcFakeServer, SlowRepliesArriveOnEitherKindOfExecutor) {
    test::FakeCollections fake;
    fake.on_get([](qdrant::GetCollectionInfoResponse& reply) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        return green(reply);
    });
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    auto on_caller = run((*backend)->collection_info("docs"));
    ASSERT_TRUE(on_caller.has_value()) << on_caller.error().message;
    EXPECT_EQ(on_caller->status, "green");

    boost::asio::thread_pool pool(2);
    auto on_pool = boost::asio::co_spawn(pool, (*backend)->collection_info("docs"), boost::asio::use_future);
    ASSERT_EQ(on_pool.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto pooled = on_pool.get();
    ASSERT_TRUE(pooled.has_value()) << pooled.error().message;
    EXPECT_EQ(pooled->status, "green");
    EXPECT_EQ(fake.received().size(), 2U);
}

TEST(GrpcDeadline, ThirtySecondsOrTimeoutPlusFive) {
    const std::chrono::milliseconds base(30'000);
    EXPECT_EQ(call_deadline(base, std::nullopt), base);
    EXPECT_EQ(call_deadline(base, 10), base);
    EXPECT_EQ(call_deadline(base, 60), std::chrono::milliseconds(65'000));
    EXPECT_EQ(call_deadline(base, UINT64_MAX), std::chrono::milliseconds((86'400 + 5) * 1000));
}

}  // namespace
}  // namespace zorv::runtime::rpc
