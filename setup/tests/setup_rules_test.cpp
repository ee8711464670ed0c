// The installer window's portable decisions: the folder rule, the printed texts, the work folder's
// name, the progress steps, and the shipped skin.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "companions/skin-engine/core/skin_format.h"
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

// The shipped skin parses and holds every control the window binds, of its kind.
TEST(SetupSkin, ValidWithEveryControlOfItsKind) {
    std::ifstream in(TVSP_SETUP_SKIN, std::ios::binary);
    ASSERT_TRUE(in) << TVSP_SETUP_SKIN;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto skin = uifeature::ParseSkin(text);
    ASSERT_TRUE(skin.ok) << skin.error;
    const uifeature::SkinWindow* window = skin.document.FindSkinWindow("SetupWnd");
    ASSERT_NE(window, nullptr);

    const auto find = [](const auto& self, const std::vector<uifeature::SkinControl>& controls,
                         const std::string& name) -> const uifeature::SkinControl* {
        for (const auto& c : controls) {
            if (c.name == name) return &c;
            if (const auto* found = self(self, c.children, name)) return found;
        }
        return nullptr;
    };
    using K = uifeature::ControlKind;
    const std::pair<const char*, K> table[] = {
        {"Close", K::Button},          {"PreSetupPanel", K::Panel},          {"path_text", K::Static},
        {"edit_path", K::Edit},        {"ChangeDir", K::Button},             {"Setup", K::Button},
        {"Check", K::Check},           {"LicenseAgreement", K::Link},        {"occupy_volume_text", K::Static},
        {"left_volume_text", K::Static}, {"installing_panel", K::Panel},     {"installing_percent", K::Static},
        {"install_progress", K::Progress}, {"install_success", K::Panel},    {"open_right_now", K::Button},
        {"cover_install_panel", K::Panel}, {"cover_install", K::Button},     {"update_now", K::Button},
        {"check_cover", K::Check},     {"license_cover", K::Link},
        // Ours: the success page's title and text also carry the failure.
        {"successtitle", K::Static},   {"successtext", K::Static},           {"failpicture", K::Static},
    };
    for (const auto& [name, kind] : table) {
        const auto* control = find(find, window->controls, name);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->kind, kind) << name;
    }
    // Only the folder page shows at first; the licence boxes start ticked.
    for (const char* hidden : {"cover_install_panel", "installing_panel", "install_success"}) {
        EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, hidden)->attributes, "visible", ""), "false")
            << hidden;
    }
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "Check")->attributes, "checked", ""), "true");
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "check_cover")->attributes, "checked", ""), "true");
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "occupy_volume_text")->attributes, "text", ""),
              "15.4MB");
}

}  // namespace
