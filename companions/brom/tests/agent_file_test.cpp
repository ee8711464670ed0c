// Download-agent file: the built file reads back; each damaged field is refused with its reason.
#include <gtest/gtest.h>

#include <vector>

#include "companions/brom/core/agent_file.h"

namespace brom {
namespace {

TEST(AgentFile, BuiltFileReadsBack) {
    const auto file = BuildAgentFile("agent body");
    ASSERT_EQ(file.size(), 12u + 10 + 4);
    AgentInfo info;
    ASSERT_EQ(ParseAgentFile(file.data(), file.size(), info), AgentError::None);
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.bodyBytes, 10u);
    EXPECT_EQ(info.checksum, Sum32(file.data() + 12, 10));
}

TEST(AgentFile, DamagedFilesAreRefused) {
    const auto good = BuildAgentFile("body");
    struct Row {
        const char* what;
        std::size_t at;   // byte to change, or SIZE_MAX
        std::uint8_t to;
        int resize;       // bytes added (positive) or removed (negative)
        AgentError error;
    };
    const Row rows[] = {
        {"magic", 3, 'B', 0, AgentError::BadMagic},
        {"version 2", 4, 2, 0, AgentError::BadVersion},
        {"version 0", 4, 0, 0, AgentError::BadVersion},
        {"body length one more", 8, 5, 0, AgentError::LengthMismatch},
        {"body length one less", 8, 3, 0, AgentError::LengthMismatch},
        {"body length huge", 11, 0xFF, 0, AgentError::LengthMismatch},
        {"body byte", 12, 'x', 0, AgentError::BadChecksum},
        {"checksum byte", 17, 0xEE, 0, AgentError::BadChecksum},
        {"trailing byte", SIZE_MAX, 0, 1, AgentError::LengthMismatch},
        {"missing last byte", SIZE_MAX, 0, -1, AgentError::LengthMismatch},
    };
    for (const auto& row : rows) {
        auto file = good;
        if (row.at != SIZE_MAX) file[row.at] = row.to;
        file.resize(file.size() + row.resize);
        AgentInfo info{7, 7, 7};
        EXPECT_EQ(ParseAgentFile(file.data(), file.size(), info), row.error) << row.what;
        EXPECT_EQ(info.bodyBytes, 0u) << row.what;
    }
    AgentInfo info;
    EXPECT_EQ(ParseAgentFile(good.data(), 15, info), AgentError::TooShort);
    EXPECT_EQ(ParseAgentFile(nullptr, 0, info), AgentError::TooShort);
    const auto empty = BuildAgentFile("");
    EXPECT_EQ(ParseAgentFile(empty.data(), empty.size(), info), AgentError::EmptyBody);
}

TEST(AgentFile, LargestFileFitsOneFrame) {
    const std::size_t maxBody = kMaxAgentFileBytes - 16;
    const auto largest = BuildAgentFile(std::string(maxBody, 'a'));
    AgentInfo info;
    EXPECT_EQ(ParseAgentFile(largest.data(), largest.size(), info), AgentError::None);
    const auto over = BuildAgentFile(std::string(maxBody + 1, 'a'));
    EXPECT_EQ(ParseAgentFile(over.data(), over.size(), info), AgentError::TooLarge);
}

}  // namespace
}  // namespace brom
