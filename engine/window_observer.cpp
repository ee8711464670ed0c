// TVSP_MTK2WMObserver and the progress message's records: allocation, delivery, counting.
#include "engine/window_observer.h"

#include <atomic>
#include <new>

namespace TVSP {
namespace {

std::atomic<long> g_allocated{0};
std::atomic<long> g_freed{0};

// The record's 32-bit fields take the low 32 bits of a callback argument.
std::int32_t Low32(ObserverArg value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

}  // namespace

UINT ProgressMessageId() {
    static const UINT id = ::RegisterWindowMessageW(L"tvsp_window_message_for_update_progress");
    return id;
}

ProgressRecord* NewProgressRecord(const ProgressRecord& fields) {
    void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(ProgressRecord));
    if (!memory) return nullptr;
    g_allocated.fetch_add(1);
    return new (memory) ProgressRecord(fields);
}

void FreeProgressRecord(ProgressRecord* record) {
    if (!record) return;
    ::HeapFree(::GetProcessHeap(), 0, record);
    g_freed.fetch_add(1);
}

ProgressRecordCounts GetProgressRecordCounts() { return {g_allocated.load(), g_freed.load()}; }

bool DeliverProgress(HWND window, const ProgressRecord& fields) {
    const UINT message = ProgressMessageId();
    if (!window || !message) return false;
    ProgressRecord* record = NewProgressRecord(fields);
    if (!record) return false;
    const WPARAM wParam = reinterpret_cast<WPARAM>(record);
    if (IsSentKind(fields.kind)) {
        // Answered only after the window handled it, so the flash thread goes on after the result.
        if (::SendMessageW(window, message, wParam, 0) == kProgressRecordTaken) return true;
    } else if (::PostMessageW(window, message, wParam, 0)) {
        return true;
    }
    // The window is gone or its queue is full: nobody else will free the record.
    FreeProgressRecord(record);
    return false;
}

void TVSP_MTK2WMObserver::Deliver(std::int32_t kind, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                                  std::int32_t value) {
    // An undelivered record was freed on the spot, and every slot answers the library the same
    // whether the window took it or not.
    static_cast<void>(DeliverProgress(window_, ProgressRecord{kind, p1, p2, p3, value}));
}

int TVSP_MTK2WMObserver::OnPrepareFailed() {
    Deliver(kProgressFailed, 0, 0, 0, kPrepareFailedValue);
    return 0;
}

int TVSP_MTK2WMObserver::OnConnected(void*) { return 1; }

int TVSP_MTK2WMObserver::OnDownloadPortTimeout() {
    Deliver(kProgressFailed, 0, 0, 0, kNoDownloadPortValue);
    return 0;
}

int TVSP_MTK2WMObserver::OnConnectRefused() { return 0; }

int TVSP_MTK2WMObserver::OnDownloadFinished(int libraryResult) {
    Deliver(kProgressEnd, 0, 0, 0, libraryResult);
    return 0;
}

int TVSP_MTK2WMObserver::OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg) {
    Deliver(kProgressConnect, PercentOf(percent), Low32(a), Low32(b), 0);
    return 0;
}

int TVSP_MTK2WMObserver::OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg) {
    Deliver(kProgressStage28, PercentOf(percent), Low32(a), Low32(b), 0);
    return 0;
}

int TVSP_MTK2WMObserver::OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg) {
    Deliver(kProgressStage60, PercentOf(percent), Low32(a), Low32(b), 0);
    return 0;
}

int TVSP_MTK2WMObserver::OnDownloadProgress364(ObserverArg percent, ObserverArg) {
    Deliver(kProgressStage364, PercentOf(percent), 0, 0, 0);
    return 0;
}

int TVSP_MTK2WMObserver::OnDownloadProgress124(ObserverArg percent, ObserverArg, ObserverArg, ObserverArg) {
    Deliver(kProgressStage124, PercentOf(percent), 0, 0, 0);
    return 0;
}

// The events the window does not show.
int TVSP_MTK2WMObserver::OnConnectA(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnConnectB(ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnConnectC(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnConnectE(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload8(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload20(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload36(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload44(ObserverArg, ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload84(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload92(ObserverArg, ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload100(ObserverArg, ObserverArg, ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload108(ObserverArg, ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload132(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload140(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload356(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused24(ObserverArg, ObserverArg, ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused25(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused26(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused27(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused28(ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused29(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnUnused30(ObserverArg, ObserverArg) { return 0; }
int TVSP_MTK2WMObserver::OnDownload116(ObserverArg) { return 0; }

}  // namespace TVSP
