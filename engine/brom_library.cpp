// Binding of brom.dll by ordinal, loaded once from the program folder and kept for the process;
// the engine's view of its operations.
#include "engine/brom_library.h"

#include "base/program_files.h"
#include "device/code_signature.h"
#include "device/system_utils.h"

namespace TVSP {
namespace {

std::wstring LibraryPath() { return ProgramFolderFile(ProgramFiles::kDownloadLibrary); }

// Calls the export at Ordinal with the declared signature of Name; kBromUnavailable without it.
template <WORD Ordinal, auto Name, typename... Args>
int CallByOrdinal(Args... args) {
    const auto fn = BromLibrary::Instance().Bind<decltype(Name)>(Ordinal);
    return fn ? fn(args...) : kBromUnavailable;
}

class BromDownloadLibrary final : public IDownloadLibrary {
public:
    int ComPortEnumerate(unsigned short* ports, unsigned short* count) override {
        return CallByOrdinal<kBromComPortEnumerate, &::ComPortEnumerate>(ports, count);
    }
    int ComPortEnumerateWithFilterHardwareID(unsigned short* ports, unsigned short* count,
                                             const COM_PORT_FILTER* filter) override {
        return CallByOrdinal<kBromComPortEnumerateWithFilterHardwareID, &::ComPortEnumerateWithFilterHardwareID>(
            ports, count, filter);
    }
    int DL_Create(DL_HANDLE_T* dl) override { return CallByOrdinal<kBromDL_Create, &::DL_Create>(dl); }
    int DL_Destroy(DL_HANDLE_T* dl) override { return CallByOrdinal<kBromDL_Destroy, &::DL_Destroy>(dl); }
    int DL_Rom_UnloadAll(DL_HANDLE_T dl) override {
        return CallByOrdinal<kBromDL_Rom_UnloadAll, &::DL_Rom_UnloadAll>(dl);
    }
    int DA_Create(DA_HANDLE_T* da) override { return CallByOrdinal<kBromDA_Create, &::DA_Create>(da); }
    int DA_Destroy(DA_HANDLE_T* da) override { return CallByOrdinal<kBromDA_Destroy, &::DA_Destroy>(da); }
    int DA_Load(DA_HANDLE_T da, const char* path, int verify) override {
        return CallByOrdinal<kBromDA_Load, &::DA_Load>(da, path, verify);
    }
    int DA_Unload(DA_HANDLE_T da) override { return CallByOrdinal<kBromDA_Unload, &::DA_Unload>(da); }
    int DL_CreateList(DL_LIST_HANDLE_T* list) override {
        return CallByOrdinal<kBromDL_CreateList, &::DL_CreateList>(list);
    }
    int DL_DestroyList(DL_LIST_HANDLE_T* list) override {
        return CallByOrdinal<kBromDL_DestroyList, &::DL_DestroyList>(list);
    }
    int FlashTool_Connect(unsigned char port, BROM_CONNECT_ARGS* args, BROM_CONNECT_RESULT* result, int* stopFlag,
                          FLASHTOOL_HANDLE_T* handle) override {
        return CallByOrdinal<kBromFlashTool_Connect, &::FlashTool_Connect>(port, args, result, stopFlag, handle);
    }
    int FlashTool_Disconnect(FLASHTOOL_HANDLE_T* handle, int reserved1, int reserved2) override {
        return CallByOrdinal<kBromFlashTool_Disconnect, &::FlashTool_Disconnect>(handle, reserved1, reserved2);
    }
    int FlashTool_EnableWatchDogTimeout(FLASHTOOL_HANDLE_T handle, unsigned int milliseconds, int reserved1,
                                        int reserved2) override {
        return CallByOrdinal<kBromFlashTool_EnableWatchDogTimeout, &::FlashTool_EnableWatchDogTimeout>(
            handle, milliseconds, reserved1, reserved2);
    }
    int FlashTool_Download(FLASHTOOL_HANDLE_T handle, BROM_DOWNLOAD_ARGS* args, BROM_DOWNLOAD_RESULT* result) override {
        return CallByOrdinal<kBromFlashTool_Download, &::FlashTool_Download>(handle, args, result);
    }
    int GetROMSetting(const char* cfgPath, BROM_ROM_SETTING* setting, int reserved) override {
        return CallByOrdinal<kBromGetROMSetting, &::GetROMSetting>(cfgPath, setting, reserved);
    }
    int GetExternalMemorySetting(const char* cfgPath, BROM_EXTERNAL_MEMORY_SETTING* setting, int reserved) override {
        return CallByOrdinal<kBromGetExternalMemorySetting, &::GetExternalMemorySetting>(cfgPath, setting, reserved);
    }
    int DL_CreateROMEntries(DL_HANDLE_T dl, const BROM_ROM_SETTING* setting) override {
        return CallByOrdinal<kBromDL_CreateROMEntries, &::DL_CreateROMEntries>(dl, setting);
    }
    int DL_AutoLoadROMFiles(DL_HANDLE_T dl) override {
        return CallByOrdinal<kBromDL_AutoLoadROMFiles, &::DL_AutoLoadROMFiles>(dl);
    }
    int DL_GetBMTPoolAddress(DL_HANDLE_T dl, unsigned int* address) override {
        return CallByOrdinal<kBromDL_GetBMTPoolAddress, &::DL_GetBMTPoolAddress>(dl, address);
    }

