// MD5 against the RFC 1321 test suite, block-boundary lengths and split updates.
#include "device/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace TVSP {
namespace {

struct DigestRow {
    std::string message;
    const char* hex;
};

TEST(Md5, RfcTestSuite) {
    const DigestRow rows[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const DigestRow& row : rows) EXPECT_EQ(Md5Hex(row.message), row.hex) << '"' << row.message << '"';
}

TEST(Md5, PaddingAroundBlockBoundaries) {
    // Lengths where the padding needs one block or spills into a second.
    const DigestRow rows[] = {
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
        {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
        {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
        {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
        {std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const DigestRow& row : rows) EXPECT_EQ(Md5Hex(row.message), row.hex) << row.message.size() << " bytes";
}

TEST(Md5, EveryByteValueIncludingZero) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    EXPECT_EQ(Md5Hex(all), "e2c865db4162bed963bfaa9ef6ac18f0");
}

TEST(Md5, SplitUpdatesGiveTheOneShotDigest) {
    std::string message;
    for (int i = 0; i < 200; ++i) message += static_cast<char>('A' + i % 53);
    const std::string expected = Md5Hex(message);
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());

    for (std::size_t split = 0; split <= message.size(); ++split) {
        MD5_CTX context;
        MD5Init(&context);
        MD5Update(&context, bytes, split);
        MD5Update(&context, bytes + split, message.size() - split);
        unsigned char digest[16];
        MD5Final(digest, &context);
        std::string hex;
        for (unsigned char b : digest) {
            static constexpr char kHex[] = "0123456789abcdef";
            hex += kHex[b >> 4];
            hex += kHex[b & 15];
        }
        ASSERT_EQ(hex, expected) << "split at " << split;
    }
}

TEST(Md5, FinalLeavesNoMessageInTheContext) {
    MD5_CTX context;
    MD5Init(&context);
    const unsigned char secret[] = "C_0-D_SECRET";
    MD5Update(&context, secret, sizeof secret - 1);
    unsigned char digest[16];
    MD5Final(digest, &context);
    const auto* raw = reinterpret_cast<const unsigned char*>(&context);
    for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

}  // namespace
}  // namespace TVSP
