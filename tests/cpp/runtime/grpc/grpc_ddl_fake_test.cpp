#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/grpc/fake_ddl_server.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/grpc_route/index_params.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using plan::PlanOpKind;
using rest::test::run;

constexpr std::uint64_t past_uint32 = 4294967296ULL;

std::string field(const core::ZorvError& error, std::string_view key) {
    for (const auto& [k, v] : error.fields) {
        if (k == key) return v;
    }
    return "<absent>";
}

std::optional<double> time_of(const protocol::BackendReply& reply) {
    return reply.telemetry ? reply.telemetry->time_s : std::nullopt;
}

std::unique_ptr<Backend> backend_for(const test::FakeDdl& fake) {
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    EXPECT_TRUE(backend.has_value());
    return backend ? std::move(*backend) : nullptr;
}

plan::PlanOp create_op(plan::PlanCollectionConfig config) {
    return plan::make_op<PlanOpKind::CreateCollection>(plan::CreateCollectionOp{"docs", std::move(config)});
}

plan::PlanOp alter_op(plan::PlanCollectionUpdate update) {
    return plan::make_op<PlanOpKind::AlterCollection>(plan::AlterCollectionOp{"docs", std::move(update)});
}

plan::PlanVectorParams dense(std::uint64_t size) {
    plan::PlanVectorParams params;
    params.size = size;
    return params;
}

std::string range_message(std::string_view setting, std::uint64_t value) {
    return std::string(setting) + " value " + std::to_string(value) +
           " cannot be represented on the gRPC path: the bundled Qdrant proto stores it as uint32 (max 4294967295)";
}

struct Refusal {
    std::string name;
    plan::PlanOp op;
    std::string code;
    std::string message;
};

std::vector<Refusal> refusals() {
    std::vector<Refusal> out;
    {
        plan::PlanCollectionConfig config;
        config.shard_number = past_uint32;
        out.push_back(
            {"shard_number", create_op(config), "ZORV-GRPC-DDL-RANGE", range_message("shard_number", past_uint32)});
        config.replication_factor = past_uint32;
        out.push_back({"replication before shard_number", create_op(config), "ZORV-GRPC-DDL-RANGE",
                       range_message("replication_factor", past_uint32)});
    }
    {
        plan::PlanCollectionConfig config;
        config.write_consistency_factor = past_uint32 + 5;
        config.read_fan_out_factor = past_uint32;
        out.push_back({"write consistency before fan-out", create_op(config), "ZORV-GRPC-DDL-RANGE",
                       range_message("write_consistency_factor", past_uint32 + 5)});
    }
    {
        plan::PlanCollectionUpdate update;
        update.params = plan::PlanParamsUpdate{};
        update.params->read_fan_out_factor = past_uint32;
        out.push_back({"alter read_fan_out_factor", alter_op(update), "ZORV-GRPC-DDL-RANGE",
                       range_message("read_fan_out_factor", past_uint32)});
    }
    {
        plan::PlanCollectionConfig config;
        config.strict_mode_config = plan::PlanStrictModeConfig{};
        config.strict_mode_config->max_timeout = past_uint32;
        config.strict_mode_config->max_query_limit = past_uint32 + 1;
        out.push_back({"max_query_limit before max_timeout", create_op(config), "ZORV-GRPC-DDL-RANGE",
                       range_message("max_query_limit", past_uint32 + 1)});
    }
    {
        plan::PlanCollectionUpdate update;
        update.strict_mode_config = plan::PlanStrictModeConfig{};
        update.strict_mode_config->max_resident_memory_percent = UINT64_MAX;
        out.push_back({"alter strict mode", alter_op(update), "ZORV-GRPC-DDL-RANGE",
                       range_message("max_resident_memory_percent", UINT64_MAX)});
    }
    {
        plan::PlanCollectionConfig config;
        plan::PlanVectorParams params = dense(4);
        params.quantization_config = plan::PlanQuantization{plan::PlanQuantization::Turbo{"bits3"}, {}, {}};
        config.vectors = plan::PlanVectors(plan::VectorNameMap<plan::PlanVectorParams>{{"a", params}});
        out.push_back({"turbo bits of a named vector", create_op(config), "ZORV-GRPC-DDL-WORD",
                       "unsupported turbo bits 'bits3' on the gRPC path; use bits1, bits1_5, bits2, or bits4"});
    }
    {
        plan::PlanCollectionUpdate update;
        update.quantization_config = plan::PlanQuantizationDiff{
            plan::PlanQuantization{plan::PlanQuantization::Product{"X16"}, std::nullopt, std::nullopt}};
        out.push_back({"alter product compression", alter_op(update), "ZORV-GRPC-DDL-WORD",
                       "unsupported product compression 'X16' on the gRPC path; use x4, x8, x16, x32, or x64"});
    }
    {
        plan::CreateShardKeyOp op{"docs", plan::PlanShardKey{std::string("k")}, {}, {}, {}, "Sleeping"};
        out.push_back({"replica state", plan::make_op<PlanOpKind::CreateShardKey>(op), "ZORV-GRPC-DDL-WORD",
                       "unsupported replica state 'Sleeping' on the gRPC path; use Active, Dead, Partial, "
                       "Initializing, Listener, PartialSnapshot, Recovery, Resharding, ReshardingScaleDown, "
                       "ActiveRead, or ManualRecovery"});
    }
    return out;
}

