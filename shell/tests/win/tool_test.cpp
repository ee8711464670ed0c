// The real tarvosprout.exe under Wine: single instance, dependency modules, pending update cabinets.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/program_files.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "device/system_utils.h"
#include "device/version.h"
#include "shell/startup.h"
#include "testing/uictl/message_boxes.h"
#include "testing/update-server/client/update_server_client.h"
#include "testing/wine/test_files.h"

using tvsp::Exists;
using tvsp::ReadAll;

using namespace TVSP;

namespace {

std::wstring BuildFolder() { return GetOwnDirectory() + L"\\.."; }
std::wstring ProgramFolder() { return BuildFolder() + L"\\program"; }
std::wstring DataFolder() { return GetOwnDirectory() + L"\\tool_test_data"; }


bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(50);
    }
    return true;
}

bool SingleInstanceMutexExists() {
    HANDLE h = ::OpenMutexW(SYNCHRONIZE, FALSE, kToolInstanceMutexName);
    if (!h) return false;
    ::CloseHandle(h);
    return true;
}

// A fresh copy of the build's program folder, removed afterwards.
class Installation {
public:
    explicit Installation(const wchar_t* name) : dir_(std::wstring(L"C:\\tvsp-tool-tests\\") + name) {
        DeleteDirectory(dir_);
        CopyDirectory(ProgramFolder(), dir_);
        // A fresh installation: nothing remembered from runs in the build's own folder.
        ::DeleteFileW(File(L"sproutdata.ini").c_str());
        DeleteDirectory(File(L"update"));
        tvsp::UpdateServerClient server;
        EXPECT_TRUE(server.PointQuietly(File(L"Config.ini")));
    }
    ~Installation() { DeleteDirectory(dir_); }
    const std::wstring& Dir() const { return dir_; }
    std::wstring File(const wchar_t* name) const { return dir_ + L"\\" + name; }

private:
    std::wstring dir_;
};

