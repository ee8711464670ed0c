// ROM-setting file reader: valid and invalid rows, path containment, the 35-region limit.
#include <gtest/gtest.h>

#include <string>

#include "companions/brom/core/rom_setting.h"

namespace brom {
namespace {

std::string Region(const std::string& name, const std::string& file = "a.bin", const std::string& address = "0") {
    return "[region]\nname=" + name + "\nfile=" + file + "\naddress=" + address + "\n";
}
std::string Set(const std::string& regions) { return "[romset]\nname=set-1.0\n\n" + regions; }

TEST(RomSetting, ReadsTheDocumentedExample) {
    const auto r = ParseRomSetting(
        "\xEF\xBB\xBF[romset]\r\nname=watchk7_mt60d_ublox-1.5.0\r\n\r\n[region]\r\nname=ARM_BL\r\n"
        "file=arm_bl.bin\r\naddress=0x00000000\r\n\r\n[region]\r\n  name = ROM \r\nfile=sub/rom.bin\r\n"
        "address=0x00100000\r\n");
    ASSERT_EQ(r.error, RomSettingError::None) << r.line;
    EXPECT_EQ(r.setting.name, "watchk7_mt60d_ublox-1.5.0");
    ASSERT_EQ(r.setting.regions.size(), 2u);
    EXPECT_EQ(r.setting.regions[0].name, "ARM_BL");
    EXPECT_EQ(r.setting.regions[0].address, 0u);
    EXPECT_EQ(r.setting.regions[1].name, "ROM");
    EXPECT_EQ(r.setting.regions[1].file, "sub/rom.bin");
    EXPECT_EQ(r.setting.regions[1].address, 0x100000u);
}

struct InvalidRow {
    const char* what;
    std::string text;
    RomSettingError error;
    int line;
};

TEST(RomSetting, RefusesEachFaultWithItsLine) {
    const InvalidRow rows[] = {
        {"empty text", "", RomSettingError::SectionOrder, 0},
        {"no regions", "[romset]\nname=x\n", RomSettingError::NoRegions, 0},
        {"key before section", "name=x\n[romset]\n", RomSettingError::SectionOrder, 1},
        {"region before romset", Region("A") + "[romset]\nname=x\n", RomSettingError::SectionOrder, 1},
        {"second romset", Set(Region("A")) + "[romset]\nname=y\n", RomSettingError::SectionOrder, 8},
        {"unknown section", Set("[regions]\n"), RomSettingError::UnknownSection, 4},
        {"line without =", Set("[region]\nname A\n"), RomSettingError::Syntax, 5},
        {"unknown key", Set(Region("A") + "size=3\n"), RomSettingError::UnknownKey, 8},
        {"romset unknown key", "[romset]\nname=x\nversion=1\n", RomSettingError::UnknownKey, 3},
        {"duplicate key", Set("[region]\nname=A\nname=B\n"), RomSettingError::DuplicateKey, 6},
        {"missing address", Set("[region]\nname=A\nfile=a\n") + Region("B"), RomSettingError::MissingKey, 4},
        {"missing file at end", Set("[region]\nname=A\naddress=1\n"), RomSettingError::MissingKey, 4},
        {"romset without name", "[romset]\n" + Region("A"), RomSettingError::MissingKey, 1},
        {"empty name", Set(Region("")), RomSettingError::BadName, 5},
        {"name of 32 bytes", Set(Region(std::string(32, 'N'))), RomSettingError::BadName, 5},
        {"duplicate name, other case", Set(Region("Rom") + Region("ROM")), RomSettingError::DuplicateName, 9},
        {"empty file", Set(Region("A", "")), RomSettingError::BadFile, 6},
        {"wildcard in file", Set(Region("A", "a*.bin")), RomSettingError::BadFile, 6},
        {"trailing space part", Set(Region("A", "dir /a.bin")), RomSettingError::BadFile, 6},
        {"address empty", Set(Region("A", "a", "")), RomSettingError::BadAddress, 7},
        {"address negative", Set(Region("A", "a", "-1")), RomSettingError::BadAddress, 7},
        {"address hex junk", Set(Region("A", "a", "0x12g")), RomSettingError::BadAddress, 7},
        {"address bare 0x", Set(Region("A", "a", "0x")), RomSettingError::BadAddress, 7},
        {"address 2^64", Set(Region("A", "a", "18446744073709551616")), RomSettingError::BadAddress, 7},
        {"address 17 hex digits", Set(Region("A", "a", "0x10000000000000000")), RomSettingError::BadAddress, 7},
        {"invalid UTF-8", Set(Region("A\xC3")), RomSettingError::Syntax, 0},
        {"overlong UTF-8", Set(Region("\xC0\xAF")), RomSettingError::Syntax, 0},
        {"too large", std::string(kMaxRomSettingFileBytes + 1, '\n'), RomSettingError::TooLarge, 0},
    };
    for (const auto& row : rows) {
        const auto r = ParseRomSetting(row.text);
        EXPECT_EQ(r.error, row.error) << row.what << ": " << RomSettingErrorText(r.error);
        EXPECT_EQ(r.line, row.line) << row.what;
        EXPECT_TRUE(r.setting.regions.empty()) << row.what;  // nothing half-read survives a fault
    }
}

TEST(RomSetting, AddressesAtTheirLimits) {
    const struct {
        const char* text;
        std::uint64_t value;
    } rows[] = {{"0", 0}, {"18446744073709551615", UINT64_MAX}, {"0xFFFFFFFFFFFFFFFF", UINT64_MAX},
                {"0x0000000000000000001", 1}, {"0XaB", 0xAB}, {"007", 7}};
    for (const auto& row : rows) {
        std::uint64_t v = 12345;
        EXPECT_TRUE(ParseAddress(row.text, v)) << row.text;
        EXPECT_EQ(v, row.value) << row.text;
    }
}

TEST(RomSetting, NamesOfThirtyOneBytesAndCaseFreeCompare) {
    const auto r = ParseRomSetting(Set(Region(std::string(31, 'N'))));
    EXPECT_EQ(r.error, RomSettingError::None);
    EXPECT_TRUE(RegionNamesEqual("arm_bl", "ARM_BL"));
    EXPECT_FALSE(RegionNamesEqual("ARM_BL", "ARM_EXT_BL"));
    EXPECT_FALSE(RegionNamesEqual("OTA", "OTA "));
}

TEST(RomSetting, PathsThatLeaveTheFolderAreRefused) {
    const char* escaping[] = {"../a.bin", "..\\a.bin", "sub/../../a.bin", "sub/..", "/etc/a.bin", "\\a.bin",
                              "\\\\server\\share\\a.bin", "C:a.bin", "C:\\a.bin", "a.bin:stream", "./a.bin",
                              ".", "..", "sub/.../a.bin", "sub\\.. \\a.bin"};
    for (const char* path : escaping) {
        EXPECT_FALSE(IsContainedRelativePath(path)) << path;
        const auto r = ParseRomSetting(Set(Region("A", path)));
        EXPECT_EQ(r.error, RomSettingError::FileEscapes) << path << ": " << RomSettingErrorText(r.error);
    }
    const char* contained[] = {"a.bin", "sub/a.bin", "sub\\deeper\\a.bin", "..a.bin", "a..bin", ".hidden",
                               "\xE5\x9B\xBA\xE4\xBB\xB6.bin"};
    for (const char* path : contained) EXPECT_TRUE(IsContainedRelativePath(path)) << path;
    EXPECT_FALSE(IsContainedRelativePath(""));
    EXPECT_FALSE(IsContainedRelativePath("sub//a.bin"));
    EXPECT_FALSE(IsContainedRelativePath("sub/"));
}

TEST(RomSetting, ThirtyFiveRegionsAndNoMore) {
    std::string regions;
    for (int i = 0; i < 34; ++i) regions += Region("R" + std::to_string(i));
    const auto r34 = ParseRomSetting(Set(regions));
    EXPECT_EQ(r34.error, RomSettingError::None);
    EXPECT_EQ(r34.setting.regions.size(), 34u);

    regions += Region("R34");
    const auto r35 = ParseRomSetting(Set(regions));
    EXPECT_EQ(r35.error, RomSettingError::None);
    ASSERT_EQ(r35.setting.regions.size(), 35u);
    EXPECT_EQ(r35.setting.regions.back().name, "R34");

    const auto r36 = ParseRomSetting(Set(regions + Region("R35")));
    EXPECT_EQ(r36.error, RomSettingError::TooManyRegions);
    EXPECT_EQ(r36.line, 3 + 35 * 4 + 1);
}

}  // namespace
}  // namespace brom
