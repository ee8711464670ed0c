// TVSP_MTKDownloader: one download through brom.dll — agent and ROM set loaded, regions chosen by
// model class, the watch's download port awaited, connect, write, watchdog, every stage reported
// to the observer manager. Ports are enumerated through engine/watch_ports.h.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/at_channel.h"
#include "engine/brom_library.h"
#include "engine/model_class.h"
#include "engine/watch_window_side.h"

namespace TVSP {

inline constexpr DWORD kDownloadPortWaitMs = 180000;
inline constexpr unsigned int kWatchdogTimeoutMs = 50;
inline constexpr unsigned short kRomInfoCapacity = 35;

// The download port's number does not fit the library's 8-bit port argument: not connected
// (a cut number would address another port). Reported like a failed connect.
inline constexpr int kDownloadPortOutOfRange = 0x7FFF0001;

// Disconnects a connected watch when the download leaves, whichever way it leaves.
class ft_handle_sentry {
public:
    ft_handle_sentry(IDownloadLibrary& library, FLASHTOOL_HANDLE_T* handle) : library_(library), handle_(handle) {}
    ft_handle_sentry(const ft_handle_sentry&) = delete;
    ft_handle_sentry& operator=(const ft_handle_sentry&) = delete;
    ~ft_handle_sentry() {
        if (handle_) library_.FlashTool_Disconnect(handle_, 0, 0);
    }

private:
    IDownloadLibrary& library_;
    FLASHTOOL_HANDLE_T* handle_;
};

// Values of the download-port-found flag besides 0. Written: the watch restarts on its own from
// here, so its download port going (and its normal port coming) is no broken download, even when
// announced before the download's end is reported.
inline constexpr int kDownloadPortInUse = 1;
inline constexpr int kDownloadPortWritten = 2;

class TVSP_MTKDownloader {
public:
    explicit TVSP_MTKDownloader(IDownloadLibrary& library = DownloadLibrary());
    TVSP_MTKDownloader(const TVSP_MTKDownloader&) = delete;
    TVSP_MTKDownloader& operator=(const TVSP_MTKDownloader&) = delete;
    virtual ~TVSP_MTKDownloader();

    void SetDownloadAgentPath(std::string path) { daFilePath_ = std::move(path); }
    void SetRomSettingPath(std::string path) { romSettingPath_ = std::move(path); }
    // Set to kDownloadPortInUse once the download port was found and to kDownloadPortWritten once
    // the write succeeded (the caller's flag; null: none).
    void SetDownloadPortFoundFlag(std::atomic<int>* flag) { downloadPortFound_ = flag; }
    void SetModelClass(unsigned modelClass) { modelClass_ = modelClass; }
    // The window whose connection guide was opened for this download (null: none).
    void SetOwnerWindow(IWatchWindowSide* owner) { ownerWindow_ = owner; }
    // The watch's port in normal mode; 0 makes the preparation look it up.
    void SetPort(unsigned short port) { port_ = port; }
    // How long WaitForDownloadPort looks (kDownloadPortWaitMs unless a caller needs less).
    void SetPortWaitLimit(DWORD milliseconds) { portWaitLimitMs_ = milliseconds; }

    // The whole download; every outcome is reported through the observer manager. port 0 makes
    // the preparation look the watch's port up.
    void Download(unsigned short port);
    // Loads the agent and the ROM set and disables the regions this model class does not take.
    [[nodiscard]] bool Prepare();
    // The port the rebooted watch came back on; false when none appeared within the limit or the
    // first enumeration failed.
    [[nodiscard]] bool WaitForDownloadPort(unsigned short* port);
    // Frees the library objects and closes the serial port; also run by the destructor.
    void Release();

    unsigned short Port() const { return port_; }
    int LastResult() const { return lastResult_; }

private:
    bool FailPreparation();
    bool SelectRegions();
    // Keeps the first failing result of the connect preparation.
    void KeepFirstFailure(int result) {
        if (lastResult_ == 0) lastResult_ = result;
    }

    IDownloadLibrary& library_;
    std::string daFilePath_;
    std::string romSettingPath_;
    std::atomic<int>* downloadPortFound_ = nullptr;
    unsigned modelClass_ = kModelClassServerRestore;
    IWatchWindowSide* ownerWindow_ = nullptr;
    WatchPort serial_;
    unsigned short port_ = 0;
    DA_HANDLE_T daHandle_ = nullptr;
    DL_HANDLE_T dlHandle_ = nullptr;
    DL_LIST_HANDLE_T dlListHandle_ = nullptr;
    int lastResult_ = 0;
    DWORD portWaitLimitMs_ = kDownloadPortWaitMs;
};

}  // namespace TVSP
