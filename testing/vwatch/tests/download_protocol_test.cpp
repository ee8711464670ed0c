// Tests of the download protocol's pieces: handshake, frame parsing, agent check, region store,
// and the region list items of the control channel.
#include "testing/vwatch/download_protocol.h"
#include "testing/vwatch/region_list.h"
#include "testing/protocol/download_frames.h"

#include <gtest/gtest.h>

namespace tvsp::vwatch::dl {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(vwatch_dl_handshake, AnswersComplementsAndRestartsOnAWrongByte) {
    const struct {
        const char* name;
        std::string in;
        std::string answers;
        bool done;
    } rows[] = {
        {"clean", Bytes({0xA0, 0x0A, 0x50, 0x05}), Bytes({0x5F, 0xF5, 0xAF, 0xFA}), true},
        {"noise before A0 is dropped", Bytes({0x00, 0x54, 0xFF, 0xA0, 0x0A, 0x50, 0x05}), Bytes({0x5F, 0xF5, 0xAF, 0xFA}), true},
        {"wrong byte part-way restarts", Bytes({0xA0, 0x0A, 0x99, 0x50, 0x05}), Bytes({0x5F, 0xF5}), false},
        {"host greets again after a lost answer", Bytes({0xA0, 0x0A, 0xA0, 0x0A, 0x50, 0x05}),
         Bytes({0x5F, 0xF5, 0x5F, 0xF5, 0xAF, 0xFA}), true},
        {"three of four", Bytes({0xA0, 0x0A, 0x50}), Bytes({0x5F, 0xF5, 0xAF}), false},
        {"order matters", Bytes({0x0A, 0xA0, 0x05, 0x50}), Bytes({0x5F}), false},
    };
    for (const auto& row : rows) {
        Handshake h;
        std::string answers;
        for (char c : row.in) {
            if (auto a = h.Feed(static_cast<std::uint8_t>(c), false)) answers += static_cast<char>(*a);
        }
        EXPECT_EQ(answers, row.answers) << row.name;
        EXPECT_EQ(h.done(), row.done) << row.name;
    }
}

TEST(vwatch_dl_handshake, RefusingWatchAnswersEveryByteWithItself) {
    Handshake h;
    std::string answers;
    for (int b : {0xA0, 0x0A, 0x50, 0x05}) answers += static_cast<char>(*h.Feed(static_cast<std::uint8_t>(b), true));
    EXPECT_EQ(answers, Bytes({0xA0, 0x0A, 0x50, 0x05}));
    EXPECT_FALSE(h.done());
}

TEST(vwatch_dl_frames, EncodingIsLittleEndianWithPayloadSum) {
    EXPECT_EQ(EncodeFrame(kWatchdog, Bytes({0x10, 0x27, 0, 0})),
              Bytes({'T', 'V', 0x30, 4, 0, 0, 0, 0x10, 0x27, 0, 0, 0x37, 0}));
    EXPECT_EQ(EncodeAck(Status::FlashWriteError), Bytes({'T', 'V', 0x06, 1, 0, 0, 0, 3, 3, 0}));
    // The sum wraps at 65536: 300 bytes of 0xFF = 76500 = 0x12AD4.
    const std::string big = EncodeFrame(kData, std::string(300, '\xFF'));
    EXPECT_EQ(big.substr(big.size() - 2), Bytes({0xD4, 0x2A}));
    EXPECT_EQ(Sum16(std::string(300, '\xFF')), 0x2AD4);
    EXPECT_EQ(Sum32(std::string(300, '\xFF')), 76500u);
}

// Every way of cutting the stream into reads gives the same frames.
TEST(vwatch_dl_frames, ParserReassemblesFramesSplitAcrossReads) {
    const std::string stream = EncodeFrame(kSendDa, "agent") + EncodeFrame(kDisconnect, "") +
                               EncodeFrame(kEndRegion, Bytes({1, 2, 3, 4}));
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 8u, 9u, 100u}) {
        FrameParser parser;
        std::vector<ParsedFrame> got;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            parser.Feed(std::string_view(stream).substr(at, chunk));
            while (auto f = parser.Next()) got.push_back(*f);
        }
        ASSERT_EQ(got.size(), 3u) << chunk;
        EXPECT_EQ(got[0].type, kSendDa);
        EXPECT_EQ(got[0].payload, "agent");
        EXPECT_EQ(got[1].type, kDisconnect);
        EXPECT_EQ(got[1].payload, "");
        EXPECT_EQ(got[2].payload, Bytes({1, 2, 3, 4}));
        for (const auto& f : got) EXPECT_EQ(f.kind, ParsedFrame::Kind::Frame);
        EXPECT_TRUE(parser.idle());
        EXPECT_EQ(parser.discarded(), 0u);
    }
}

