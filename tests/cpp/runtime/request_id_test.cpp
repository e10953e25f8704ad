#include "runtime/request_id.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include <unistd.h>

namespace zorv::runtime {
namespace {

const std::regex id_form("^zorv-[0-9a-f]{16}[0-9a-f]{4,}$");

TEST(RequestId, FormatPadsClockAndCounter) {
    EXPECT_EQ(format_request_id(0, 0), "zorv-00000000000000000000");
    EXPECT_EQ(format_request_id(0x1234, 65536), "zorv-000000000000123410000");
    EXPECT_EQ(format_request_id(~std::uint64_t{0}, 0xabc), "zorv-ffffffffffffffff0abc");
}

TEST(RequestId, EachIdTakesTheNextCounterValue) {
    std::string first = make_request_id();
    std::string second = make_request_id();
    ASSERT_TRUE(std::regex_match(first, id_form)) << first;
    ASSERT_TRUE(std::regex_match(second, id_form)) << second;
    EXPECT_EQ(std::stoull(second.substr(21), nullptr, 16), std::stoull(first.substr(21), nullptr, 16) + 1);
}

// Run in a child process of this binary, so the counter is fresh there.
TEST(RequestId, FirstIdOfAProcessEndsInZeros) {
    if (std::getenv("ZORV_REQUEST_ID_CHILD") != nullptr) {
        std::printf("first id: %s\n", make_request_id().c_str());
        return;
    }
    std::string command =
        "ZORV_REQUEST_ID_CHILD=1 /proc/self/exe --gtest_filter=RequestId.FirstIdOfAProcessEndsInZeros 2>&1";
    // popen runs a shell, whose /proc/self is the shell; name this binary by its pid instead.
    command.replace(command.find("/proc/self/exe"), 14, "/proc/" + std::to_string(::getpid()) + "/exe");
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr) output += chunk.data();
    ::pclose(pipe);
    std::smatch found;
    ASSERT_TRUE(std::regex_search(output, found, std::regex("first id: (zorv-[0-9a-f]+)"))) << output;
    EXPECT_TRUE(std::regex_match(found[1].str(), id_form));
    EXPECT_TRUE(found[1].str().ends_with("0000")) << found[1].str();
    EXPECT_EQ(found[1].str().size(), 25U);
}

}  // namespace
}  // namespace zorv::runtime
