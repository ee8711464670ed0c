// Tests of the INI files under Wine: defaults, value length, persistence, deletion, cache path rule.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "device/system_utils.h"
#include "base/win/strings.h"
#include "shell/ini_files.h"
#include "testing/wine/test_files.h"

namespace TVSP {
namespace {

using tvsp::Exists;
using tvsp::ReadAll;

// The data and tuning files live beside this program; every test starts and ends without them.
class IniFiles : public ::testing::Test {
protected:
    void SetUp() override { Remove(); }
    void TearDown() override { Remove(); }
    static void Remove() {
        // Flush the profile cache so a deleted file is not served from memory.
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, DataFile().c_str());
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, ConfigFile().c_str());
        ::DeleteFileW(DataFile().c_str());
        ::DeleteFileW(ConfigFile().c_str());
    }
    static std::wstring DataFile() { return GetOwnDirectory() + L"\\sproutdata.ini"; }
    static std::wstring ConfigFile() { return GetOwnDirectory() + L"\\Config.ini"; }
};

TEST_F(IniFiles, ProgramFolderFileIsBesideTheProgram) {
    EXPECT_EQ(ProgramFolderFile(L"sproutdata.ini"), DataFile());
    // "%s\%s" must fit 260 characters: a name that would overflow gives no path at all.
    const std::size_t room = MAX_PATH - 1 - GetOwnDirectory().size() - 1;
    EXPECT_EQ(ProgramFolderFile(std::wstring(room, L'n')).size(), MAX_PATH - 1u);
    EXPECT_EQ(ProgramFolderFile(std::wstring(room + 1, L'n')), L"");
}

TEST_F(IniFiles, DefaultsWithoutDataFile) {
    EXPECT_EQ(SproutData::ReadModel(), "watchk8_mt60d_ublox");
    EXPECT_EQ(SproutData::ReadVersion(), "");
    EXPECT_EQ(SproutData::ReadImei(), "");
    EXPECT_FALSE(SproutData::ReadTutorialClicked());
    EXPECT_EQ(Config::CheckUpdateDelayTime(), 500);
    EXPECT_FALSE(Exists(DataFile()));  // reading never creates it
}

TEST_F(IniFiles, WatchIsWrittenModelFirstAndPersists) {
    SproutData::WriteWatch("watchk7_mt60d_ublox", "K7_V1.2.3");
    EXPECT_EQ(SproutData::ReadModel(), "watchk7_mt60d_ublox");
    EXPECT_EQ(SproutData::ReadVersion(), "K7_V1.2.3");
    SproutData::WriteVersion("K7_V1.2.4");
    EXPECT_EQ(SproutData::ReadModel(), "watchk7_mt60d_ublox");
    EXPECT_EQ(SproutData::ReadVersion(), "K7_V1.2.4");

    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, DataFile().c_str());  // flush to disk
    const std::string text = ReadAll(DataFile());
    const auto model = text.find("model=watchk7_mt60d_ublox");
    const auto version = text.find("version=K7_V1.2.4");
    ASSERT_NE(model, std::string::npos) << text;
    ASSERT_NE(version, std::string::npos) << text;
    EXPECT_LT(model, version);
    EXPECT_NE(text.find("[watch]"), std::string::npos);
}

TEST_F(IniFiles, NarrowValuesUseTheAnsiCodePage) {
    if (::GetACP() != 936) GTEST_SKIP() << "needs code page 936 (LANG=zh_CN.UTF-8)";
    const std::string gbk = WideToAnsi(L"手表固件V2");
    ASSERT_EQ(gbk.size(), 10u);  // four double-byte characters and two ASCII
    SproutData::WriteVersion(gbk);
    EXPECT_EQ(SproutData::ReadVersion(), gbk);
    EXPECT_EQ(ReadIniString(DataFile(), L"watch", L"version", L"x"), L"手表固件V2");
}

// Values are read into 260 units, so at most 259 come back.
TEST_F(IniFiles, ValuesAreCutTo259Units) {
    const struct {
        std::size_t written;
        std::size_t read;
    } rows[] = {{1, 1}, {258, 258}, {259, 259}, {260, 259}, {261, 259}, {1000, 259}};
    for (const auto& row : rows) {
        std::wstring value(row.written, L'v');
        value[0] = L'A';
        WriteIniString(DataFile(), L"watch", L"version", value);
        const std::wstring back = ReadIniString(DataFile(), L"watch", L"version", L"sentinel");
        EXPECT_EQ(back.size(), row.read) << row.written;
        EXPECT_EQ(back, value.substr(0, row.read)) << row.written;
        EXPECT_EQ(SproutData::ReadVersion().size(), row.read) << row.written;
    }
    // The default is cut the same way.
    EXPECT_EQ(ReadIniString(DataFile(), L"watch", L"absent", std::wstring(300, L'd').c_str()),
              std::wstring(259, L'd'));
}

TEST_F(IniFiles, ImeiMarksAPendingRestoreUntilDeleted) {
    SproutData::WriteWatch("watchm5_mt60d_ublox", "M5_1");
    SproutData::WriteImei("861234567890123");
    EXPECT_EQ(SproutData::ReadImei(), "861234567890123");
    SproutData::DeleteImei();
    EXPECT_EQ(SproutData::ReadImei(), "");
    EXPECT_EQ(ReadIniString(DataFile(), L"watch", L"imei", L"sentinel"), L"sentinel");  // key gone
    EXPECT_EQ(SproutData::ReadModel(), "watchm5_mt60d_ublox");  // the rest of the section stays
    SproutData::DeleteImei();                                   // deleting twice is harmless
    EXPECT_EQ(SproutData::ReadVersion(), "M5_1");
}

