// The ROM store under Wine: signed packages unpacked and their ROM setting found, every refused
// package leaving nothing unpacked, and the store's removal.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/strings.h"
#include "device/code_signature.h"
#include "device/system_utils.h"
#include "shell/ini_files.h"
#include "testing/wine/test_files.h"
#include "update/rom_store.h"

namespace TVSP {
namespace {

constexpr char kKey[] = "watchk7_mt60d_ublox";

std::string Package(const wchar_t* name) {
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(GetOwnDirectory() + L"\\rom_test_data\\" + name, 1 << 20, bytes), FileReadResult::Ok)
        << WideToUtf8(name);
    return bytes;
}

class RomStoreTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteRomStore(); }
    void TearDown() override { DeleteRomStore(); }
    StoredRom Store(const std::string& bytes, const std::string& key = kKey, const std::string& version = "1.2.3",
                    PackageUse use = PackageUse::Flash) {
        return StoreRomPackage(bytes.data(), bytes.size(), key, version, use, IsSignedByMaker);
    }
    std::wstring SetFolder(const std::string& name) { return RomStorePath() + L"/" + AnsiToWide(name); }
};

TEST_F(RomStoreTest, SignedPackageIsUnpackedAndItsFirstSettingChosen) {
    const StoredRom stored = Store(Package(L"set.cab"));
    ASSERT_EQ(stored.outcome, RomStoreOutcome::Stored);
    const std::wstring folder = SetFolder("watchk7_mt60d_ublox-1.2.3");
    std::wstring firstCfg;
    for (const auto& name : tvsp::Entries(folder)) {
        if (firstCfg.empty() && name.size() > 4 && name.substr(name.size() - 4) == L".cfg") firstCfg = name;
    }
    EXPECT_EQ(AnsiToWide(stored.romSettingPath), folder + L"\\" + firstCfg);
    EXPECT_TRUE(tvsp::Exists(folder + L"\\rom.bin"));
    EXPECT_TRUE(tvsp::Exists(folder + L"\\rom.cab"));
    EXPECT_EQ(ReadIniString(UpdatesIniPath(), L"watchk7_mt60d_ublox", L"localVersion", L"<none>"), L"1.2.3");

    // A slash in the version becomes "_" in the folder name; a space stays.
    EXPECT_EQ(Store(Package(L"set.cab"), kKey, "2.0/1 b").outcome, RomStoreOutcome::Stored);
    EXPECT_TRUE(tvsp::Exists(SetFolder("watchk7_mt60d_ublox-2.0_1 b") + L"\\rom.bin"));

    DeleteRomStore();
    EXPECT_FALSE(tvsp::Exists(RomStorePath()));
}

TEST_F(RomStoreTest, RefusedPackagesLeaveNothingUnpacked) {
    struct Row {
        const wchar_t* package;
        RomStoreOutcome outcome;
    };
    const Row rows[] = {
        {L"set-unsigned.cab", RomStoreOutcome::SignatureRefused},
        {L"set-tampered.cab", RomStoreOutcome::SignatureRefused},
        {L"set-foreign.cab", RomStoreOutcome::SignatureRefused},
        {L"nocfg.cab", RomStoreOutcome::NoRomSetting},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.package));
        DeleteRomStore();
        StoredRom stored;
        stored.romSettingPath = "sentinel";
        stored = Store(Package(row.package));
        EXPECT_EQ(stored.outcome, row.outcome);
        EXPECT_EQ(stored.romSettingPath, "");
        if (row.outcome == RomStoreOutcome::SignatureRefused) {
            EXPECT_EQ(tvsp::Entries(SetFolder("watchk7_mt60d_ublox-1.2.3")), std::vector<std::wstring>{L"rom.cab"});
        }
    }
    EXPECT_EQ(Store(std::string()).outcome, RomStoreOutcome::WriteFailed);
}

TEST_F(RomStoreTest, UsbDiskModelKeepsItsPackageUnverifiedAndUnpacked) {
    const std::string notACabinet = "the watch checks this package itself";
    const StoredRom stored = Store(notACabinet, "watchn3x_mt61a_ublox", "10.0.2", PackageUse::UsbDisk);
    ASSERT_EQ(stored.outcome, RomStoreOutcome::Stored);
    const std::wstring package = SetFolder("watchn3x_mt61a_ublox-10.0.2") + L"\\rom.cab";
    EXPECT_EQ(AnsiToWide(stored.romSettingPath), package);
    EXPECT_EQ(tvsp::ReadAll(package), notACabinet);
}

}  // namespace
}  // namespace TVSP
