// TVSP_MTKDownloaderObserverMgr: the process-wide fan-out of download events to the one observer
// registered at the time.
#pragma once

#include <memory>
#include <mutex>

#include "engine/download_observer.h"

namespace TVSP {

class TVSP_MTKDownloaderObserverMgr final : public TVSP_MTKDownloaderObserver {
public:
    // The process's manager, made on first use by whoever needs it and never destroyed: library
    // callbacks may still arrive while the process ends.
    static TVSP_MTKDownloaderObserverMgr& Instance();

    TVSP_MTKDownloaderObserverMgr() = default;
    TVSP_MTKDownloaderObserverMgr(const TVSP_MTKDownloaderObserverMgr&) = delete;
    TVSP_MTKDownloaderObserverMgr& operator=(const TVSP_MTKDownloaderObserverMgr&) = delete;

    // Replaces the observer (null: none). An event being delivered on another thread keeps its
    // observer alive until that delivery returns, so the caller never waits for the flash thread
    // (which may itself be waiting for the caller's window).
    void SetObserver(std::shared_ptr<TVSP_MTKDownloaderObserver> observer);
    // Removes the observer only when it is the one held, so a late removal never drops a newer
    // registration; true when removed.
    bool RemoveObserver(const TVSP_MTKDownloaderObserver* observer);
    std::shared_ptr<TVSP_MTKDownloaderObserver> Observer() const;

    // Each event goes to the same operation of the observer; without one, 0 (slots 1 and 2: 1).
    int OnPrepareFailed() override;
    int OnConnected(void* connectResult) override;
    int OnDownloadPortTimeout() override;
    int OnConnectRefused() override;
    int OnDownloadFinished(int libraryResult) override;
    int OnConnectA(ObserverArg a, ObserverArg b) override;
    int OnConnectB(ObserverArg a, ObserverArg b, ObserverArg c) override;
    int OnConnectC(ObserverArg a) override;
    int OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;
    int OnConnectE(ObserverArg a) override;
    int OnDownload8(ObserverArg a, ObserverArg b) override;
    int OnDownload20(ObserverArg a) override;
    int OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;
    int OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;
    int OnDownload36(ObserverArg a) override;
    int OnDownload44(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload84(ObserverArg a) override;
    int OnDownload92(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload100(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d, ObserverArg e) override;
    int OnDownload108(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload132(ObserverArg a) override;
    int OnDownload140(ObserverArg a) override;
    int OnDownload356(ObserverArg a) override;
    int OnDownloadProgress364(ObserverArg percent, ObserverArg a) override;
    int OnUnused24(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnUnused25(ObserverArg a, ObserverArg b) override;
    int OnUnused26(ObserverArg a) override;
    int OnUnused27(ObserverArg a, ObserverArg b) override;
    int OnUnused28(ObserverArg a) override;
    int OnUnused29(ObserverArg a, ObserverArg b) override;
    int OnUnused30(ObserverArg a, ObserverArg b) override;
    int OnDownload116(ObserverArg a) override;
    int OnDownloadProgress124(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;

private:
    template <typename Call>
    int Forward(int withoutObserver, Call call) const {
        const std::shared_ptr<TVSP_MTKDownloaderObserver> observer = Observer();
        return observer ? call(*observer) : withoutObserver;
    }

    // Held only to copy or swap the pointer, never while an observer runs.
    mutable std::mutex lock_;
    std::shared_ptr<TVSP_MTKDownloaderObserver> observer_;
};

}  // namespace TVSP
