// brom.dll stand-in: ROM sets (GetROMSetting, DL_*) and the download agent (DA_*).
#include <windows.h>

#include <cstring>
#include <string>

#include "brom/brom_api.h"
#include "companions/brom/core/rom_setting.h"
#include "companions/brom/library_objects.h"
#include "base/win/strings.h"

namespace {

using namespace brom;

constexpr unsigned int kRomSettingMagic = 0x53525654;  // "TVRS"

// A fixed text field of the buffer: zero-terminated inside the field.
bool FieldText(const char* field, std::size_t size, std::string& out) {
    const void* end = std::memchr(field, 0, size);
    if (end == nullptr) return false;
    out.assign(field, static_cast<const char*>(end));
    return true;
}

bool CopyField(char* field, std::size_t size, const std::string& text) {
    if (text.size() >= size) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

int ResultOf(RomSettingError error) {
    switch (error) {
        case RomSettingError::None: return BROM_OK;
        case RomSettingError::FileEscapes: return BROM_ROM_PATH_ESCAPES;
        case RomSettingError::TooManyRegions: return BROM_ROM_TOO_MANY_REGIONS;
        default: return BROM_ROM_SETTING_INVALID;
    }
}

// Reads and parses a .cfg given as a narrow (ANSI) path; folder receives its absolute folder.
int LoadRomSetting(const char* cfgPath, RomSetting& setting, std::wstring& folder) {
    if (cfgPath == nullptr || *cfgPath == '\0') return BROM_INVALID_ARGUMENT;
    const std::wstring path = TVSP::AnsiToWide(cfgPath);
    if (path.empty()) return BROM_INVALID_ARGUMENT;
    std::vector<std::uint8_t> text;
    switch (ReadWholeFile(path, kMaxRomSettingFileBytes, text)) {
        case ReadResult::Ok: break;
        case ReadResult::OpenFailed: return BROM_FILE_OPEN_FAILED;
        case ReadResult::TooLarge: return BROM_ROM_SETTING_INVALID;
        case ReadResult::ReadFailed: return BROM_FILE_READ_FAILED;
    }
    auto parsed = ParseRomSetting(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    if (parsed.error != RomSettingError::None) return ResultOf(parsed.error);
    setting = std::move(parsed.setting);

    wchar_t* filePart = nullptr;
    std::wstring full(32768, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &filePart);
    if (n == 0 || n >= full.size()) return BROM_PATH_TOO_LONG;
    full.resize(n);
    folder = full.substr(0, full.find_last_of(L"\\/") + 1);
    return BROM_OK;
}

std::wstring ImagePath(const std::string& folderUtf8, const std::string& file) {
    std::string joined = folderUtf8;
    if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') joined += '\\';
    for (char c : file) joined += (c == '/') ? '\\' : c;
    return TVSP::Utf8ToWide(joined);
}

}  // namespace

extern "C" {

int WINAPI DL_Create(DL_HANDLE_T* dl) {
    return Guarded([&]() -> int {
        if (dl == nullptr) return BROM_INVALID_ARGUMENT;
        *dl = DownloadLists().Add(std::make_unique<DownloadList>());
        return BROM_OK;
    });
}

int WINAPI DL_Destroy(DL_HANDLE_T* dl) {
    return Guarded([&]() -> int {
        if (dl == nullptr) return BROM_INVALID_ARGUMENT;
        if (!DownloadLists().Remove(*dl)) return BROM_INVALID_HANDLE;
        *dl = nullptr;
        return BROM_OK;
    });
}

int WINAPI DL_Rom_UnloadAll(DL_HANDLE_T dl) {
    return Guarded([&]() -> int {
        DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        list->entries.clear();
        list->folder.clear();
        list->loaded = false;
        return BROM_OK;
    });
}

int WINAPI DL_CreateList(DL_LIST_HANDLE_T* list) {
    return Guarded([&]() -> int {
        if (list == nullptr) return BROM_INVALID_ARGUMENT;
        *list = RomLists().Add(std::make_unique<RomList>());
        return BROM_OK;
    });
}

int WINAPI DL_DestroyList(DL_LIST_HANDLE_T* list) {
    return Guarded([&]() -> int {
        if (list == nullptr) return BROM_INVALID_ARGUMENT;
        if (!RomLists().Remove(*list)) return BROM_INVALID_HANDLE;
        *list = nullptr;
        return BROM_OK;
    });
}

int WINAPI GetROMSetting(const char* cfgPath, BROM_ROM_SETTING* setting, int /*reserved*/) {
    return Guarded([&]() -> int {
        if (setting == nullptr) return BROM_INVALID_ARGUMENT;
        RomSetting parsed;
        std::wstring folder;
        if (const int r = LoadRomSetting(cfgPath, parsed, folder); r != BROM_OK) return r;
        auto filled = std::make_unique<BROM_ROM_SETTING>();
        std::memset(filled.get(), 0, sizeof(BROM_ROM_SETTING));
        filled->magic = kRomSettingMagic;
        filled->regionCount = static_cast<unsigned int>(parsed.regions.size());
        if (!CopyField(filled->romsetName, sizeof filled->romsetName, parsed.name) ||
            !CopyField(filled->folder, sizeof filled->folder, TVSP::WideToUtf8(folder)))
            return BROM_PATH_TOO_LONG;
        for (std::size_t i = 0; i < parsed.regions.size(); ++i) {
            BROM_ROM_SETTING_REGION& r = filled->regions[i];
            if (!CopyField(r.name, sizeof r.name, parsed.regions[i].name) ||
                !CopyField(r.file, sizeof r.file, parsed.regions[i].file))
                return BROM_PATH_TOO_LONG;
            r.address = parsed.regions[i].address;
        }
        // The caller's buffer changes only on success.
        std::memcpy(setting, filled.get(), sizeof(BROM_ROM_SETTING));
        return BROM_OK;
    });
}

int WINAPI GetExternalMemorySetting(const char* cfgPath, BROM_EXTERNAL_MEMORY_SETTING* setting, int /*reserved*/) {
    return Guarded([&]() -> int {
        if (setting == nullptr) return BROM_INVALID_ARGUMENT;
        RomSetting parsed;
        std::wstring folder;
        if (const int r = LoadRomSetting(cfgPath, parsed, folder); r != BROM_OK) return r;
        // Our watches have no external memory to describe.
        std::memset(setting, 0, sizeof(*setting));
        return BROM_OK;
    });
}

int WINAPI DL_CreateROMEntries(DL_HANDLE_T dl, const BROM_ROM_SETTING* setting) {
    return Guarded([&]() -> int {
        DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (setting == nullptr) return BROM_INVALID_ARGUMENT;
        // The buffer may have been written by anyone: check it as the .cfg was checked.
        if (setting->magic != kRomSettingMagic || setting->regionCount == 0) return BROM_ROM_SETTING_INVALID;
        if (setting->regionCount > kMaxRegions) return BROM_ROM_TOO_MANY_REGIONS;
        DownloadList fresh;
        if (!FieldText(setting->folder, sizeof setting->folder, fresh.folder) || fresh.folder.empty())
            return BROM_ROM_SETTING_INVALID;
        for (unsigned int i = 0; i < setting->regionCount; ++i) {
            const BROM_ROM_SETTING_REGION& r = setting->regions[i];
            RomEntry entry;
            if (!FieldText(r.name, sizeof r.name, entry.name) || entry.name.empty() ||
                !FieldText(r.file, sizeof r.file, entry.file))
                return BROM_ROM_SETTING_INVALID;
            if (!IsContainedRelativePath(entry.file)) return BROM_ROM_PATH_ESCAPES;
            for (const RomEntry& other : fresh.entries) {
                if (RegionNamesEqual(other.name, entry.name)) return BROM_ROM_SETTING_INVALID;
            }
            entry.address = r.address;
            fresh.entries.push_back(std::move(entry));
        }
        *list = std::move(fresh);
        return BROM_OK;
    });
}

int WINAPI DL_AutoLoadROMFiles(DL_HANDLE_T dl) {
    return Guarded([&]() -> int {
        DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (list->entries.empty()) return BROM_ROM_NOT_LOADED;
        list->loaded = false;
        std::vector<std::vector<std::uint8_t>> images(list->entries.size());
        for (std::size_t i = 0; i < list->entries.size(); ++i) {
            switch (ReadWholeFile(ImagePath(list->folder, list->entries[i].file), kMaxRegionImageBytes, images[i])) {
                case ReadResult::Ok: break;
                case ReadResult::OpenFailed: return BROM_FILE_OPEN_FAILED;
                case ReadResult::ReadFailed: return BROM_FILE_READ_FAILED;
                case ReadResult::TooLarge: return BROM_ROM_IMAGE_TOO_LARGE;
            }
            if (images[i].empty()) return BROM_ROM_IMAGE_EMPTY;
        }
        // All or nothing: a set with one unreadable image is not half loaded.
        for (std::size_t i = 0; i < images.size(); ++i) list->entries[i].image = std::move(images[i]);
        list->loaded = true;
        return BROM_OK;
    });
}

int WINAPI DL_GetBMTPoolAddress(DL_HANDLE_T dl, unsigned int* address) {
    return Guarded([&]() -> int {
        if (DownloadLists().Find(dl) == nullptr) return BROM_INVALID_HANDLE;
        if (address == nullptr) return BROM_INVALID_ARGUMENT;
        *address = 0;  // no bad-block pool on our watches' flash
        return BROM_OK;
    });
}

int WINAPI DL_GetCount_Ex(DL_HANDLE_T dl, unsigned short* count) {
    return Guarded([&]() -> int {
        const DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (count == nullptr) return BROM_INVALID_ARGUMENT;
        *count = static_cast<unsigned short>(list->entries.size());
        return BROM_OK;
    });
}

int WINAPI DL_Rom_GetInfoAll_Ex(DL_HANDLE_T dl, BROM_ROM_INFO* info, unsigned short capacity) {
    return Guarded([&]() -> int {
        const DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (info == nullptr && capacity > 0) return BROM_INVALID_ARGUMENT;
        const std::size_t n = std::min<std::size_t>(capacity, list->entries.size());
        for (std::size_t i = 0; i < n; ++i) {
            const RomEntry& e = list->entries[i];
            BROM_ROM_INFO& out = info[i];
            std::memset(&out, 0, sizeof out);
            out.index = static_cast<unsigned int>(i);
            out.enabled = e.enabled ? 1 : 0;
            CopyField(out.name, sizeof out.name, e.name);  // names are at most 31 bytes
            out.address = e.address;
            out.length = e.image.size();
            std::memcpy(out.file, e.file.c_str(), std::min(e.file.size(), sizeof out.file - 1));
        }
        return n < list->entries.size() ? BROM_BUFFER_TOO_SMALL : BROM_OK;
    });
}

int WINAPI DL_Rom_SetEnableAttr_Ex(DL_HANDLE_T dl, unsigned short index, int enable) {
    return Guarded([&]() -> int {
        DownloadList* list = DownloadLists().Find(dl);
        if (list == nullptr) return BROM_INVALID_HANDLE;
        if (index >= list->entries.size()) return BROM_REGION_INDEX_INVALID;
        list->entries[index].enabled = enable != 0;
        return BROM_OK;
    });
}

int WINAPI DA_Create(DA_HANDLE_T* da) {
    return Guarded([&]() -> int {
        if (da == nullptr) return BROM_INVALID_ARGUMENT;
        *da = DownloadAgents().Add(std::make_unique<DownloadAgent>());
        return BROM_OK;
    });
}

int WINAPI DA_Destroy(DA_HANDLE_T* da) {
    return Guarded([&]() -> int {
        if (da == nullptr) return BROM_INVALID_ARGUMENT;
        if (!DownloadAgents().Remove(*da)) return BROM_INVALID_HANDLE;
        *da = nullptr;
        return BROM_OK;
    });
}

int WINAPI DA_Load(DA_HANDLE_T da, const char* path, int /*verify: the agent is always checked*/) {
    return Guarded([&]() -> int {
        DownloadAgent* agent = DownloadAgents().Find(da);
        if (agent == nullptr) return BROM_INVALID_HANDLE;
        if (path == nullptr || *path == '\0') return BROM_INVALID_ARGUMENT;
        *agent = DownloadAgent{};  // a failed load leaves no earlier agent behind
        std::vector<std::uint8_t> bytes;
        switch (ReadWholeFile(TVSP::AnsiToWide(path), kMaxAgentFileBytes, bytes)) {
            case ReadResult::Ok: break;
            case ReadResult::OpenFailed: return BROM_FILE_OPEN_FAILED;
            case ReadResult::ReadFailed: return BROM_FILE_READ_FAILED;
            case ReadResult::TooLarge: return BROM_DA_INVALID;
        }
        AgentInfo info;
        if (ParseAgentFile(bytes.data(), bytes.size(), info) != AgentError::None) return BROM_DA_INVALID;
        agent->file = std::move(bytes);
        agent->info = info;
        agent->loaded = true;
        return BROM_OK;
    });
}

int WINAPI DA_Unload(DA_HANDLE_T da) {
    return Guarded([&]() -> int {
        DownloadAgent* agent = DownloadAgents().Find(da);
        if (agent == nullptr) return BROM_INVALID_HANDLE;
        *agent = DownloadAgent{};
        return BROM_OK;
    });
}

}  // extern "C"
