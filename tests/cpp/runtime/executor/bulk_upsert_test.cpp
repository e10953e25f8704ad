#include "runtime/executor/bulk_upsert.h"

#include <gtest/gtest.h>

#include <simdjson.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "embed/fake_embedder.h"
#include "runtime/executor/proxied_executor.h"

namespace zorv::runtime::test {
namespace {

using core::Literal;
using rest::test::run;

Literal row(Literal id) {
    return Literal::dict({{"id", std::move(id)}, {"vector", Literal::list({Literal::f64(0.0), Literal::f64(1.0)})}});
}

std::vector<Literal> rows(std::uint64_t n) {
    std::vector<Literal> out;
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(row(Literal::uint64(i)));
    return out;
}

std::size_t points_in(const std::string& body) {
    simdjson::dom::parser parser;
    simdjson::dom::array points;
    if (parser.parse(body)["points"].get(points) != simdjson::SUCCESS) return 0;
    return points.size();
}

class BulkUpsertTest : public ProxiedExecutorTest {};

TEST_F(BulkUpsertTest, SendsChunksWithoutWaiting) {
    create_collection();
    auto exec = executor();
    auto report = run(upsert_many(*exec, collection_, rows(250), 100, false));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_TRUE(report->ok);
    ASSERT_EQ(report->results.size(), 3U);
    EXPECT_EQ(report->results[2].operation, "UPSERT");
    EXPECT_EQ(report->results[2].message, "Upserted 50 point(s)");

    const auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 3U);
    const std::vector<std::size_t> sizes{100, 100, 50};
    for (std::size_t i = 0; i < puts.size(); ++i) {
        EXPECT_EQ(puts[i].target, "/collections/" + collection_ + "/points?wait=false");
        EXPECT_EQ(points_in(puts[i].body), sizes[i]);
    }
    EXPECT_EQ(settled_count(*live_, collection_, 250), 250U);
}

// The only dense vector is named: rows that give their vector without a name are put under it.
TEST_F(BulkUpsertTest, UnnamedVectorsGoToTheOnlyNamedOne) {
    auto created =
        live_->send("PUT", "/collections/" + collection_, R"({"vectors":{"d":{"size":2,"distance":"Dot"}}})");
    ASSERT_TRUE(created) << core::format_error(created.error());
    auto exec = executor();
    auto report = run(upsert_many(*exec, collection_, rows(2), 10, false));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_TRUE(report->ok);
    const auto puts = requests("PUT");
    ASSERT_EQ(puts.size(), 1U);
    EXPECT_NE(puts[0].body.find(R"("vector":{"d":[0.0,1.0]})"), std::string::npos) << puts[0].body;
    EXPECT_EQ(settled_count(*live_, collection_, 2), 2U);
}

struct BadArguments {
    std::string collection;
    std::uint64_t batch_size;
    std::uint64_t rows;
    std::string code;
    std::string message;
};

void PrintTo(const BadArguments& c, std::ostream* out) {
    *out << "'" << c.collection << "' batch " << c.batch_size << " rows " << c.rows;
}

// Refused before the server is asked anything.
class BulkUpsertArgumentsTest : public ProxiedExecutorTest, public ::testing::WithParamInterface<BadArguments> {};

TEST_P(BulkUpsertArgumentsTest, Refused) {
    const BadArguments& c = GetParam();
    auto exec = executor();
    auto report = run(upsert_many(*exec, c.collection, rows(c.rows), c.batch_size, true));
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().code, c.code);
    EXPECT_EQ(report.error().message, c.message);
    EXPECT_TRUE(proxy_->requests().empty());
}

const std::string batch_message = "upsert_many batch_size must be >= 1";

INSTANTIATE_TEST_SUITE_P(
    Cases, BulkUpsertArgumentsTest,
    ::testing::Values(
        BadArguments{"c", 0, 0, "ZORV-VALIDATION-UPSERT-BATCH", batch_message},
        BadArguments{"c", 0, 3, "ZORV-VALIDATION-UPSERT-BATCH", batch_message},
        BadArguments{"..", 0, 3, "ZORV-VALIDATION-UPSERT-BATCH", batch_message},
        BadArguments{"", 10, 0, "ZORV-PLAN-PATH-NAME",
                     "collection name '' cannot be a REST path segment; empty, '.' and '..' are refused"},
        BadArguments{".", 10, 3, "ZORV-PLAN-PATH-NAME",
                     "collection name '.' cannot be a REST path segment; empty, '.' and '..' are refused"},
        BadArguments{"..", 1, 3, "ZORV-PLAN-PATH-NAME",
                     "collection name '..' cannot be a REST path segment; empty, '.' and '..' are refused"}));

TEST_F(BulkUpsertTest, NoRowsSendNothing) {
    auto exec = executor();
    auto report = run(upsert_many(*exec, collection_, {}, 1, false));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_TRUE(report->ok);
    EXPECT_TRUE(report->results.empty());
    EXPECT_TRUE(proxy_->requests().empty());
}

// Rows 0, (no id), 2 in chunks of one.
std::vector<Literal> rows_with_a_gap() {
    std::vector<Literal> out = rows(3);
    out[1] = Literal::dict({{"vector", Literal::list({Literal::f64(0.0), Literal::f64(1.0)})}});
    return out;
}

TEST_F(BulkUpsertTest, RowWithoutIdStopsTheRun) {
    create_collection();
    auto exec = executor();
    auto report = run(upsert_many(*exec, collection_, rows_with_a_gap(), 1, false));
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().code, "ZORV-VALIDATION-UPSERT-ID");
    EXPECT_EQ(report.error().message, "each UPSERT row requires an id");
    EXPECT_EQ(requests("PUT").size(), 1U);
    EXPECT_EQ(settled_count(*live_, collection_, 1), 1U);
}

