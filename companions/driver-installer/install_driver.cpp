// InstallDriver.exe stand-in: stages the driver package that lies beside it and installs it on the
// present devices its models name. No window, no message box: the tool waits for the exit code.
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "base/win/setupapi_util.h"
#include "base/win/strings.h"
#include "driver_installer/driver_installer.h"

namespace {

using namespace TVSP;
using namespace TVSP::DriverInstaller;

// Bounds on what one package may declare; a vendor package holds a handful of each.
constexpr std::size_t kMaxInfFiles = 16;
constexpr std::size_t kMaxManufacturerLines = 32;
constexpr DWORD kMaxDecorations = 16;
constexpr std::size_t kMaxModelLines = 1024;
constexpr std::size_t kMaxHardwareIds = 256;

using UpdateDriverFn = decltype(&::UpdateDriverForPlugAndPlayDevicesW);

void FreeArgv(wchar_t** argv) noexcept { ::LocalFree(argv); }
wchar_t** NullArgv() noexcept { return nullptr; }
using unique_argv = unique_any<wchar_t**, FreeArgv, NullArgv>;

// stderr only when the starter gave us one: a GUI program usually has none.
void Say(const std::wstring& text) {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (!error || error == INVALID_HANDLE_VALUE) return;
    const std::string line = WideToAnsi(text + L"\r\n");
    // Nowhere left to report a failed report.
    static_cast<void>(WriteFull(error, line.data(), line.size()));
}

int Failed(const std::wstring& what, DWORD error) {
    wchar_t code[32];
    std::swprintf(code, 32, L" (error 0x%08lX)", static_cast<unsigned long>(error));
    wchar_t text[256] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 256,
                     nullptr);
    std::wstring message = L"InstallDriver: " + what + L" failed" + code;
    if (text[0]) message += std::wstring(L": ") + text;
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
    Say(message);
    return kExitSetupFailed;
}

bool SameId(const std::wstring& a, const std::wstring& b) { return ::_wcsicmp(a.c_str(), b.c_str()) == 0; }

bool Contains(const std::vector<std::wstring>& ids, const std::wstring& id) {
    return std::any_of(ids.begin(), ids.end(), [&](const std::wstring& other) { return SameId(other, id); });
}

// The "*.inf" files directly in folder, sorted. The pattern also matches names whose short form
// ends in ".INF" ("x.info"), so the long name is checked too.
bool ListInfFiles(const std::wstring& folder, std::vector<std::wstring>& names) {
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW((folder + L"\\*.inf").c_str(), &found));
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::size_t length = std::wcslen(found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (length <= 4 || ::_wcsicmp(found.cFileName + length - 4, L".inf") != 0) continue;
        if (names.size() == kMaxInfFiles) break;
        names.emplace_back(found.cFileName);
    } while (::FindNextFileW(find.get(), &found));
    std::sort(names.begin(), names.end());
    return true;
}

// A line's field with its %strings% substituted; empty when the line has no such field.
std::wstring Field(INFCONTEXT& line, DWORD index) {
    DWORD size = 0;
    if (!::SetupGetStringFieldW(&line, index, nullptr, 0, &size) || size == 0) return {};
    std::wstring value(size, L'\0');
    if (!::SetupGetStringFieldW(&line, index, value.data(), size, nullptr)) return {};
    value.resize(std::wcslen(value.c_str()));
    return value;
}

// The hardware id (second field) of every line of the models sections that [Manufacturer] names,
// undecorated and with each of its target decorations ("Models.NTamd64").
void AddModelHardwareIds(HINF inf, std::vector<std::wstring>& ids) {
    INFCONTEXT manufacturer;
    if (!::SetupFindFirstLineW(inf, L"Manufacturer", nullptr, &manufacturer)) return;
    std::size_t manufacturers = 0;
    do {
        const std::wstring models = Field(manufacturer, 1);
        if (models.empty()) continue;
        std::vector<std::wstring> sections{models};
        const DWORD fields = ::SetupGetFieldCount(&manufacturer);
        for (DWORD i = 2; i <= fields && i < 2 + kMaxDecorations; ++i) {
            const std::wstring decoration = Field(manufacturer, i);
            if (!decoration.empty()) sections.push_back(models + L"." + decoration);
        }
        for (const std::wstring& section : sections) {
            INFCONTEXT model;
            if (!::SetupFindFirstLineW(inf, section.c_str(), nullptr, &model)) continue;
            std::size_t lines = 0;
            do {
                const std::wstring id = Field(model, 2);
                if (!id.empty() && !Contains(ids, id) && ids.size() < kMaxHardwareIds) ids.push_back(id);
            } while (++lines < kMaxModelLines && ::SetupFindNextLine(&model, &model));
        }
    } while (++manufacturers < kMaxManufacturerLines && ::SetupFindNextLine(&manufacturer, &manufacturer));
}

