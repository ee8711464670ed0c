// The download protocol's pieces as the watch sees them: handshake, frame parser, region store.
// The watch's own implementation of docs/download-protocol.md, independent of brom.dll's on
// purpose (see download_protocol.h).
#include "testing/vwatch/download_protocol.h"

#include <algorithm>
#include <cctype>

namespace tvsp::vwatch::dl {

namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::uint16_t Sum16(std::string_view bytes) {
    std::uint32_t sum = 0;
    for (char c : bytes) sum += static_cast<std::uint8_t>(c);
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::uint32_t Sum32(std::string_view bytes) {
    std::uint32_t sum = 0;
    for (char c : bytes) sum += static_cast<std::uint8_t>(c);
    return sum;
}

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutU64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint64_t GetU64(std::string_view bytes, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

std::string EncodeFrame(std::uint8_t type, std::string_view payload) {
    std::string out;
    out.reserve(kHeaderSize + payload.size() + kTrailerSize);
    out += kMagic0;
    out += kMagic1;
    out += static_cast<char>(type);
    PutU32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
    const std::uint16_t sum = Sum16(payload);
    out += static_cast<char>(sum & 0xFF);
    out += static_cast<char>(sum >> 8);
    return out;
}

std::string BeginRegionPayload(std::string_view name, std::uint64_t address, std::uint64_t length) {
    std::string out(name.substr(0, kRegionNameField));
    out.resize(kRegionNameField, '\0');
    PutU64(out, address);
    PutU64(out, length);
    return out;
}

std::string DataPayload(std::uint64_t offset, std::string_view bytes) {
    std::string out;
    PutU64(out, offset);
    out.append(bytes);
    return out;
}

std::string MakeDownloadAgent(std::string_view body, std::uint32_t version) {
    std::string out = "TVDA";
    PutU32(out, version);
    PutU32(out, static_cast<std::uint32_t>(body.size()));
    out.append(body);
    PutU32(out, Sum32(body));
    return out;
}

bool CheckDownloadAgent(std::string_view file) {
    if (file.size() < 16 || file.substr(0, 4) != "TVDA" || GetU32(file, 4) != 1) return false;
    const std::uint64_t bodyLength = GetU32(file, 8);
    // The file is exactly header, body and sum: anything else is a damaged or foreign agent.
    if (file.size() != 12 + bodyLength + 4) return false;
    const std::size_t body = static_cast<std::size_t>(bodyLength);
    return Sum32(file.substr(12, body)) == GetU32(file, 12 + body);
}

std::optional<std::uint8_t> Handshake::Feed(std::uint8_t byte, bool refuse) {
    if (refuse) return byte;
    if (done()) return std::nullopt;
    if (byte != kHandshake[next_]) {
        // The host starts again from A0 after a wrong or missing answer.
        next_ = 0;
        if (byte != kHandshake[0]) return std::nullopt;
    }
    ++next_;
    return static_cast<std::uint8_t>(~byte);
}

std::optional<ParsedFrame> FrameParser::Next() {
    for (;;) {
        // Resynchronise on the magic.
        if (!buffer_.empty() && buffer_[0] != kMagic0) {
            const std::size_t t = buffer_.find(kMagic0);
            const std::size_t drop = t == std::string::npos ? buffer_.size() : t;
            discarded_ += drop;
            buffer_.erase(0, drop);
        }
        if (buffer_.size() < 2) return std::nullopt;
        if (buffer_[1] != kMagic1) {
            discarded_ += 1;
            buffer_.erase(0, 1);
            continue;
        }
        if (buffer_.size() < kHeaderSize) return std::nullopt;
        ParsedFrame f;
        f.type = static_cast<std::uint8_t>(buffer_[2]);
        const std::uint32_t length = GetU32(buffer_, 3);
        if (length > kMaxPayload) {
            // Its end cannot be known: drop the header and look for the next frame.
            buffer_.erase(0, kHeaderSize);
            f.kind = ParsedFrame::Kind::Oversize;
            return f;
        }
        const std::size_t total = kHeaderSize + length + kTrailerSize;
        if (buffer_.size() < total) return std::nullopt;
        f.payload = buffer_.substr(kHeaderSize, length);
        const std::uint16_t sent = static_cast<std::uint16_t>(static_cast<std::uint8_t>(buffer_[kHeaderSize + length]) |
                                                              (static_cast<std::uint8_t>(buffer_[kHeaderSize + length + 1]) << 8));
        buffer_.erase(0, total);
        if (sent != Sum16(f.payload)) f.kind = ParsedFrame::Kind::BadChecksum;
        return f;
    }
}

std::optional<std::string> RegionStore::ParseName(std::string_view field) {
    if (field.size() != kRegionNameField) return std::nullopt;
    const std::size_t end = field.find('\0');
    // 31 characters at most: the field always ends in a zero.
    if (end == 0 || end == std::string_view::npos) return std::nullopt;
    if (field.find_first_not_of('\0', end) != std::string_view::npos) return std::nullopt;
    const std::string_view name = field.substr(0, end);
    if (name == "." || name == "..") return std::nullopt;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        // The name becomes a file name on Linux and, read through Wine, on Windows.
        if (u < 0x20 || u > 0x7E || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return std::nullopt;
        }
    }
    return std::string(name);
}

std::uint64_t RegionStore::StoredElsewhere(std::size_t except) const {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < regions_.size(); ++i) {
        if (i != except) total += regions_[i].length;
    }
    return total;
}

Status RegionStore::Begin(std::string_view nameField, std::uint64_t address, std::uint64_t length) {
    if (open()) return Status::BadRequest;
    const auto name = ParseName(nameField);
    if (!name) return Status::BadRequest;
    auto it = std::find_if(regions_.begin(), regions_.end(), [&](const Region& r) { return SameNameNoCase(r.name, *name); });
    const std::size_t index = static_cast<std::size_t>(it - regions_.begin());
    if (length > kCapacity || StoredElsewhere(index) > kCapacity - length) return Status::FlashWriteError;
    Region region;
    region.name = *name;
    region.address = address;
    region.length = length;
    if (it == regions_.end()) {
        regions_.push_back(std::move(region));
    } else {
        *it = std::move(region);
    }
    open_ = static_cast<long>(index);
    return Status::Ok;
}

Status RegionStore::Data(std::uint64_t offset, std::string_view bytes) {
    if (!open()) return Status::BadRequest;
    Region& r = regions_[static_cast<std::size_t>(open_)];
    if (bytes.empty() || bytes.size() > kMaxDataBlock) return Status::BadRequest;
    // Blocks follow each other without gaps or overlaps and stay inside the region.
    if (offset != r.bytes.size() || bytes.size() > r.length - offset) return Status::BadRequest;
    r.bytes.append(bytes);
    return Status::Ok;
}

Status RegionStore::End(std::uint32_t sum32) {
    if (!open()) return Status::BadRequest;
    Region& r = regions_[static_cast<std::size_t>(open_)];
    if (r.bytes.size() != r.length) return Status::BadRequest;
    open_ = -1;
    r.ended = true;
    r.sumMatched = Sum32(r.bytes) == sum32;
    return r.sumMatched ? Status::Ok : Status::FlashWriteError;
}

void RegionStore::Clear() {
    regions_.clear();
    open_ = -1;
}

}  // namespace tvsp::vwatch::dl