TEST_F(BulkUpsertTest, RowWithoutIdFailsOnlyItsChunkUnderContinue) {
    create_collection();
    auto exec = executor();
    auto report = run(upsert_many(*exec, collection_, rows_with_a_gap(), 1, true));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_FALSE(report->ok);
    EXPECT_EQ(report->succeeded, 2U);
    EXPECT_EQ(report->failed, 1U);
    ASSERT_EQ(report->results.size(), 3U);
    const protocol::StatementResult& failed = report->results[1];
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.operation, "UPSERT");
    EXPECT_EQ(failed.message, "[ZORV-VALIDATION-UPSERT-ID] each UPSERT row requires an id");
    EXPECT_EQ(requests("PUT").size(), 2U);
    EXPECT_EQ(settled_count(*live_, collection_, 2), 2U);
}

// A known collection takes the direct path, which leaves the id to the server; a missing one, or
// any collection once an embedder is configured, goes through planning, which refuses it before
// sending.
TEST_F(BulkUpsertTest, TextIdThatIsNoUuid) {
    auto exec = executor();
    auto planned = run(upsert_many(*exec, collection_, {row(Literal::str("abc"))}, 10, false));
    ASSERT_FALSE(planned);
    EXPECT_EQ(planned.error().code, "ZORV-PLAN-POINT-ID");
    EXPECT_TRUE(requests("PUT").empty());

    create_collection();
    auto direct = run(upsert_many(*exec, collection_, {row(Literal::str("abc"))}, 10, false));
    ASSERT_FALSE(direct);
    EXPECT_EQ(direct.error().code, "ZORV-BACKEND-HTTP") << core::format_error(direct.error());
    EXPECT_EQ(requests("PUT").size(), 1U);

    auto embedding = build_executor(rest_backend_at(proxy_->url()), ExecutorSettings{},
                                    std::make_shared<embed::test_support::FakeEmbedder>());
    auto full = run(upsert_many(*embedding, collection_, {row(Literal::str("abc"))}, 10, false));
    ASSERT_FALSE(full);
    EXPECT_EQ(full.error().code, "ZORV-PLAN-POINT-ID");
    EXPECT_EQ(requests("PUT").size(), 1U);
}

// Closes the executor once the first operation has been answered. Hiding collections sends the
// bulk upsert down the full path although its collection exists.
class ClosingBackend final : public Backend {
public:
    ClosingBackend(std::unique_ptr<Backend> inner, bool hide_collections)
        : inner_(std::move(inner)), hide_collections_(hide_collections) {}
    void close_after_first_execute(Executor* executor) { executor_ = executor; }

    AsyncResult<std::vector<std::string>> list_collections() const override {
        co_return co_await inner_->list_collections();
    }
    AsyncResult<bool> collection_exists(std::string c) const override {
        if (hide_collections_) co_return false;
        co_return co_await inner_->collection_exists(std::move(c));
    }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string c) const override {
        co_return co_await inner_->collection_info(std::move(c));
    }
    AsyncResult<void> create_collection(std::string c, plan::PlanCollectionConfig config) const override {
        co_return co_await inner_->create_collection(std::move(c), std::move(config));
    }
    AsyncResult<void> update_collection(std::string c, plan::PlanCollectionUpdate update) const override {
        co_return co_await inner_->update_collection(std::move(c), std::move(update));
    }
    AsyncResult<void> delete_collection(std::string c) const override {
        co_return co_await inner_->delete_collection(std::move(c));
    }
    AsyncResult<void> create_field_index(std::string c, plan::PlanFieldIndex index) const override {
        co_return co_await inner_->create_field_index(std::move(c), std::move(index));
    }
    AsyncResult<void> delete_field_index(std::string c, std::string field) const override {
        co_return co_await inner_->delete_field_index(std::move(c), std::move(field));
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp op) const override {
        auto reply = co_await inner_->execute(std::move(op));
        if (executor_ != nullptr) {
            auto closed = co_await close_executor(*executor_);
            EXPECT_TRUE(closed);
        }
        co_return reply;
    }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(
        std::string c, std::vector<plan::PlanQueryRequest> searches, std::optional<std::uint64_t> timeout,
        std::optional<plan::Consistency> consistency) const override {
        co_return co_await inner_->query_batch(std::move(c), std::move(searches), timeout, consistency);
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string c,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool wait) const override {
        co_return co_await inner_->update_batch(std::move(c), operations, wait);
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction> actions) const override {
        co_return co_await inner_->update_aliases(std::move(actions));
    }

private:
    std::unique_ptr<Backend> inner_;
    bool hide_collections_;
    Executor* executor_ = nullptr;
};

// Chunks not yet sent when the client closes fail instead of being sent, on both paths and under
// either on_error.
class BulkUpsertCloseTest : public ProxiedExecutorTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(BulkUpsertCloseTest, StopsBetweenChunks) {
    const auto [full_path, continue_on_error] = GetParam();
    create_collection();
    auto backend = std::make_unique<ClosingBackend>(rest_backend_at(proxy_->url()), full_path);
    ClosingBackend* closing = backend.get();
    auto exec = build_executor(std::move(backend), ExecutorSettings{}, nullptr);
    closing->close_after_first_execute(exec.get());

    auto report = run(upsert_many(*exec, collection_, rows(3), 1, continue_on_error));
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().code, "ZORV-CLIENT-CLOSED");
    EXPECT_EQ(requests("PUT").size(), 1U);
}

INSTANTIATE_TEST_SUITE_P(PathsAndModes, BulkUpsertCloseTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace
}  // namespace zorv::runtime::test
