// TVSP_MTKDownloader: preparation, port wait, connect and download records, release.
#include "engine/mtk_downloader.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/download_port_search.h"
#include "engine/model_class.h"
#include "engine/observer_manager.h"
#include "engine/region_selection.h"
#include "engine/watch_ports.h"

namespace TVSP {
namespace {

TVSP_MTKDownloaderObserverMgr& Observers() { return TVSP_MTKDownloaderObserverMgr::Instance(); }

// Passed to FlashTool_Connect; nothing raises it, so a running download is never cancelled.
int g_stopFlag = 0;

// Library callbacks: each forwards its arguments unchanged to the same observer slot.
int WINAPI ConnectA(std::uintptr_t a, std::uintptr_t b) { return Observers().OnConnectA(a, b); }
int WINAPI ConnectB(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) { return Observers().OnConnectB(a, b, c); }
int WINAPI ConnectC(std::uintptr_t a) { return Observers().OnConnectC(a); }
int WINAPI ConnectD(std::uintptr_t p, std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) {
    return Observers().OnConnectProgress(p, a, b, c);
}
int WINAPI ConnectE(std::uintptr_t a) { return Observers().OnConnectE(a); }
int WINAPI Download8(std::uintptr_t a, std::uintptr_t b) { return Observers().OnDownload8(a, b); }
int WINAPI Download20(std::uintptr_t a) { return Observers().OnDownload20(a); }
int WINAPI Download28(std::uintptr_t p, std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) {
    return Observers().OnDownloadProgress28(p, a, b, c);
}
int WINAPI Download36(std::uintptr_t a) { return Observers().OnDownload36(a); }
int WINAPI Download44(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
    return Observers().OnDownload44(a, b, c, d);
}
int WINAPI Download60(std::uintptr_t p, std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) {
    return Observers().OnDownloadProgress60(p, a, b, c);
}
int WINAPI Download84(std::uintptr_t a) { return Observers().OnDownload84(a); }
int WINAPI Download92(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
    return Observers().OnDownload92(a, b, c, d);
}
int WINAPI Download100(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d, std::uintptr_t e) {
    return Observers().OnDownload100(a, b, c, d, e);
}
int WINAPI Download108(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uintptr_t d) {
    return Observers().OnDownload108(a, b, c, d);
}
int WINAPI Download116(std::uintptr_t a) { return Observers().OnDownload116(a); }
int WINAPI Download124(std::uintptr_t p, std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) {
    return Observers().OnDownloadProgress124(p, a, b, c);
}
int WINAPI Download132(std::uintptr_t a) { return Observers().OnDownload132(a); }
int WINAPI Download140(std::uintptr_t a) { return Observers().OnDownload140(a); }
int WINAPI Download356(std::uintptr_t a) { return Observers().OnDownload356(a); }
int WINAPI Download364(std::uintptr_t p, std::uintptr_t a) { return Observers().OnDownloadProgress364(p, a); }
int WINAPI DoNothing(std::uintptr_t) { return 0; }

// Connect records: zeroed, then the values the library expects; contexts are the downloader.
void FillConnectArgs(BROM_CONNECT_ARGS& args, BROM_CONNECT_RESULT& result, void* downloader, DA_HANDLE_T da) {
    std::memset(&args, 0, sizeof args);
    args.value0 = 0x0FFFFFFF;
    args.value4 = 0x0FFFFFFF;
    BROM_CONNECT_INNER& in = args.inner;
    in.value0 = 254;
    in.value4 = 254;
    in.value8 = 0x0FFFFFFF;
    in.value12 = 1;
    in.callbackA = ConnectA;
    in.contextA = downloader;
    in.callbackB = ConnectB;
    in.contextB = reinterpret_cast<unsigned char*>(&result) + 4;
    in.value32 = 1;
    in.context56 = downloader;
    in.value60 = 0;
    in.context64 = downloader;
    in.daHandle = da;
    in.callbackC = ConnectC;
    in.contextC = downloader;
    in.callbackD = ConnectD;
    in.contextD = downloader;
    in.value108 = 1;
    in.value112 = 0;
    in.value57076 = 0;
    in.value57080 = 0;
    in.value57084 = 1;
    args.callbackE = ConnectE;
    args.contextE = downloader;
    args.value57112 = 0;
    args.value57116 = 8;
}

void FillDownloadArgs(BROM_DOWNLOAD_ARGS& args, void* downloader, DL_HANDLE_T dl) {
    std::memset(&args, 0, sizeof args);
    args.dlHandle = dl;
    args.callback8 = Download8, args.context8 = downloader;
    args.callback20 = Download20, args.context20 = downloader;
    args.callback28 = Download28, args.context28 = downloader;
    args.callback36 = Download36, args.context36 = downloader;
    args.callback44 = Download44, args.context44 = downloader;
    args.callback52 = DoNothing, args.context52 = downloader;
    args.callback60 = Download60, args.context60 = downloader;
    args.callback68 = DoNothing, args.context68 = downloader;
    args.context80 = downloader;
    args.callback84 = Download84, args.context84 = downloader;
    args.callback92 = Download92, args.context92 = downloader;
    args.callback100 = Download100, args.context100 = downloader;
    args.callback108 = Download108, args.context108 = downloader;
    args.callback116 = Download116, args.context116 = downloader;
    args.callback124 = Download124, args.context124 = downloader;
    args.callback132 = Download132, args.context132 = downloader;
    args.callback140 = Download140, args.context140 = downloader;
    args.value148 = 1;
    args.value152 = 1;
    args.callback356 = Download356, args.context356 = downloader;
    args.callback364 = Download364, args.context364 = downloader;
    args.value372 = 1;
}

// The region name at offset 8 of an information entry, read no further than the entry.
std::string_view RegionName(const BROM_ROM_INFO& entry) {
    const char* name = reinterpret_cast<const char*>(&entry) + 8;
    return std::string_view(name, strnlen(name, sizeof(BROM_ROM_INFO) - 8));
}

}  // namespace

TVSP_MTKDownloader::TVSP_MTKDownloader(IDownloadLibrary& library)
    : library_(library) {}

TVSP_MTKDownloader::~TVSP_MTKDownloader() { Release(); }

void TVSP_MTKDownloader::Download(unsigned short port) {
    g_stopFlag = 0;
    lastResult_ = 0;
    port_ = port;

    if (!Prepare()) {
        Observers().OnPrepareFailed();
        return;
    }
    unsigned short downloadPort = 0;
    if (!WaitForDownloadPort(&downloadPort)) {
        Observers().OnDownloadPortTimeout();
        return;
    }
    if (modelClass_ == kModelClassPowerOffOta && ownerWindow_) ownerWindow_->CloseConnectionGuideIfOpen();
    port_ = downloadPort;
    if (downloadPortFound_) *downloadPortFound_ = kDownloadPortInUse;

    // The connect record is larger than a thread stack should carry.
    auto connectArgs = std::make_unique<BROM_CONNECT_ARGS>();
    auto connectResult = std::make_unique<BROM_CONNECT_RESULT>();
    std::memset(connectResult.get(), 0, sizeof(BROM_CONNECT_RESULT));
    FillConnectArgs(*connectArgs, *connectResult, this, daHandle_);
    KeepFirstFailure(library_.GetExternalMemorySetting(romSettingPath_.c_str(), &connectArgs->inner.externalMemory, 0));
    KeepFirstFailure(library_.DL_GetBMTPoolAddress(dlHandle_, &connectArgs->bmtPoolAddress));

    if (lastResult_ == 0 && port_ > 0xFF) lastResult_ = kDownloadPortOutOfRange;

    if (lastResult_ == 0) {
        FLASHTOOL_HANDLE_T handle = nullptr;
        lastResult_ = library_.FlashTool_Connect(static_cast<unsigned char>(port_), connectArgs.get(),
                                                 connectResult.get(), &g_stopFlag, &handle);
        if (lastResult_ != 0) {
            Observers().OnDownloadFinished(lastResult_);
            library_.FlashTool_Disconnect(&handle, 0, 0);
            return;
        }
        ft_handle_sentry sentry(library_, &handle);
        if (Observers().OnConnected(connectResult.get()) == 0) {
            Observers().OnConnectRefused();
            return;
        }
        BROM_DOWNLOAD_ARGS downloadArgs;
        FillDownloadArgs(downloadArgs, this, dlHandle_);
        BROM_DOWNLOAD_RESULT downloadResult{};
        lastResult_ = library_.FlashTool_Download(handle, &downloadArgs, &downloadResult);
        if (lastResult_ == 0) {
            if (downloadPortFound_) *downloadPortFound_ = kDownloadPortWritten;
            // Its result is not looked at: the write is done, the watch restarts either way.
            static_cast<void>(library_.FlashTool_EnableWatchDogTimeout(handle, kWatchdogTimeoutMs, 0, 0));
        }
    }
    Observers().OnDownloadFinished(lastResult_);
}

bool TVSP_MTKDownloader::Prepare() {
    if (daFilePath_.empty() || romSettingPath_.empty()) return false;
    Release();

    if (port_ == 0) {
        const PortEnumeration ports = EnumerateWatchPorts(library_);
        if (ports.result != kEnumerationOk || ports.count != 1) return false;
        port_ = ports.ports[0];
        if (!serial_.Open(port_)) return FailPreparation();
        Observers().OnConnectA(reinterpret_cast<ObserverArg>(serial_.Handle()), 0);
        // The port was only looked at; a failed close leaves nothing for the download to undo.
        static_cast<void>(serial_.Close());
    }

    library_.DL_Create(&dlHandle_);
    // 130 576 bytes: on the heap rather than the flash thread's stack.
    auto setting = std::make_unique<BROM_ROM_SETTING>();
    std::memset(setting.get(), 0, sizeof(BROM_ROM_SETTING));
    if (library_.GetROMSetting(romSettingPath_.c_str(), setting.get(), 0) != 0) return FailPreparation();
    if (library_.DL_CreateROMEntries(dlHandle_, setting.get()) != 0) return FailPreparation();
    if (library_.DL_AutoLoadROMFiles(dlHandle_) != 0) return FailPreparation();
    library_.DL_CreateList(&dlListHandle_);
    library_.DA_Create(&daHandle_);
    if (library_.DA_Load(daHandle_, daFilePath_.c_str(), 1) != 0) return FailPreparation();

    // The library decides which flash regions are touched: it must be our intact copy.
    if (!library_.VerifyIntegrity()) return FailPreparation();
    if (!library_.BindExtendedFunctions()) return FailPreparation();
    if (!SelectRegions()) return FailPreparation();
    return true;
}

bool TVSP_MTKDownloader::SelectRegions() {
    unsigned short count = 0;
    if (library_.DL_GetCount_Ex(dlHandle_, &count) != 0 || count == 0) return false;
    // Regions past the information array could not be judged by name, and writing an unjudged
    // region (a boot loader) could leave the watch unable to start: such a set is not written.
    if (count > kRomInfoCapacity) return false;
    std::vector<BROM_ROM_INFO> info(kRomInfoCapacity);
    std::memset(info.data(), 0, info.size() * sizeof(BROM_ROM_INFO));
    if (library_.DL_Rom_GetInfoAll_Ex(dlHandle_, info.data(), kRomInfoCapacity) != 0) return false;
    for (unsigned short index = 0; index < count; ++index) {
        if (IsRegionWritten(modelClass_, RegionName(info[index]))) continue;
        if (library_.DL_Rom_SetEnableAttr_Ex(dlHandle_, index, 0) != 0) return false;
    }
    return true;
}

bool TVSP_MTKDownloader::FailPreparation() {
    Release();
    return false;
}

bool TVSP_MTKDownloader::WaitForDownloadPort(unsigned short* port) {
    DownloadPortSearch search;
    {
        const PortEnumeration snapshot = EnumerateAllPorts(library_);
        if (!search.TakeSnapshot(snapshot.result, snapshot.ports)) return false;
    }
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < portWaitLimitMs_) {
        const PortEnumeration now = EnumerateAllPorts(library_);
        if (const unsigned short found = search.Pass(now.result, now.ports)) {
            if (port) *port = found;
            return true;
        }
    }
    return false;
}

void TVSP_MTKDownloader::Release() {
    // Releasing goes on whatever the port's close says: the library objects must go too.
    static_cast<void>(serial_.Close());
    if (daHandle_) {
        library_.DA_Unload(daHandle_);
        library_.DA_Destroy(&daHandle_);
        daHandle_ = nullptr;
    }
    if (dlListHandle_) {
        library_.DL_DestroyList(&dlListHandle_);
        dlListHandle_ = nullptr;
    }
    if (dlHandle_) {
        library_.DL_Rom_UnloadAll(dlHandle_);
        library_.DL_Destroy(&dlHandle_);
        dlHandle_ = nullptr;
    }
}

}  // namespace TVSP