// One run of the tool; ended (terminated if need be) when the object goes.
class ToolProcess {
public:
    explicit ToolProcess(const std::wstring& folder) {
        std::wstring commandLine = L"\"" + folder + L"\\tarvosprout.exe\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started_ = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    folder.c_str(), &si, &pi_) != FALSE;
    }
    ~ToolProcess() {
        if (!started_) return;
        if (::WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(pi_.hProcess, 99);
            ::WaitForSingleObject(pi_.hProcess, 10000);
        }
        ::CloseHandle(pi_.hThread);
        ::CloseHandle(pi_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Id() const { return pi_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it has not ended within timeoutMs.
    DWORD WaitExit(DWORD timeoutMs) const {
        ::WaitForSingleObject(pi_.hProcess, timeoutMs);
        DWORD code = STILL_ACTIVE;
        ::GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    bool HasVisibleWindow() const {
        struct Search {
            DWORD pid;
            bool found;
        } search{pi_.dwProcessId, false};
        ::EnumWindows(
            [](HWND hwnd, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);
                DWORD pid = 0;
                ::GetWindowThreadProcessId(hwnd, &pid);
                wchar_t cls[64] = {};
                ::GetClassNameW(hwnd, cls, 64);
                if (pid == s->pid && ::IsWindowVisible(hwnd) && std::wstring(cls) == L"UiFeatureWindow") s->found = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

void FlipByteInTheMiddle(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const DWORD size = ::GetFileSize(file, nullptr);
    ::SetFilePointer(file, static_cast<LONG>(size / 2), nullptr, FILE_BEGIN);
    unsigned char byte = 0;
    DWORD n = 0;
    ::ReadFile(file, &byte, 1, &n, nullptr);
    byte ^= 0x5A;
    ::SetFilePointer(file, static_cast<LONG>(size / 2), nullptr, FILE_BEGIN);
    ::WriteFile(file, &byte, 1, &n, nullptr);
    ::CloseHandle(file);
}


void WriteText(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size()));
}

void PlaceUpdateCabinet(const Installation& install, const wchar_t* cabinet) {
    ::CreateDirectoryW(install.File(L"update").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW((DataFolder() + L"\\" + cabinet).c_str(), install.File(L"update\\updatefiles.cab").c_str(),
                            FALSE));
}

const char kDataFile[] = "[watch]\r\nmodel=watchk7_mt60d_ublox\r\nversion=1.2.3\r\n";

}  // namespace

// Files under folder, named relative to the program folder ("driver\\InstallDriver.exe").
void ListFilesUnder(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    ASSERT_TRUE(find) << folder;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            files.push_back(prefix + name);
        } else if (!(prefix.empty() && name == ProgramFiles::kUpdateFolder)) {  // made by a self-update
            ListFilesUnder(folder + L"\\" + name, prefix + name + L"\\", files);
        }
    } while (::FindNextFileW(find.get(), &found));
}

// The build lays out program/ from the list in base/program_files.h; the table the tool and the
// installer read must name exactly those files.
TEST(ProgramFolder, HoldsExactlyTheShippedFiles) {
    std::vector<std::wstring> present;
    ListFilesUnder(ProgramFolder(), L"", present);
    // Files the tool writes while it runs (tests run it in place) are not shipped ones.
    std::erase(present, std::wstring(ProgramFiles::kDataFile));
    std::vector<std::wstring> shipped(std::begin(ProgramFiles::kShipped), std::end(ProgramFiles::kShipped));
    std::sort(present.begin(), present.end());
    std::sort(shipped.begin(), shipped.end());
    EXPECT_EQ(present, shipped);
}

TEST(ToolProcess, SecondStartEndsSilently) {
    Installation install(L"single");
    ToolProcess first(install.Dir());
    ASSERT_TRUE(first.Started());
    ASSERT_TRUE(WaitFor([&] { return first.HasVisibleWindow(); }, 30000)) << "the first instance shows no window";
    EXPECT_TRUE(SingleInstanceMutexExists());

    ToolProcess second(install.Dir());
    ASSERT_TRUE(second.Started());
    EXPECT_NE(second.WaitExit(20000), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_FALSE(second.HasVisibleWindow());
    EXPECT_TRUE(tvsp::FindMessageBoxes(second.Id()).empty());
    EXPECT_EQ(first.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));
}

TEST(ToolProcess, EachInvalidDependencyShowsItsOwnMessage) {
    for (const auto& module : kDependencyModules) {
        for (bool tamper : {false, true}) {
            SCOPED_TRACE(std::wstring(module.fileName) + (tamper ? L" tampered" : L" missing"));
            Installation install(L"deps");
            if (tamper) {
                FlipByteInTheMiddle(install.File(module.fileName));
            } else {
                ASSERT_TRUE(::DeleteFileW(install.File(module.fileName).c_str()));
            }
            ToolProcess tool(install.Dir());
            ASSERT_TRUE(tool.Started());
            std::vector<tvsp::OpenMessageBox> boxes;
            ASSERT_TRUE(WaitFor([&] { return !(boxes = tvsp::FindMessageBoxes(tool.Id())).empty(); }, 30000));
            EXPECT_EQ(boxes[0].caption, L"TarvoSprout");
            EXPECT_EQ(boxes[0].text, module.message);
            ASSERT_EQ(boxes[0].buttons.size(), 1u);
            EXPECT_EQ(boxes[0].buttons[0].name, "OK");
            EXPECT_FALSE(tool.HasVisibleWindow());
            ASSERT_TRUE(tvsp::PressMessageBoxButton(boxes[0], "OK"));
            const DWORD code = tool.WaitExit(20000);
            EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE));
            EXPECT_NE(code, 0u);
            EXPECT_FALSE(SingleInstanceMutexExists());
        }
    }
}

