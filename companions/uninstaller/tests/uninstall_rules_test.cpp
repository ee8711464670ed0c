// Which names the uninstaller takes as ours, folder comparison, the result page, and the skin.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "base/program_files.h"
#include "companions/skin-engine/core/skin_format.h"
#include "companions/uninstaller/uninstall_rules.h"
#include "companions/uninstaller/uninstall_texts.h"

namespace TVSP::Uninstall {
namespace {

TEST(UninstallRules, InstalledFilesAreOursWithoutCase) {
    for (const wchar_t* name : {L"tarvosprout.exe", L"TARVOSPROUT.EXE", L"UiFeatureKernel.dll", L"Config.ini",
                                L"brom.ini", L"mtk_allinone_da_mt3333_mp.bin", L"uninst.exe", L"uninstallskin.ufd",
                                L"usbser.sys", L"TVSPMainWindow.ufd"}) {
        EXPECT_EQ(ClassifyEntry(name, false), EntryKind::Ours) << std::wstring(name).size();
    }
    // Every shipped top-level file, and nothing twice.
    const auto names = InstalledTopLevelFiles();
    for (const wchar_t* shipped : ProgramFiles::kShipped) {
        const std::wstring s = shipped;
        const bool inSubFolder = s.find(L'\\') != std::wstring::npos;
        EXPECT_EQ(std::count(names.begin(), names.end(), s), inSubFolder ? 0 : 1);
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), std::wstring(L"uninst.exe")), 1);
}

TEST(UninstallRules, RunTimeFilesAreOurs) {
    for (const wchar_t* name : {L"sproutdata.ini", L"sproutdata-2026-12-8-9-5-3.ini", L"SproutData-2026-1-1-0-0-0.INI",
                                L"PortMender.log"}) {
        EXPECT_EQ(ClassifyEntry(name, false), EntryKind::Ours);
    }
    EXPECT_TRUE(IsDataFileCopy(L"sproutdata-2026-12-31-23-59-59.ini"));
    // Not the tool's copies: the user's look-alikes stay.
    for (const wchar_t* name : {L"sproutdata-.ini", L"sproutdata-2026-12-8.ini", L"sproutdata-2026-12-8-9-5-3-1.ini",
                                L"sproutdata-2026--12-8-9-5.ini", L"sproutdata-a-1-1-1-1-1.ini",
                                L"sproutdata-20261-1-1-1-1-1.ini", L"sproutdata-2026-1-1-1-1-1.ini.bak",
                                L"sproutdata-2026-1-1-1-1-1-.ini", L"mysproutdata.ini", L"sproutdata.ini.txt"}) {
        EXPECT_FALSE(IsDataFileCopy(name));
        EXPECT_EQ(ClassifyEntry(name, false), EntryKind::NotOurs);
    }
}

TEST(UninstallRules, FoldersAndKinds) {
    for (const wchar_t* name : ProgramFiles::kInstalledDriverFolders) {
        EXPECT_EQ(ClassifyEntry(name, true), EntryKind::OursFolder);
        EXPECT_EQ(ClassifyEntry(name, false), EntryKind::NotOurs);  // a file of that name is not ours
    }
    EXPECT_EQ(ClassifyEntry(L"update", true), EntryKind::OursFolder);
    EXPECT_EQ(ClassifyEntry(L"DRIVER", true), EntryKind::OursFolder);
    // A folder named like one of our files, and anything else, stays.
    EXPECT_EQ(ClassifyEntry(L"brom.dll", true), EntryKind::NotOurs);
    EXPECT_EQ(ClassifyEntry(L"win10_64", true), EntryKind::NotOurs);
    EXPECT_EQ(ClassifyEntry(L"我的文件.txt", false), EntryKind::NotOurs);
    EXPECT_EQ(ClassifyEntry(L"driver\\InstallDriver.exe", false), EntryKind::NotOurs);
    EXPECT_EQ(ClassifyEntry(L"", false), EntryKind::NotOurs);
}

TEST(UninstallRules, LinksAreNeverOurs) {
    EXPECT_EQ(ClassifyEntry(FolderEntry{L"driver", true, false}), EntryKind::OursFolder);
    EXPECT_EQ(ClassifyEntry(FolderEntry{L"driver", true, true}), EntryKind::NotOurs);
    EXPECT_EQ(ClassifyEntry(FolderEntry{L"brom.dll", false, false}), EntryKind::Ours);
    EXPECT_EQ(ClassifyEntry(FolderEntry{L"brom.dll", false, true}), EntryKind::NotOurs);
}

