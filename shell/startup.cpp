// Start-up steps of the tool's process before its window.
#include "shell/startup.h"

#include "base/program_files.h"
#include "device/cab_extractor.h"
#include "device/system_utils.h"
#include "device/version.h"
#include "shell/user_texts.h"

namespace TVSP {
namespace {

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::int64_t PackedFileVersion(const std::wstring& path) {
    return static_cast<std::int64_t>(ParseVersion(GetFileVersionString(path, true)));
}

}  // namespace

const DependencyModule kDependencyModules[5] = {
    {ProgramFiles::kSkinKernel, ShellTexts::kKernelInvalid},
    {ProgramFiles::kSkinControls, ShellTexts::kControlsInvalid},
    {ProgramFiles::kSkinEffects, ShellTexts::kEffectsInvalid},
    {ProgramFiles::kDownloadLibrary, ShellTexts::kDownloadLibraryInvalid},
    {ProgramFiles::kGpsLibrary, ShellTexts::kGpsLibraryInvalid},
};

PendingUpdate ApplyPendingUpdate(const std::wstring& programFolder, const SignatureVerifier& isSignedByMaker,
                                 const UtcDateTime& now) {
    // Never root-relative paths: without a program folder there is nothing to update.
    if (programFolder.empty()) return PendingUpdate::None;
    const std::wstring updateFolder = programFolder + L"\\" + ProgramFiles::kUpdateFolder;
    const std::wstring cabinet = updateFolder + L"\\" + ProgramFiles::kUpdateCabinet;
    if (!FileExists(cabinet)) return PendingUpdate::None;

    if (!isSignedByMaker(cabinet)) {
        ::DeleteFileW(cabinet.c_str());
        return PendingUpdate::Rejected;
    }

    HRESULT extracted = E_FAIL;
    {
        CCabExtrator extractor;
        extracted = extractor.Extract(cabinet.c_str(), updateFolder.c_str());
    }
    ::DeleteFileW(cabinet.c_str());

    // A cabinet that failed half-way (disk full, a refused member) left new files beside missing
    // ones: copying that over the program folder would mix two versions.
    const std::wstring installed = programFolder + L"\\" + ProgramFiles::kTool;
    const std::wstring candidate = updateFolder + L"\\" + ProgramFiles::kTool;
    if (FAILED(extracted) || !FileExists(candidate) || PackedFileVersion(candidate) <= PackedFileVersion(installed)) {
        DeleteDirectory(updateFolder);
        return PendingUpdate::Discarded;
    }

    // A file in use is moved aside and copied again inside CopyDirectory; its result only says
    // whether every file went in at the first attempt, which does not change what follows.
    static_cast<void>(CopyDirectory(updateFolder, programFolder));
    DeleteDirectory(updateFolder);

    const std::wstring dataFile = programFolder + L"\\sproutdata.ini";
    if (!::DeleteFileW(dataFile.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        const std::wstring backup = DataFileBackupName(programFolder, now);
        ::MoveFileExW(dataFile.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return PendingUpdate::Applied;
}

bool RefuseToStartWithoutProgramFolder(const std::wstring& programFolder) {
    if (!programFolder.empty()) return false;
    ShowStartupError(ShellTexts::kProgramFolderTooLong);
    return true;
}

void ShowStartupError(const wchar_t* text) {
    // The answer of a box with only OK carries nothing.
    static_cast<void>(::MessageBoxW(nullptr, text, kMessageCaption, MB_ICONSTOP | MB_OK));
}

bool StartInstalledTool(const std::wstring& programFolder) {
    if (programFolder.empty()) return false;
    // Quoted, so a folder with spaces can never start a different program.
    return StartProgram(L"\"" + programFolder + L"\\" + ProgramFiles::kTool + L"\"");
}

UtcDateTime CurrentUtcTime() {
    SYSTEMTIME st{};
    ::GetSystemTime(&st);
    return UtcDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

unique_mutex_lock AcquireSingleInstance() {
    unique_mutex_lock mutex(::CreateMutexW(nullptr, TRUE, kToolInstanceMutexName));
    if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) mutex.reset();
    return mutex;
}

const DependencyModule* FirstInvalidDependency(const std::wstring& programFolder,
                                               const SignatureVerifier& isSignedByMaker) {
    for (const auto& module : kDependencyModules) {
        if (!isSignedByMaker(programFolder + L"\\" + module.fileName)) return &module;
    }
    return nullptr;
}

}  // namespace TVSP