TEST(ToolProcess, RejectedUpdateCabinetIsDeletedAndTheToolStarts) {
    for (const wchar_t* cabinet : {L"newer-unsigned.cab", L"newer-tampered.cab"}) {
        SCOPED_TRACE(cabinet);
        Installation install(L"rejected");
        PlaceUpdateCabinet(install, cabinet);
        WriteText(install.File(L"sproutdata.ini"), kDataFile);
        ToolProcess tool(install.Dir());
        ASSERT_TRUE(WaitFor([&] { return tool.HasVisibleWindow(); }, 30000));
        EXPECT_FALSE(Exists(install.File(L"update\\updatefiles.cab")));
        EXPECT_FALSE(Exists(install.File(L"update\\tarvosprout.exe")));  // never extracted
        EXPECT_EQ(GetFileVersionString(install.File(L"tarvosprout.exe"), true), L"1.0.0.0");
        EXPECT_EQ(ReadAll(install.File(L"sproutdata.ini")), kDataFile);
    }
}

TEST(ToolProcess, SameVersionUpdateIsDiscarded) {
    Installation install(L"same");
    PlaceUpdateCabinet(install, L"same.cab");
    WriteText(install.File(L"sproutdata.ini"), kDataFile);
    ToolProcess tool(install.Dir());
    ASSERT_TRUE(WaitFor([&] { return tool.HasVisibleWindow(); }, 30000));
    EXPECT_FALSE(Exists(install.File(L"update")));
    EXPECT_FALSE(Exists(install.File(L"started.txt")));
    EXPECT_EQ(ReadAll(install.File(L"sproutdata.ini")), kDataFile);
}

TEST(ToolProcess, PartlyExtractedUpdateIsDiscarded) {
    Installation install(L"partial");
    PlaceUpdateCabinet(install, L"newer.cab");
    // The cabinet's second member cannot be written: a folder stands where the file would go.
    ASSERT_TRUE(::CreateDirectoryW(install.File(L"update\\extra.txt").c_str(), nullptr));
    WriteText(install.File(L"sproutdata.ini"), kDataFile);
    ToolProcess tool(install.Dir());
    ASSERT_TRUE(WaitFor([&] { return tool.HasVisibleWindow(); }, 30000)) << "the tool did not start normally";
    EXPECT_FALSE(Exists(install.File(L"update")));
    EXPECT_EQ(GetFileVersionString(install.File(L"tarvosprout.exe"), true), L"1.0.0.0");
    EXPECT_FALSE(Exists(install.File(L"extra.txt")));
    EXPECT_FALSE(Exists(install.File(L"sub")));
    EXPECT_EQ(ReadAll(install.File(L"sproutdata.ini")), kDataFile);
}

// Wine will not start a program whose path exceeds 260 characters, so the refusal is shown
// in-process: the same function start-up calls with the folder it got.
TEST(StartupSteps, NoProgramFolderRefusesToStartAndBuildsNoPath) {
    EXPECT_FALSE(RefuseToStartWithoutProgramFolder(L"C:\\tvsp"));
    EXPECT_TRUE(tvsp::FindMessageBoxes(::GetCurrentProcessId()).empty());

    std::vector<tvsp::OpenMessageBox> boxes;
    std::thread answer([&] {
        WaitFor([&] { return !(boxes = tvsp::FindMessageBoxes(::GetCurrentProcessId())).empty(); }, 20000);
        if (!boxes.empty()) tvsp::PressMessageBoxButton(boxes[0], "OK");
    });
    EXPECT_TRUE(RefuseToStartWithoutProgramFolder(L""));
    answer.join();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, L"TarvoSprout");
    EXPECT_EQ(boxes[0].text, L"程序所在文件夹的路径过长，无法启动！请将TarvoSprout安装到路径较短的文件夹。");
    ASSERT_EQ(boxes[0].buttons.size(), 1u);
    EXPECT_EQ(boxes[0].buttons[0].name, "OK");

    // The steps before the window never turn an empty folder into "\\update\\..." or "\\tarvosprout.exe".
    int verified = 0;
    const auto verifier = [&](const std::wstring&) { return ++verified, true; };
    EXPECT_EQ(ApplyPendingUpdate(L"", verifier, CurrentUtcTime()), PendingUpdate::None);
    EXPECT_EQ(verified, 0);
    EXPECT_FALSE(StartInstalledTool(L""));
    EXPECT_EQ(ProgramFolderFile(L""), L"");
}

