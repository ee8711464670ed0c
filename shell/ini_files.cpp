// The tool's three INI files: where they live and how their keys are read, written and deleted.
#include "shell/ini_files.h"

#include <windows.h>
#include <shlobj.h>

#include <iterator>

#include "base/maker_site.h"
#include "base/program_files.h"
#include "base/win/program_folder.h"
#include "base/win/strings.h"

namespace TVSP {
namespace {

constexpr std::size_t kPathUnits = MAX_PATH;  // 260, the terminator included

constexpr const wchar_t* kDataFile = ProgramFiles::kDataFile;
constexpr const wchar_t* kConfigFile = ProgramFiles::kConfigIni;
constexpr wchar_t kWatchSection[] = L"watch";
constexpr wchar_t kDefaultModel[] = L"watchk8_mt60d_ublox";

std::wstring DataFile() { return ProgramFolderFile(kDataFile); }

std::wstring InternetCacheFolder() {
    wchar_t folder[kPathUnits] = {};
    if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_INTERNET_CACHE, TRUE)) return folder;
    folder[0] = L'\0';
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE | CSIDL_FLAG_CREATE, nullptr, 0, folder))) {
        return folder;
    }
    return {};
}

}  // namespace

std::wstring CacheFolderPath(std::wstring_view name) {
    const std::wstring folder = InternetCacheFolder();
    if (folder.empty()) return {};
    std::wstring path = JoinCachePath(folder, name);
    if (path.size() >= kPathUnits) return {};
    // Every folder on the way, the cache folder's own parents included, is made when missing.
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] != L'\\' && path[i] != L'/') continue;
        const std::wstring prefix = path.substr(0, i);
        if (prefix.size() == 2 && prefix[1] == L':') continue;  // a drive, not a folder
        ::CreateDirectoryW(prefix.c_str(), nullptr);
    }
    for (auto& c : path) {
        if (c == L'\\') c = L'/';
    }
    return path;
}

std::wstring ReadIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultValue) {
    wchar_t value[kIniValueBufferUnits] = {};
    if (file.empty()) {
        // No file can be named: the default, as the profile call would give it, cut the same way.
        if (defaultValue) ::lstrcpynW(value, defaultValue, static_cast<int>(kIniValueBufferUnits));
        return value;
    }
    const DWORD n = ::GetPrivateProfileStringW(section, key, defaultValue ? defaultValue : L"", value,
                                               static_cast<DWORD>(kIniValueBufferUnits), file.c_str());
    return std::wstring(value, n < kIniValueBufferUnits ? n : kIniValueBufferUnits - 1);
}

int ReadIniInt(const std::wstring& file, const wchar_t* section, const wchar_t* key, int defaultValue) {
    if (file.empty()) return defaultValue;
    return static_cast<int>(::GetPrivateProfileIntW(section, key, defaultValue, file.c_str()));
}

void WriteIniString(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                    const std::wstring& value) {
    if (file.empty()) return;
    ::WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

void DeleteIniKey(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    if (file.empty()) return;
    ::WritePrivateProfileStringW(section, key, nullptr, file.c_str());
}

namespace SproutData {

std::string ReadModel() { return WideToAnsi(ReadIniString(DataFile(), kWatchSection, L"model", kDefaultModel)); }
std::string ReadVersion() { return WideToAnsi(ReadIniString(DataFile(), kWatchSection, L"version", L"")); }
std::string ReadImei() { return WideToAnsi(ReadIniString(DataFile(), kWatchSection, L"imei", L"")); }

void WriteWatch(const std::string& modelKey, const std::string& version) {
    WriteModel(modelKey);
    WriteVersion(version);
}

void WriteModel(const std::string& modelKey) {
    WriteIniString(DataFile(), kWatchSection, L"model", AnsiToWide(modelKey));
}

void WriteVersion(const std::string& version) {
    WriteIniString(DataFile(), kWatchSection, L"version", AnsiToWide(version));
}

void WriteImei(const std::string& imei) { WriteIniString(DataFile(), kWatchSection, L"imei", AnsiToWide(imei)); }

void DeleteImei() { DeleteIniKey(DataFile(), kWatchSection, L"imei"); }

bool ReadTutorialClicked() { return ReadIniInt(DataFile(), L"flashtool", L"TutorialClicked", 0) != 0; }

void WriteTutorialClicked() { WriteIniString(DataFile(), L"flashtool", L"TutorialClicked", L"1"); }

}  // namespace SproutData

namespace Config {

int CheckUpdateDelayTime() {
    return ReadIniInt(ProgramFolderFile(kConfigFile), L"test", L"CheckUpdateDelayTime", 500);
}

std::wstring WebPageAddress(WebPage page) {
    struct Entry {
        const wchar_t* key;
        const wchar_t* fallback;
    };
    static const Entry kPages[] = {
        {L"website", kMakerWebsite},
        {L"faq", L"https://sprout.example.com/help/faq"},
        {L"app", L"https://sprout.example.com/app"},
        {L"social", L"https://sprout.example.com/social"},
        {L"forum", L"https://sprout.example.com/forum"},
        {L"updatefaq", L"https://sprout.example.com/help/update-faq"},
        {L"flashfail", L"https://sprout.example.com/help/flash-failed"},
        {L"tutorial", L"https://sprout.example.com/help/upgrade-tutorial"},
        {L"connecthelp", L"https://sprout.example.com/forum/connection-problems"},
        {L"editions", L"https://sprout.example.com/help/editions"},
    };
    static_assert(std::size(kPages) == static_cast<std::size_t>(WebPage::EditionComparison) + 1);
    const Entry& entry = kPages[static_cast<int>(page)];
    return ReadIniString(ProgramFolderFile(kConfigFile), L"web", entry.key, entry.fallback);
}

std::wstring UpdateServerBase() {
    return ReadIniString(ProgramFolderFile(kConfigFile), L"server", L"update", L"http://update.sprout.example.com");
}

std::wstring SecureServerBase() {
    return ReadIniString(ProgramFolderFile(kConfigFile), L"server", L"secure", L"https://secure.sprout.example.com");
}

}  // namespace Config

std::wstring UpdatesIniPath() { return CacheFolderPath(L"updates.ini"); }

void DeleteUpdatesIni() {
    const std::wstring path = UpdatesIniPath();
    if (!path.empty()) ::DeleteFileW(path.c_str());
}

}  // namespace TVSP