TEST(GrpcDdlFake, RefusalsSendNothing) {
    test::FakeDdl fake;
    auto backend = backend_for(fake);
    for (Refusal& c : refusals()) {
        SCOPED_TRACE(c.name);
        auto reply = run(backend->execute(std::move(c.op)));
        ASSERT_FALSE(reply.has_value());
        EXPECT_EQ(reply.error().code, c.code);
        EXPECT_EQ(reply.error().message, c.message);
        EXPECT_EQ(reply.error().kind, core::ErrorKind::Validation);
        EXPECT_TRUE(reply.error().fields.empty());
    }
    EXPECT_TRUE(fake.calls().empty());
}

TEST(GrpcDdlFake, LargestUint32IsSent) {
    test::FakeDdl fake;
    plan::PlanCollectionConfig config;
    config.shard_number = 4294967295ULL;
    config.strict_mode_config = plan::PlanStrictModeConfig{};
    config.strict_mode_config->max_query_limit = 4294967295ULL;
    ASSERT_TRUE(run(backend_for(fake)->execute(create_op(config))).has_value());
    const auto create = fake.request<qdrant::CreateCollection>(0);
    EXPECT_EQ(create.shard_number(), 4294967295U);
    EXPECT_EQ(create.strict_mode_config().max_query_limit(), 4294967295U);
}

TEST(GrpcDdlFake, ThreeShardKeysStopAtTheRejectedOne) {
    test::FakeDdl fake;
    fake.script([](const std::string& method, int n) {
        if (method == "CreateShardKey" && n == 1) return ::grpc::Status(::grpc::StatusCode::INVALID_ARGUMENT, "no");
        return ::grpc::Status::OK;
    });
    plan::PlanCollectionConfig config;
    config.sharding_method = plan::PlanShardingMethod::Custom;
    config.shard_keys = std::vector<plan::PlanShardKey>{std::uint64_t{7}, std::string("b"), std::string("c")};
    auto reply = run(backend_for(fake)->execute(create_op(config)));
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().code, "ZORV-GRPC");
    EXPECT_EQ(field(reply.error(), "operation"), "create_shard_key");
    EXPECT_EQ(fake.methods(), (std::vector<std::string>{"Create", "CreateShardKey", "CreateShardKey"}));
    const auto first = fake.request<qdrant::CreateShardKeyRequest>(1);
    EXPECT_EQ(first.collection_name(), "docs");
    EXPECT_EQ(first.request().shard_key().number(), 7U);
    EXPECT_EQ(first.request().placement_size(), 0);
    EXPECT_FALSE(first.request().has_initial_state());
    EXPECT_EQ(fake.request<qdrant::CreateShardKeyRequest>(2).request().shard_key().keyword(), "b");
}

