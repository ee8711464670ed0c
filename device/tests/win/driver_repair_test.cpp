// The driver repair under Wine. The launcher registers this program once per Windows version,
// each in a prefix of that version, and names it in TVSP_WINDOWS_VERSION: the RealSystem cases
// run the branch of that version in the prefix's own Windows folder. The other cases give the
// version (and 32-bit systems, which cannot run here) through the environment and a Windows
// folder of their own; services, processes and the registry are always the prefix's real ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"
#include "device/driver_repair.h"
#include "device/vendor_installer.h"
#include "testing/wine/test_files.h"

namespace TVSP {
namespace {

using tvsp::Exists;
using tvsp::ReadAll;
using tvsp::TempFolder;
using Family = WindowsFamily;
using Outcome = DriverRepairOutcome;

constexpr wchar_t kAssociations[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Associations";
const wchar_t* const kClassDriverFolders[] = {L"win7_32", L"win7_64", L"win8_32", L"win8_64", L"win81_32", L"win81_64"};

std::string Marker(const std::wstring& folder) { return "test marker, not a driver: " + WideToUtf8(folder); }

void Put(const std::wstring& path, const std::string& text) {
    ASSERT_TRUE(WriteWholeFile(path, text.data(), text.size())) << WideToUtf8(path);
}

bool WaitFor(const std::function<bool()>& condition, DWORD ms = 20000) {
    for (DWORD waited = 0; !condition(); waited += 50) {
        if (waited >= ms) return false;
        ::Sleep(50);
    }
    return true;
}

// The tool folder as the installer lays it out, under "Program Files" with a space in its name,
// and beside that folder a "Program.exe" where an unquoted path would find it first.
struct Tool {
    explicit Tool(const wchar_t* repairProgram = L"signed", bool installer = true) {
        for (const wchar_t* sub : {L"Program Files", L"Program Files\\Tarvo Sprout", L"Program Files\\Tarvo Sprout\\driver"}) {
            ::CreateDirectoryW((root / sub).c_str(), nullptr);  // checked by the copies below
        }
        for (const wchar_t* folder : kClassDriverFolders) {
            ::CreateDirectoryW((*this / folder).c_str(), nullptr);
            Put(*this / folder + L"\\usbser.sys", Marker(folder));
        }
        Put(*this / L"usbser.sys", Marker(L"older systems"));
        const std::wstring data = GetOwnDirectory() + L"\\driver_repair_data\\";
        EXPECT_TRUE(::CopyFileW((data + L"signed\\PortMender.exe").c_str(), (root / L"Program.exe").c_str(), FALSE));
        if (installer) {
            EXPECT_TRUE(::CopyFileW((data + L"driver_repair_test_fixture.exe").c_str(), Installer().c_str(), FALSE));
        }
        if (repairProgram) {
            EXPECT_TRUE(::CopyFileW((data + repairProgram + L"\\PortMender.exe").c_str(), (*this / L"PortMender.exe").c_str(), FALSE));
        }
    }
    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }
    std::wstring Installer() const { return *this / L"driver\\InstallDriver.exe"; }
    std::string Record() const { return ReadAll(*this / L"driver\\installer-record.txt"); }
    // The decoy ran: something was started by an unquoted path.
    bool DecoyRan() const { return Exists(root / L"service-ran.txt") || Exists(root / L"process-ran.txt"); }

    TempFolder root{L"repair"};
    const std::wstring path = root / L"Program Files\\Tarvo Sprout";
};

// A Windows folder of our own, laid out as the repair expects it.
struct FakeWindows {
    FakeWindows() {
        for (const wchar_t* sub : {L"inf", L"System32", L"System32\\drivers"}) ::CreateDirectoryW((dir / sub).c_str(), nullptr);
    }
    TempFolder dir{L"repair windows"};
};

// Fakes of the redirection functions: calls, and what the copy's target held at each.
struct RedirectionLog {
    BOOL disableResult = TRUE;
    int disables = 0;
    int reverts = 0;
    PVOID revertedWith = nullptr;
    std::wstring target;
    std::string targetAtDisable;
    std::string targetAtRevert;
} g_redirection;

BOOL WINAPI FakeDisable(PVOID* old) {
    ++g_redirection.disables;
    g_redirection.targetAtDisable = ReadAll(g_redirection.target);
    *old = reinterpret_cast<PVOID>(0x5A);
    return g_redirection.disableResult;
}

BOOL WINAPI FakeRevert(PVOID old) {
    ++g_redirection.reverts;
    g_redirection.revertedWith = old;
    g_redirection.targetAtRevert = ReadAll(g_redirection.target);
    return TRUE;
}

DriverRepairEnvironment Env(Family family, bool x64, const Tool& tool, const std::wstring& windows) {
    DriverRepairEnvironment env;
    env.family = family;
    env.nativeX64 = x64;
    env.toolDirectory = tool.path;
    env.windowsDirectory = windows;
    env.redirection = FsRedirectionFunctions{FakeDisable, FakeRevert};
    g_redirection = RedirectionLog{};
    g_redirection.target = windows + L"\\System32\\drivers\\usbser.sys";
    return env;
}

struct RegValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const RegValue&) const = default;
};