TEST(vwatch_dl_frames, BadMagicChecksumAndLengthAreRecognised) {
    const struct {
        const char* name;
        std::string stream;
        std::vector<ParsedFrame::Kind> kinds;
        std::size_t discarded;
    } rows[] = {
        {"garbage before a frame", "xyzT" + EncodeFrame(kDisconnect, ""), {ParsedFrame::Kind::Frame}, 4},
        {"TT resync keeps the second T", "T" + EncodeFrame(kDisconnect, ""), {ParsedFrame::Kind::Frame}, 1},
        {"wrong second magic byte", "TX" + EncodeFrame(kDisconnect, ""), {ParsedFrame::Kind::Frame}, 2},
        {"damaged payload", [] {
             std::string f = EncodeFrame(kData, "abcdef");
             f[9] ^= 0x01;
             return f + EncodeFrame(kDisconnect, "");
         }(),
         {ParsedFrame::Kind::BadChecksum, ParsedFrame::Kind::Frame}, 0},
        {"damaged checksum byte", [] {
             std::string f = EncodeFrame(kData, "abcdef");
             f.back() ^= 0x40;
             return f;
         }(),
         {ParsedFrame::Kind::BadChecksum}, 0},
        {"length one beyond the limit", [] {
             std::string f = "TV";
             f += static_cast<char>(kData);
             PutU32(f, static_cast<std::uint32_t>(kMaxPayload + 1));
             return f + EncodeFrame(kDisconnect, "");
         }(),
         {ParsedFrame::Kind::Oversize, ParsedFrame::Kind::Frame}, 0},
        {"length at the limit is taken", EncodeFrame(kData, std::string(kMaxPayload, 'a')), {ParsedFrame::Kind::Frame}, 0},
    };
    for (const auto& row : rows) {
        FrameParser parser;
        parser.Feed(row.stream);
        std::vector<ParsedFrame::Kind> kinds;
        while (auto f = parser.Next()) kinds.push_back(f->kind);
        EXPECT_EQ(kinds, row.kinds) << row.name;
        EXPECT_EQ(parser.discarded(), row.discarded) << row.name;
    }
}

// The fixed frames of testing/protocol/download_frames.h, which brom.dll's codec is tested
// against too: the watch encodes what the page says byte for byte and reads it back.
namespace fixed = tvsp::protocol;

std::string Str(fixed::Bytes bytes) { return std::string(bytes.begin(), bytes.end()); }

// The payload of a fixed frame: everything between header and checksum.
std::string PayloadOf(fixed::Bytes frame) {
    return Str(frame.subspan(fixed::kFrameHeaderBytes, frame.size() - fixed::kFrameHeaderBytes - fixed::kFrameChecksumBytes));
}

std::string LargestDataFrame() {
    const auto& f = fixed::kLargestDataFrame;
    return Str(f.header) + Str(f.offset) + std::string(f.fillCount, static_cast<char>(f.fill)) + Str(f.checksum);
}

// One fixed frame with what this codec's builders make of the fields it stands for.
struct FixedRow {
    std::string meaning;
    std::uint8_t type;
    std::string payload;  // built by the codec from the frame's fields
    std::string fixed;    // the bytes written out from the page
};

std::string U32(std::uint32_t v) {
    std::string out;
    PutU32(out, v);
    return out;
}

