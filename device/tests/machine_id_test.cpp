// Machine identifier: percent-encoding, assembly, cpu component and disk-serial normalisation.
#include "device/machine_id.h"

#include <gtest/gtest.h>

#include <string>

namespace TVSP {
namespace {

using namespace std::string_literals;

std::string Repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(PercentEncode, KeepsUnreservedEncodesTheRest) {
    const struct {
        std::string in;
        const char* out;
    } rows[] = {
        {"", ""},
        {"AZaz09-_.~", "AZaz09-_.~"},
        {" ", "+"},
        {"a b", "a+b"},
        {"+", "%2B"},
        {"%", "%25"},
        {"\t", "%09"},
        {"\0"s, "%00"},
        {"\x7F", "%7F"},
        {"\xFF", "%FF"},
        {"\xC3\xA9", "%C3%A9"},
        // Neighbours of the kept ranges.
        {"/0", "%2F0"}, {"9:", "9%3A"}, {"@A", "%40A"}, {"Z[", "Z%5B"}, {"`a", "%60a"}, {"z{", "z%7B"},
        {"}~", "%7D~"},
    };
    for (const auto& row : rows) EXPECT_EQ(PercentEncode(row.in), row.out) << row.out;
}

TEST(AssembleMachineId, JoinsRemovesSpacesAndFillsEmptyWithZero) {
    const struct {
        const char* cpu;
        const char* disk;
        const char* mac;
        const char* volume;
        const char* id;
    } rows[] = {
        {"0", "WD-WCC4E1234567", "001A2BFF0C05", "ABCD1234", "C_0-D_WD-WCC4E1234567-M_001A2BFF0C05-V_ABCD1234"},
        {"", "", "", "", "C_0-D_0-M_0-V_0"},
        {" ", "   ", "", " ", "C_0-D_0-M_0-V_0"},
        {"0A1B", " W D 1 ", "00 11", "1234 ", "C_0A1B-D_WD1-M_0011-V_1234"},
        {"0", "S/N:7", "0", "0", "C_0-D_S%2FN%3A7-M_0-V_0"},
        {"0", "A\tB", "0", "0", "C_0-D_A%09B-M_0-V_0"},  // only the space character is removed
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AssembleMachineId(row.cpu, row.disk, row.mac, row.volume), row.id) << row.id;
    }
}

TEST(CpuComponent, OnlyWithTheSerialNumberFeature) {
    EXPECT_EQ(CpuComponent(0x000306A9, 1u << 18, 0x12345678, 0x9ABCDEF0), "123456789ABCDEF0000306A9");
    EXPECT_EQ(CpuComponent(0x1, 0xFFFFFFFF, 0x0, 0xA), "000000000000000A00000001");
    EXPECT_EQ(CpuComponent(0x000306A9, 0, 0x12345678, 0x9ABCDEF0), "0");
    EXPECT_EQ(CpuComponent(0x000306A9, 1u << 17, 0x12345678, 0x9ABCDEF0), "0");
    EXPECT_EQ(CpuComponent(0x000306A9, (1u << 19) | (1u << 17), 0x12345678, 0x9ABCDEF0), "0");
}

TEST(NormaliseDiskSerial, HexTextSpacesControlBytesAndLength) {
    const struct {
        std::string reported;
        std::string normalised;
    } rows[] = {
        {"", ""},
        {"  WD-WCC4E1234567  ", "WD-WCC4E1234567"},
        {" W D 1 ", "WD1"},
        {"2020202057442d5743433445", "WD-WCC4E"},          // hexadecimal text, space padded
        {"2020202057442D5743433445", "WD-WCC4E"},          // upper-case digits
        {"  5744  ", "WD"},                                 // padding around the digits
        {"5744\0\0\0\0"s, "WD"},
        {"20202020", ""},                                   // only padding inside
        {"0123ABCD", "0123ABCD"},                           // 0x01 is no character: not hex text
        {"57445", "57445"},                                 // odd count of digits
        {"5744G1", "5744G1"},                               // not all digits
        {"AB\x01" "C\xFF" "D", "ABCD"},                     // control and non-ASCII bytes dropped
        {std::string(39, 'X'), std::string(39, 'X')},
        {std::string(40, 'X'), std::string(40, 'X')},
        {std::string(41, 'X'), std::string(40, 'X')},
        {" " + std::string(45, 'Y') + " ", std::string(40, 'Y')},
        {Repeat("44", 21) + Repeat("41", 21), std::string(21, 'D') + std::string(19, 'A')},  // 42 decoded, cut
    };
    for (const auto& row : rows) EXPECT_EQ(NormaliseDiskSerial(row.reported), row.normalised) << row.reported;
}

TEST(SwapAtaStringBytes, SwapsEachPairKeepsAnOddLastByte) {
    EXPECT_EQ(SwapAtaStringBytes(""), "");
    EXPECT_EQ(SwapAtaStringBytes("A"), "A");
    EXPECT_EQ(SwapAtaStringBytes("DW"), "WD");
    EXPECT_EQ(SwapAtaStringBytes("DW-CW"), "WDC-W");
    EXPECT_EQ(SwapAtaStringBytes("2S0N\0 "s), "S2N0 \0"s);
}

TEST(FormatMacAddress, TwoUpperCaseDigitsPerByte) {
    const unsigned char mac[] = {0x00, 0x1A, 0x2B, 0xFF, 0x0C, 0x05};
    EXPECT_EQ(FormatMacAddress(mac, 6), "001A2BFF0C05");
    EXPECT_EQ(FormatMacAddress(mac, 1), "00");
    EXPECT_EQ(FormatMacAddress(mac, 0), "");
    EXPECT_EQ(FormatMacAddress(nullptr, 6), "");
}

TEST(FormatVolumeSerial, EightUpperCaseDigits) {
    EXPECT_EQ(FormatVolumeSerial(0), "00000000");
    EXPECT_EQ(FormatVolumeSerial(0xABCD), "0000ABCD");
    EXPECT_EQ(FormatVolumeSerial(0xFFFFFFFF), "FFFFFFFF");
}

}  // namespace
}  // namespace TVSP
