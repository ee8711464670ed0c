// Download protocol frames: exact bytes, and a reader that finds frames in noise and split reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "companions/brom/core/agent_file.h"
#include "companions/brom/core/wire.h"
#include "testing/protocol/download_frames.h"

namespace brom {
namespace {

std::vector<Frame> ReadAll(const std::vector<std::uint8_t>& bytes) {
    FrameReader reader;
    std::vector<Frame> frames;
    for (auto b : bytes) {
        if (auto f = reader.Push(b)) frames.push_back(std::move(*f));
    }
    return frames;
}

TEST(Wire, FrameBytesAreExact) {
    const std::uint8_t payload[] = {0x01, 0xFF, 0x02};
    const std::vector<std::uint8_t> expected = {'T', 'V', 0x21, 3, 0, 0, 0, 0x01, 0xFF, 0x02, 0x02, 0x01};
    EXPECT_EQ(EncodeFrame(kFrameData, payload, 3), expected);
    const std::vector<std::uint8_t> empty = {'T', 'V', 0x31, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(EncodeFrame(kFrameDisconnect, nullptr, 0), empty);
    std::vector<std::uint8_t> big(kMaxFramePayload + 1);
    EXPECT_TRUE(EncodeFrame(kFrameData, big.data(), big.size()).empty());
    EXPECT_EQ(EncodeFrame(kFrameData, big.data(), kMaxFramePayload).size(), kMaxFramePayload + 9);
}

TEST(Wire, PayloadsHaveTheirLayout) {
    const auto begin = BeginRegionPayload("OTA", 0x0102030405060708ull, 0x10);
    ASSERT_EQ(begin.size(), 48u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(begin.data())), "OTA");
    EXPECT_EQ(ReadU64(begin.data() + 32), 0x0102030405060708ull);
    EXPECT_EQ(ReadU64(begin.data() + 40), 0x10u);
    const auto longName = BeginRegionPayload(std::string(40, 'x'), 0, 0);
    EXPECT_EQ(longName[31], 0);  // the field keeps its terminator
    const std::uint8_t data[] = {9, 8};
    const auto block = DataPayload(0x10000, data, 2);
    ASSERT_EQ(block.size(), 10u);
    EXPECT_EQ(ReadU64(block.data()), 0x10000u);
    EXPECT_EQ(block[8], 9);
}

TEST(Wire, ReaderSkipsNoiseAndOversizeHeaders) {
    const std::uint8_t ok = kAckOk;
    const auto ack = EncodeFrame(kFrameAck, &ok, 1);
    std::vector<std::uint8_t> stream = {0x00, 'T', 'T', 'x', 'V'};
    // A header announcing more than a frame may hold is not a frame.
    const std::vector<std::uint8_t> oversize = {'T', 'V', 0x06, 0x41, 0x00, 0x01, 0x00};
    stream.insert(stream.end(), oversize.begin(), oversize.end());
    stream.push_back('T');  // a 'T' just before the real magic
    stream.insert(stream.end(), ack.begin(), ack.end());
    const auto frames = ReadAll(stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, kFrameAck);
    EXPECT_TRUE(frames[0].checksumOk);
    EXPECT_EQ(frames[0].payload, std::vector<std::uint8_t>{0});
}

TEST(Wire, ReaderFlagsBadChecksumAndTellsWhatItWants) {
    const std::uint8_t status = kAckChecksum;
    auto ack = EncodeFrame(kFrameAck, &status, 1);
    ack.back() ^= 1;
    FrameReader reader;
    EXPECT_EQ(reader.Wanted(), 1u);
    std::optional<Frame> got;
    for (std::size_t i = 0; i < ack.size(); ++i) {
        if (i == 2) {
            EXPECT_EQ(reader.Wanted(), 5u);  // rest of the header
        } else if (i == 7) {
            EXPECT_EQ(reader.Wanted(), 1u);  // the payload
        } else if (i == 8) {
            EXPECT_EQ(reader.Wanted(), 2u);  // the checksum
        }
        got = reader.Push(ack[i]);
        if (i + 1 < ack.size()) {
            EXPECT_FALSE(got);
        }
    }
    ASSERT_TRUE(got);
    EXPECT_FALSE(got->checksumOk);
    EXPECT_EQ(got->payload[0], kAckChecksum);
}


// The fixed frames of testing/protocol/download_frames.h, which the virtual watch's codec is
// tested against too: the host encodes what the page says byte for byte and reads it back.
namespace fixed = tvsp::protocol;

std::vector<std::uint8_t> Vec(fixed::Bytes bytes) { return {bytes.begin(), bytes.end()}; }

// The payload of a fixed frame: everything between header and checksum.
std::vector<std::uint8_t> PayloadOf(fixed::Bytes frame) {
    return {frame.begin() + fixed::kFrameHeaderBytes, frame.end() - fixed::kFrameChecksumBytes};
}

std::vector<std::uint8_t> LargestDataFrame() {
    const auto& f = fixed::kLargestDataFrame;
    std::vector<std::uint8_t> out(std::begin(f.header), std::end(f.header));
    out.insert(out.end(), std::begin(f.offset), std::end(f.offset));
    out.insert(out.end(), f.fillCount, f.fill);
    out.insert(out.end(), std::begin(f.checksum), std::end(f.checksum));
    return out;
}

// One fixed frame with what this codec's builders make of the fields it stands for.
struct Row {
    std::string meaning;
    std::uint8_t type;
    std::vector<std::uint8_t> payload;  // built by the codec from the frame's fields
    std::vector<std::uint8_t> fixed;    // the bytes written out from the page
};

std::vector<Row> FixedRows() {
    std::vector<Row> rows;
    for (const auto& f : fixed::kAckFrames) rows.push_back({f.meaning, kFrameAck, {f.status}, Vec(f.frame)});
    rows.push_back({"SEND_DA", kFrameSendDa, BuildAgentFile(fixed::kAgentBody), Vec(fixed::kSendDaFrame)});
    for (const auto& f : fixed::kBeginRegionFrames) {
        rows.push_back({f.meaning, kFrameBeginRegion, BeginRegionPayload(f.name, f.address, f.length), Vec(f.frame)});
    }
    for (const auto& f : fixed::kDataFrames) {
        rows.push_back({f.meaning, kFrameData, DataPayload(f.offset, f.data.data(), f.data.size()), Vec(f.frame)});
    }
    for (const auto& f : fixed::kU32Frames) rows.push_back({f.meaning, f.type, U32Payload(f.value), Vec(f.frame)});
    rows.push_back({"DISCONNECT", kFrameDisconnect, {}, Vec(fixed::kDisconnectFrame)});
    const std::vector<std::uint8_t> block(fixed::kMaxDataBlock, fixed::kLargestDataFrame.fill);
    rows.push_back({"largest DATA", kFrameData, DataPayload(0, block.data(), block.size()), LargestDataFrame()});
    return rows;
}

TEST(WireFixedFrames, EncodesTheDocumentedBytes) {
    for (const Row& row : FixedRows()) {
        EXPECT_EQ(EncodeFrame(row.type, row.payload.data(), row.payload.size()), row.fixed) << row.meaning;
    }
}

TEST(WireFixedFrames, ReadsEachFrameBack) {
    for (const Row& row : FixedRows()) {
        const auto frames = ReadAll(row.fixed);
        ASSERT_EQ(frames.size(), 1u) << row.meaning;
        EXPECT_EQ(frames[0].type, row.type) << row.meaning;
        EXPECT_TRUE(frames[0].checksumOk) << row.meaning;
        EXPECT_EQ(frames[0].payload, PayloadOf(row.fixed)) << row.meaning;
        EXPECT_EQ(frames[0].payload, row.payload) << row.meaning;
    }
}

TEST(WireFixedFrames, FieldsReadOutOfTheFixedBytes) {
    for (const auto& f : fixed::kBeginRegionFrames) {
        const auto p = PayloadOf(f.frame);
        ASSERT_EQ(p.size(), fixed::kBeginRegionPayloadBytes) << f.meaning;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data())), f.name) << f.meaning;
        EXPECT_EQ(ReadU64(p.data() + fixed::kRegionNameField), f.address) << f.meaning;
        EXPECT_EQ(ReadU64(p.data() + fixed::kRegionNameField + 8), f.length) << f.meaning;
    }
    for (const auto& f : fixed::kDataFrames) {
        const auto p = PayloadOf(f.frame);
        ASSERT_EQ(p.size(), fixed::kDataOffsetBytes + f.data.size()) << f.meaning;
        EXPECT_EQ(ReadU64(p.data()), f.offset) << f.meaning;
        EXPECT_TRUE(std::equal(f.data.begin(), f.data.end(), p.begin() + fixed::kDataOffsetBytes)) << f.meaning;
    }
    for (const auto& f : fixed::kU32Frames) EXPECT_EQ(ReadU32(PayloadOf(f.frame).data()), f.value) << f.meaning;
    const auto agent = PayloadOf(fixed::kSendDaFrame);
    AgentInfo info;
    ASSERT_EQ(ParseAgentFile(agent.data(), agent.size(), info), AgentError::None);
    EXPECT_EQ(info.bodyBytes, fixed::kAgentBody.size());
}

TEST(WireFixedFrames, FindsTheFramesOfEachStream) {
    for (const auto& stream : fixed::kStreams) {
        const auto frames = ReadAll(Vec(stream.bytes));
        ASSERT_EQ(frames.size(), stream.frames.size()) << stream.meaning;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].type, stream.frames[i].type) << stream.meaning << " #" << i;
            EXPECT_EQ(frames[i].checksumOk, stream.frames[i].checksumOk) << stream.meaning << " #" << i;
        }
    }
}

}  // namespace
}  // namespace brom
