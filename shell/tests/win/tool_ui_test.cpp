// The real tarvosprout.exe driven through uictl.exe: a watch present at start, tabs and the tools
// hint across restarts, the update check's two answers, and the help page's web pages.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/tests/win/watch_test_support.h"
#include "shell/tests/win/tool_test_support.h"
#include "testing/update-server/client/update_server_client.h"

using namespace TVSP;
using nlohmann::json;

namespace {

using namespace tvsp_test;

class ToolUiTest : public tvsp_test::VirtualWatchTest {};

}  // namespace

TEST_F(ToolUiTest, WatchPresentAtStartIsShownConnected) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\watch");
    ASSERT_TRUE(tool.Start());
    json window;
    ASSERT_TRUE(WaitUntil([&] {
        window = MainWindowSnapshot();
        return ControlText(window, "Status") == "已连接TarvoSprout";
    }, 30000)) << "status " << ControlText(window, "Status") << ", version " << ControlText(window, "version")
               << ", watch saw " << watch.ReceivedCommands().size() << " commands";
    EXPECT_EQ(ControlText(window, "version"), "1.2.3");
    EXPECT_EQ(ControlText(window, "battery_hint"), "刷机前请保持设备电量在50%以上");
    EXPECT_TRUE(ControlVisible(window, "MobileIconLink"));
    EXPECT_FALSE(ControlVisible(window, "MobileIcon"));
    const auto log = watch.ReceivedCommands();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "AT+CGMR");
    // The network library is loaded at start-up, after its signature check.
    EXPECT_TRUE(tool.HasLoaded(L"TarvoNetUL.dll"));
    EXPECT_TRUE(tool.CloseByButton());
}

TEST_F(ToolUiTest, TabsAndTheToolsHintPersistAcrossRestarts) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\tabs");
    ASSERT_TRUE(tool.Start());
    json window = MainWindowSnapshot();
    EXPECT_TRUE(ControlVisible(window, "dot_hint"));
    EXPECT_TRUE(ControlVisible(window, "panel-update"));
    EXPECT_FALSE(ControlVisible(window, "panel-help"));

    ASSERT_EQ(Uictl(L"click mainWnd/ToolsBtn").exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "panel-help"); }, 10000));
    EXPECT_FALSE(ControlVisible(window, "panel-update"));
    EXPECT_FALSE(ControlVisible(window, "dot_hint"));
    // A hidden control cannot be clicked, as with a mouse.
    EXPECT_NE(Uictl(L"click mainWnd/updateButton").exitCode, 0u);
    ASSERT_TRUE(tool.CloseByButton());

    RunningTool again(L"C:\\tvsp-tool-ui\\tabs", false);
    ASSERT_TRUE(again.Start());
    window = MainWindowSnapshot();
    EXPECT_FALSE(ControlVisible(window, "dot_hint"));
    EXPECT_TRUE(ControlVisible(window, "panel-update"));
    EXPECT_FALSE(ControlVisible(window, "panel-help"));
    EXPECT_TRUE(again.CloseByButton());
}

TEST_F(ToolUiTest, CheckForUpdatesAnswersBothWays) {
    VWATCH_OK(watch.Unplug());
    RunningTool tool(L"C:\\tvsp-tool-ui\\check");
    ASSERT_TRUE(tool.Start());
    ASSERT_EQ(Uictl(L"click mainWnd/ToolsBtn").exitCode, 0u);
    ASSERT_EQ(Uictl(L"click mainWnd/jiancegengxin").exitCode, 0u);
    EXPECT_EQ(AnswerMessageBox(), "已经是最新版本。");

    ::CreateDirectoryW(tool.File(L"update").c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(tool.File(L"update\\updatefiles.cab"), "MSCF", 4));
    ASSERT_EQ(Uictl(L"click mainWnd/jiancegengxin").exitCode, 0u);
    EXPECT_EQ(AnswerMessageBox(), "请重启Sprout以便完成升级。");
    EXPECT_TRUE(tool.CloseByButton());
}

