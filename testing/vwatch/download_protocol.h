// The download protocol's pieces as the watch sees them: handshake, frame parser, region store.
//
// Deliberately one of two independent implementations of docs/download-protocol.md: brom.dll has
// its own (companions/brom/core/wire.*) and shares no code with this one, so a misreading of the
// page on one side shows up as a failed exchange instead of agreeing with itself. Both are tested
// against the same hand-written frames (testing/protocol/download_frames.h).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tvsp::vwatch::dl {

// The boot ROM's greeting: the host sends these one at a time, each answered by its complement.
inline constexpr std::array<std::uint8_t, 4> kHandshake = {0xA0, 0x0A, 0x50, 0x05};

inline constexpr char kMagic0 = 'T';
inline constexpr char kMagic1 = 'V';
inline constexpr std::size_t kHeaderSize = 7;    // magic, type, u32 length
inline constexpr std::size_t kTrailerSize = 2;   // u16 sum of the payload
inline constexpr std::size_t kMaxPayload = 0x10000 + 64;
inline constexpr std::size_t kMaxDataBlock = 0x10000;
inline constexpr std::size_t kRegionNameField = 32;

enum FrameType : std::uint8_t {
    kAck = 0x06,
    kSendDa = 0x10,
    kBeginRegion = 0x20,
    kData = 0x21,
    kEndRegion = 0x22,
    kWatchdog = 0x30,
    kDisconnect = 0x31,
};

enum class Status : std::uint8_t {
    Ok = 0,
    ChecksumError = 1,
    BadRequest = 2,
    FlashWriteError = 3,
};

std::uint16_t Sum16(std::string_view bytes);
std::uint32_t Sum32(std::string_view bytes);

void PutU32(std::string& out, std::uint32_t v);
void PutU64(std::string& out, std::uint64_t v);
std::uint32_t GetU32(std::string_view bytes, std::size_t at);
std::uint64_t GetU64(std::string_view bytes, std::size_t at);

std::string EncodeFrame(std::uint8_t type, std::string_view payload);
inline std::string EncodeAck(Status s) { return EncodeFrame(kAck, std::string(1, static_cast<char>(s))); }

// Payload builders, shared by the tests and anyone writing a host for this watch.
std::string BeginRegionPayload(std::string_view name, std::uint64_t address, std::uint64_t length);
std::string DataPayload(std::uint64_t offset, std::string_view bytes);
std::string MakeDownloadAgent(std::string_view body, std::uint32_t version = 1);

// A download-agent file is taken when its magic, version, length and body sum all hold.
bool CheckDownloadAgent(std::string_view file);

// Handshake state: which of the four bytes comes next. Bytes before a correct A0 are dropped; a
// wrong byte part-way restarts the sequence (and is itself looked at as a possible A0).
class Handshake {
public:
    // The answer byte, if the byte is answered at all. `refuse`: a watch that answers every byte
    // with the byte itself, so the host never sees a complement.
    std::optional<std::uint8_t> Feed(std::uint8_t byte, bool refuse);
    bool done() const { return next_ == kHandshake.size(); }
    void Restart() { next_ = 0; }

private:
    std::size_t next_ = 0;
};

// One thing the parser found in the byte stream.
struct ParsedFrame {
    enum class Kind {
        Frame,        // complete and its checksum holds
        BadChecksum,  // complete, consumed, payload damaged
        Oversize,     // the header announced more than kMaxPayload; only the header is consumed
    };
    Kind kind = Kind::Frame;
    std::uint8_t type = 0;
    std::string payload;
};

// Frames out of a byte stream that arrives in arbitrary pieces. A wrong magic discards bytes up
// to the next "TV".
class FrameParser {
public:
    void Feed(std::string_view bytes) { buffer_.append(bytes); }
    std::optional<ParsedFrame> Next();
    // Bytes thrown away while looking for a magic.
    std::size_t discarded() const { return discarded_; }
    // Nothing held: no partial frame is under way.
    bool idle() const { return buffer_.empty(); }
    void Clear() { buffer_.clear(); }
    // Hands back the bytes not yet parsed and forgets them.
    std::string TakeBuffer() { return std::exchange(buffer_, {}); }

private:
    std::string buffer_;
    std::size_t discarded_ = 0;
};

// One region as the watch holds it.
struct Region {
    std::string name;
    std::uint64_t address = 0;
    std::uint64_t length = 0;   // as announced by BEGIN_REGION
    std::string bytes;          // what arrived, in order
    bool ended = false;
    bool sumMatched = false;
};

// The watch's flash: regions by name (a name written again replaces the earlier contents). Every
// call answers with the status the watch sends back.
class RegionStore {
public:
    // More than a small watch's flash holds is refused as a flash write error.
    static constexpr std::uint64_t kCapacity = 256ull << 20;

    Status Begin(std::string_view nameField, std::uint64_t address, std::uint64_t length);
    Status Data(std::uint64_t offset, std::string_view bytes);
    Status End(std::uint32_t sum32);
    void Abandon() { open_ = -1; }

    bool open() const { return open_ >= 0; }
    const Region* current() const { return open_ >= 0 ? &regions_[static_cast<std::size_t>(open_)] : nullptr; }
    const std::vector<Region>& regions() const { return regions_; }
    void Clear();

    // A name that is safe as a file name here and under Windows: 1..31 printable ASCII characters
    // without < > : " / \ | ? *, not "." or ".."; the rest of the 32-byte field zero.
    static std::optional<std::string> ParseName(std::string_view field);

private:
    std::uint64_t StoredElsewhere(std::size_t except) const;
    std::vector<Region> regions_;
    long open_ = -1;
};

}  // namespace tvsp::vwatch::dl