std::vector<FixedRow> FixedRows() {
    std::vector<FixedRow> rows;
    for (const auto& f : fixed::kAckFrames) {
        rows.push_back({f.meaning, kAck, EncodeAck(static_cast<Status>(f.status)).substr(kHeaderSize, 1), Str(f.frame)});
    }
    rows.push_back({"SEND_DA", kSendDa, MakeDownloadAgent(fixed::kAgentBody), Str(fixed::kSendDaFrame)});
    for (const auto& f : fixed::kBeginRegionFrames) {
        rows.push_back({f.meaning, kBeginRegion, BeginRegionPayload(f.name, f.address, f.length), Str(f.frame)});
    }
    for (const auto& f : fixed::kDataFrames) rows.push_back({f.meaning, kData, DataPayload(f.offset, Str(f.data)), Str(f.frame)});
    for (const auto& f : fixed::kU32Frames) rows.push_back({f.meaning, f.type, U32(f.value), Str(f.frame)});
    rows.push_back({"DISCONNECT", kDisconnect, "", Str(fixed::kDisconnectFrame)});
    rows.push_back({"largest DATA", kData,
                    DataPayload(0, std::string(fixed::kMaxDataBlock, static_cast<char>(fixed::kLargestDataFrame.fill))),
                    LargestDataFrame()});
    return rows;
}

TEST(vwatch_dl_fixed_frames, EncodesTheDocumentedBytes) {
    for (const FixedRow& row : FixedRows()) {
        EXPECT_EQ(EncodeFrame(row.type, row.payload), row.fixed) << row.meaning;
    }
    for (const auto& f : fixed::kAckFrames) EXPECT_EQ(EncodeAck(static_cast<Status>(f.status)), Str(f.frame)) << f.meaning;
}

TEST(vwatch_dl_fixed_frames, ParsesEachFrameBackWhateverTheReadSizes) {
    for (const FixedRow& row : FixedRows()) {
        for (std::size_t chunk : {1u, 3u, 7u, 1u << 20}) {
            FrameParser parser;
            std::vector<ParsedFrame> got;
            for (std::size_t at = 0; at < row.fixed.size(); at += chunk) {
                parser.Feed(std::string_view(row.fixed).substr(at, chunk));
                while (auto f = parser.Next()) got.push_back(*f);
            }
            ASSERT_EQ(got.size(), 1u) << row.meaning << " in reads of " << chunk;
            EXPECT_EQ(got[0].kind, ParsedFrame::Kind::Frame) << row.meaning;
            EXPECT_EQ(got[0].type, row.type) << row.meaning;
            EXPECT_EQ(got[0].payload, row.fixed.substr(kHeaderSize, row.fixed.size() - kHeaderSize - kTrailerSize))
                << row.meaning;
            EXPECT_EQ(got[0].payload, row.payload) << row.meaning;
            EXPECT_TRUE(parser.idle()) << row.meaning;
        }
    }
}

TEST(vwatch_dl_fixed_frames, FieldsReadOutOfTheFixedBytes) {
    for (const auto& f : fixed::kBeginRegionFrames) {
        const std::string p = PayloadOf(f.frame);
        ASSERT_EQ(p.size(), fixed::kBeginRegionPayloadBytes) << f.meaning;
        EXPECT_EQ(RegionStore::ParseName(p.substr(0, kRegionNameField)), std::string(f.name)) << f.meaning;
        EXPECT_EQ(GetU64(p, kRegionNameField), f.address) << f.meaning;
        EXPECT_EQ(GetU64(p, kRegionNameField + 8), f.length) << f.meaning;
    }
    for (const auto& f : fixed::kDataFrames) {
        const std::string p = PayloadOf(f.frame);
        EXPECT_EQ(GetU64(p, 0), f.offset) << f.meaning;
        EXPECT_EQ(p.substr(fixed::kDataOffsetBytes), Str(f.data)) << f.meaning;
    }
    for (const auto& f : fixed::kU32Frames) EXPECT_EQ(GetU32(PayloadOf(f.frame), 0), f.value) << f.meaning;
    EXPECT_TRUE(CheckDownloadAgent(PayloadOf(fixed::kSendDaFrame)));
}

