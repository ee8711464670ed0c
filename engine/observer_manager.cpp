// TVSP_MTKDownloaderObserverMgr: registration and the fan-out of every slot.
#include "engine/observer_manager.h"

#include <utility>

namespace TVSP {

TVSP_MTKDownloaderObserverMgr& TVSP_MTKDownloaderObserverMgr::Instance() {
    static auto* manager = new TVSP_MTKDownloaderObserverMgr();  // never destroyed
    return *manager;
}

void TVSP_MTKDownloaderObserverMgr::SetObserver(std::shared_ptr<TVSP_MTKDownloaderObserver> observer) {
    std::shared_ptr<TVSP_MTKDownloaderObserver> previous;
    {
        std::lock_guard hold(lock_);
        previous = std::exchange(observer_, std::move(observer));
    }
    // previous is released outside the lock: its destructor may be the last reference.
}

bool TVSP_MTKDownloaderObserverMgr::RemoveObserver(const TVSP_MTKDownloaderObserver* observer) {
    std::shared_ptr<TVSP_MTKDownloaderObserver> previous;
    {
        std::lock_guard hold(lock_);
        if (!observer || observer_.get() != observer) return false;
        previous = std::move(observer_);  // leaves observer_ empty
    }
    return true;
}

std::shared_ptr<TVSP_MTKDownloaderObserver> TVSP_MTKDownloaderObserverMgr::Observer() const {
    std::lock_guard hold(lock_);
    return observer_;
}

int TVSP_MTKDownloaderObserverMgr::OnPrepareFailed() {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnPrepareFailed(); });
}

// Connecting goes on without an observer.
int TVSP_MTKDownloaderObserverMgr::OnConnected(void* connectResult) {
    return Forward(1, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnected(connectResult); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadPortTimeout() {
    return Forward(1, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadPortTimeout(); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectRefused() {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectRefused(); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadFinished(int libraryResult) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadFinished(libraryResult); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectA(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectA(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectB(ObserverArg a, ObserverArg b, ObserverArg c) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectB(a, b, c); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectC(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectC(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectProgress(percent, a, b, c); });
}

int TVSP_MTKDownloaderObserverMgr::OnConnectE(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnConnectE(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload8(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload8(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload20(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload20(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadProgress28(percent, a, b, c); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadProgress60(percent, a, b, c); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload36(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload36(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload44(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload44(a, b, c, d); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload84(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload84(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload92(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload92(a, b, c, d); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload100(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d, ObserverArg e) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload100(a, b, c, d, e); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload108(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload108(a, b, c, d); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload132(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload132(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload140(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload140(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload356(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload356(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadProgress364(ObserverArg percent, ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadProgress364(percent, a); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused24(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused24(a, b, c, d); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused25(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused25(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused26(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused26(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused27(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused27(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused28(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused28(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused29(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused29(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnUnused30(ObserverArg a, ObserverArg b) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnUnused30(a, b); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownload116(ObserverArg a) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownload116(a); });
}

int TVSP_MTKDownloaderObserverMgr::OnDownloadProgress124(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) {
    return Forward(0, [&](TVSP_MTKDownloaderObserver& o) { return o.OnDownloadProgress124(percent, a, b, c); });
}

}  // namespace TVSP
