// The download protocol's frame layout and fixed frames, written out by hand from docs/download-protocol.md.
//
// Both codecs of the protocol (brom.dll's host side, companions/brom/core/wire.*, and the virtual
// watch's side, testing/vwatch/download_protocol.*) are tested against these bytes, so neither
// can drift from the page without a test noticing. Nothing here is computed by either codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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

inline constexpr std::uint8_t kTypeAck = 0x06;
inline constexpr std::uint8_t kTypeSendDa = 0x10;
inline constexpr std::uint8_t kTypeBeginRegion = 0x20;
inline constexpr std::uint8_t kTypeData = 0x21;
inline constexpr std::uint8_t kTypeEndRegion = 0x22;
inline constexpr std::uint8_t kTypeWatchdog = 0x30;
inline constexpr std::uint8_t kTypeDisconnect = 0x31;

using Bytes = std::span<const std::uint8_t>;

// ---- Frames, each with what it says -------------------------------------------------------

// ACK: one status byte; its sum is the status itself.
inline constexpr std::uint8_t kAckOkFrame[] = {0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr std::uint8_t kAckChecksumErrorFrame[] = {0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00};
inline constexpr std::uint8_t kAckBadRequestFrame[] = {0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00};
inline constexpr std::uint8_t kAckFlashErrorFrame[] = {0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x03, 0x03, 0x00};

struct AckFrame {
    const char* meaning;
    std::uint8_t status;
    Bytes frame;
};
inline constexpr AckFrame kAckFrames[] = {
    {"ACK ok", 0, kAckOkFrame},
    {"ACK checksum error", 1, kAckChecksumErrorFrame},
    {"ACK bad request", 2, kAckBadRequestFrame},
    {"ACK flash write error", 3, kAckFlashErrorFrame},
};

// SEND_DA with the agent file of body "hi": "TVDA", version 1, body length 2, "hi", sum32 0xD1.
// Frame sum: 0x54+0x56+0x44+0x41 + 1 + 2 + 0x68+0x69 + 0xD1 = 0x02D4.
inline constexpr std::string_view kAgentBody = "hi";
inline constexpr std::uint8_t kSendDaFrame[] = {
    0x54, 0x56, 0x10, 0x12, 0x00, 0x00, 0x00,                          // header, 18-byte payload
    0x54, 0x56, 0x44, 0x41, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,  // "TVDA", v1, B = 2
    0x68, 0x69, 0xD1, 0x00, 0x00, 0x00,                                // "hi", sum32
    0xD4, 0x02};

// BEGIN_REGION: 32-byte zero-padded name, u64 address, u64 length.
// "ROM" at 0x00100000, 0x20 bytes: sum 0x52+0x4F+0x4D + 0x10 + 0x20 = 0x011E.
inline constexpr std::uint8_t kBeginRomFrame[] = {
    0x54, 0x56, 0x20, 0x30, 0x00, 0x00, 0x00,
    0x52, 0x4F, 0x4D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x1E, 0x01};
// "ARM_BL" at 0, 0x1000 bytes: sum 0x41+0x52+0x4D+0x5F+0x42+0x4C + 0x10 = 0x01DD.
inline constexpr std::uint8_t kBeginArmBlFrame[] = {
    0x54, 0x56, 0x20, 0x30, 0x00, 0x00, 0x00,
    0x41, 0x52, 0x4D, 0x5F, 0x42, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xDD, 0x01};

struct BeginRegionFrame {
    const char* meaning;
    std::string_view name;
    std::uint64_t address;
    std::uint64_t length;
    Bytes frame;
};
inline constexpr BeginRegionFrame kBeginRegionFrames[] = {
    {"BEGIN_REGION ROM at 0x100000, 32 bytes", "ROM", 0x00100000, 0x20, kBeginRomFrame},
    {"BEGIN_REGION ARM_BL at 0, 4096 bytes", "ARM_BL", 0, 0x1000, kBeginArmBlFrame},
};

// DATA: u64 offset, then the bytes. Offset 0x10000, DE AD BE EF: sum 0x01 + 0xDE+0xAD+0xBE+0xEF = 0x0339.
inline constexpr std::uint8_t kDataBlock[] = {0xDE, 0xAD, 0xBE, 0xEF};
inline constexpr std::uint8_t kDataFrame[] = {
    0x54, 0x56, 0x21, 0x0C, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xDE, 0xAD, 0xBE, 0xEF,
    0x39, 0x03};
// One data byte at offset 0: the smallest DATA frame.
inline constexpr std::uint8_t kDataByte[] = {0x7F};
inline constexpr std::uint8_t kDataOneByteFrame[] = {
    0x54, 0x56, 0x21, 0x09, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x7F,
    0x7F, 0x00};

struct DataFrame {
    const char* meaning;
    std::uint64_t offset;
    Bytes data;
    Bytes frame;
};
inline constexpr DataFrame kDataFrames[] = {
    {"DATA at 0x10000: DE AD BE EF", 0x10000, kDataBlock, kDataFrame},
    {"DATA at 0: one byte", 0, kDataByte, kDataOneByteFrame},
};

// Frames whose payload is one u32: END_REGION (sum32 of the region), WATCHDOG (ms).
inline constexpr std::uint8_t kEndRegionFrame[] = {
    0x54, 0x56, 0x22, 0x04, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12, 0x14, 0x01};
inline constexpr std::uint8_t kWatchdogFrame[] = {
    0x54, 0x56, 0x30, 0x04, 0x00, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00, 0x37, 0x00};

struct U32Frame {
    const char* meaning;
    std::uint8_t type;
    std::uint32_t value;
    Bytes frame;
};
inline constexpr U32Frame kU32Frames[] = {
    {"END_REGION sum32 0x12345678", kTypeEndRegion, 0x12345678, kEndRegionFrame},
    {"WATCHDOG 10000 ms", kTypeWatchdog, 10000, kWatchdogFrame},
};

// DISCONNECT: empty payload, sum 0.
inline constexpr std::uint8_t kDisconnectFrame[] = {0x54, 0x56, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The largest DATA frame: offset 0 and 0x10000 bytes of FF, payload 0x10008 bytes. Its sum,
// 0xFF * 0x10000 = 0xFF0000, wraps to 0x0000. Too long to write out: header, filler, trailer.
struct FilledFrame {
    std::uint8_t header[kFrameHeaderBytes];
    std::uint8_t offset[kDataOffsetBytes];
    std::uint8_t fill;
    std::size_t fillCount;
    std::uint8_t checksum[kFrameChecksumBytes];
};
inline constexpr FilledFrame kLargestDataFrame = {
    {0x54, 0x56, 0x21, 0x08, 0x00, 0x01, 0x00}, {0, 0, 0, 0, 0, 0, 0, 0}, 0xFF, 0x10000, {0x00, 0x00}};

// ---- Streams a reader must cut into frames ------------------------------------------------

// What a reader reports for one complete frame: its type and whether its sum held.
struct Found {
    std::uint8_t type;
    bool checksumOk;
};

// Bytes that are no frame before an ACK (no "TV" among them): the ACK alone is found.
inline constexpr std::uint8_t kNoiseThenAck[] = {
    0x00, 0x54, 0x54, 0x78, 0x56, 0xA0, 0x56,                    // noise; "T" "T" "x" "V" ...
    0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // ACK ok
inline constexpr Found kFoundAck[] = {{kTypeAck, true}};

// A DATA frame with one payload byte changed (sum still 0x0339), then DISCONNECT.
inline constexpr std::uint8_t kDamagedDataThenDisconnect[] = {
    0x54, 0x56, 0x21, 0x0C, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xDE, 0xAD, 0xBE, 0xEE,
    0x39, 0x03,
    0x54, 0x56, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr Found kFoundDamagedThenDisconnect[] = {{kTypeData, false}, {kTypeDisconnect, true}};

// A header announcing 0x10041 bytes (one past the limit) is not a frame; the DISCONNECT after it is.
inline constexpr std::uint8_t kOversizeHeaderThenDisconnect[] = {
    0x54, 0x56, 0x21, 0x41, 0x00, 0x01, 0x00,
    0x54, 0x56, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr Found kFoundDisconnect[] = {{kTypeDisconnect, true}};

// Two frames back to back: WATCHDOG then ACK ok.
inline constexpr std::uint8_t kWatchdogThenAck[] = {
    0x54, 0x56, 0x30, 0x04, 0x00, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00, 0x37, 0x00,
    0x54, 0x56, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
inline constexpr Found kFoundWatchdogThenAck[] = {{kTypeWatchdog, true}, {kTypeAck, true}};

struct Stream {
    const char* meaning;
    Bytes bytes;
    std::span<const Found> frames;
};
inline constexpr Stream kStreams[] = {
    {"noise before a frame is skipped", kNoiseThenAck, kFoundAck},
    {"a damaged payload is a frame with a bad sum", kDamagedDataThenDisconnect, kFoundDamagedThenDisconnect},
    {"an oversize header is skipped", kOversizeHeaderThenDisconnect, kFoundDisconnect},
    {"frames back to back", kWatchdogThenAck, kFoundWatchdogThenAck},
};

}  // namespace tvsp::protocol