// Which follow-up calls a creation makes, and what the update carries.
TEST(GrpcDdlFake, ReadFanOutTravelsInAnUpdateAfterTheCreation) {
    struct Case {
        std::string name;
        plan::PlanCollectionConfig config;
        std::vector<std::string> methods;
        std::string update;  // expected params, text form
    };
    std::vector<Case> cases(3);
    cases[0].name = "delay only";
    cases[0].config.read_fan_out_delay_ms = 250;
    cases[0].methods = {"Create", "Update"};
    cases[0].update = "read_fan_out_delay_ms: 250\n";
    cases[1].name = "replication only";
    cases[1].config.replication_factor = 2;
    cases[1].methods = {"Create"};
    cases[2].name = "fan-out with replication";
    cases[2].config.replication_factor = 2;
    cases[2].config.read_fan_out_factor = 3;
    cases[2].methods = {"Create", "Update"};
    cases[2].update = "replication_factor: 2\nread_fan_out_factor: 3\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeDdl fake;
        auto reply = run(backend_for(fake)->execute(create_op(c.config)));
        ASSERT_TRUE(reply.has_value()) << reply.error().message;
        EXPECT_EQ(time_of(*reply), test::FakeDdl::create_time);
        EXPECT_EQ(reply->data, protocol::ExecData{protocol::ExecData::Mutation{std::nullopt}});
        EXPECT_EQ(fake.methods(), c.methods);
        const auto create = fake.request<qdrant::CreateCollection>(0);
        EXPECT_EQ(create.replication_factor(), c.config.replication_factor.value_or(0));
        EXPECT_FALSE(create.has_vectors_config());
        if (c.methods.size() < 2) continue;
        auto update = fake.request<qdrant::UpdateCollection>(1);
        EXPECT_EQ(update.params().DebugString(), c.update);
        update.clear_params();
        EXPECT_EQ(update.DebugString(), "collection_name: \"docs\"\n");
    }
}