// Hardware and compatible ids of every present device.
bool ListPresentDeviceIds(std::vector<std::wstring>& ids) {
    unique_hdevinfo devices(::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!devices) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices.get(), index, &device); ++index) {
        for (DWORD property : {static_cast<DWORD>(SPDRP_HARDWAREID), static_cast<DWORD>(SPDRP_COMPATIBLEIDS)}) {
            for (std::wstring& id : ReadMultiSzProperty(devices.get(), &device, property)) {
                if (!Contains(ids, id)) ids.push_back(std::move(id));
            }
        }
    }
    return ::GetLastError() == ERROR_NO_MORE_ITEMS;
}

class Installer {
public:
    explicit Installer(std::wstring folder) : folder_(std::move(folder)) {}

    int Run() {
        std::vector<std::wstring> infs;
        if (!ListInfFiles(folder_, infs)) return Failed(L"listing " + folder_, ::GetLastError());
        if (infs.empty()) {
            Say(L"InstallDriver: no driver package (*.inf) in " + folder_);
            return kExitNoPackage;
        }
        for (const std::wstring& name : infs) {
            if (const int failed = InstallOne(folder_ + L"\\" + name)) return failed;
        }
        return kExitInstalled;
    }

private:
    int InstallOne(const std::wstring& infPath) {
        wchar_t staged[MAX_PATH] = {};
        // The INF's own folder is the media its files are copied from later.
        if (!::SetupCopyOEMInfW(infPath.c_str(), folder_.c_str(), SPOST_PATH, 0, staged, MAX_PATH, nullptr, nullptr))
            return Failed(L"staging " + infPath, ::GetLastError());

        UINT errorLine = 0;
        unique_hinf inf(::SetupOpenInfFileW(infPath.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
        if (!inf) return Failed(L"reading " + infPath, ::GetLastError());
        std::vector<std::wstring> hardwareIds;
        AddModelHardwareIds(inf.get(), hardwareIds);

        for (const std::wstring& id : hardwareIds) {
            if (const int failed = UpdatePresentDevices(id, infPath)) return failed;
        }
        return kExitInstalled;
    }

    int UpdatePresentDevices(const std::wstring& hardwareId, const std::wstring& infPath) {
        if (!presentListed_) {
            if (!ListPresentDeviceIds(presentIds_)) return Failed(L"listing present devices", ::GetLastError());
            presentListed_ = true;
        }
        if (!Contains(presentIds_, hardwareId)) return kExitInstalled;
        if (!updateDriver_) {
            wchar_t systemFolder[MAX_PATH] = {};
            const UINT length = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
            if (length == 0 || length >= MAX_PATH) return Failed(L"finding the system folder", ::GetLastError());
            // By full path: never a newdev.dll planted beside the package.
            newdev_.reset(::LoadLibraryW((std::wstring(systemFolder) + L"\\newdev.dll").c_str()));
            if (!newdev_) return Failed(L"loading newdev.dll", ::GetLastError());
            updateDriver_ = reinterpret_cast<UpdateDriverFn>(
                reinterpret_cast<void (*)()>(::GetProcAddress(newdev_.get(), "UpdateDriverForPlugAndPlayDevicesW")));
            if (!updateDriver_) return Failed(L"finding UpdateDriverForPlugAndPlayDevicesW", ::GetLastError());
        }
        BOOL reboot = FALSE;
        // Forced: a repair replaces whatever driver the device has now. Non-interactive: any UI
        // the system would need fails the call instead.
        if (!updateDriver_(nullptr, hardwareId.c_str(), infPath.c_str(), INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE,
                           &reboot)) {
            const DWORD error = ::GetLastError();
            // The device went away since it was listed: nothing to update.
            if (error == ERROR_NO_SUCH_DEVINST) return kExitInstalled;
            return Failed(L"installing " + infPath + L" for " + hardwareId, error);
        }
        return kExitInstalled;
    }

    std::wstring folder_;
    std::vector<std::wstring> presentIds_;
    bool presentListed_ = false;
    unique_hmodule newdev_;
    UpdateDriverFn updateDriver_ = nullptr;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The tool waits for this program: neither the system nor the setup API may ask anything.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ::SetupSetNonInteractiveMode(TRUE);

    int argc = 0;
    unique_argv argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argv || argc != 2 || std::wcscmp(argv.get()[1], kInstallOption) != 0) {
        Say(L"usage: InstallDriver -a   (installs the driver package in the program's folder)");
        return kExitBadArguments;
    }
    const std::wstring folder = GetOwnDirectory();
    if (folder.empty()) return Failed(L"finding the program's folder", ERROR_FILENAME_EXCED_RANGE);
    return Installer(folder).Run();
}
