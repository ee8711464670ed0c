// The serial driver repair: class-driver file, the vendor's installer, the repair program as a service.
#include "device/driver_repair.h"

#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "device/code_signature.h"
#include "device/system_utils.h"
#include "device/vendor_installer.h"

namespace TVSP {
namespace {

constexpr wchar_t kServiceName[] = L"PortMender";

bool IsWindows7To81(WindowsFamily family) {
    return family == WindowsFamily::Windows7 || family == WindowsFamily::Windows8 ||
           family == WindowsFamily::Windows81;
}

// The per-version folder of the tool that holds this system's class driver.
const wchar_t* ClassDriverFolder(WindowsFamily family, bool nativeX64) {
    switch (family) {
        case WindowsFamily::Windows8: return nativeX64 ? L"win8_64" : L"win8_32";
        case WindowsFamily::Windows81: return nativeX64 ? L"win81_64" : L"win81_32";
        default: return nativeX64 ? L"win7_64" : L"win7_32";
    }
}

// File-system redirection off for this thread while it lives, when it could be switched off.
class RedirectionOff {
public:
    explicit RedirectionOff(const FsRedirectionFunctions& functions) : revert_(functions.revert) {
        // Switched off only when it can be switched back: the thread is the guide's UI thread.
        if (functions.disable && revert_) off_ = functions.disable(&oldValue_) != FALSE;
    }
    ~RedirectionOff() {
        if (off_) revert_(oldValue_);  // nothing more could be done if this failed
    }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;
    bool off() const noexcept { return off_; }

private:
    RevertFsRedirectionFn revert_;
    PVOID oldValue_ = nullptr;
    bool off_ = false;
};

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name))) : nullptr;
}

void RecordCopy(bool copied, DriverRepairResult& result) {
    result.driverCopied = copied;
    result.driverCopyError = copied ? ERROR_SUCCESS : ::GetLastError();
}

void RestoreClassDriver7To81(const DriverRepairEnvironment& env, DriverRepairResult& result) {
    const std::wstring log = env.windowsDirectory + L"\\inf\\setupapi.dev.log";
    result.setupLogMovedAside =
        ::MoveFileExW(log.c_str(), (log + L".bak").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;

    unique_hmodule kernel32;
    FsRedirectionFunctions functions;
    if (env.redirection) {
        functions = *env.redirection;
    } else {
        kernel32.reset(::LoadLibraryW(L"kernel32.dll"));
        functions.disable = Resolve<DisableFsRedirectionFn>(kernel32.get(), "Wow64DisableWow64FsRedirection");
        functions.revert = Resolve<RevertFsRedirectionFn>(kernel32.get(), "Wow64RevertWow64FsRedirection");
    }
    const std::wstring source =
        env.toolDirectory + L"\\" + ClassDriverFolder(env.family, env.nativeX64) + L"\\usbser.sys";
    const std::wstring target = env.windowsDirectory + L"\\System32\\drivers\\usbser.sys";
    {
        // A 32-bit process on 64-bit Windows must reach the real System32, not SysWOW64.
        RedirectionOff redirection(functions);
        result.redirectionSwitchedOff = redirection.off();
        RecordCopy(::CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE, result);
    }
}

void RestoreClassDriverPreVista(const DriverRepairEnvironment& env, DriverRepairResult& result) {
    const std::wstring log = env.windowsDirectory + L"\\setupapi.log";
    result.setupLogMovedAside =
        ::MoveFileExW(log.c_str(), (log + L".bak").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    const std::wstring target = env.windowsDirectory + L"\\system32\\DRIVERS\\usbser.sys";
    const std::wstring source = env.toolDirectory + L"\\usbser.sys";
    if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Never over a driver the system already has.
        RecordCopy(::CopyFileW(source.c_str(), target.c_str(), TRUE) != FALSE, result);
    }
}

void RunRepairService(const std::wstring& program, DriverRepairResult& result) {
    // Quoted: unquoted, a path with spaces lets the system try "C:\Program.exe" first, as local system.
    const std::wstring binaryPath = L"\"" + program + L"\"";
    unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) return;
    unique_schandle service(::CreateServiceW(manager.get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                             binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    result.serviceCreated = static_cast<bool>(service);
    if (!service) {
        service.reset(::OpenServiceW(manager.get(), kServiceName, GENERIC_ALL));
        result.serviceOpenedExisting = static_cast<bool>(service);
        if (service) {
            // A left-over entry may name another (unchecked, possibly unquoted) program: run the
            // one whose signature was just checked.
            result.serviceReconfigured =
                ::ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                       nullptr, kServiceName) != FALSE;
        }
    }
    if (!service) return;
    result.serviceStarted = ::StartServiceW(service.get(), 0, nullptr) != FALSE;
    result.serviceMarkedForDeletion = ::DeleteService(service.get()) != FALSE;
}

}  // namespace

