// Download-agent file ("TVDA"): magic, version 1, body length, body, sum32 of the body.
#include "companions/brom/core/agent_file.h"

#include "companions/brom/core/wire.h"

namespace brom {

std::uint32_t Sum32(const std::uint8_t* data, std::size_t size, std::uint32_t seed) {
    std::uint32_t sum = seed;
    for (std::size_t i = 0; i < size; ++i) sum += data[i];
    return sum;
}

AgentError ParseAgentFile(const std::uint8_t* data, std::size_t size, AgentInfo& info) {
    info = {};
    if (size > kMaxAgentFileBytes) return AgentError::TooLarge;
    if (data == nullptr || size < kAgentHeaderBytes + 4) return AgentError::TooShort;
    if (data[0] != 'T' || data[1] != 'V' || data[2] != 'D' || data[3] != 'A') return AgentError::BadMagic;
    const std::uint32_t version = ReadU32(data + 4);
    if (version != kAgentFormatVersion) return AgentError::BadVersion;
    const std::uint32_t body = ReadU32(data + 8);
    if (static_cast<std::uint64_t>(body) + kAgentHeaderBytes + 4 != size) return AgentError::LengthMismatch;
    if (body == 0) return AgentError::EmptyBody;
    const std::uint32_t stored = ReadU32(data + kAgentHeaderBytes + body);
    if (Sum32(data + kAgentHeaderBytes, body) != stored) return AgentError::BadChecksum;
    info.version = version;
    info.bodyBytes = body;
    info.checksum = stored;
    return AgentError::None;
}

std::vector<std::uint8_t> BuildAgentFile(std::string_view body) {
    std::vector<std::uint8_t> out = {'T', 'V', 'D', 'A'};
    AppendU32(out, kAgentFormatVersion);
    AppendU32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    AppendU32(out, Sum32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    return out;
}

const char* AgentErrorText(AgentError error) {
    switch (error) {
        case AgentError::None: return "none";
        case AgentError::TooShort: return "too short";
        case AgentError::TooLarge: return "too large";
        case AgentError::BadMagic: return "bad magic";
        case AgentError::BadVersion: return "bad version";
        case AgentError::LengthMismatch: return "length mismatch";
        case AgentError::EmptyBody: return "empty body";
        case AgentError::BadChecksum: return "bad checksum";
    }
    return "?";
}

}  // namespace brom
