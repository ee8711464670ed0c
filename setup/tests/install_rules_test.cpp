// The installer's portable decisions: file list, driver decisions, the moved data file's name and
// the uninstall entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "base/program_files.h"
#include "setup/install_rules.h"

namespace {

using namespace TVSP;
using namespace TVSP::Setup;

TEST(ProgramFilesToInstall, TableInOrderThenOtherShippedFilesOnce) {
    const std::vector<std::wstring> expected = {
        L"TVSPMainWindow.ufd", L"UiFeature.xml", L"UiFeatureKernel.dll", L"UiFeatureNormalControl.dll",
        L"tarvosprout.exe", L"brom.dll", L"brom.ini", L"MTK_AllInOne_DA.bin", L"GPS_DL.dll",
        L"MTK_AllInOne_DA_MT3333_MP.BIN", L"uninst.exe", L"uninstallskin.ufd", L"TarvoNetUL.dll",
        L"PortMender.exe", L"usbser.sys", L"UiFeatureEffect.dll",
        // Not in the table, but the tool reads its settings there.
        L"Config.ini"};
    EXPECT_EQ(ProgramFilesToInstall(), expected);
}

TEST(ProgramFilesToInstall, EveryShippedFileIsCopiedHereOrWithItsDriverFolder) {
    const auto files = ProgramFilesToInstall();
    for (const wchar_t* shipped : ProgramFiles::kShipped) {
        const std::wstring name(shipped);
        const bool here = std::count(files.begin(), files.end(), name) == 1;
        const auto slash = name.find(L'\\');
        const bool withFolder =
            slash != std::wstring::npos &&
            std::any_of(std::begin(ProgramFiles::kInstalledDriverFolders), std::end(ProgramFiles::kInstalledDriverFolders),
                        [&](const wchar_t* folder) { return name.substr(0, slash) == folder; });
        EXPECT_TRUE(here != withFolder) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(FilesToUnhide(), (std::vector<std::wstring>{L"UiFeature.xml", L"UiFeatureNormalControl.dll"}));
}

TEST(DriverDecisions, VendorInstallerAndOlderSystemsClassDriver) {
    struct Row {
        bool removed, earlier, expected;
    };
    for (const Row& row : {Row{false, false, true}, Row{true, false, true}, Row{true, true, true}, Row{false, true, false}}) {
        EXPECT_EQ(ShouldRunVendorInstaller(row.removed, row.earlier), row.expected) << row.removed << row.earlier;
    }
    struct DriverRow {
        bool preVista, x64, present, expected;
    };
    for (const DriverRow& row : {DriverRow{true, false, false, true}, DriverRow{true, false, true, false},
                                 DriverRow{true, true, false, false}, DriverRow{false, false, false, false},
                                 DriverRow{false, true, false, false}}) {
        EXPECT_EQ(ShouldCopyPreVistaClassDriver(row.preVista, row.x64, row.present), row.expected)
            << row.preVista << row.x64 << row.present;
    }
}

TEST(MovedDataFileName, HourIsUtcPlusEightWrappingWithoutTouchingTheDate) {
    struct Row {
        UtcTime utc;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {{2026, 12, 8, 0, 0, 0}, L"sproutdata-2026-12-8-8-0-0.ini"},
        {{2026, 1, 31, 15, 59, 59}, L"sproutdata-2026-1-31-23-59-59.ini"},
        {{2026, 1, 31, 16, 0, 0}, L"sproutdata-2026-1-31-0-0-0.ini"},   // wraps; the day stays
        {{2026, 12, 31, 23, 5, 7}, L"sproutdata-2026-12-31-7-5-7.ini"},  // no carry into the year
        {{2009, 3, 4, 9, 10, 11}, L"sproutdata-2009-3-4-17-10-11.ini"},  // no zero padding
    };
    for (const Row& row : rows) EXPECT_EQ(MovedDataFileName(row.utc), row.expected);
}

TEST(UninstallEntryValues, OrderNamesAndPaths) {
    struct Row {
        const wchar_t* folder;
        const wchar_t* uninstaller;
        const wchar_t* tool;
    };
    for (const Row& row : {Row{L"C:\\Program Files\\TarvoSprout", L"C:\\Program Files\\TarvoSprout\\uninst.exe",
                               L"C:\\Program Files\\TarvoSprout\\tarvosprout.exe"},
                           Row{L"D:\\", L"D:\\uninst.exe", L"D:\\tarvosprout.exe"}}) {
        const auto values = UninstallEntryValues(row.folder, L"4.2.7", L"https://maker.example/");
        const std::vector<std::pair<std::wstring, std::wstring>> expected = {
            {L"InstallLocation", row.folder}, {L"DisplayName", L"TarvoSprout"}, {L"UninstallString", row.uninstaller},
            {L"DisplayIcon", row.tool},       {L"DisplayVersion", L"4.2.7"},    {L"URLInfoAbout", L"https://maker.example/"},
            {L"Publisher", L"Tarvo安全中心"}};
        ASSERT_EQ(values.size(), expected.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(values[i].name, expected[i].first);
            EXPECT_EQ(values[i].data, expected[i].second);
        }
    }
}

}  // namespace