// The folder follows its files only when nothing but scheduled files is left in it.
TEST(UninstallRules, FolderFollowsOnlyScheduledFiles) {
    const std::vector<std::wstring> scheduled = {L"uninst.exe", L"UiFeatureKernel.dll"};
    EXPECT_TRUE(OnlyScheduledLeft({{L"uninst.exe"}, {L"UIFEATUREKERNEL.DLL"}}, scheduled));
    EXPECT_TRUE(OnlyScheduledLeft({{L"uninst.exe"}}, scheduled));
    EXPECT_FALSE(OnlyScheduledLeft({}, scheduled)) << "an empty folder is removed at once";
    EXPECT_FALSE(OnlyScheduledLeft({{L"uninst.exe"}, {L"notes.txt"}}, scheduled));
    EXPECT_FALSE(OnlyScheduledLeft({{L"uninst.exe"}, {L"Config.ini"}}, scheduled)) << "ours but not scheduled";
    EXPECT_FALSE(OnlyScheduledLeft({{L"uninst.exe", true}}, scheduled)) << "a folder of that name";
    EXPECT_FALSE(OnlyScheduledLeft({{L"uninst.exe", false, true}}, scheduled)) << "a link of that name";
    EXPECT_FALSE(OnlyScheduledLeft({{L"uninst.exe"}}, {}));
}

TEST(UninstallRules, SameFolder) {
    EXPECT_TRUE(SameFolder(L"C:\\Program Files\\TarvoSprout", L"c:\\program files\\tarvosprout\\"));
    EXPECT_TRUE(SameFolder(L"C:/Program Files/TarvoSprout/", L"C:\\Program Files\\TarvoSprout"));
    EXPECT_TRUE(SameFolder(L"C:\\安装\\Tarvo", L"c:\\安装\\TARVO"));
    EXPECT_FALSE(SameFolder(L"C:\\Program Files\\TarvoSprout", L"C:\\Program Files\\TarvoSprout2"));
    EXPECT_FALSE(SameFolder(L"C:\\安装", L"C:\\安裝"));
    EXPECT_FALSE(SameFolder(L"", L""));
    EXPECT_FALSE(SameFolder(L"\\", L""));
}

TEST(UninstallRules, ResultPage) {
    RemovalReport done;
    done.removed = {L"tarvosprout.exe"};
    auto page = DescribeResult(done);
    EXPECT_EQ(page.title, UninstallTexts::kDoneTitle);
    EXPECT_EQ(page.text, UninstallTexts::kDoneText);

    done.scheduled = {L"uninst.exe"};
    done.kept = {L"notes.txt"};
    page = DescribeResult(done);
    EXPECT_EQ(page.text, std::wstring(UninstallTexts::kDoneText) + UninstallTexts::kDoneAfterRestart +
                             UninstallTexts::kKeptFolder);

    RemovalReport failed = done;
    failed.failed = {L"a.dll", L"b.dll"};
    page = DescribeResult(failed);
    EXPECT_EQ(page.title, UninstallTexts::kFailedTitle);
    EXPECT_EQ(page.text, std::wstring(UninstallTexts::kFailedText) + L"a.dll、b.dll");

    failed.failed = {L"1", L"2", L"3", L"4", L"5", L"6"};
    EXPECT_EQ(DescribeResult(failed, 2).text, std::wstring(UninstallTexts::kFailedText) + L"1、2等 6 项");
    EXPECT_EQ(DescribeResult(failed, 6).text, std::wstring(UninstallTexts::kFailedText) + L"1、2、3、4、5、6");
}

// The shipped skin parses, and holds the controls the window and its tests address.
TEST(UninstallSkin, ValidWithItsControls) {
    std::ifstream in(TVSP_UNINSTALL_SKIN, std::ios::binary);
    ASSERT_TRUE(in) << TVSP_UNINSTALL_SKIN;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto skin = uifeature::ParseSkin(text);
    ASSERT_TRUE(skin.ok) << skin.error;
    const uifeature::SkinWindow* window = skin.document.FindSkinWindow(kWindowName);
    ASSERT_NE(window, nullptr);

    const auto find = [](const auto& self, const std::vector<uifeature::SkinControl>& controls,
                         const std::string& name) -> const uifeature::SkinControl* {
        for (const auto& c : controls) {
            if (c.name == name) return &c;
            if (const auto* found = self(self, c.children, name)) return found;
        }
        return nullptr;
    };
    for (const char* name : {"title", "close", "confirmpage", "confirmtitle", "confirmtext", "ok", "cancel",
                             "resultpage", "resulttitle", "resulttext", "donepicture", "failpicture", "finish"}) {
        EXPECT_NE(find(find, window->controls, name), nullptr) << name;
    }
    const auto* ok = find(find, window->controls, "ok");
    const auto* cancel = find(find, window->controls, "cancel");
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->kind, uifeature::ControlKind::Button);
    EXPECT_EQ(uifeature::AttributeOr(ok->attributes, "text", ""), "确定");
    EXPECT_EQ(uifeature::AttributeOr(cancel->attributes, "text", ""), "取消");
    // The result page starts hidden: the window opens on the question.
    EXPECT_EQ(uifeature::AttributeOr(find(find, window->controls, "resultpage")->attributes, "visible", ""), "false");
}

}  // namespace
}  // namespace TVSP::Uninstall