DriverRepairEnvironment DriverRepairEnvironment::Current() {
    DriverRepairEnvironment env;
    if (IsPreVista()) {
        env.family = WindowsFamily::PreVista;
    } else if (IsWindows7()) {
        env.family = WindowsFamily::Windows7;
    } else if (IsWindows8()) {
        env.family = WindowsFamily::Windows8;
    } else if (IsWindows81()) {
        env.family = WindowsFamily::Windows81;
    } else if (IsWindows10()) {
        env.family = WindowsFamily::Windows10OrLater;
    } else {
        env.family = WindowsFamily::Vista;
    }
    env.nativeX64 = IsNativeX64();
    env.toolDirectory = GetOwnDirectory();
    env.windowsDirectory = GetSystemWindowsFolder();
    return env;
}

DriverRepairResult RepairSerialDriver(const DriverRepairEnvironment& env, const std::function<bool()>& watchHasPort) {
    DriverRepairResult result;
    // Without both folders every path below would be relative to the current folder or drive.
    const bool havePaths = !env.toolDirectory.empty() && !env.windowsDirectory.empty();
    if (havePaths && IsWindows7To81(env.family)) {
        RestoreClassDriver7To81(env, result);
    } else if (havePaths && env.family == WindowsFamily::PreVista) {
        RestoreClassDriverPreVista(env, result);
    }

    const VendorInstallerRun installer = RunVendorDriverInstaller(env.toolDirectory, env.installerWaitMs);
    result.promptSuspended = installer.promptSuspended;
    result.promptRestored = installer.promptRestored;
    result.installerStarted = installer.started;
    result.installerFinished = installer.finished;
    if (!result.installerFinished) {
        result.outcome = DriverRepairOutcome::InstallerNotFinished;
        return result;
    }

    const bool hasPort = watchHasPort && watchHasPort();
    if (hasPort || env.family == WindowsFamily::Windows10OrLater) {
        result.outcome = DriverRepairOutcome::Repaired;
        return result;
    }
    result.outcome = DriverRepairOutcome::NotRepaired;
    if (!IsWindows7To81(env.family)) return result;

    const std::wstring program = env.toolDirectory + L"\\PortMender.exe";
    result.signatureChecked = true;
    const bool signedByMaker = env.isSignedByMaker ? env.isSignedByMaker(program) : IsSignedByMaker(program);
    if (!signedByMaker) {
        result.outcome = DriverRepairOutcome::SignatureRefused;
        return result;
    }
    RunRepairService(program, result);
    return result;
}

const char* DriverRepairOutcomeName(DriverRepairOutcome outcome) {
    switch (outcome) {
        case DriverRepairOutcome::Repaired: return "Repaired";
        case DriverRepairOutcome::SignatureRefused: return "SignatureRefused";
        case DriverRepairOutcome::NotRepaired: return "NotRepaired";
        case DriverRepairOutcome::InstallerNotFinished: return "InstallerNotFinished";
    }
    return "?";
}

}  // namespace TVSP