RegValue ReadPromptValue() {
    RegValue value;
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kAssociations, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return value;
    DWORD size = 1024;
    value.bytes.assign(size, 0);
    value.present = ::RegQueryValueExW(key.get(), L"ModRiskFileTypes", nullptr, &value.type, value.bytes.data(), &size) == ERROR_SUCCESS;
    value.bytes.resize(value.present ? size : 0);
    if (!value.present) value.type = REG_NONE;
    return value;
}

bool KeyPresent(const std::wstring& path) {
    unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

unique_schandle Manager() { return unique_schandle(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

bool ServiceExists() {
    const auto manager = Manager();
    return unique_schandle(::OpenServiceW(manager.get(), L"PortMender", SERVICE_QUERY_STATUS)).get() != nullptr;
}

// Removes a "PortMender" an earlier, broken run left, and waits until it is gone.
void RemoveService() {
    const auto manager = Manager();
    unique_schandle service(::OpenServiceW(manager.get(), L"PortMender", DELETE));
    if (service) ::DeleteService(service.get());  // gone or going either way
    service.reset();
    EXPECT_TRUE(WaitFor([] { return !ServiceExists(); })) << "a PortMender service stays";
}

class DriverRepair : public testing::Test {
protected:
    void SetUp() override { RemoveService(); }
    void TearDown() override { RemoveService(); }
};

// ---- the running system, in a prefix of the version the launcher names ----

struct VersionRow {
    const char* name;
    Family family;
    const wchar_t* setupLog;  // below the Windows folder; null: left alone
    const wchar_t* source;    // whose marker the system's driver holds afterwards; null: none copied
    bool overwrites;
    bool repairService;       // no port: the repair program runs as a service
};
const VersionRow kVersions[] = {
    {"win7", Family::Windows7, L"inf\\setupapi.dev.log", L"win7_64", true, true},
    {"win8", Family::Windows8, L"inf\\setupapi.dev.log", L"win8_64", true, true},
    {"win81", Family::Windows81, L"inf\\setupapi.dev.log", L"win81_64", true, true},
    {"win10", Family::Windows10OrLater, nullptr, nullptr, false, false},
    {"winxp64", Family::PreVista, L"setupapi.log", L"older systems", false, false},
};

const VersionRow* ThisVersion() {
    char name[32] = {};
    const DWORD n = ::GetEnvironmentVariableA("TVSP_WINDOWS_VERSION", name, sizeof(name));
    if (n == 0 || n >= sizeof(name)) return nullptr;
    for (const VersionRow& row : kVersions) {
        if (std::string(name) == row.name) return &row;
    }
    ADD_FAILURE() << "unknown TVSP_WINDOWS_VERSION " << name;
    return nullptr;
}

// Files of the prefix's system folders a case writes: their earlier bytes put back, or removed.
class SystemFiles {
public:
    explicit SystemFiles(const std::wstring& windows) {
        for (const wchar_t* name : {L"inf\\setupapi.dev.log", L"inf\\setupapi.dev.log.bak", L"setupapi.log",
                                    L"setupapi.log.bak", L"System32\\drivers\\usbser.sys"}) {
            const std::wstring path = windows + L"\\" + name;
            saved_.push_back({path, Exists(path) ? std::optional(ReadAll(path)) : std::nullopt});
        }
    }
    ~SystemFiles() {
        for (const auto& [path, bytes] : saved_) {
            if (bytes) {
                Put(path, *bytes);
            } else {
                ::DeleteFileW(path.c_str());  // its result is checked just below
                EXPECT_FALSE(Exists(path)) << WideToUtf8(path);
            }
        }
    }

private:
    std::vector<std::pair<std::wstring, std::optional<std::string>>> saved_;
};

TEST_F(DriverRepair, RealSystemCurrentEnvironmentIsThePrefixVersion) {
    const VersionRow* version = ThisVersion();
    if (!version) GTEST_SKIP() << "TVSP_WINDOWS_VERSION unset: run through run-test --windows-version";
    const auto env = DriverRepairEnvironment::Current();
    EXPECT_EQ(env.family, version->family);
    EXPECT_TRUE(env.nativeX64);
    EXPECT_EQ(env.toolDirectory, GetOwnDirectory());
    wchar_t windows[MAX_PATH] = {};
    ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(env.windowsDirectory, windows);
    EXPECT_FALSE(env.redirection.has_value());
    EXPECT_FALSE(env.isSignedByMaker);
}

// The branch of this version on the prefix's own Windows folder, with a driver file already in
// the drivers folder and without one, and with and without the watch's port afterwards.
TEST_F(DriverRepair, RealSystemRepairsAsThisVersionDoes) {
    const VersionRow* version = ThisVersion();
    if (!version) GTEST_SKIP() << "TVSP_WINDOWS_VERSION unset: run through run-test --windows-version";
    const std::wstring windows = DriverRepairEnvironment::Current().windowsDirectory;
    const std::wstring target = windows + L"\\System32\\drivers\\usbser.sys";
    for (const bool driverBefore : {false, true}) {
        for (const bool hasPort : {true, false}) {
            SCOPED_TRACE(std::string("driver before ") + (driverBefore ? "yes" : "no") + ", port " + (hasPort ? "yes" : "no"));
            SystemFiles guard(windows);
            Tool tool;
            for (const wchar_t* log : {L"setupapi.log", L"inf\\setupapi.dev.log"}) {
                Put(windows + L"\\" + log, "this run's log");
                Put(windows + L"\\" + log + L".bak", "older backup");
            }
            if (driverBefore) Put(target, "the system's own");
            auto env = DriverRepairEnvironment::Current();
            env.toolDirectory = tool.path;

            const auto result = RepairSerialDriver(env, [&] { return hasPort; });

            const bool copies = version->source && (version->overwrites || !driverBefore);
            EXPECT_EQ(ReadAll(target), copies ? Marker(version->source)
                                              : driverBefore ? "the system's own" : "<missing>");
            EXPECT_EQ(result.driverCopied, copies);
            for (const wchar_t* log : {L"setupapi.log", L"inf\\setupapi.dev.log"}) {
                const bool moved = version->setupLog && std::wstring(log) == version->setupLog;
                EXPECT_EQ(ReadAll(windows + L"\\" + log + L".bak"), moved ? "this run's log" : "older backup");
                EXPECT_EQ(Exists(windows + L"\\" + log), !moved);
            }
            EXPECT_EQ(result.setupLogMovedAside, version->setupLog != nullptr);
            EXPECT_TRUE(result.installerFinished);
            const bool service = version->repairService && !hasPort;
            const Outcome expected = hasPort || version->family == Family::Windows10OrLater ? Outcome::Repaired
                                                                                          : Outcome::NotRepaired;
            EXPECT_EQ(DriverRepairOutcomeName(result.outcome), DriverRepairOutcomeName(expected));
            EXPECT_EQ(result.serviceCreated, service);
            EXPECT_EQ(result.serviceStarted, service);
            EXPECT_EQ(result.serviceMarkedForDeletion, service);
            if (service) {
                EXPECT_TRUE(WaitFor([&] { return Exists(tool / L"service-ran.txt"); }));
                EXPECT_TRUE(WaitFor([] { return !ServiceExists(); })) << "still there after it stopped";
            }
        }
    }
}

// ---- the class-driver file, on a Windows folder of the case's own ----

TEST_F(DriverRepair, ClassDriverSourcePerVersionAndBitnessWithRedirectionOff) {
    struct Row {
        Family family;
        bool x64;
        const wchar_t* source;
    };
    const Row rows[] = {
        {Family::Windows7, false, L"win7_32"},  {Family::Windows7, true, L"win7_64"},
        {Family::Windows8, false, L"win8_32"},  {Family::Windows8, true, L"win8_64"},
        {Family::Windows81, false, L"win81_32"}, {Family::Windows81, true, L"win81_64"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.source));
        Tool tool;
        FakeWindows windows;
        Put(windows.dir / L"inf\\setupapi.dev.log", "this run's log");
        Put(windows.dir / L"inf\\setupapi.dev.log.bak", "older backup");
        Put(windows.dir / L"System32\\drivers\\usbser.sys", "the system's own");
        const auto result = RepairSerialDriver(Env(row.family, row.x64, tool, windows.dir.path()), [] { return true; });
        EXPECT_EQ(ReadAll(g_redirection.target), Marker(row.source));
        EXPECT_TRUE(result.driverCopied);
        EXPECT_EQ(ReadAll(windows.dir / L"inf\\setupapi.dev.log.bak"), "this run's log");
        EXPECT_FALSE(Exists(windows.dir / L"inf\\setupapi.dev.log"));
        EXPECT_TRUE(result.setupLogMovedAside);
        EXPECT_EQ(g_redirection.disables, 1);
        EXPECT_EQ(g_redirection.reverts, 1);
        EXPECT_EQ(g_redirection.revertedWith, reinterpret_cast<PVOID>(0x5A));
        EXPECT_EQ(g_redirection.targetAtDisable, "the system's own");  // copied while switched off
        EXPECT_EQ(g_redirection.targetAtRevert, Marker(row.source));
        EXPECT_TRUE(result.redirectionSwitchedOff);
        EXPECT_EQ(result.outcome, Outcome::Repaired);
    }
}

// Redirection is switched off only when it can be switched back; the copy is made either way,
// and a failed copy is only recorded.
TEST_F(DriverRepair, ClassDriverRedirectionAndCopyFailures) {
    struct Row {
        const char* name;
        FsRedirectionFunctions functions;
        BOOL disableResult;
        bool sourcePresent;
        int disables, reverts;
        bool switchedOff, copied;
    };
    const Row rows[] = {
        {"32-bit system: no functions", {nullptr, nullptr}, TRUE, true, 0, 0, false, true},
        {"disable fails", {FakeDisable, FakeRevert}, FALSE, true, 1, 0, false, true},
        {"no way back", {FakeDisable, nullptr}, TRUE, true, 0, 0, false, true},
        {"source missing", {FakeDisable, FakeRevert}, TRUE, false, 1, 1, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Tool tool;
        FakeWindows windows;
        if (!row.sourcePresent) ::DeleteFileW((tool / L"win8_32\\usbser.sys").c_str());
        auto env = Env(Family::Windows8, false, tool, windows.dir.path());
        env.redirection = row.functions;
        g_redirection.disableResult = row.disableResult;
        const auto result = RepairSerialDriver(env, [] { return true; });
        EXPECT_EQ(g_redirection.disables, row.disables);
        EXPECT_EQ(g_redirection.reverts, row.reverts);
        EXPECT_EQ(result.redirectionSwitchedOff, row.switchedOff);
        EXPECT_EQ(result.driverCopied, row.copied);
        EXPECT_EQ(result.driverCopyError, row.copied ? ERROR_SUCCESS : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(ReadAll(g_redirection.target), row.copied ? Marker(L"win8_32") : "<missing>");
        EXPECT_FALSE(result.setupLogMovedAside);  // there was none: the sequence goes on
        EXPECT_EQ(result.outcome, Outcome::Repaired);
    }
}

// Before Vista (a 32-bit XP, with no redirection functions): the old setup log aside, the
// driver copied only when the system has none. Vista and 10: nothing touched.
TEST_F(DriverRepair, ClassDriverBeforeVistaAndNothingOnVistaOrWindows10) {
    struct Row {
        const char* name;
        Family family;
        bool driverBefore, toolHasDriver;
        const char* expectedDriver;
    };
    const std::string older = Marker(L"older systems");
    const Row rows[] = {
        {"XP without a driver", Family::PreVista, false, true, older.c_str()},
        {"XP with its own driver", Family::PreVista, true, true, "the system's own"},
        {"XP, tool without the file", Family::PreVista, false, false, "<missing>"},
        {"Vista", Family::Vista, false, true, "<missing>"},
        {"Windows 10", Family::Windows10OrLater, true, true, "the system's own"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Tool tool;
        FakeWindows windows;
        if (!row.toolHasDriver) ::DeleteFileW((tool / L"usbser.sys").c_str());
        for (const wchar_t* log : {L"setupapi.log", L"inf\\setupapi.dev.log"}) {
            Put(windows.dir / log, "this run's log");
            Put(windows.dir / log + L".bak", "older backup");
        }
        if (row.driverBefore) Put(windows.dir / L"system32\\DRIVERS\\usbser.sys", "the system's own");
        auto env = Env(row.family, false, tool, windows.dir.path());
        env.redirection = FsRedirectionFunctions{};
        const auto result = RepairSerialDriver(env, [] { return true; });
        EXPECT_EQ(ReadAll(windows.dir / L"system32\\DRIVERS\\usbser.sys"), row.expectedDriver);
        const bool xp = row.family == Family::PreVista;
        EXPECT_EQ(ReadAll(windows.dir / L"setupapi.log.bak"), xp ? "this run's log" : "older backup");
        EXPECT_EQ(ReadAll(windows.dir / L"inf\\setupapi.dev.log.bak"), "older backup");
        EXPECT_EQ(result.setupLogMovedAside, xp);
        EXPECT_EQ(result.driverCopied, xp && !row.driverBefore && row.toolHasDriver);
        EXPECT_EQ(result.outcome, Outcome::Repaired);
    }
}

// ---- the installer and the attachment prompt ----

// The installer sees ModRiskFileTypes ".exe" while it runs; whatever was there before is back after.
TEST_F(DriverRepair, InstallerRunsQuotedWithPromptSuspendedAndRestored) {
    struct Row {
        const char* name;
        bool key;
        DWORD type;
        std::wstring text;
    };
    const Row rows[] = {
        {"no key", false, REG_NONE, L""},
        {"key without value", true, REG_NONE, L""},
        {"another string", true, REG_SZ, L".zip;.txt"},
        {"another type", true, REG_EXPAND_SZ, L"%TEMP%"},
    };
    const std::wstring policies = std::wstring(kAssociations).substr(0, std::wstring(kAssociations).rfind(L'\\'));
    const bool policiesBefore = KeyPresent(policies);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kAssociations);  // absent is the aim
        if (row.key) {
            unique_hkey key;
            ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kAssociations, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr), ERROR_SUCCESS);
            if (row.type != REG_NONE) {
                ::RegSetValueExW(key.get(), L"ModRiskFileTypes", 0, row.type, reinterpret_cast<const BYTE*>(row.text.c_str()),
                                 static_cast<DWORD>((row.text.size() + 1) * 2));
            }
        }
        const RegValue before = ReadPromptValue();
        Tool tool;
        FakeWindows windows;
        const auto result = RepairSerialDriver(Env(Family::Windows10OrLater, true, tool, windows.dir.path()), nullptr);
        EXPECT_EQ(tool.Record(), "\"" + WideToUtf8(tool.Installer()) + "\" -a\n1 10 .exe");
        EXPECT_FALSE(tool.DecoyRan());
        EXPECT_TRUE(result.promptSuspended && result.promptRestored);
        EXPECT_EQ(ReadPromptValue(), before);
        EXPECT_EQ(KeyPresent(kAssociations), row.key);
        EXPECT_EQ(result.outcome, Outcome::Repaired);  // Windows 10, no port
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kAssociations);
    }
    if (!policiesBefore) ::RegDeleteKeyW(HKEY_CURRENT_USER, policies.c_str());  // made by the rows above
}

