// Download-agent file ("TVDA"): reading, checking and building.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brom {

// SEND_DA carries the whole file in one frame, so the file can be no larger than a frame payload.
inline constexpr std::size_t kMaxAgentFileBytes = 0x10000 + 64;
inline constexpr std::size_t kAgentHeaderBytes = 12;
inline constexpr std::uint32_t kAgentFormatVersion = 1;

enum class AgentError {
    None,
    TooShort,        // shorter than header plus checksum
    TooLarge,        // above kMaxAgentFileBytes
    BadMagic,
    BadVersion,
    LengthMismatch,  // the body length does not account for the file size exactly
    EmptyBody,
    BadChecksum,
};

struct AgentInfo {
    std::uint32_t version = 0;
    std::uint32_t bodyBytes = 0;
    std::uint32_t checksum = 0;
};

AgentError ParseAgentFile(const std::uint8_t* data, std::size_t size, AgentInfo& info);
std::vector<std::uint8_t> BuildAgentFile(std::string_view body);

// Sum of the bytes modulo 2^32, continuing from `seed`.
std::uint32_t Sum32(const std::uint8_t* data, std::size_t size, std::uint32_t seed = 0);

const char* AgentErrorText(AgentError error);

}  // namespace brom
