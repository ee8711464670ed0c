// TVSP_MTK2WMObserver: download events turned into the progress message
// "tvsp_window_message_for_update_progress" for the main window, and the record's life.
#pragma once

#include <windows.h>

#include "engine/download_observer.h"
#include "engine/progress_mapping.h"

namespace TVSP {

// The registered number of the progress message; registered on the first call (the main window
// calls it at start-up), the same number on every later call. 0 when registration failed.
UINT ProgressMessageId();

// What the main window answers to a sent progress message once it has taken (and freed) the
// record; any other answer means nobody took it and the sender frees it.
inline constexpr LRESULT kProgressRecordTaken = 0x54565350;

// Records live on the process heap, so sender and receiver may sit in different modules.
// Null when memory is exhausted.
ProgressRecord* NewProgressRecord(const ProgressRecord& fields);
// Frees a record from NewProgressRecord; null is ignored.
void FreeProgressRecord(ProgressRecord* record);
// The record a progress message carries.
inline ProgressRecord* ProgressRecordOf(WPARAM wParam) { return reinterpret_cast<ProgressRecord*>(wParam); }

// Records made and freed since the process started: equal when none is held or lost.
struct ProgressRecordCounts {
    long allocated = 0;
    long freed = 0;
};
ProgressRecordCounts GetProgressRecordCounts();

// Hands a record to the window: kinds 1 and 5 by SendMessageW (returns once handled), the others
// by PostMessageW. A record nobody took is freed here. True when the window took it.
[[nodiscard]] bool DeliverProgress(HWND window, const ProgressRecord& fields);

class TVSP_MTK2WMObserver final : public TVSP_MTKDownloaderObserver {
public:
    explicit TVSP_MTK2WMObserver(HWND window) : window_(window) {}

    HWND Window() const { return window_; }

    int OnPrepareFailed() override;                  // kind 1, -1
    int OnConnected(void* connectResult) override;   // always goes on
    int OnDownloadPortTimeout() override;            // kind 1, -2
    int OnConnectRefused() override;
    int OnDownloadFinished(int libraryResult) override;  // kind 5
    int OnConnectA(ObserverArg a, ObserverArg b) override;
    int OnConnectB(ObserverArg a, ObserverArg b, ObserverArg c) override;
    int OnConnectC(ObserverArg a) override;
    int OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;  // kind 0
    int OnConnectE(ObserverArg a) override;
    int OnDownload8(ObserverArg a, ObserverArg b) override;
    int OnDownload20(ObserverArg a) override;
    int OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;  // kind 4
    int OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;  // kind 6
    int OnDownload36(ObserverArg a) override;
    int OnDownload44(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload84(ObserverArg a) override;
    int OnDownload92(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload100(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d, ObserverArg e) override;
    int OnDownload108(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnDownload132(ObserverArg a) override;
    int OnDownload140(ObserverArg a) override;
    int OnDownload356(ObserverArg a) override;
    int OnDownloadProgress364(ObserverArg percent, ObserverArg a) override;  // kind 2
    int OnUnused24(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override;
    int OnUnused25(ObserverArg a, ObserverArg b) override;
    int OnUnused26(ObserverArg a) override;
    int OnUnused27(ObserverArg a, ObserverArg b) override;
    int OnUnused28(ObserverArg a) override;
    int OnUnused29(ObserverArg a, ObserverArg b) override;
    int OnUnused30(ObserverArg a, ObserverArg b) override;
    int OnDownload116(ObserverArg a) override;
    int OnDownloadProgress124(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override;  // kind 3

private:
    void Deliver(std::int32_t kind, std::int32_t p1, std::int32_t p2, std::int32_t p3, std::int32_t value);

    HWND window_;
};

}  // namespace TVSP
