// An observer that records every download event with its arguments, for the engine's tests.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/download_observer.h"

namespace TVSP {

// Remembers every event (slot and arguments) and answers 100 + slot, so a result that comes from
// the wrong slot or from no observer at all is told apart.
class RecordingObserver : public TVSP_MTKDownloaderObserver {
public:
    struct Event {
        int slot;
        std::vector<ObserverArg> args;
    };
    std::vector<Event> events;
    std::atomic<int> calls{0};
    std::atomic<bool>* destroyed = nullptr;  // set in the destructor when given
    int connectAnswer = 101;                 // slot 1's answer: 0 refuses the connection

    // The slots raised, in order.
    std::vector<int> Slots() {
        std::lock_guard hold(lock_);
        std::vector<int> slots;
        for (const Event& e : events) slots.push_back(e.slot);
        return slots;
    }

    ~RecordingObserver() override {
        if (destroyed) *destroyed = true;
    }

    int OnPrepareFailed() override { return Record(0, {}); }
    int OnConnected(void* connectResult) override {
        Record(1, {reinterpret_cast<ObserverArg>(connectResult)});
        return connectAnswer;
    }
    int OnDownloadPortTimeout() override { return Record(2, {}); }
    int OnConnectRefused() override { return Record(3, {}); }
    int OnDownloadFinished(int libraryResult) override { return Record(4, {static_cast<ObserverArg>(libraryResult)}); }
    int OnConnectA(ObserverArg a, ObserverArg b) override { return Record(5, {a, b}); }
    int OnConnectB(ObserverArg a, ObserverArg b, ObserverArg c) override { return Record(6, {a, b, c}); }
    int OnConnectC(ObserverArg a) override { return Record(7, {a}); }
    int OnConnectProgress(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override { return Record(8, {percent, a, b, c}); }
    int OnConnectE(ObserverArg a) override { return Record(9, {a}); }
    int OnDownload8(ObserverArg a, ObserverArg b) override { return Record(10, {a, b}); }
    int OnDownload20(ObserverArg a) override { return Record(11, {a}); }
    int OnDownloadProgress28(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override { return Record(12, {percent, a, b, c}); }
    int OnDownloadProgress60(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override { return Record(13, {percent, a, b, c}); }
    int OnDownload36(ObserverArg a) override { return Record(14, {a}); }
    int OnDownload44(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override { return Record(15, {a, b, c, d}); }
    int OnDownload84(ObserverArg a) override { return Record(16, {a}); }
    int OnDownload92(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override { return Record(17, {a, b, c, d}); }
    int OnDownload100(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d, ObserverArg e) override { return Record(18, {a, b, c, d, e}); }
    int OnDownload108(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override { return Record(19, {a, b, c, d}); }
    int OnDownload132(ObserverArg a) override { return Record(20, {a}); }
    int OnDownload140(ObserverArg a) override { return Record(21, {a}); }
    int OnDownload356(ObserverArg a) override { return Record(22, {a}); }
    int OnDownloadProgress364(ObserverArg percent, ObserverArg a) override { return Record(23, {percent, a}); }
    int OnUnused24(ObserverArg a, ObserverArg b, ObserverArg c, ObserverArg d) override { return Record(24, {a, b, c, d}); }
    int OnUnused25(ObserverArg a, ObserverArg b) override { return Record(25, {a, b}); }
    int OnUnused26(ObserverArg a) override { return Record(26, {a}); }
    int OnUnused27(ObserverArg a, ObserverArg b) override { return Record(27, {a, b}); }
    int OnUnused28(ObserverArg a) override { return Record(28, {a}); }
    int OnUnused29(ObserverArg a, ObserverArg b) override { return Record(29, {a, b}); }
    int OnUnused30(ObserverArg a, ObserverArg b) override { return Record(30, {a, b}); }
    int OnDownload116(ObserverArg a) override { return Record(31, {a}); }
    int OnDownloadProgress124(ObserverArg percent, ObserverArg a, ObserverArg b, ObserverArg c) override { return Record(32, {percent, a, b, c}); }

private:
    int Record(int slot, std::vector<ObserverArg> args) {
        ++calls;
        std::lock_guard hold(lock_);
        events.push_back({slot, std::move(args)});
        return 100 + slot;
    }
    std::mutex lock_;
};

}  // namespace TVSP
