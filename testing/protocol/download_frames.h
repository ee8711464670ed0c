// The download protocol's frame layout (docs/download-protocol.md), written out for tests and benchmarks.
#pragma once

#include <cstddef>

namespace tvsp::protocol {

// Magic "TV", type, u32 payload length; then the payload; then the u16 payload sum.
inline constexpr std::size_t kFrameHeaderBytes = 7;
inline constexpr std::size_t kFrameChecksumBytes = 2;
inline constexpr std::size_t kMaxFramePayload = 0x10000 + 64;
inline constexpr std::size_t kMaxDataBlock = 0x10000;

// Payload sizes: ACK status; BEGIN_REGION name field, u64 address, u64 length; DATA u64 offset
// before the bytes; END_REGION u32 sum.
inline constexpr std::size_t kAckPayloadBytes = 1;
inline constexpr std::size_t kRegionNameField = 32;
inline constexpr std::size_t kBeginRegionPayloadBytes = kRegionNameField + 8 + 8;
inline constexpr std::size_t kDataOffsetBytes = 8;
inline constexpr std::size_t kEndRegionPayloadBytes = 4;

// Bytes on the line for one frame carrying `payload` bytes.
constexpr std::size_t FrameBytes(std::size_t payload) { return kFrameHeaderBytes + payload + kFrameChecksumBytes; }

}  // namespace tvsp::protocol