TEST_F(ToolUiTest, HelpButtonsOpenTheirPages) {
    VWATCH_OK(watch.Unplug());
    // Pages pointed at local folders, so opening one shows a window named after it.
    const struct {
        const char* button;
        const wchar_t* key;
    } pages[] = {
        {"changjianwenti", L"faq"}, {"appxiazai", L"app"}, {"guanfangwangzhan", L"website"},
        {"guanfangweibo", L"social"}, {"guanfangluntan", L"forum"}, {"guanyuwomen", L"forum"},
        {"yijianfankui", L"updatefaq"}, {"help_flashfail", L"flashfail"}, {"shengjijiaocheng", L"tutorial"},
    };
    RunningTool tool(L"C:\\tvsp-tool-ui\\help");
    for (const auto& page : pages) {
        const std::wstring folder = std::wstring(L"C:\\tvsp-pages\\tvsp") + page.key;
        ::CreateDirectoryW(L"C:\\tvsp-pages", nullptr);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::WritePrivateProfileStringW(L"web", page.key, folder.c_str(), tool.File(L"Config.ini").c_str());
    }
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, tool.File(L"Config.ini").c_str());
    ASSERT_TRUE(tool.Start());
    ASSERT_EQ(Uictl(L"click mainWnd/ToolsBtn").exitCode, 0u);
    for (const auto& page : pages) {
        SCOPED_TRACE(page.button);
        const std::wstring title = std::wstring(L"tvsp") + page.key;
        ASSERT_EQ(Uictl(L"click mainWnd/" + Utf8ToWide(page.button)).exitCode, 0u);
        HWND opened = nullptr;
        struct Search {
            const std::wstring* title;
            HWND* found;
        } search{&title, &opened};
        EXPECT_TRUE(WaitUntil([&] {
            opened = nullptr;
            ::EnumWindows(
                [](HWND hwnd, LPARAM param) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(param);
                    wchar_t text[260] = {};
                    ::GetWindowTextW(hwnd, text, 260);
                    if (::IsWindowVisible(hwnd) && std::wstring(text).find(*s->title) != std::wstring::npos) {
                        *s->found = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return opened != nullptr;
        }, 20000));
        if (opened) {
            ::PostMessageW(opened, WM_CLOSE, 0, 0);
            WaitUntil([&] { return !::IsWindow(opened); }, 10000);  // two buttons open the same page
        }
    }
    EXPECT_TRUE(tool.CloseByButton());
}

TEST_F(ToolUiTest, DeviceNotificationsStartDetectionAndLetTheWatchGo) {
    VWATCH_OK(watch.Unplug());
    VWATCH_OK(watch.SetVersion("wm5_gsm3.1_ble2_u_v1"));
    RunningTool tool(L"C:\\tvsp-tool-ui\\devices");
    ASSERT_TRUE(tool.Start());
    const std::wstring path = L"\\\\?\\USB#VID_0E8D&PID_0003#TVSPVW5#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    json window;

    VWATCH_OK(watch.Plug(tvsp_test::kWatchPort));
    ASSERT_EQ(Uictl(L"device arrive " + path).exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] { return ControlText(window = MainWindowSnapshot(), "Status") == "已连接TarvoSprout"; }, 30000));
    EXPECT_EQ(ControlText(window, "version"), "3.1");
    EXPECT_EQ(ControlText(window, "battery_hint"), "刷机前请保持设备电量至少一格");

    VWATCH_OK(watch.Unplug());
    ASSERT_EQ(Uictl(L"device remove " + path).exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] { return ControlText(window = MainWindowSnapshot(), "Status") == "未连接"; }, 10000));
    EXPECT_TRUE(ControlVisible(window, "MobileIcon"));

    // A watch announced again while a detection of it still runs (it left and came back, as one
    // does after installing its own firmware) is found, even though that first detection fails.
    VWATCH_OK(watch.Plug(tvsp_test::kWatchPort));
    VWATCH_OK(watch.SetDelay("AT+CGMR", 2000));
    ASSERT_EQ(Uictl(L"device arrive " + path).exitCode, 0u);
    VWATCH_OK(watch.SetDelay("AT+CGMR", 0));
    ASSERT_EQ(Uictl(L"device arrive " + path).exitCode, 0u);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(window = MainWindowSnapshot(), "Status") == "已连接TarvoSprout"; }, 30000))
        << "the watch announced during a detection was never found";
    VWATCH_OK(watch.Unplug());
    ASSERT_EQ(Uictl(L"device remove " + path).exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] { return ControlText(window = MainWindowSnapshot(), "Status") == "未连接"; }, 10000));

    // An interface of another device is not the watch.
    VWATCH_OK(watch.Plug(tvsp_test::kWatchPort));
    VWATCH_OK(watch.ClearLog());
    ASSERT_EQ(Uictl(L"device arrive \\\\?\\USB#VID_1234&PID_0003#X#{a5dcbf10-6530-11d2-901f-00c04fb951ed}").exitCode, 0u);
    ::Sleep(3000);
    EXPECT_TRUE(watch.ReceivedCommands().empty());
    EXPECT_EQ(ControlText(MainWindowSnapshot(), "Status"), "未连接");
    EXPECT_TRUE(tool.CloseByButton());
}

