// Download protocol frames between the library and the watch: encoding and an incremental reader.
//
// Deliberately one of two independent implementations of docs/download-protocol.md: the virtual
// watch has its own (testing/vwatch/download_protocol.*) and shares no code with this one, so a
// misreading of the page on one side shows up as a failed exchange instead of agreeing with
// itself. Both are tested against the same hand-written frames (testing/protocol/download_frames.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace brom {

inline constexpr std::uint8_t kHandshake[4] = {0xA0, 0x0A, 0x50, 0x05};
inline constexpr std::size_t kFrameHeaderBytes = 7;
inline constexpr std::size_t kMaxFramePayload = 0x10000 + 64;
inline constexpr std::size_t kMaxDataBlock = 0x10000;
inline constexpr std::size_t kRegionNameField = 32;

enum FrameType : std::uint8_t {
    kFrameAck = 0x06,
    kFrameSendDa = 0x10,
    kFrameBeginRegion = 0x20,
    kFrameData = 0x21,
    kFrameEndRegion = 0x22,
    kFrameWatchdog = 0x30,
    kFrameDisconnect = 0x31,
};

enum AckStatus : std::uint8_t { kAckOk = 0, kAckChecksum = 1, kAckBadRequest = 2, kAckFlashError = 3 };

inline std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t ReadU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(ReadU32(p)) | static_cast<std::uint64_t>(ReadU32(p + 4)) << 32;
}
void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v);
void AppendU64(std::vector<std::uint8_t>& out, std::uint64_t v);

// Sum of the payload bytes modulo 65536.
std::uint16_t FrameChecksum(const std::uint8_t* data, std::size_t size);

// Empty when the payload is above kMaxFramePayload.
std::vector<std::uint8_t> EncodeFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t size);

std::vector<std::uint8_t> BeginRegionPayload(std::string_view name, std::uint64_t address, std::uint64_t length);
std::vector<std::uint8_t> DataPayload(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> U32Payload(std::uint32_t value);

struct Frame {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> payload;
    bool checksumOk = false;
};

// Takes bytes as they arrive; a frame is complete when Push returns it. Bytes before the magic,
// and headers announcing an oversize payload, are skipped so the reader finds the next frame.
class FrameReader {
public:
    std::optional<Frame> Push(std::uint8_t byte);
    // Bytes still needed to finish the current frame (at least 1).
    std::size_t Wanted() const;
    void Reset() { *this = FrameReader(); }

private:
    std::vector<std::uint8_t> header_;
    Frame frame_;
    std::uint32_t length_ = 0;
    std::vector<std::uint8_t> sum_;
    enum class State { Header, Payload, Checksum } state_ = State::Header;
};

}  // namespace brom
