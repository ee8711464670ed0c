// Packing of dotted version strings: part layout, ordering, odd pieces and the aligned form.
#include "device/version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace TVSP {
namespace {

struct PackRow {
    const char* text;
    std::uint64_t packed;
};

void PrintTo(const PackRow& row, std::ostream* os) { *os << '"' << row.text << '"'; }

class ParseVersionTable : public ::testing::TestWithParam<PackRow> {};

TEST_P(ParseVersionTable, PacksSixteenBitsPerPart) {
    const PackRow& row = GetParam();
    EXPECT_EQ(ParseVersion(std::string_view(row.text)), row.packed) << '"' << row.text << '"';
    // The wide form reads the same pieces the same way.
    const std::string narrow(row.text);
    const std::wstring wide(narrow.begin(), narrow.end());
    EXPECT_EQ(ParseVersion(std::wstring_view(wide)), row.packed) << '"' << row.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Rows, ParseVersionTable, ::testing::Values(
    PackRow{"1.2.3.4", 0x0001000200030004ull},
    PackRow{"1.0.0.12", 0x000100000000000Cull},
    PackRow{"1.0.1.0", 0x0001000000010000ull},
    PackRow{"1.2", 0x10002ull},
    PackRow{"10.0.1", 0x0000000A00000001ull},
    PackRow{"", 0},
    PackRow{".", 0},
    PackRow{"...", 0},
    PackRow{"1..2", 0x10002ull},            // empty pieces are skipped, not read as 0
    PackRow{".1.2.", 0x10002ull},
    PackRow{"1.2.3.4.5", 0x0002000300040005ull},  // the first part is pushed out
    PackRow{"1.2.3.4.5.6", 0x0003000400050006ull},
    PackRow{"65534", 0xFFFEull},
    PackRow{"65535", 0xFFFFull},
    PackRow{"65536", 0x0ull},               // only the low 16 bits count ...
    PackRow{"1.65537", 0x10001ull},         // ... and never spill into the neighbour
    PackRow{"-1", 0xFFFFull},
    PackRow{"1.-1", 0x1FFFFull},
    PackRow{"-65536", 0x0ull},
    PackRow{"3a", 3},                       // digits up to the first other character
    PackRow{"beta", 0},
    PackRow{"1.beta.2", 0x0000000100000002ull},
    PackRow{" 7", 7},
    PackRow{"+7", 7},
    PackRow{"7 ", 7},
    PackRow{"- 7", 0},
    PackRow{"--7", 0},
    PackRow{"2147483647", 0xFFFFull},       // INT_MAX
    PackRow{"2147483648", 0xFFFFull},       // saturates at INT_MAX
    PackRow{"99999999999999999999999", 0xFFFFull},
    PackRow{"-2147483648", 0x0ull},         // INT_MIN
    PackRow{"-2147483649", 0x0ull},         // saturates at INT_MIN
    PackRow{"00012.0003", 0xC0003ull}));

TEST(ParseVersion, OrdersAsThePackedNumbers) {
    // Each text sorts strictly below the next one of its chain.
    const std::vector<std::vector<const char*>> chains = {
        {"", "0.0.1.0", "1.2", "0.0.1.3", "0.1.0.0", "1.0.0.12", "1.0.1.0", "1.0.1.1", "2.0.0.0"},
        {"9.1.9", "9.1.10", "9.2.0", "9.2.1", "10.0.0"},
        {"9.3", "10.0.0"},  // a part fewer sorts low whatever it says
    };
    for (const auto& chain : chains) {
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            EXPECT_LT(ParseVersion(std::string_view(chain[i])), ParseVersion(std::string_view(chain[i + 1])))
                << chain[i] << " < " << chain[i + 1];
        }
    }
    EXPECT_LT(ParseVersion(std::string_view("9.3")), ParseVersion(std::string_view("9.2.0")));
    // Two parts land in the lowest 32 bits: "1.2" is the same number as "0.0.1.2".
    EXPECT_EQ(ParseVersion(std::string_view("1.2")), ParseVersion(std::string_view("0.0.1.2")));
}

TEST(ParseVersion, WideDigitsOutsideAsciiAreNotDigits) {
    EXPECT_EQ(ParseVersion(std::wstring_view(L"\xFF11.2")), 0x2u);  // fullwidth "1"
    EXPECT_EQ(ParseVersion(std::wstring_view(L"1.2\x3002" L"3")), 0x10002u);  // ideographic full stop is no separator
}

TEST(ParseVersionAligned, PlacesPartsFromTheTop) {
    const PackRow rows[] = {
        {"9.2.0", 0x0009000200000000ull}, {"9.3", 0x0009000300000000ull}, {"9", 0x0009000000000000ull},
        {"1.2.3.4", 0x0001000200030004ull}, {"1.2.3.4.5", 0x0001000200030004ull}, {"", 0},
        {"1..2", 0x0001000200000000ull}, {"-1", 0xFFFF000000000000ull},
    };
    for (const PackRow& row : rows) {
        EXPECT_EQ(ParseVersionAligned(std::string_view(row.text)), row.packed) << row.text;
        const std::string narrow(row.text);
        EXPECT_EQ(ParseVersionAligned(std::wstring(narrow.begin(), narrow.end())), row.packed) << row.text;
    }
    EXPECT_LT(ParseVersionAligned(std::string_view("9.2.0")), ParseVersionAligned(std::string_view("9.3")));
    EXPECT_LT(ParseVersionAligned(std::string_view("9.1.0.0")), ParseVersionAligned(std::string_view("9.2")));
    EXPECT_EQ(ParseVersionAligned(std::string_view("9.2")), ParseVersionAligned(std::string_view("9.2.0.0")));
}

}  // namespace
}  // namespace TVSP