// Alt+F4, the taskbar's "close window" and other programs close through the system, not the
// close button: the process must end with its window, or the single-instance mutex it keeps
// would stop every later start.
TEST_F(ToolUiTest, ClosingThroughTheSystemEndsTheProcess) {
    for (const wchar_t* command : {L"close syscommand", L"close message"}) {
        SCOPED_TRACE(WideToUtf8(command));
        RunningTool tool(L"C:\\tvsp-tool-ui\\close");
        ASSERT_TRUE(tool.Start());
        EXPECT_TRUE(tool.CloseBy(command));

        RunningTool again(L"C:\\tvsp-tool-ui\\close", false);
        ASSERT_TRUE(again.Start()) << "no window after closing through the system";
        EXPECT_TRUE(again.CloseByButton());
    }
}

// The ROM check at start-up against the test server: the newest firmware for the watch's model
// with its date and notes; a server that fails gives the failure panel, whose "retry" asks again.
TEST_F(ToolUiTest, RomCheckShowsTheNewestFirmwareAndRetryAsksAgain) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    tvsp::UpdateServerClient server;
    RunningTool tool(L"C:\\tvsp-tool-ui\\romcheck");
    // The model remembered from the last run is the one the first check asks for.
    const std::string data = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
    ASSERT_TRUE(server.Reply("/checkupdate/rom", 500, "down"));
    ASSERT_TRUE(server.ClearRequests());
    ASSERT_TRUE(tool.Start());
    json window;
    ASSERT_TRUE(WaitUntil([&] { return ControlVisible(window = MainWindowSnapshot(), "panel-fail"); }, 30000));
    EXPECT_EQ(ControlTextIn(window, "panel-fail", "label"), "下载版本信息失败,请检查电脑网络");
    EXPECT_TRUE(ControlVisible(window, "retry"));
    EXPECT_FALSE(ControlVisible(window, "back"));
    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "GET /checkupdate/rom HTTP/1.1");

    const std::string reply =
        R"({"watchk8_mt60d_ublox":{"version":"9.9.9"},)"
        R"("Watchk7_mt60d_ublox":{"version":"1.5.0","url":"http://localhost/k7.cab","timestamp":951782400,)"
        "\"logs\":[\"\xE4\xBF\xAE\xE5\xA4\x8D\xE8\x93\x9D\xE7\x89\x99\"]}}";
    ASSERT_TRUE(server.Reply("/checkupdate/rom", 200, reply));
    ASSERT_EQ(Uictl(L"click mainWnd/retry").exitCode, 0u);
    ASSERT_TRUE(WaitUntil([&] {
        window = MainWindowSnapshot();
        return ControlVisible(window, "panel-ready") && ControlText(window, "version") == "1.5.0" &&
               ControlText(window, "Status") == "已连接TarvoSprout";
    }, 30000)) << "detail " << ControlText(window, "detail");
    EXPECT_FALSE(ControlVisible(window, "panel-fail"));
    EXPECT_EQ(ControlText(window, "detail"), "当前固件版本：1.2.3, 可一键升级");
    EXPECT_EQ(ControlText(window, "updatedatevalue"), "2000年02月29日");
    EXPECT_EQ(ControlText(window, "updatelogvalue1"), "1. 修复蓝牙");
    EXPECT_FALSE(ControlVisible(window, "updatelogvalue2"));
    EXPECT_TRUE(ControlVisible(window, "new"));
    EXPECT_TRUE(ControlVisible(window, "updateButton"));
    EXPECT_TRUE(tool.CloseByButton());
    EXPECT_TRUE(server.PointQuietly(tool.File(L"Config.ini")));
}

