// The real tarvosprout.exe under test: a copy of the program folder with the tool running in it,
// uictl.exe to drive it, and readers of its snapshot.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "testing/uictl/uictl_runner.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "base/win/file_io.h"
#include "base/win/strings.h"
#include "device/system_utils.h"
#include "testing/update-server/client/update_server_client.h"
#include "testing/wine/test_watchdog.h"
#include "testing/wine/window_capture.h"

namespace tvsp_test {

using nlohmann::json;
using TVSP::GetOwnDirectory;
using TVSP::DeleteDirectory;
using TVSP::CopyDirectory;

inline constexpr wchar_t kPipe[] = L"tvsp-tool-ui-test";

inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(100);
    }
    return true;
}

// Runs uictl.exe against the tool's pipe; its exit code and output.
using tvsp::UictlResult;
inline UictlResult Uictl(const std::wstring& arguments) {
    return tvsp::RunUictl(GetOwnDirectory() + L"\\..\\testing\\uictl\\uictl.exe", kPipe, arguments);
}

// The control of a snapshot window by name, searched depth first; null when absent.
inline const json* FindControl(const json& controls, const std::string& name) {
    return tvsp::FindSnapshotControl(controls, name);
}

// One snapshot of "mainWnd"; empty when the tool does not answer yet.
inline json MainWindowSnapshot() { return tvsp::SnapshotWindow(Uictl(L"snapshot"), "mainWnd"); }

inline std::string ControlText(const json& window, const std::string& name) {
    const json* c = window.is_object() && window.contains("controls") ? FindControl(window["controls"], name) : nullptr;
    return c && c->contains("text") && (*c)["text"].is_string() ? (*c)["text"].get<std::string>() : "<missing>";
}

// The text of a control inside a panel: "label" also names a control of another panel.
inline std::string ControlTextIn(const json& window, const std::string& panel, const std::string& name) {
    const json* p = window.is_object() && window.contains("controls") ? FindControl(window["controls"], panel) : nullptr;
    const json* c = p && p->contains("children") ? FindControl((*p)["children"], name) : nullptr;
    return c && c->contains("text") && (*c)["text"].is_string() ? (*c)["text"].get<std::string>() : "<missing>";
}

inline bool ControlVisible(const json& window, const std::string& name) {
    const json* c = window.is_object() && window.contains("controls") ? FindControl(window["controls"], name) : nullptr;
    return c && c->contains("visible") && (*c)["visible"].is_boolean() && (*c)["visible"].get<bool>();
}

// A copy of the build's program folder with the tool running in it, automation on.
class RunningTool {
public:
    explicit RunningTool(const std::wstring& dir, bool fresh = true) : dir_(dir) {
        if (fresh) {
            DeleteDirectory(dir_);
            CopyDirectory(GetOwnDirectory() + L"\\..\\program", dir_);
            // A fresh installation: nothing remembered from runs in the build's own folder.
            ::DeleteFileW(File(L"sproutdata.ini").c_str());
            DeleteDirectory(File(L"update"));
            tvsp::UpdateServerClient server;
            EXPECT_TRUE(server.PointQuietly(File(L"Config.ini")));
        }
    }
    ~RunningTool() {
        tvsp::RemoveHangReport(hangReport_);
        Stop();
    }