TEST(GrpcDdlFake, ShardKeyCarriesPlacementAndInitialState) {
    struct Case {
        std::string name;
        plan::CreateShardKeyOp op;
        std::string request;  // text form
    };
    const std::vector<Case> cases = {
        {"keyword, no options",
         {"docs", plan::PlanShardKey{std::string("eu")}, {}, {}, {}, {}},
         "shard_key {\n  keyword: \"eu\"\n}\n"},
        {"every option",
         {"docs", plan::PlanShardKey{std::uint64_t{9}}, 2, 3, std::vector<std::uint64_t>{1, 2}, "Listener"},
         "shard_key {\n  number: 9\n}\nshards_number: 2\nreplication_factor: 3\nplacement: 1\nplacement: 2\n"
         "initial_state: REPLICA_LISTENER\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeDdl fake;
        auto reply = run(backend_for(fake)->execute(plan::make_op<PlanOpKind::CreateShardKey>(c.op)));
        ASSERT_TRUE(reply.has_value()) << reply.error().message;
        EXPECT_EQ(time_of(*reply), test::FakeDdl::other_time);
        const auto request = fake.request<qdrant::CreateShardKeyRequest>(0);
        EXPECT_EQ(request.collection_name(), "docs");
        EXPECT_FALSE(request.has_timeout());
        EXPECT_EQ(request.request().DebugString(), c.request);
    }
}

TEST(GrpcDdlFake, AlterSendsOnlyWhatChangesAndAnEmptyMetadataMap) {
    test::FakeDdl fake;
    plan::PlanCollectionUpdate update;
    update.params = plan::PlanParamsUpdate{};
    update.params->read_fan_out_delay_ms = 40;
    plan::PlanVectorDiff unnamed;
    unnamed.quantization_config = plan::PlanQuantizationDiff{plan::QuantizationDisabled{}};
    update.vectors = plan::VectorNameMap<plan::PlanVectorDiff>{{"", unnamed}};
    auto reply = run(backend_for(fake)->execute(alter_op(update)));
    ASSERT_TRUE(reply.has_value()) << reply.error().message;
    EXPECT_EQ(fake.methods(), std::vector<std::string>{"Update"});
    EXPECT_EQ(fake.request<qdrant::UpdateCollection>(0).DebugString(),
              "collection_name: \"docs\"\nparams {\n  read_fan_out_delay_ms: 40\n}\nvectors_config {\n  params {\n"
              "    quantization_config {\n      disabled {\n      }\n    }\n  }\n}\n");
}

// The server's false result flag is not a failure.
TEST(GrpcDdlFake, DropAndShardKeyDeletionIgnoreTheResultFlag) {
    test::FakeDdl fake;
    auto backend = backend_for(fake);
    auto dropped = run(backend->execute(plan::make_op<PlanOpKind::DropCollection>(plan::CollectionOp{"docs"})));
    ASSERT_TRUE(dropped.has_value()) << dropped.error().message;
    EXPECT_EQ(dropped->data, protocol::ExecData{protocol::ExecData::Mutation{std::nullopt}});
    auto key = run(backend->execute(
        plan::make_op<PlanOpKind::DropShardKey>(plan::DropShardKeyOp{"docs", plan::PlanShardKey{std::string("eu")}})));
    ASSERT_TRUE(key.has_value()) << key.error().message;
    EXPECT_EQ(fake.methods(), (std::vector<std::string>{"Delete", "DeleteShardKey"}));
    EXPECT_EQ(fake.request<qdrant::DeleteShardKeyRequest>(1).request().shard_key().keyword(), "eu");
}

TEST(GrpcDdlFake, ShardKeyListDefectsFailTheWholeReply) {
    struct Case {
        std::string name;
        std::vector<int> keys;  // 0 no key, 1 key without value, 2 number, 3 keyword
        std::string message;
        std::vector<std::pair<std::string, std::string>> fields;
    };
    const std::vector<Case> cases = {
        {"ok", {2, 3}, "", {}},
        {"missing key", {2, 0}, "shard key description is missing its key", {{"collection", "docs"}}},
        {"no value", {3, 1}, "shard key carries no value", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeDdl fake;
        qdrant::ListShardKeysResponse reply;
        for (int k : c.keys) {
            auto* description = reply.add_shard_keys();
            if (k == 1) description->mutable_key();
            if (k == 2) description->mutable_key()->set_number(5);
            if (k == 3) description->mutable_key()->set_keyword("eu");
        }
        fake.shard_keys(reply);
        auto listed =
            run(backend_for(fake)->execute(plan::make_op<PlanOpKind::ShowShardKeys>(plan::CollectionOp{"docs"})));
        if (c.message.empty()) {
            ASSERT_TRUE(listed.has_value()) << listed.error().message;
            EXPECT_EQ(listed->data,
                      (protocol::ExecData{protocol::ExecData::ShardKeys{
                          {plan::PlanShardKey{std::uint64_t{5}}, plan::PlanShardKey{std::string("eu")}}}}));
            continue;
        }
        ASSERT_FALSE(listed.has_value());
        EXPECT_EQ(listed.error().code, "ZORV-BACKEND-ENVELOPE");
        EXPECT_EQ(listed.error().message, c.message);
        EXPECT_EQ(listed.error().fields, c.fields);
    }
}

TEST(GrpcDdlFake, AliasesAndAutomaticCreationUseTheBackendCalls) {
    test::FakeDdl fake;
    auto backend = backend_for(fake);
    std::vector<AliasAction> actions = {AliasAction{AliasAction::Create{"docs", "live"}},
                                        AliasAction{AliasAction::Delete{"old"}}};
    ASSERT_TRUE(run(backend->update_aliases(actions)).has_value());
    plan::PlanCollectionConfig config;
    config.vectors = plan::PlanVectors(dense(3));
    ASSERT_TRUE(run(backend->create_collection("docs", config)).has_value());
    ASSERT_TRUE(run(backend->delete_collection("docs")).has_value());
    EXPECT_EQ(fake.methods(), (std::vector<std::string>{"UpdateAliases", "Create", "Delete"}));
    EXPECT_EQ(fake.request<qdrant::ChangeAliases>(0).DebugString(),
              "actions {\n  create_alias {\n    collection_name: \"docs\"\n    alias_name: \"live\"\n  }\n}\n"
              "actions {\n  delete_alias {\n    alias_name: \"old\"\n  }\n}\n");
    EXPECT_EQ(fake.request<qdrant::CreateCollection>(1).vectors_config().params().size(), 3U);
}

TEST(GrpcDdlFake, IndexCallsCarryTypeWaitAndParameters) {
    test::FakeDdl fake;
    auto backend = backend_for(fake);
    plan::PlanIndexParams no_prefix;
    no_prefix.prefix = false;
    auto keyword = run(backend->execute(plan::make_op<PlanOpKind::CreateIndex>(
        plan::CreateIndexOp{"docs", plan::PlanFieldIndex{"sku", plan::PlanIndexType::Keyword, no_prefix}, false})));
    ASSERT_TRUE(keyword.has_value()) << keyword.error().message;
    EXPECT_EQ(time_of(*keyword), test::FakeDdl::other_time);
    ASSERT_TRUE(keyword->telemetry && keyword->telemetry->usage.has_value());
    plan::PlanIndexParams lowercase;
    lowercase.lowercase = true;
    auto text = run(backend->execute(plan::make_op<PlanOpKind::CreateIndex>(
        plan::CreateIndexOp{"docs", plan::PlanFieldIndex{"body", plan::PlanIndexType::Text, lowercase}, true})));
    ASSERT_TRUE(text.has_value()) << text.error().message;
    auto bare = run(backend->execute(plan::make_op<PlanOpKind::CreateIndex>(
        plan::CreateIndexOp{"docs", plan::PlanFieldIndex{"at", plan::PlanIndexType::Datetime, {}}, true})));
    ASSERT_TRUE(bare.has_value()) << bare.error().message;
    auto dropped = run(backend->execute(plan::make_op<PlanOpKind::DropIndex>(plan::DropIndexOp{"docs", "sku"})));
    ASSERT_TRUE(dropped.has_value()) << dropped.error().message;
    EXPECT_EQ(dropped->data, protocol::ExecData{protocol::ExecData::Mutation{std::nullopt}});
    EXPECT_EQ(fake.methods(), (std::vector<std::string>{"CreateFieldIndex", "CreateFieldIndex", "CreateFieldIndex",
                                                        "DeleteFieldIndex"}));
    EXPECT_EQ(fake.request<qdrant::CreateFieldIndexCollection>(0).DebugString(),
              "collection_name: \"docs\"\nwait: false\nfield_name: \"sku\"\nfield_type: FIELD_TYPE_KEYWORD\n"
              "field_index_params {\n  keyword_index_params {\n  }\n}\n");
    EXPECT_EQ(fake.request<qdrant::CreateFieldIndexCollection>(1).field_index_params().text_index_params().tokenizer(),
              qdrant::TOKENIZER_WORD);
    // No options: the bare type, no parameters.
    EXPECT_EQ(fake.request<qdrant::CreateFieldIndexCollection>(2).DebugString(),
              "collection_name: \"docs\"\nwait: true\nfield_name: \"at\"\nfield_type: FIELD_TYPE_DATETIME\n");
    EXPECT_EQ(fake.request<qdrant::DeleteFieldIndexCollection>(3).DebugString(),
              "collection_name: \"docs\"\nfield_name: \"sku\"\n");
}

// Index options per type: only what the type's message has, prefix only when true, word tokenizer
// by default.
TEST(GrpcDdlIndexParams, OptionsBecomeTheTypesMessage) {
    struct Case {
        plan::PlanIndexType type;
        plan::PlanIndexParams params;
        std::string text;
    };
    plan::PlanIndexParams prefix_false;
    prefix_false.prefix = false;
    prefix_false.is_tenant = true;
    plan::PlanIndexParams prefix_true;
    prefix_true.prefix = true;
    plan::PlanIndexParams text;
    text.stopwords = plan::PlanStopwords{{"english"}, {"foo"}};
    text.stemmer = plan::PlanStemmer{};
    text.memory = plan::StorageTier::Pinned;
    plan::PlanIndexParams snowball;
    snowball.stemmer = plan::PlanStemmer{"english"};
    snowball.tokenizer = plan::PlanTokenizer::Multilingual;
    plan::PlanIndexParams integer;
    integer.lookup = false;
    integer.range = true;
    integer.is_principal = true;
    integer.is_tenant = true;  // integer indexes have no tenants
    const std::vector<Case> cases = {
        {plan::PlanIndexType::Keyword, prefix_false, "keyword_index_params {\n  is_tenant: true\n}\n"},
        {plan::PlanIndexType::Keyword, prefix_true, "keyword_index_params {\n  prefix {\n  }\n}\n"},
        {plan::PlanIndexType::Text, {}, "text_index_params {\n  tokenizer: TOKENIZER_WORD\n}\n"},
        {plan::PlanIndexType::Text, text,
         "text_index_params {\n  tokenizer: TOKENIZER_WORD\n  stopwords {\n    languages: \"english\"\n"
         "    custom: \"foo\"\n  }\n  stemmer {\n    disabled {\n    }\n  }\n  memory: MEMORY_PINNED\n}\n"},
        {plan::PlanIndexType::Text, snowball,
         "text_index_params {\n  tokenizer: TOKENIZER_MULTILINGUAL\n  stemmer {\n    snowball {\n"
         "      language: \"english\"\n    }\n  }\n}\n"},
        {plan::PlanIndexType::Integer, integer,
         "integer_index_params {\n  lookup: false\n  range: true\n  is_principal: true\n}\n"},
        {plan::PlanIndexType::Uuid, prefix_false, "uuid_index_params {\n  is_tenant: true\n}\n"},
        {plan::PlanIndexType::Geo, prefix_false, "geo_index_params {\n}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        qdrant::PayloadIndexParams out;
        ASSERT_TRUE(field_index_params_to_proto(plan::PlanFieldIndex{"f", c.type, c.params}, out).has_value());
        EXPECT_EQ(out.DebugString(), c.text);
    }
}

}  // namespace
}  // namespace zorv::runtime::rpc