TEST(ToolProcess, NewerUpdateIsAppliedAndStarted) {
    Installation install(L"newer");
    PlaceUpdateCabinet(install, L"newer.cab");
    WriteText(install.File(L"sproutdata.ini"), kDataFile);
    ToolProcess tool(install.Dir());
    EXPECT_EQ(tool.WaitExit(30000), 0u);
    ASSERT_TRUE(WaitFor([&] { return Exists(install.File(L"started.txt")); }, 30000)) << "the new program was not started";
    EXPECT_EQ(GetFileVersionString(install.File(L"tarvosprout.exe"), true), L"9.9.9.9");
    EXPECT_TRUE(Exists(install.File(L"extra.txt")));
    EXPECT_TRUE(Exists(install.File(L"sub\\nested.txt")));
    EXPECT_FALSE(Exists(install.File(L"update")));
    EXPECT_FALSE(Exists(install.File(L"sproutdata.ini")));
    // The new process was started with the installed path, quoted.
    const std::string marker = ReadAll(install.File(L"started.txt"));
    const std::wstring commandLine(reinterpret_cast<const wchar_t*>(marker.data()), marker.size() / sizeof(wchar_t));
    EXPECT_EQ(commandLine, L"\"" + install.Dir() + L"\\tarvosprout.exe\"");
}

TEST(ToolProcess, DataFileThatCannotBeDeletedIsKeptUnderItsBackupName) {
    ::SetFileAttributesW(L"C:\\tvsp-tool-tests\\backup\\sproutdata.ini", FILE_ATTRIBUTE_NORMAL);
    WIN32_FIND_DATAW leftover{};
    HANDLE old = ::FindFirstFileW(L"C:\\tvsp-tool-tests\\backup\\sproutdata-*.ini", &leftover);
    if (old != INVALID_HANDLE_VALUE) {
        do {
            ::SetFileAttributesW((std::wstring(L"C:\\tvsp-tool-tests\\backup\\") + leftover.cFileName).c_str(),
                                 FILE_ATTRIBUTE_NORMAL);
        } while (::FindNextFileW(old, &leftover));
        ::FindClose(old);
    }
    Installation install(L"backup");
    PlaceUpdateCabinet(install, L"newer.cab");
    WriteText(install.File(L"sproutdata.ini"), kDataFile);
    ASSERT_TRUE(::SetFileAttributesW(install.File(L"sproutdata.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    const UtcDateTime before = CurrentUtcTime();
    ToolProcess tool(install.Dir());
    EXPECT_EQ(tool.WaitExit(30000), 0u);
    const UtcDateTime after = CurrentUtcTime();

    EXPECT_FALSE(Exists(install.File(L"sproutdata.ini")));
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW(install.File(L"sproutdata-*.ini").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no backup of the data file";
    ::FindClose(find);
    const std::wstring name = found.cFileName;
    EXPECT_EQ(ReadAll(install.File(name.c_str())), kDataFile);
    // The move keeps the read-only attribute; clear it so the folder can be removed.
    ::SetFileAttributesW(install.File(name.c_str()).c_str(), FILE_ATTRIBUTE_NORMAL);
    // Date in UTC, hour shifted by 8: the name made between the two readings of the clock.
    bool matches = false;
    for (const UtcDateTime& t : {before, after}) {
        wchar_t prefix[64];
        std::swprintf(prefix, 64, L"sproutdata-%d-%d-%d-%d-", t.year, t.month, t.day, (t.hour + 8) % 24);
        matches = matches || name.rfind(prefix, 0) == 0;
    }
    EXPECT_TRUE(matches) << "backup name " << std::string(name.begin(), name.end());
}
