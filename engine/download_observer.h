// TVSP_MTKDownloaderObserver: the 33 events of one download, one operation per library callback
// or engine stage, each answering an int.
#pragma once

#include <cstdint>

namespace TVSP {

// Callback arguments travel unchanged from the download library; they are 32-bit values in the
// release build and wide enough to carry the library's context pointer in the 64-bit one.
using ObserverArg = std::uintptr_t;

class TVSP_MTKDownloaderObserver {
public:
    virtual int OnPrepareFailed() = 0;                                                         // 0
    virtual int OnConnected(void* connectResult) = 0;                                          // 1: 0 refuses
    virtual int OnDownloadPortTimeout() = 0;                                                   // 2
    virtual int OnConnectRefused() = 0;                                                        // 3
    virtual int OnDownloadFinished(int libraryResult) = 0;                                     // 4
    virtual int OnConnectA(ObserverArg a, ObserverArg b) = 0;                                  // 5
    virtual int OnConnectB(ObserverArg a, ObserverArg b, ObserverArg c) = 0;                   // 6
    virtual int OnConnectC(ObserverArg a) = 0;                                                 // 7
    virtual int OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) = 0;  // 8
    virtual int OnConnectE(ObserverArg a) = 0;                                                 // 9
    virtual int OnDownload8(ObserverArg a, ObserverArg b) = 0;                                 // 10
    virtual int OnDownload20(ObserverArg a) = 0;                                               // 11
    virtual int OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) = 0;  // 12
    virtual int OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) = 0;  // 13
    virtual int OnDownload36(ObserverArg a) = 0;                                               // 14
    virtual int OnDownload44(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) = 0;  // 15
    virtual int OnDownload84(ObserverArg a) = 0;                                               // 16
    virtual int OnDownload92(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) = 0;  // 17
    virtual int OnDownload100(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d, ObserverArg e) = 0;  // 18
    virtual int OnDownload108(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) = 0;  // 19
    virtual int OnDownload132(ObserverArg a) = 0;                                              // 20
    virtual int OnDownload140(ObserverArg a) = 0;                                              // 21
    virtual int OnDownload356(ObserverArg a) = 0;                                              // 22
    virtual int OnDownloadProgress364(ObserverArg percent, ObserverArg a) = 0;                 // 23
    virtual int OnUnused24(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) = 0;    // 24
    virtual int OnUnused25(ObserverArg a, ObserverArg b) = 0;                                  // 25
    virtual int OnUnused26(ObserverArg a) = 0;                                                 // 26
    virtual int OnUnused27(ObserverArg a, ObserverArg b) = 0;                                  // 27
    virtual int OnUnused28(ObserverArg a) = 0;                                                 // 28
    virtual int OnUnused29(ObserverArg a, ObserverArg b) = 0;                                  // 29
    virtual int OnUnused30(ObserverArg a, ObserverArg b) = 0;                                  // 30
    virtual int OnDownload116(ObserverArg a) = 0;                                              // 31
    virtual int OnDownloadProgress124(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) = 0;  // 32

    // Declared after the events so that they keep slots 0 to 32.
    virtual ~TVSP_MTKDownloaderObserver() = default;
};

}  // namespace TVSP
