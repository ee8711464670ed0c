// Download protocol frames: exact bytes, and a reader that finds frames in noise and split reads.
#include <gtest/gtest.h>

#include <vector>

#include "companions/brom/core/wire.h"

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

}  // namespace
}  // namespace brom
