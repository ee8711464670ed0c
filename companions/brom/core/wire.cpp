// Download protocol frames: "TV", type, u32 length, payload, u16 sum of the payload.
// The host's own implementation of docs/download-protocol.md, independent of the virtual watch's
// on purpose (see wire.h).
#include "companions/brom/core/wire.h"

#include <algorithm>

namespace brom {

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendU64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    AppendU32(out, static_cast<std::uint32_t>(v));
    AppendU32(out, static_cast<std::uint32_t>(v >> 32));
}

std::uint16_t FrameChecksum(const std::uint8_t* data, std::size_t size) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) sum = static_cast<std::uint16_t>(sum + data[i]);
    return sum;
}

std::vector<std::uint8_t> EncodeFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t size) {
    if (size > kMaxFramePayload || (size > 0 && payload == nullptr)) return {};
    std::vector<std::uint8_t> out;
    out.reserve(kFrameHeaderBytes + size + 2);
    out.push_back('T');
    out.push_back('V');
    out.push_back(type);
    AppendU32(out, static_cast<std::uint32_t>(size));
    if (size > 0) out.insert(out.end(), payload, payload + size);
    const std::uint16_t sum = FrameChecksum(payload, size);
    out.push_back(static_cast<std::uint8_t>(sum));
    out.push_back(static_cast<std::uint8_t>(sum >> 8));
    return out;
}

std::vector<std::uint8_t> BeginRegionPayload(std::string_view name, std::uint64_t address, std::uint64_t length) {
    std::vector<std::uint8_t> out(kRegionNameField, 0);
    // Names are at most 31 bytes, so the field always keeps a terminating zero.
    std::copy_n(name.begin(), std::min(name.size(), kRegionNameField - 1), out.begin());
    AppendU64(out, address);
    AppendU64(out, length);
    return out;
}

std::vector<std::uint8_t> DataPayload(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out;
    out.reserve(8 + size);
    AppendU64(out, offset);
    out.insert(out.end(), data, data + size);
    return out;
}

std::vector<std::uint8_t> U32Payload(std::uint32_t value) {
    std::vector<std::uint8_t> out;
    AppendU32(out, value);
    return out;
}

std::size_t FrameReader::Wanted() const {
    switch (state_) {
        case State::Header: return header_.size() < 2 ? 1 : kFrameHeaderBytes - header_.size();
        case State::Payload: return length_ - frame_.payload.size();
        case State::Checksum: return 2 - sum_.size();
    }
    return 1;
}

std::optional<Frame> FrameReader::Push(std::uint8_t byte) {
    switch (state_) {
        case State::Header:
            header_.push_back(byte);
            // Resynchronise on the magic: keep a trailing 'T' as a possible start.
            if (header_.size() == 1 && header_[0] != 'T') {
                header_.clear();
            } else if (header_.size() == 2 && header_[1] != 'V') {
                header_.clear();
                if (byte == 'T') header_.push_back(byte);
            }
            if (header_.size() == kFrameHeaderBytes) {
                length_ = ReadU32(header_.data() + 3);
                frame_ = Frame{};
                frame_.type = header_[2];
                header_.clear();
                if (length_ > kMaxFramePayload) return std::nullopt;  // not a frame: look for the next magic
                frame_.payload.reserve(length_);
                state_ = length_ == 0 ? State::Checksum : State::Payload;
            }
            return std::nullopt;
        case State::Payload:
            frame_.payload.push_back(byte);
            if (frame_.payload.size() == length_) state_ = State::Checksum;
            return std::nullopt;
        case State::Checksum:
            sum_.push_back(byte);
            if (sum_.size() < 2) return std::nullopt;
            {
                const auto stored = static_cast<std::uint16_t>(sum_[0] | sum_[1] << 8);
                frame_.checksumOk = stored == FrameChecksum(frame_.payload.data(), frame_.payload.size());
                Frame done = std::move(frame_);
                Reset();
                return done;
            }
    }
    return std::nullopt;
}

}  // namespace brom