    bool VerifyIntegrity() override { return IsSignedByMaker(LibraryPath()); }

    bool BindExtendedFunctions() override {
        // The addresses stay valid only while the library stays loaded: the ordinal binding holds it.
        if (!BromLibrary::Instance().IsLoaded()) return false;
        HMODULE module = ::LoadLibraryW(LibraryPath().c_str());
        if (!module) return false;
        getCount_ = reinterpret_cast<decltype(getCount_)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DL_GetCount_Ex")));
        getInfoAll_ = reinterpret_cast<decltype(getInfoAll_)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DL_Rom_GetInfoAll_Ex")));
        setEnable_ = reinterpret_cast<decltype(setEnable_)>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DL_Rom_SetEnableAttr_Ex")));
        ::FreeLibrary(module);
        return getCount_ && getInfoAll_ && setEnable_;
    }
    int DL_GetCount_Ex(DL_HANDLE_T dl, unsigned short* count) override {
        return getCount_ ? getCount_(dl, count) : kBromUnavailable;
    }
    int DL_Rom_GetInfoAll_Ex(DL_HANDLE_T dl, BROM_ROM_INFO* info, unsigned short capacity) override {
        return getInfoAll_ ? getInfoAll_(dl, info, capacity) : kBromUnavailable;
    }
    int DL_Rom_SetEnableAttr_Ex(DL_HANDLE_T dl, unsigned short index, int enable) override {
        return setEnable_ ? setEnable_(dl, index, enable) : kBromUnavailable;
    }

private:
    decltype(&::DL_GetCount_Ex) getCount_ = nullptr;
    decltype(&::DL_Rom_GetInfoAll_Ex) getInfoAll_ = nullptr;
    decltype(&::DL_Rom_SetEnableAttr_Ex) setEnable_ = nullptr;
};

}  // namespace

BromLibrary& BromLibrary::Instance() {
    static BromLibrary library;
    return library;
}

HMODULE BromLibrary::Module() {
    // Loaded by full path so a brom.dll in the current folder can never be picked up instead.
    static HMODULE module = [] {
        const std::wstring path = LibraryPath();
        return path.empty() ? nullptr : ::LoadLibraryW(path.c_str());
    }();
    return module;
}

bool BromLibrary::IsLoaded() { return Module() != nullptr; }

FARPROC BromLibrary::ProcByOrdinal(WORD ordinal) {
    HMODULE module = Module();
    if (!module) return nullptr;
    return ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
}

IDownloadLibrary& DownloadLibrary() {
    static BromDownloadLibrary library;
    return library;
}

}  // namespace TVSP
