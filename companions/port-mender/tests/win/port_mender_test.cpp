// PortMender.exe under Wine: run by hand, and as a real service the service manager starts.
#include <windows.h>
#include <cfgmgr32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "device/system_utils.h"
#include "port_mender/port_mender.h"
#include "testing/wine/child_process.h"
#include "testing/wine/test_files.h"

namespace {

using namespace TVSP;

constexpr wchar_t kTestService[] = L"PortMenderTest";

// The same request made from here. Wine 8 answers CR_FAILURE (its calls are stubs), Windows
// CR_SUCCESS to an administrator; the program must hand on whichever the system gives.
CONFIGRET SystemAnswer() {
    DEVINST root = 0;
    const CONFIGRET located = ::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    return located != CR_SUCCESS ? located : ::CM_Reenumerate_DevNode(root, CM_REENUMERATE_SYNCHRONOUS);
}

std::string RecordLine(const char* run, CONFIGRET result) {
    char line[64];
    std::snprintf(line, sizeof line, "run=%s reenumerate=0x%08lX\r\n", run, static_cast<unsigned long>(result));
    return line;
}

// A copy of the built program in a folder whose name holds a space, with a stale record beside it
// that every run must replace.
class PortMenderCopy : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring built = GetOwnDirectory() + L"\\..\\companions\\port-mender\\PortMender.exe";
        ASSERT_TRUE(::CopyFileW(built.c_str(), exe_.c_str(), FALSE)) << "no PortMender.exe at " << built;
        const std::string stale = "run=service reenumerate=0xFFFFFFFF\r\nan older, longer record\r\n";
        ASSERT_TRUE(WriteWholeFile(record_, stale.data(), stale.size()));
    }
    void TearDown() override {
        // A service's process may still be ending after it reported the stop.
        for (int i = 0; i < 100 && tvsp::Exists(exe_) && !::DeleteFileW(exe_.c_str()); ++i) ::Sleep(100);
    }
    // Nothing but the program and its record: no temporary file left from writing the record.
    std::vector<std::wstring> FolderEntries() const {
        std::vector<std::wstring> names = tvsp::Entries(folder_.path());
        std::sort(names.begin(), names.end());
        return names;
    }

    tvsp::TempFolder folder_{L"port mender"};
    std::wstring exe_ = folder_ / L"PortMender.exe";
    std::wstring record_ = folder_ / PortMender::kRecordFile;
};

TEST_F(PortMenderCopy, RunByHandExitsWithTheResultAndRecordsIt) {
    const CONFIGRET expected = SystemAnswer();
    const tvsp::ProgramRun run = tvsp::RunProgram(L"\"" + exe_ + L"\"", 60000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(expected));
    EXPECT_EQ(tvsp::ReadAll(record_), RecordLine("manual", expected));
    EXPECT_EQ(FolderEntries(), (std::vector<std::wstring>{L"PortMender.exe", PortMender::kRecordFile}));
}

TEST_F(PortMenderCopy, AsAServiceStopsWithTheResultAndRecordsIt) {
    unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    ASSERT_TRUE(manager) << ::GetLastError();
    // One left by an interrupted run would make the creation fail.
    if (unique_schandle stale{::OpenServiceW(manager.get(), kTestService, DELETE)}) ::DeleteService(stale.get());

    const std::wstring command = L"\"" + exe_ + L"\"";  // the folder's space needs the quotes
    unique_schandle service(::CreateServiceW(manager.get(), kTestService, kTestService, SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                             command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(service) << ::GetLastError();
    struct Deletion {
        SC_HANDLE service;
        ~Deletion() { ::DeleteService(service); }
    } deletion{service.get()};

    const CONFIGRET expected = SystemAnswer();
    ASSERT_TRUE(::StartServiceW(service.get(), 0, nullptr)) << ::GetLastError();
    SERVICE_STATUS status{};
    const DWORD start = ::GetTickCount();
    while (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
           ::GetTickCount() - start < 30000) {
        ::Sleep(100);
    }
    ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    if (expected == CR_SUCCESS) {
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    } else {
        EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
        EXPECT_EQ(status.dwServiceSpecificExitCode, static_cast<DWORD>(expected));
    }
    EXPECT_EQ(tvsp::ReadAll(record_), RecordLine("service", expected));
}

}  // namespace
