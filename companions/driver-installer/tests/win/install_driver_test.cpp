// InstallDriver.exe under Wine: its arguments, a folder without a package, a broken package, and
// the test package staged into the Windows inf folder and installed on a present device.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win/handle.h"
#include "base/win/setupapi_util.h"
#include "device/system_utils.h"
#include "driver_installer/driver_installer.h"
#include "testing/wine/child_process.h"
#include "testing/wine/port_registration.h"
#include "testing/wine/test_files.h"

namespace {

using namespace TVSP;
using namespace TVSP::DriverInstaller;

constexpr wchar_t kTestInf[] = L"tvsp_test_serial.inf";
constexpr wchar_t kDeviceSerial[] = L"TVSPINSTALLDRIVER";

std::wstring TestPackage() { return GetOwnDirectory() + L"\\..\\companions\\driver-installer\\test-package"; }

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf";
}

// The "*.inf" files of the Windows inf folder that hold exactly these bytes.
std::vector<std::wstring> StagedCopiesOf(const std::string& bytes) {
    std::vector<std::wstring> names;
    for (const std::wstring& name : tvsp::Entries(InfFolder())) {
        const bool inf = name.size() > 4 && ::_wcsicmp(name.c_str() + name.size() - 4, L".inf") == 0;
        if (inf && tvsp::ReadAll(InfFolder() + L"\\" + name) == bytes) names.push_back(name);
    }
    return names;
}

// Removed as the tool's repair removes a package (Wine deletes only when forced), with the
// precompiled ".pnf" that Wine leaves behind.
void UninstallStagedCopies(const std::string& bytes) {
    for (const std::wstring& name : StagedCopiesOf(bytes)) {
        EXPECT_TRUE(::SetupUninstallOEMInfW(name.c_str(), SUOI_FORCEDELETE, nullptr)) << name;
        ::DeleteFileW((InfFolder() + L"\\" + name.substr(0, name.size() - 4) + L".pnf").c_str());
    }
}

tvsp::ProgramRun RunInstaller(const std::wstring& exe, const std::wstring& arguments) {
    return tvsp::RunProgram(L"\"" + exe + L"\"" + arguments, 60000);
}

// A copy of the installer alone in a folder, with whatever a test puts beside it.
class LoneInstaller : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileW((TestPackage() + L"\\InstallDriver.exe").c_str(), exe_.c_str(), FALSE));
    }
    void Put(const wchar_t* name, const std::string& bytes) {
        TVSP::unique_hfile file(::CreateFileW((folder_ / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    tvsp::TempFolder folder_{L"install driver"};
    std::wstring exe_ = folder_ / L"InstallDriver.exe";
};

TEST_F(LoneInstaller, AnythingButTheInstallOptionPrintsUsageAndDoesNothing) {
    const std::string inf = tvsp::ReadAll(TestPackage() + L"\\" + kTestInf);
    Put(kTestInf, inf);
    const std::size_t stagedBefore = StagedCopiesOf(inf).size();
    for (const wchar_t* arguments : {L"", L" -A", L" /a", L" a", L" -ab", L" -a -a", L" -a x"}) {
        const tvsp::ProgramRun run = RunInstaller(exe_, arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitBadArguments)) << arguments;
        EXPECT_EQ(run.errorOutput.rfind("usage: InstallDriver -a", 0), 0u) << run.errorOutput;
    }
    EXPECT_EQ(StagedCopiesOf(inf).size(), stagedBefore);
}

TEST_F(LoneInstaller, WithoutAnInfBesideItExitsTwo) {
    // Neither a longer extension nor a folder named like an INF is a package.
    Put(L"notes.info", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    ASSERT_TRUE(::CreateDirectoryW((folder_ / L"old.inf").c_str(), nullptr));
    const tvsp::ProgramRun run = RunInstaller(exe_, L" -a");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitNoPackage));
    EXPECT_NE(run.errorOutput.find("no driver package"), std::string::npos) << run.errorOutput;
}

TEST_F(LoneInstaller, AnInfTheSetupApiRefusesExitsThreeWithItsError) {
    Put(L"broken.inf", "this is no INF\r\n");
    const tvsp::ProgramRun run = RunInstaller(exe_, L" -a");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitSetupFailed));
    EXPECT_NE(run.errorOutput.find("broken.inf failed (error 0x"), std::string::npos) << run.errorOutput;
}

// The build's test package, with a present device of its hardware id made in the prefix. (Any
// other present device of that id in the prefix is bound to the package too, as on Windows.)
class TestPackageInstall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(inf_, "<missing>");
        UninstallStagedCopies(inf_);  // left by an interrupted run
        std::wstring error;
        ASSERT_TRUE(tvsp::rig::AddPortDevice(0, kDeviceSerial, tvsp::rig::kWatchHardwareId, &error)) << error;
        deviceMade_ = true;
    }
    void TearDown() override {
        if (deviceMade_) tvsp::rig::RemovePortDevice(kDeviceSerial, nullptr);
        UninstallStagedCopies(inf_);
    }
    // The service the device is bound to, empty when none.
    static std::wstring DeviceService() {
        unique_hdevinfo set(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!set || !::SetupDiOpenDeviceInfoW(set.get(), tvsp::rig::WatchInstanceId(kDeviceSerial).c_str(), nullptr,
                                              0, &device))
            return L"<no device>";
        const std::vector<std::wstring> service = ReadMultiSzProperty(set.get(), &device, SPDRP_SERVICE);
        return service.empty() ? std::wstring() : service.front();
    }

    std::string inf_ = tvsp::ReadAll(TestPackage() + L"\\" + kTestInf);
    bool deviceMade_ = false;
};

TEST_F(TestPackageInstall, StagesTheInfAndBindsThePresentDevice) {
    ASSERT_EQ(DeviceService(), L"");
    const tvsp::ProgramRun run = RunInstaller(TestPackage() + L"\\InstallDriver.exe", L" -a");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitInstalled)) << run.errorOutput;
    EXPECT_EQ(run.errorOutput, "");
    // Windows names the staged copy oem<N>.inf; Wine 8 keeps the package's own name.
    const std::vector<std::wstring> staged = StagedCopiesOf(inf_);
    ASSERT_EQ(staged.size(), 1u);
    EXPECT_TRUE(staged[0].rfind(L"oem", 0) == 0 || staged[0] == kTestInf) << staged[0];
    EXPECT_EQ(DeviceService(), L"usbser");

    // Again: the package is already staged, the device already bound; neither is a failure.
    const tvsp::ProgramRun again = RunInstaller(TestPackage() + L"\\InstallDriver.exe", L" -a");
    EXPECT_EQ(again.exitCode, static_cast<DWORD>(kExitInstalled)) << again.errorOutput;
    EXPECT_EQ(StagedCopiesOf(inf_).size(), 1u);
}

}  // namespace