TEST_F(IniFiles, TutorialClickedIsAnyNonZeroInteger) {
    EXPECT_FALSE(SproutData::ReadTutorialClicked());
    SproutData::WriteTutorialClicked();
    EXPECT_TRUE(SproutData::ReadTutorialClicked());
    EXPECT_EQ(ReadIniString(DataFile(), L"flashtool", L"TutorialClicked", L""), L"1");
    const struct {
        const wchar_t* text;
        bool clicked;
    } rows[] = {{L"0", false}, {L"7", true}, {L"", false}, {L"abc", false}};
    for (const auto& row : rows) {
        WriteIniString(DataFile(), L"flashtool", L"TutorialClicked", row.text);
        EXPECT_EQ(SproutData::ReadTutorialClicked(), row.clicked) << WideToUtf8(row.text);
    }
}

TEST_F(IniFiles, CheckUpdateDelayTimeFromConfig) {
    const struct {
        const wchar_t* text;
        int delay;
    } rows[] = {{L"0", 0}, {L"1234", 1234}, {L"500", 500}};
    for (const auto& row : rows) {
        ::WritePrivateProfileStringW(L"test", L"CheckUpdateDelayTime", row.text, ConfigFile().c_str());
        EXPECT_EQ(Config::CheckUpdateDelayTime(), row.delay) << WideToUtf8(row.text);
    }
    // Another section or key leaves the default.
    ::WritePrivateProfileStringW(L"test", L"CheckUpdateDelayTime", nullptr, ConfigFile().c_str());
    ::WritePrivateProfileStringW(L"other", L"CheckUpdateDelayTime", L"9", ConfigFile().c_str());
    EXPECT_EQ(Config::CheckUpdateDelayTime(), 500);
}

TEST_F(IniFiles, ServerBasesHaveDefaultsAndTestsPointThemAtLoopback) {
    EXPECT_EQ(Config::UpdateServerBase(), L"http://update.sprout.example.com");
    EXPECT_EQ(Config::SecureServerBase(), L"https://secure.sprout.example.com");
    ::WritePrivateProfileStringW(L"server", L"update", L"http://localhost:8080", ConfigFile().c_str());
    ::WritePrivateProfileStringW(L"server", L"secure", L"https://localhost:8443", ConfigFile().c_str());
    EXPECT_EQ(Config::UpdateServerBase(), L"http://localhost:8080");
    EXPECT_EQ(Config::SecureServerBase(), L"https://localhost:8443");
    ::WritePrivateProfileStringW(L"server", nullptr, nullptr, ConfigFile().c_str());
}

class CachePath : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_INTERNET_CACHE, TRUE));
        cache_ = folder;
        tag_ = L"tvsp-cache-" + std::to_wstring(::GetCurrentProcessId());
    }
    void TearDown() override { DeleteDirectory(JoinCachePath(cache_, tag_)); }
    static std::wstring Slashed(std::wstring path) {
        for (auto& c : path) {
            if (c == L'\\') c = L'/';
        }
        return path;
    }
    std::wstring cache_;
    std::wstring tag_;
};

TEST_F(CachePath, FoldersOnTheWayAreCreatedAndSeparatorsAreSlashes) {
    const std::wstring folders = CacheFolderPath(tag_ + L"\\roms\\watchk8\\");
    EXPECT_EQ(folders, Slashed(cache_) + L"/" + tag_ + L"/roms/watchk8/");
    EXPECT_EQ(folders.find(L'\\'), std::wstring::npos);
    EXPECT_TRUE(Exists(JoinCachePath(cache_, tag_ + L"\\roms\\watchk8")));

    // The last component without a separator is a file name: not created.
    const std::wstring file = CacheFolderPath(tag_ + L"\\ini/updates.ini");
    EXPECT_EQ(file, Slashed(cache_) + L"/" + tag_ + L"/ini/updates.ini");
    EXPECT_TRUE(Exists(JoinCachePath(cache_, tag_ + L"\\ini")));
    EXPECT_FALSE(Exists(JoinCachePath(cache_, tag_ + L"\\ini\\updates.ini")));

    // A name starting with "\" gets no second separator.
    EXPECT_EQ(CacheFolderPath(L"\\" + tag_ + L"\\x"), Slashed(cache_) + L"/" + tag_ + L"/x");
}

TEST_F(CachePath, OverlongPathIsRefused) {
    const std::size_t room = MAX_PATH - 1 - cache_.size() - 1;
    EXPECT_EQ(CacheFolderPath(tag_ + L"\\" + std::wstring(room - tag_.size() - 1, L'f')).size(), MAX_PATH - 1u);
    EXPECT_EQ(CacheFolderPath(tag_ + L"\\" + std::wstring(room - tag_.size(), L'f')), L"");
}

TEST_F(CachePath, UpdatesIniIsDeleted) {
    const std::wstring path = UpdatesIniPath();
    EXPECT_EQ(path, Slashed(cache_) + L"/updates.ini");
    ::WritePrivateProfileStringW(L"watchk8_mt60d_ublox", L"localVersion", L"1.0", path.c_str());
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    ASSERT_TRUE(Exists(path));
    DeleteUpdatesIni();
    EXPECT_FALSE(Exists(path));
    DeleteUpdatesIni();  // missing is fine
}

}  // namespace
}  // namespace TVSP
