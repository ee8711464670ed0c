// setup.exe: unpacks its payload into a work folder of its own, shows the installer window, and
// cleans up after itself.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "base/instance_names.h"
#include "base/program_files.h"
#include "base/user_caption.h"
#include "base/win/file_io.h"
#include "base/win/handle.h"
#include "base/win/program_folder.h"
#include "device/cab_extractor.h"
#include "device/system_utils.h"
#include "device/vendor_installer.h"
#include "setup/install_rules.h"
#include "setup/setup_rules.h"
#include "setup/setup_texts.h"
#include "setup/setup_window.h"

using namespace TVSP;
using namespace TVSP::Setup;

namespace {

constexpr int kExitRefused = -1;
constexpr WORD kPayloadId = 142;
constexpr DWORD kChunk = 2048;
constexpr wchar_t kPayloadFile[] = L"files.cab";
constexpr wchar_t kSkinFile[] = L"setupskin.ufd";
// Copied beside setup.exe: the engine looks for them beside the running program.
constexpr const wchar_t* kEngineCopies[] = {ProgramFiles::kSkinControls, ProgramFiles::kSkinConfig};

// Made once per run; the worker finds the same folder through the window.
std::wstring WorkFolderName() {
    GUID guid{};
    if (FAILED(::CoCreateGuid(&guid))) return {};
    GuidParts parts;
    parts.data1 = guid.Data1;
    parts.data2 = guid.Data2;
    parts.data3 = guid.Data3;
    for (int i = 0; i < 8; ++i) parts.data4[i] = guid.Data4[i];
    wchar_t cache[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                  cache))) {
        return {};
    }
    return JoinPath(cache, GuidText(parts));
}

[[nodiscard]] bool WritePayload(const std::wstring& path) {
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kPayloadId), L"DATA");
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const DWORD size = ::SizeofResource(nullptr, found);
    const auto* bytes = loaded ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size == 0) return false;
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!file) return false;
    for (DWORD offset = 0; offset < size; offset += kChunk) {
        const DWORD length = size - offset < kChunk ? size - offset : kChunk;
        if (!WriteFull(file.get(), bytes + offset, length)) return false;
    }
    return true;
}

// A copy left hidden (or read-only) by a killed run would make CopyFileW refuse to overwrite it.
void CopyHidden(const std::wstring& from, const std::wstring& to) {
    const DWORD old = ::GetFileAttributesW(to.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && !(old & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    if (::CopyFileW(from.c_str(), to.c_str(), FALSE)) ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

bool SameFolder(std::wstring a, std::wstring b) {
    while (a.size() > 3 && a.back() == L'\\') a.pop_back();
    while (b.size() > 3 && b.back() == L'\\') b.pop_back();
    return !a.empty() && ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    unique_handle setupMutex(::CreateMutexW(nullptr, TRUE, kSetupInstanceMutexName));
    if (!setupMutex || ::GetLastError() == ERROR_ALREADY_EXISTS) return kExitRefused;
    if (unique_handle tool(::OpenMutexW(SYNCHRONIZE, FALSE, kToolInstanceMutexName)); tool) {
        ::MessageBoxW(nullptr, SetupTexts::kToolRunning, kMessageCaption, MB_OK | MB_ICONERROR);
        return kExitRefused;
    }

    // An earlier installer killed while the vendor's installer ran left the prompt suspended.
    // Dropped on purpose: the installation goes on either way, and the actions try again.
    (void)RecoverSuspendedPrompt();

    const com_apartment com;  // the GUID, the folder browser and the shell folders
    const std::wstring work = WorkFolderName();
    if (work.empty() || !::CreateDirectoryW(work.c_str(), nullptr)) return kExitRefused;
    const std::wstring own = GetOwnDirectory();
    if (own.empty() || !WritePayload(JoinPath(work, kPayloadFile))) {
        (void)DeleteDirectory(work);
        return kExitRefused;
    }
    {
        CCabExtrator extractor;
        // A failed unpacking shows as the window failing to open.
        (void)extractor.Extract(JoinPath(work, kPayloadFile).c_str(), work.c_str());
    }
    for (const wchar_t* name : kEngineCopies) CopyHidden(JoinPath(work, name), JoinPath(own, name));

    std::wstring installFolder;
    bool shown = false;
    {
        CSetupWindow window(work, ::GetCurrentThreadId());
        if (!window.Create(JoinPath(work, ProgramFiles::kSkinKernel), JoinPath(work, kSkinFile))) {
            ::MessageBoxW(nullptr, SetupTexts::kWindowFailed, kMessageCaption, MB_OK | MB_ICONERROR);
            window.ShutdownSkinKernel();
        } else {
            shown = true;
            MSG msg;
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            installFolder = window.InstallFolder();
            window.ShutdownSkinKernel();
        }
    }  // the engine is unloaded here: its files can go

    (void)DeleteDirectory(work);
    if (!SameFolder(installFolder, own)) {
        for (const wchar_t* name : kEngineCopies) {
            const std::wstring copy = JoinPath(own, name);
            ::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(copy.c_str());
        }
    }
    return shown ? 0 : kExitRefused;
}