TEST(vwatch_dl_fixed_frames, FindsTheFramesOfEachStream) {
    for (const auto& stream : fixed::kStreams) {
        FrameParser parser;
        parser.Feed(Str(stream.bytes));
        std::vector<ParsedFrame> frames;
        while (auto f = parser.Next()) {
            // An oversize header is reported, but it is not a frame.
            if (f->kind != ParsedFrame::Kind::Oversize) frames.push_back(*f);
        }
        ASSERT_EQ(frames.size(), stream.frames.size()) << stream.meaning;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].type, stream.frames[i].type) << stream.meaning << " #" << i;
            EXPECT_EQ(frames[i].kind == ParsedFrame::Kind::Frame, stream.frames[i].checksumOk) << stream.meaning << " #" << i;
        }
    }
}

TEST(vwatch_dl_agent, OnlyAWellFormedAgentIsTaken) {
    const std::string good = MakeDownloadAgent("TarvoSprout download agent");
    EXPECT_TRUE(CheckDownloadAgent(good));
    EXPECT_TRUE(CheckDownloadAgent(MakeDownloadAgent("")));
    const struct {
        const char* name;
        std::string file;
    } bad[] = {
        {"magic", "TVDB" + good.substr(4)},
        {"version 2", MakeDownloadAgent("body", 2)},
        {"version 0", MakeDownloadAgent("body", 0)},
        {"body sum", [&] {
             std::string f = good;
             f[14] ^= 0x01;
             return f;
         }()},
        {"one byte short", good.substr(0, good.size() - 1)},
        {"one byte extra", good + "x"},
        {"header only", good.substr(0, 12)},
        {"empty", ""},
    };
    for (const auto& row : bad) EXPECT_FALSE(CheckDownloadAgent(row.file)) << row.name;
}

std::string NameField(std::string_view name) { return BeginRegionPayload(name, 0, 0).substr(0, kRegionNameField); }

TEST(vwatch_dl_store, RegionNamesMustBeSafeFileNames) {
    for (const char* ok : {"ROM", "ARM_BL", "a", "name-with.dots", "0123456789012345678901234567890"}) {
        EXPECT_EQ(RegionStore::ParseName(NameField(ok)), std::string(ok)) << ok;
    }
    std::string noTerminator(kRegionNameField, 'A');
    std::string junkAfterZero = NameField("ROM");
    junkAfterZero[10] = 'x';
    for (const std::string& bad : {NameField(""), noTerminator, junkAfterZero, NameField("."), NameField(".."),
                                   NameField("../etc"), NameField("a/b"), NameField("a\\b"), NameField("C:x"),
                                   NameField("a|b"), NameField("a*"), NameField("tab\there"), NameField("\xC3\xA9")}) {
        EXPECT_FALSE(RegionStore::ParseName(bad)) << bad;
    }
    EXPECT_FALSE(RegionStore::ParseName("ROM"));  // not a whole field
}

TEST(vwatch_dl_store, DataMustFollowWithoutGapsAndStayInside) {
    RegionStore store;
    EXPECT_EQ(store.Data(0, "x"), Status::BadRequest);  // no region open
    EXPECT_EQ(store.End(0), Status::BadRequest);
    ASSERT_EQ(store.Begin(NameField("ROM"), 0x100000, 10), Status::Ok);
    EXPECT_EQ(store.Begin(NameField("OTA"), 0, 1), Status::BadRequest);  // one region at a time
    const struct {
        std::uint64_t offset;
        std::string bytes;
        Status status;
    } rows[] = {
        {1, "a", Status::BadRequest},             // gap at the start
        {0, "", Status::BadRequest},              // empty block
        {0, "abcd", Status::Ok},
        {3, "x", Status::BadRequest},             // overlap
        {5, "x", Status::BadRequest},             // gap
        {4, "efghijk", Status::BadRequest},       // one byte past the end
        {4, "efghij", Status::Ok},                // exactly to the end
        {10, "k", Status::BadRequest},            // nothing fits any more
    };
    for (const auto& row : rows) EXPECT_EQ(store.Data(row.offset, row.bytes), row.status) << row.offset << row.bytes;
    EXPECT_EQ(store.End(Sum32("abcdefghij") + 1), Status::FlashWriteError);
    ASSERT_EQ(store.regions().size(), 1u);
    EXPECT_EQ(store.regions()[0].bytes, "abcdefghij");
    EXPECT_FALSE(store.regions()[0].sumMatched);
    EXPECT_FALSE(store.open());
}

