// The installer window's portable decisions: the folder rule, the printed texts, the work folder's
// name and the progress steps.
#include <gtest/gtest.h>

#include <string>

#include "setup/setup_rules.h"

namespace {

using namespace TVSP::Setup;

TEST(InstallFolderFor, AcceptsDriveFoldersAndAppendsTheLeaf) {
    struct Row {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {L"C:\\", L"C:\\tarvosprout"},
        {L"d:\\", L"d:\\tarvosprout"},
        {L"C:\\Program Files\\Tarvo", L"C:\\Program Files\\Tarvo\\tarvosprout"},
        {L"C:\\Program Files\\Tarvo\\", L"C:\\Program Files\\Tarvo\\tarvosprout"},
        {L"C:\\Program Files\\Tarvo\\\\\\", L"C:\\Program Files\\Tarvo\\tarvosprout"},
        {L"E:\\安装\\工具", L"E:\\安装\\工具\\tarvosprout"},
    };
    for (const Row& row : rows) {
        const auto folder = InstallFolderFor(row.text);
        ASSERT_TRUE(folder.has_value()) << row.expected;
        EXPECT_EQ(*folder, row.expected);
    }
}

TEST(InstallFolderFor, RefusesWhatIsNotAPlainDriveFolder) {
    for (const wchar_t* text :
         {L"", L"C", L"C:", L"C:x", L"C:x\\y", L"1:\\", L":\\", L"\\\\server\\share", L"C/\\", L"C:/Program Files",
          L"C:\\a\\..\\b", L"C:\\a\\.\\b", L"C:\\..", L"C:\\a|b", L"C:\\a:b", L"C:\\a*", L"C:\\a?", L"C:\\a<b>",
          L"C:\\a\"b", L"C:\\a/b", L"C:\\a\tb", L"C:\\a\\\\b", L"C:\\a.\\b", L"C:\\a \\b", L"C:\\a."}) {
        EXPECT_FALSE(InstallFolderFor(text).has_value()) << std::wstring(text).size();
    }
}

TEST(InstallFolderFor, RefusesWhenTheResultWouldNotFit) {
    const std::wstring leafAndSlash = std::wstring(L"\\") + kInstallLeaf;
    std::wstring fits = L"C:\\" + std::wstring(kMaxInstallFolder - 3 - leafAndSlash.size(), L'a');
    ASSERT_TRUE(InstallFolderFor(fits).has_value());
    EXPECT_EQ(InstallFolderFor(fits)->size(), kMaxInstallFolder);
    EXPECT_FALSE(InstallFolderFor(fits + L"a").has_value());
}

TEST(SetupTexts, DriveRootFreeSpaceAndPercent) {
    EXPECT_EQ(DriveRootOf(L"D:\\Program Files\\Tarvo"), L"D:\\");
    EXPECT_EQ(DriveRootOf(L"D:\\"), L"D:\\");
    EXPECT_EQ(DriveRootOf(L""), L"c:\\");
    EXPECT_EQ(DriveRootOf(L"D:"), L"c:\\");

    EXPECT_EQ(FreeSpaceText(0), L"0.00GB");
    EXPECT_EQ(FreeSpaceText(1ull << 30), L"1.00GB");
    EXPECT_EQ(FreeSpaceText((1ull << 30) + (1ull << 29)), L"1.50GB");
    EXPECT_EQ(FreeSpaceText(512ull << 30), L"512.00GB");
    EXPECT_EQ(FreeSpaceText(10ull << 20), L"0.01GB");

    EXPECT_EQ(PercentText(0), L"已完成0%");
    EXPECT_EQ(PercentText(57), L"已完成57%");
    EXPECT_EQ(PercentText(100), L"已完成100%");
}

TEST(SetupTexts, GuidIsUpperCaseAndPadded) {
    GuidParts g;
    g.data1 = 0x1a2b3c;
    g.data2 = 0xbeef;
    g.data3 = 0x7;
    g.data4 = {0x0a, 0xff, 0, 1, 0x23, 0x45, 0x67, 0x89};
    EXPECT_EQ(GuidText(g), L"{001A2B3C-BEEF-0007-0AFF-000123456789}");
    EXPECT_EQ(GuidText(GuidParts{}), L"{00000000-0000-0000-0000-000000000000}");
}

TEST(StepProgress, BarStopsAtFullAndTheEndFollowsTheWorker) {
    // Up to 100 the bar follows the counter; the worker ending earlier does not cut it short.
    for (int counter : {1, 50, 99}) {
        const auto step = StepProgress(counter, true, true);
        EXPECT_TRUE(step.showValue);
        EXPECT_FALSE(step.finish) << counter;
    }
    auto step = StepProgress(100, false, false);
    EXPECT_TRUE(step.showValue);
    EXPECT_FALSE(step.finish);
    step = StepProgress(100, true, true);
    EXPECT_TRUE(step.showValue);
    EXPECT_TRUE(step.finish);
    EXPECT_TRUE(step.succeeded);
    // Past 100 nothing moves until the worker is seen to have ended.
    step = StepProgress(250, false, false);
    EXPECT_FALSE(step.showValue);
    EXPECT_FALSE(step.finish);
    step = StepProgress(251, true, false);
    EXPECT_TRUE(step.finish);
    EXPECT_FALSE(step.succeeded) << "an incomplete installation is never shown as a success";
}

}  // namespace