    bool Start() {
        ::SetEnvironmentVariableW(L"TVSP_AUTOMATION", kPipe);
        std::wstring commandLine = L"\"" + dir_ + L"\\tarvosprout.exe\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi_)) {
            return false;
        }
        // A hanging test shows what the tool showed then, or that it no longer answered.
        if (hangReport_ == 0) hangReport_ = tvsp::AddHangReport([] {
            const UictlResult snapshot = Uictl(L"snapshot");
            std::printf("hang: the tool's snapshot (uictl exit %lu):\n%.4000s\n", snapshot.exitCode, snapshot.output.c_str());
        });
        return WaitUntil([] { return !MainWindowSnapshot().is_null(); }, 30000);
    }
    // Closes the tool through its close button; success when it ended by itself, else why not.
    ::testing::AssertionResult CloseByButton() { return CloseBy(L"click mainWnd/TB_ClostBtn"); }
    // Closes the tool with a uictl command from another process; success when it ended by itself.
    ::testing::AssertionResult CloseBy(const std::wstring& uictlCommand) {
        if (!pi_.hProcess) return ::testing::AssertionSuccess();
        UictlResult sent = Uictl(uictlCommand);
        // A uictl that never started (a rare Wine start that stalls) delivered nothing: once more.
        if (sent.exitCode == 0xFFFFFFFF && ::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            sent = Uictl(uictlCommand);
        }
        // Ended by itself and cleanly: a crash on the way out also ends the process.
        const bool ended = ::WaitForSingleObject(pi_.hProcess, 20000) == WAIT_OBJECT_0;
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(pi_.hProcess, &code);
        std::string shown;
        if (!ended) shown = Uictl(L"snapshot").output.substr(0, 3000);
        Stop();
        if (ended && code == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << (ended ? "the tool ended with exit code " + std::to_string(code) : std::string("the tool still ran after 20 s"))
               << "; uictl exit " << sent.exitCode << ": " << sent.output.substr(0, 500)
               << (shown.empty() ? "" : "; it showed: " + shown);
    }
    void Stop() {
        if (!pi_.hProcess) return;
        if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(pi_.hProcess, 99);
            ::WaitForSingleObject(pi_.hProcess, 10000);
        }
        ::CloseHandle(pi_.hThread);
        ::CloseHandle(pi_.hProcess);
        pi_ = PROCESS_INFORMATION{};
    }
    std::wstring File(const wchar_t* name) const { return dir_ + L"\\" + name; }
    // Whether the running tool has loaded a module of that file name.
    bool HasLoaded(const wchar_t* module) const {
        HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pi_.dwProcessId);
        if (snapshot == INVALID_HANDLE_VALUE) return false;
        MODULEENTRY32W entry{};
        entry.dwSize = sizeof entry;
        bool found = false;
        for (BOOL more = ::Module32FirstW(snapshot, &entry); more && !found; more = ::Module32NextW(snapshot, &entry)) {
            found = ::_wcsicmp(entry.szModule, module) == 0;
        }
        ::CloseHandle(snapshot);
        return found;
    }

private:
    std::wstring dir_;
    PROCESS_INFORMATION pi_{};
    int hangReport_ = 0;
};


// The message box the tool shows now, pressed with OK; its text or "<none>".
inline std::string AnswerMessageBox(DWORD timeoutMs = 20000) {
    std::string text = "<none>";
    WaitUntil([&] {
        const json boxes = json::parse(Uictl(L"msgbox").output, nullptr, false);
        if (!boxes.is_object() || !boxes.contains("boxes") || !boxes["boxes"].is_array() || boxes["boxes"].empty()) {
            return false;
        }
        text = boxes["boxes"][0].value("text", std::string());
        return true;
    }, timeoutMs);
    Uictl(L"msgbox-press OK");
    return text;
}


// One value of an INI file, as UTF-8 ("" when absent).
inline std::string ReadIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t value[512] = {};
    ::GetPrivateProfileStringW(section, key, L"", value, 512, file.c_str());
    return TVSP::WideToUtf8(value);
}

// Saves the tool's main window as out/screenshots/<name>.png when screenshots are on.
// True when one was saved.
inline bool SaveToolScreenshot(const wchar_t* name) {
    const std::wstring folder = tvsp::ScreenshotFolder();
    if (folder.empty()) return false;
    const json window = MainWindowSnapshot();
    if (!window.is_object() || !window.contains("hwnd") || !window["hwnd"].is_string()) return false;
    HWND hwnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(
        std::stoull(window["hwnd"].get<std::string>(), nullptr, 16)));
    tvsp::GdiplusSession gdiplus;
    return gdiplus.Ok() && tvsp::SaveWindowPng(hwnd, folder + L"\\" + name + L".png");
}

}  // namespace tvsp_test
