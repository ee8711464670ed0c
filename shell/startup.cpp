// Start-up steps of the tool's process before its window.
#include "shell/startup.h"

#include "device/cab_extractor.h"
#include "device/system_utils.h"
#include "device/version.h"

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
    {L"UiFeatureKernel.dll", L"程序依赖的UiFeatureKernel.dll无效，无法启动！"},
    {L"UiFeatureNormalControl.dll", L"程序依赖的UiFeatureNormalControl.dll无效，无法启动！"},
    {L"UiFeatureEffect.dll", L"程序依赖的UiFeatureEffect.dll无效，无法启动！"},
    {L"brom.dll", L"程序依赖的brom.dll无效，无法启动！"},
    {L"GPS_DL.dll", L"程序依赖的GPS_DL.dll无效，无法启动！"},
};

PendingUpdate ApplyPendingUpdate(const std::wstring& programFolder, const SignatureVerifier& isSignedByMaker,
                                 const UtcDateTime& now) {
    const std::wstring updateFolder = programFolder + L"\\update";
    const std::wstring cabinet = updateFolder + L"\\updatefiles.cab";
    if (!FileExists(cabinet)) return PendingUpdate::None;

    if (!isSignedByMaker(cabinet)) {
        ::DeleteFileW(cabinet.c_str());
        return PendingUpdate::Rejected;
    }

    {
        CCabExtrator extractor;
        extractor.Extract(cabinet.c_str(), updateFolder.c_str());
    }
    ::DeleteFileW(cabinet.c_str());

    const std::wstring installed = programFolder + L"\\tarvosprout.exe";
    const std::wstring candidate = updateFolder + L"\\tarvosprout.exe";
    if (!FileExists(candidate) || PackedFileVersion(candidate) <= PackedFileVersion(installed)) {
        DeleteDirectory(updateFolder);
        return PendingUpdate::Discarded;
    }

    CopyDirectory(updateFolder, programFolder);
    DeleteDirectory(updateFolder);

    const std::wstring dataFile = programFolder + L"\\sproutdata.ini";
    if (!::DeleteFileW(dataFile.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        const std::wstring backup = DataFileBackupName(programFolder, now);
        ::MoveFileExW(dataFile.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return PendingUpdate::Applied;
}

UtcDateTime CurrentUtcTime() {
    SYSTEMTIME st{};
    ::GetSystemTime(&st);
    return UtcDateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

unique_mutex_lock AcquireSingleInstance() {
    unique_mutex_lock mutex(::CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
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
