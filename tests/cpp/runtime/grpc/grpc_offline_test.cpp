#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <chrono>
#include <string>
#include <vector>

#include "qdrant/collections.pb.h"
#include "runtime/grpc/endpoint.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/grpc/status_map.h"
#include "runtime/grpc_route/collection_schema.h"
#include "runtime/request_id.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;
using rest::test::run;

TEST(GrpcEndpoint, UrlGivesTargetAndTls) {
    struct Case {
        std::string_view url;
        std::string_view target;
        bool tls;
    };
    const std::vector<Case> cases = {
        {"grpc://db", "db:6334", false},
        {"http://localhost:6334", "localhost:6334", false},
        {"localhost:7000", "localhost:7000", false},
        {"db", "db:6334", false},
        {"https://qdrant.example.com", "qdrant.example.com:6334", true},
        {"https://h:443/", "h:443", true},
        {"http://http://h:1", "h:1", false},
        {"grpc://https://h:1", "h:1", false},  // only a leading "https://" means TLS
        {"HTTPS://h:1", "", false},            // not a scheme we know: no valid host
        {"http://[::1]:6334", "[::1]:6334", false},
        {"http://[::1]", "[::1]:6334", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        auto endpoint = parse_grpc_endpoint(c.url);
        if (c.target.empty()) {
            EXPECT_FALSE(endpoint.has_value());
            continue;
        }
        ASSERT_TRUE(endpoint.has_value()) << endpoint.error().message;
        EXPECT_EQ(endpoint->target, c.target);
        EXPECT_EQ(endpoint->tls, c.tls);
    }
}

TEST(GrpcEndpoint, InvalidUrlIsRefused) {
    for (std::string_view url : {"grpc://bad host:1", "http://", "http://h:0", "http://h:65536", "http://h:x",
                                 "http://h:1/a b", "http://[::1", "http://u@h:1"}) {
        SCOPED_TRACE(url);
        auto endpoint = parse_grpc_endpoint(url);
        ASSERT_FALSE(endpoint.has_value());
        EXPECT_EQ(endpoint.error().code, "ZORV-TRANSPORT");
        EXPECT_EQ(endpoint.error().message, "invalid gRPC url: invalid URI");
        EXPECT_EQ(endpoint.error().kind, core::ErrorKind::Transport);
        EXPECT_TRUE(endpoint.error().fields.empty());
    }
    EXPECT_FALSE(make_grpc_backend("grpc://bad host:1", std::nullopt).has_value());
}

TEST(GrpcStatusMap, StatusGivesCodeMessageAndFields) {
    struct Case {
        int code;
        std::string message;
        std::string request_id;
        std::string_view expected_code;
        std::string expected_message;
    };
    const std::vector<Case> cases = {
        {5, "Collection x not found", "zorv-1", "ZORV-BACKEND-COLLECTION-NOT-FOUND",
         "op: code: 'Some requested entity was not found', message: \"Collection x not found\" (request id: zorv-1)"},
        {5, "point 3 missing", "", "ZORV-BACKEND-COLLECTION-NOT-FOUND",
         "op: code: 'Some requested entity was not found', message: \"point 3 missing\""},
        {7, "dimension", "", "ZORV-BACKEND-AUTH",
         "op: code: 'The caller does not have permission to execute the specified operation', message: "
         "\"dimension\""},
        {16, "", "", "ZORV-BACKEND-AUTH", "op: code: 'The request does not have valid authentication credentials'"},
        {3, "Wrong input: Vector DIMENSION error", "", "ZORV-BACKEND-DIMENSION-MISMATCH",
         "op: code: 'Client specified an invalid argument', message: \"Wrong input: Vector DIMENSION error\""},
        {3, "Index Not Found for key", "", "ZORV-BACKEND-INDEX-NOT-READY",
         "op: code: 'Client specified an invalid argument', message: \"Index Not Found for key\""},
        {3, "indexing dimension", "", "ZORV-BACKEND-INDEX-NOT-READY",
         "op: code: 'Client specified an invalid argument', message: \"indexing dimension\""},
        {3, "vector size and strict mode", "", "ZORV-BACKEND-DIMENSION-MISMATCH",
         "op: code: 'Client specified an invalid argument', message: \"vector size and strict mode\""},
        {9, "Strict-Mode limit", "", "ZORV-BACKEND-STRICT-MODE",
         "op: code: 'The system is not in a state required for the operation's execution', message: \"Strict-Mode "
         "limit\""},
        {8, "quota exceeded", "", "ZORV-BACKEND-STRICT-MODE",
         "op: code: 'Some resource has been exhausted', message: \"quota exceeded\""},
        {14, "say \"no\"\\\n", "", "ZORV-GRPC",
         "op: code: 'The service is currently unavailable', message: \"say \\\"no\\\"\\\\\\n\""},
        {4, "Deadline Exceeded", "zorv-2", "ZORV-GRPC",
         "op: code: 'Deadline expired before operation could complete', message: \"Deadline Exceeded\" (request id: "
         "zorv-2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected_message);
        auto error = map_grpc_status("op", CallStatus{.code = c.code, .message = c.message}, c.request_id);
        EXPECT_EQ(error.code, c.expected_code);
        EXPECT_EQ(error.message, c.expected_message);
        EXPECT_EQ(error.kind, core::ErrorKind::Backend);
        Fields fields = {{"grpc_code", std::to_string(c.code)}, {"operation", "op"}};
        if (!c.request_id.empty()) fields.emplace_back("request_id", c.request_id);
        EXPECT_EQ(error.fields, fields);
    }
}

// A port that was free a moment ago: nothing listens there.
int closed_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);  // NOLINT
    socklen_t size = sizeof(address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);  // NOLINT
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST(GrpcBackendOffline, ClosedPortFailsFastWithUnavailable) {
    auto backend = make_grpc_backend("grpc://127.0.0.1:" + std::to_string(closed_port()), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    const auto start = std::chrono::steady_clock::now();
    auto listed = run((*backend)->list_collections());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_FALSE(listed.has_value());
    EXPECT_EQ(listed.error().code, "ZORV-GRPC");
    EXPECT_EQ(listed.error().kind, core::ErrorKind::Backend);
    ASSERT_EQ(listed.error().fields.size(), 3U);
    EXPECT_EQ(listed.error().fields[0], (std::pair<std::string, std::string>{"grpc_code", "14"}));
    EXPECT_EQ(listed.error().fields[1], (std::pair<std::string, std::string>{"operation", "list_collections"}));
    EXPECT_TRUE(listed.error().fields[2].second.starts_with("zorv-"));
}

// These never go out as one call: refused before any traffic (the port is closed anyway).
TEST(GrpcBackendOffline, RefusedKindsMakeNoCall) {
    auto backend = make_grpc_backend("grpc://127.0.0.1:" + std::to_string(closed_port()), std::nullopt);
    ASSERT_TRUE(backend.has_value());
    struct Case {
        plan::PlanOp op;
        std::string_view code;
        core::ErrorKind kind;
    };
    std::vector<Case> cases;
    cases.push_back({plan::make_op<plan::PlanOpKind::ShowQuotas>(), "ZORV-GRPC-QUOTA", core::ErrorKind::Execution});
    cases.push_back({plan::make_op<plan::PlanOpKind::CrossRerank>(), "ZORV-RERANK-CROSS", core::ErrorKind::Execution});
    cases.push_back({plan::make_op<plan::PlanOpKind::Batch>(), "ZORV-GRPC-BATCH", core::ErrorKind::Execution});
    plan::ScrollOp scroll;
    scroll.collection = "c";
    scroll.limit = 4'294'967'296ULL;
    cases.push_back({plan::make_op<plan::PlanOpKind::Scroll>(std::move(scroll)), "ZORV-GRPC-SCROLL-LIMIT",
                     core::ErrorKind::Validation});
    for (Case& c : cases) {
        SCOPED_TRACE(c.code);
        const std::uint64_t before = REQUEST_ID_COUNTER.load();
        auto reply = run((*backend)->execute(std::move(c.op)));
        ASSERT_FALSE(reply.has_value());
        EXPECT_EQ(reply.error().code, c.code);
        EXPECT_EQ(reply.error().kind, c.kind);
        EXPECT_TRUE(reply.error().fields.empty());
        EXPECT_EQ(REQUEST_ID_COUNTER.load(), before);
    }
}

TEST(GrpcCollectionSchema, UnknownNumbersAreRefused) {
    struct Case {
        std::string_view what;
        void (*set)(qdrant::CollectionInfo&);
    };
    const std::vector<Case> cases = {
        {"distance 7",
         [](qdrant::CollectionInfo& info) {
             info.mutable_config()->mutable_params()->mutable_vectors_config()->mutable_params()->set_distance(
                 static_cast<qdrant::Distance>(7));
         }},
        {"status 9", [](qdrant::CollectionInfo& info) { info.set_status(static_cast<qdrant::CollectionStatus>(9)); }},
        {"schema type 0",
         [](qdrant::CollectionInfo& info) {
             (*info.mutable_payload_schema())["f"].set_data_type(qdrant::SCHEMA_UNKNOWN);
         }},
        {"compression 5",
         [](qdrant::CollectionInfo& info) {
             info.mutable_config()->mutable_quantization_config()->mutable_product()->set_compression(
                 static_cast<qdrant::CompressionRatio>(5));
         }},
        {"memory tier 4",
         [](qdrant::CollectionInfo& info) {
             info.mutable_config()->mutable_hnsw_config()->set_memory(static_cast<qdrant::Memory>(4));
         }},
        {"sharding method 2",
         [](qdrant::CollectionInfo& info) {
             info.mutable_config()->mutable_params()->set_sharding_method(static_cast<qdrant::ShardingMethod>(2));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qdrant::CollectionInfo info;
        info.set_status(qdrant::COLLECTION_STATUS_GREEN);
        c.set(info);
        auto schema = collection_schema_from_proto(info, "docs");
        ASSERT_FALSE(schema.has_value());
        EXPECT_EQ(schema.error().code, "ZORV-BACKEND-ENVELOPE");
        EXPECT_EQ(schema.error().kind, core::ErrorKind::Backend);
        EXPECT_EQ(schema.error().message, "collection info carries unknown " + std::string(c.what));
        EXPECT_EQ(schema.error().fields, (Fields{{"collection", "docs"}}));
    }
}

// The table's own names for number 0 stay; a tier of 0 is no tier.
TEST(GrpcCollectionSchema, NamedZerosStay) {
    qdrant::CollectionInfo info;
    auto* vector = info.mutable_config()->mutable_params()->mutable_vectors_config()->mutable_params();
    vector->set_size(3);
    vector->set_memory(qdrant::MEMORY_UNSET);
    auto schema = collection_schema_from_proto(info, "docs");
    ASSERT_TRUE(schema.has_value()) << schema.error().message;
    EXPECT_EQ(schema->status, "unknown");
    ASSERT_EQ(schema->schema.vectors.size(), 1U);
    EXPECT_EQ(schema->schema.vectors[0].distance, "UnknownDistance");
    EXPECT_EQ(schema->schema.vectors[0].memory, std::nullopt);
}

}  // namespace
}  // namespace zorv::runtime::rpc