// A run killed while the installer ran left ".exe" and its journal: the next run puts the user's
// value back first, so it neither keeps ".exe" for good nor journals ".exe" as the earlier state.
TEST_F(DriverRepair, KilledRunsPromptIsPutBackByTheNextRun) {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kAssociations);  // absent is the aim
    {
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kAssociations, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const std::wstring mine = L".zip";
        ASSERT_EQ(::RegSetValueExW(key.get(), L"ModRiskFileTypes", 0, REG_SZ, reinterpret_cast<const BYTE*>(mine.c_str()),
                                   static_cast<DWORD>((mine.size() + 1) * 2)),
                  ERROR_SUCCESS);
    }
    const RegValue before = ReadPromptValue();
    const RegistryJournal journal = SuspendedPromptJournal();
    // Never destroyed, as in a killed process.
    auto* killed = new ScopedRegistryString(HKEY_CURRENT_USER, kAssociations, L"ModRiskFileTypes", L".exe", &journal);
    ASSERT_TRUE(killed->isSet());
    ASSERT_NE(ReadPromptValue(), before);

    Tool tool;
    FakeWindows windows;
    const auto result = RepairSerialDriver(Env(Family::Windows10OrLater, true, tool, windows.dir.path()), nullptr);
    EXPECT_EQ(tool.Record(), "\"" + WideToUtf8(tool.Installer()) + "\" -a\n1 10 .exe");
    EXPECT_TRUE(result.promptSuspended && result.promptRestored);
    EXPECT_EQ(ReadPromptValue(), before);
    unique_hkey user;
    EXPECT_FALSE(::RegOpenKeyExW(journal.root, journal.subKey.c_str(), 0, KEY_QUERY_VALUE, user.put()) == ERROR_SUCCESS &&
                 ::RegQueryValueExW(user.get(), journal.name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        << "the journal outlived the run";
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kAssociations);
}

