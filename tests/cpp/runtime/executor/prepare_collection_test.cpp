// CREATE COLLECTION preparation that needs no server: a model the embedder refuses, and the size
// a Rerank collection's multivector gets.
#include "runtime/executor/prepare_collection.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "embed/fake_embedder.h"
#include "runtime/executor/prepare.h"
#include "runtime/rest/rest_fixture.h"
#include "test_support.h"

namespace zorv::runtime {
namespace {

class PickyEmbedder : public embed::test_support::FakeEmbedder {
public:
    std::optional<std::uint64_t> multi = std::nullopt;
    bool supports_model(std::string_view model) const override { return model == "known"; }
    std::optional<std::uint64_t> multi_dimension() const override { return multi; }
};

std::shared_ptr<Executor> executor_with(std::shared_ptr<const embed::Embedder> embedder,
                                        std::optional<ExecutorSettings> settings) {
    return build_executor(nullptr, std::move(settings), std::move(embedder));
}

TEST(CompleteCreateCollection, ModelTheEmbedderLacksIsRefused) {
    auto embedder = std::make_shared<PickyEmbedder>();
    embedder->dim = 8;
    auto executor = executor_with(embedder, ExecutorSettings{});
    auto prepare = [&](const char* text) {
        return rest::test::run(prepare_statement(*executor, core::test_support::must_parse(text)));
    };
    auto refused = prepare("CREATE COLLECTION c USING MODEL 'other'");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, "ZORV-EMBEDDING-MODEL");
    EXPECT_EQ(refused.error().kind, core::ErrorKind::Execution);
    EXPECT_EQ(refused.error().message, "embedding model 'other' is not available from the configured embedder");
    auto known = prepare("CREATE COLLECTION c USING MODEL 'known'");
    ASSERT_TRUE(known) << known.error().message;
    EXPECT_EQ(core::format_statement(*known),
              "CREATE COLLECTION c USING DENSE MODEL 'known' (dense VECTOR(8, COSINE))");
}

TEST(RerankMultiDimension, EmbedderThenSettingsThenDefault) {
    struct Case {
        std::optional<std::uint64_t> embedder;  // nothing: no embedder
        std::optional<std::uint64_t> settings;  // nothing: no settings
        std::uint64_t expected;
    };
    const Case cases[] = {
        {48, 128, 48},
        {std::nullopt, 128, 128},
        {std::nullopt, 0, 96},
        {std::nullopt, std::nullopt, 96},
    };
    for (const Case& c : cases) {
        std::shared_ptr<PickyEmbedder> embedder;
        if (c.embedder) {
            embedder = std::make_shared<PickyEmbedder>();
            embedder->multi = *c.embedder;
        }
        std::optional<ExecutorSettings> settings;
        if (c.settings) settings = ExecutorSettings{.multi_dimension = *c.settings};
        EXPECT_EQ(rerank_multi_dimension(*executor_with(embedder, settings)), c.expected);
    }
}

}  // namespace
}  // namespace zorv::runtime