// The tool's own update: the client check names a newer tool, its signed package is stored as
// the update cabinet and the user asked to restart; the next start applies it.
TEST_F(ToolUiTest, SelfUpdateStoresTheNewerToolAndTheNextStartRunsIt) {
    VWATCH_OK(watch.Unplug());
    tvsp::UpdateServerClient server;
    RunningTool tool(L"C:\\tvsp-tool-ui\\selfupdate");
    const std::wstring package = GetOwnDirectory() + L"\\tool_test_data\\newer.cab";
    ASSERT_TRUE(server.File("/client/newer.cab", WideToUtf8(package)));
    ASSERT_TRUE(server.Reply("/checkupdate/pc", 200,
                             "<result><updateinfo><version>9.9.9</version><url>" +
                                 tvsp::UpdateServerClient::HttpUrl("/client/newer.cab") + "</url></updateinfo></result>"));
    const std::string data = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\n";
    ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
    ASSERT_TRUE(server.ClearRequests());
    ASSERT_TRUE(tool.Start());
    EXPECT_EQ(AnswerMessageBox(), "检测到新版本，请重启Sprout以便完成升级。");
    std::string stored, original;
    EXPECT_EQ(ReadWholeFile(tool.File(L"update\\updatefiles.cab"), 64 << 20, stored), FileReadResult::Ok);
    ASSERT_EQ(ReadWholeFile(package, 64 << 20, original), FileReadResult::Ok);
    EXPECT_TRUE(stored == original) << "the cabinet is not the package byte for byte";
    bool found = false;
    for (const std::string& request : server.Requests()) {
        const std::string line = request.substr(0, request.find("\r\n"));
        if (line.rfind("GET /checkupdate/pc?", 0) != 0) continue;
        found = true;
        const std::size_t pid = line.find("pid="), ver = line.find("&ver=");
        ASSERT_NE(pid, std::string::npos);
        ASSERT_NE(ver, std::string::npos);
        EXPECT_EQ(ver - (pid + 4), 32u) << line;  // MD5 as 32 hexadecimal digits
        EXPECT_EQ(line.substr(ver), "&ver=" + WideToUtf8(GetFileVersionString(tool.File(L"tarvosprout.exe"), true)) +
                                        " HTTP/1.1");
    }
    EXPECT_TRUE(found) << "no client check reached the server";

    // With the cabinet waiting, "jiancegengxin" asks for a restart without asking the server.
    ASSERT_TRUE(server.ClearRequests());
    ASSERT_EQ(Uictl(L"click mainWnd/ToolsBtn").exitCode, 0u);
    ASSERT_EQ(Uictl(L"click mainWnd/jiancegengxin").exitCode, 0u);
    EXPECT_EQ(AnswerMessageBox(), "请重启Sprout以便完成升级。");
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(tool.CloseByButton());
    ASSERT_TRUE(server.Reply("/checkupdate/pc", 404, ""));

    // The next start applies the update and hands over to the newer program.
    std::wstring commandLine = L"\"" + tool.File(L"tarvosprout.exe") + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesW(tool.File(L"started.txt").c_str()) != INVALID_FILE_ATTRIBUTES; },
                          30000)) << "the newer program did not start";
    EXPECT_EQ(GetFileVersionString(tool.File(L"tarvosprout.exe"), true), L"9.9.9.9");
    EXPECT_EQ(::GetFileAttributesW(tool.File(L"sproutdata.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}