// A missing installer, or one that outlasts the wait: nothing judged, the prompt back at once.
TEST_F(DriverRepair, InstallerMissingOrStillRunning) {
    for (const bool present : {false, true}) {
        SCOPED_TRACE(present ? "still running" : "missing");
        Tool tool(L"signed", present);
        FakeWindows windows;
        const std::wstring eventName = L"tvsp-repair-hold-" + std::to_wstring(::GetCurrentProcessId());
        unique_handle release(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        Put(tool / L"driver\\installer-hold.txt", WideToUtf8(eventName));
        auto env = Env(Family::Windows7, true, tool, windows.dir.path());
        // Held on the event, it never ends in time; the wait only has to let a slow start record
        // what it saw.
        env.installerWaitMs = 3000;
        int asked = 0;
        const auto result = RepairSerialDriver(env, [&] { return ++asked, false; });
        EXPECT_EQ(result.outcome, Outcome::InstallerNotFinished);
        EXPECT_EQ(result.installerStarted, present);
        EXPECT_FALSE(result.installerFinished);
        EXPECT_FALSE(ReadPromptValue().present);  // restored while the installer still runs
        EXPECT_TRUE(result.promptRestored);
        EXPECT_EQ(tool.Record(), present ? "\"" + WideToUtf8(tool.Installer()) + "\" -a\n1 10 .exe" : "<missing>");
        EXPECT_EQ(asked, 0);
        EXPECT_FALSE(result.signatureChecked || ServiceExists());
        EXPECT_TRUE(::SetEvent(release.get()));
        if (present) {
            EXPECT_TRUE(WaitFor([&] { return Exists(tool / L"driver\\installer-done.txt"); }));
        }
    }
}

// ---- the judgement and the repair program ----

TEST_F(DriverRepair, JudgementAfterTheInstaller) {
    struct Row {
        const char* name;
        Family family;
        bool hasPort;
        Outcome outcome;
        bool checked;
    };
    const Row rows[] = {
        {"10, port", Family::Windows10OrLater, true, Outcome::Repaired, false},
        {"10, no port", Family::Windows10OrLater, false, Outcome::Repaired, false},
        {"7, port", Family::Windows7, true, Outcome::Repaired, false},
        {"7, no port", Family::Windows7, false, Outcome::SignatureRefused, true},
        {"8, no port", Family::Windows8, false, Outcome::SignatureRefused, true},
        {"8.1, no port", Family::Windows81, false, Outcome::SignatureRefused, true},
        {"Vista, no port", Family::Vista, false, Outcome::NotRepaired, false},
        {"XP, no port", Family::PreVista, false, Outcome::NotRepaired, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Tool tool;
        FakeWindows windows;
        auto env = Env(row.family, true, tool, windows.dir.path());
        std::wstring checkedPath;
        env.isSignedByMaker = [&](const std::wstring& path) { return checkedPath = path, false; };
        const auto result = RepairSerialDriver(env, [&] { return row.hasPort; });
        EXPECT_EQ(DriverRepairOutcomeName(result.outcome), DriverRepairOutcomeName(row.outcome));
        EXPECT_EQ(result.signatureChecked, row.checked);
        EXPECT_EQ(checkedPath, row.checked ? tool / L"PortMender.exe" : L"");
        EXPECT_FALSE(result.serviceCreated || result.serviceOpenedExisting || ServiceExists());
    }
}

// The maker's check itself refuses these: no service is made.
TEST_F(DriverRepair, RepairProgramNotSignedByTheMakerIsRefused) {
    for (const wchar_t* copy : {L"unsigned", L"foreign", static_cast<const wchar_t*>(nullptr)}) {
        SCOPED_TRACE(copy ? WideToUtf8(copy) : "missing");
        Tool tool(copy);
        FakeWindows windows;
        const auto result = RepairSerialDriver(Env(Family::Windows7, true, tool, windows.dir.path()), nullptr);
        EXPECT_EQ(result.outcome, Outcome::SignatureRefused);
        EXPECT_FALSE(result.serviceCreated || result.serviceOpenedExisting || ServiceExists());
    }
}

// A new service, or one an earlier run left (unquoted, another program): either way the checked
// program runs, by its quoted path, and the entry is gone once it has stopped.
TEST_F(DriverRepair, RepairProgramRunsAsOneShotService) {
    for (const bool leftOver : {false, true}) {
        SCOPED_TRACE(leftOver ? "left-over entry" : "new entry");
        Tool tool;
        FakeWindows windows;
        if (leftOver) {
            const auto manager = Manager();
            unique_schandle stale(::CreateServiceW(manager.get(), L"PortMender", L"PortMender", SERVICE_ALL_ACCESS,
                                                   SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                                   L"C:\\tvsp stale\\PortMender.exe", nullptr, nullptr, nullptr, nullptr, nullptr));
            ASSERT_TRUE(stale) << ::GetLastError();
        }
        const auto result = RepairSerialDriver(Env(Family::Windows81, true, tool, windows.dir.path()), [] { return false; });
        EXPECT_EQ(result.outcome, Outcome::NotRepaired);
        EXPECT_EQ(result.serviceCreated, !leftOver);
        EXPECT_EQ(result.serviceOpenedExisting, leftOver);
        EXPECT_EQ(result.serviceReconfigured, leftOver);
        EXPECT_TRUE(result.serviceStarted && result.serviceMarkedForDeletion);
        EXPECT_TRUE(WaitFor([&] { return Exists(tool / L"service-ran.txt"); }));
        EXPECT_EQ(ReadAll(tool / L"service-ran.txt"), "\"" + WideToUtf8(tool / L"PortMender.exe") + "\"");
        EXPECT_FALSE(tool.DecoyRan());
        EXPECT_TRUE(WaitFor([] { return !ServiceExists(); })) << "still there after it stopped";
    }
}

}  // namespace
}  // namespace TVSP
