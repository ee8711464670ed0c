// The connection guide on the real tool as the scenarios drive it: its window through the
// automation, its pages awaited, its screenshots.
#pragma once

#include <windows.h>

#include <string>

#include "shell/tests/win/tool_test_support.h"
#include "shell/tests/win/upgrade_test_support.h"

namespace tvsp_test {

// The model the guide scenarios choose ("lite_radio"): its upgrade ends with a plain restart.
inline constexpr char kGuideModel[] = "watcht4_mt2503d_mt3333";

// The guide's skin window as the automation sees it; null when it is not open.
inline json GuideSnapshot() {
    const json snapshot = json::parse(Uictl(L"snapshot").output, nullptr, false);
    if (!snapshot.is_object() || !snapshot.contains("windows")) return json();
    for (const auto& w : snapshot["windows"]) {
        if (w.value("name", std::string()) == "connectguide") return w;
    }
    return json();
}

// The guide's shown panel once it is `panel`; fails the test when it does not get there.
inline json WaitForGuidePanel(const char* panel, DWORD timeoutMs = 20000) {
    json guide;
    EXPECT_TRUE(WaitUntil([&] { return ControlVisible(guide = GuideSnapshot(), panel); }, timeoutMs))
        << "the guide never showed " << panel;
    return guide;
}

inline bool GuideOpen() { return !GuideSnapshot().is_null(); }

// Saves the guide's window as out/screenshots/<name>.png when screenshots are on.
inline void SaveGuideScreenshot(const wchar_t* name) {
    const std::wstring folder = tvsp::ScreenshotFolder();
    const json guide = GuideSnapshot();
    if (folder.empty() || !guide.is_object() || !guide.contains("hwnd")) return;
    HWND hwnd = reinterpret_cast<HWND>(
        static_cast<std::uintptr_t>(std::stoull(guide["hwnd"].get<std::string>(), nullptr, 16)));
    tvsp::GdiplusSession gdiplus;
    ::Sleep(500);  // the last change drawn
    EXPECT_TRUE(gdiplus.Ok() && tvsp::SaveWindowPng(hwnd, folder + L"\\" + name + L".png"));
}

// The guide scenarios: the tool started, the guide opened, its controls clicked and chosen.
class GuideTest : public UpgradeTest {
protected:
    // The tool with the guide open on its first page.
    void OpenGuide(RunningTool& tool) {
        ASSERT_TRUE(tool.Start());
        json window;
        ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "startconnect"); }, 60000))
            << "the main window never offered the guide";
        ASSERT_EQ(Uictl(L"click mainWnd/startconnect").exitCode, 0u);
        const json guide = WaitForGuidePanel("connecthint");
        EXPECT_EQ(ControlText(guide, "title"), "连接向导");
    }
    void Click(const wchar_t* control) {
        ASSERT_EQ(Uictl(std::wstring(L"click connectguide/") + control).exitCode, 0u) << TVSP::WideToUtf8(control);
    }
    void Choose(const wchar_t* control) {
        ASSERT_EQ(Uictl(std::wstring(L"choose connectguide/") + control).exitCode, 0u) << TVSP::WideToUtf8(control);
    }
};

}  // namespace tvsp_test