TEST(vwatch_dl_store, EndBeforeAllDataIsRefusedAndRewritingReplaces) {
    RegionStore store;
    ASSERT_EQ(store.Begin(NameField("ROM"), 0x100000, 4), Status::Ok);
    ASSERT_EQ(store.Data(0, "abc"), Status::Ok);
    EXPECT_EQ(store.End(Sum32("abc")), Status::BadRequest);
    ASSERT_EQ(store.Data(3, "d"), Status::Ok);
    EXPECT_EQ(store.End(Sum32("abcd")), Status::Ok);
    ASSERT_EQ(store.Begin(NameField("OTA"), 0x200000, 0), Status::Ok);
    EXPECT_EQ(store.End(0), Status::Ok);  // an empty region is complete at once
    // The same name (any case) again replaces the earlier contents in place.
    ASSERT_EQ(store.Begin(NameField("rom"), 0x300000, 2), Status::Ok);
    ASSERT_EQ(store.Data(0, "zz"), Status::Ok);
    ASSERT_EQ(store.End(Sum32("zz")), Status::Ok);
    ASSERT_EQ(store.regions().size(), 2u);
    EXPECT_EQ(store.regions()[0].name, "rom");
    EXPECT_EQ(store.regions()[0].address, 0x300000u);
    EXPECT_EQ(store.regions()[0].bytes, "zz");
    EXPECT_EQ(store.regions()[1].name, "OTA");
}

TEST(vwatch_dl_store, MoreThanTheFlashHoldsIsAFlashWriteError) {
    RegionStore store;
    EXPECT_EQ(store.Begin(NameField("HUGE"), 0, RegionStore::kCapacity + 1), Status::FlashWriteError);
    EXPECT_EQ(store.Begin(NameField("HUGE"), 0, ~0ull), Status::FlashWriteError);
    ASSERT_EQ(store.Begin(NameField("A"), 0, RegionStore::kCapacity - 1), Status::Ok);
    store.Abandon();
    EXPECT_EQ(store.Begin(NameField("B"), 0, 2), Status::FlashWriteError);
    EXPECT_EQ(store.Begin(NameField("B"), 0, 1), Status::Ok);
    store.Abandon();
    // Rewriting A does not count A's old size twice.
    EXPECT_EQ(store.Begin(NameField("A"), 0, RegionStore::kCapacity - 1), Status::Ok);
}

}  // namespace
}  // namespace tvsp::vwatch::dl

namespace tvsp::vwatch {
namespace {

TEST(vwatch_region_list, ItemsRoundTripAndMalformedOnesAreRefused) {
    const RegionSummary rows[] = {
        {"ROM", 0x100000, 1048576, 0xDEADBEEF},
        {"ARM BL", 0, 0, 0},
        {"a\\b", 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFF},
    };
    for (const RegionSummary& r : rows) {
        const std::string item = FormatRegionItem(r);
        EXPECT_EQ(item.find('|'), std::string::npos);
        const auto back = ParseRegionItem(item);
        ASSERT_TRUE(back) << item;
        EXPECT_EQ(back->name, r.name);
        EXPECT_EQ(back->address, r.address);
        EXPECT_EQ(back->length, r.length);
        EXPECT_EQ(back->sum32, r.sum32);
    }
    EXPECT_EQ(FormatRegionItem(rows[0]), "ROM 0x00100000 1048576 0xdeadbeef");
    EXPECT_EQ(FormatRegionItem(rows[1]), "ARM\\x20BL 0x00000000 0 0x00000000");
    for (const char* bad : {"", "ROM", "ROM 0x00100000 1 0x0000000", "ROM 0x00100000 1 0x000000001",
                            "ROM 00100000 1 0x00000000", "ROM 0x0010000 1 0x00000000", "ROM 0x00100000 -1 0x00000000",
                            "ROM 0x00100000 1 0x00000000 extra", "\\q 0x00100000 1 0x00000000",
                            " 0x00100000 1 0x00000000", "ROM 0x00100000 1x 0x00000000"}) {
        EXPECT_FALSE(ParseRegionItem(bad)) << bad;
    }
}

}  // namespace
}  // namespace tvsp::vwatch
