// The observer manager: every slot reaches the same slot of the registered observer with its
// arguments; the answers without an observer; registration while events are raised.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/observer_manager.h"
#include "engine/tests/recording_observer.h"

using namespace TVSP;

namespace {

using O = TVSP_MTKDownloaderObserver;

struct SlotCall {
    int slot;
    const char* name;
    std::function<int(O&)> raise;
    std::vector<ObserverArg> args;  // what the observer must receive
};

const std::vector<SlotCall>& AllSlots() {
    static const std::vector<SlotCall> slots = {
        {0, "OnPrepareFailed", [](O& o) { return o.OnPrepareFailed(); }, {}},
        {1, "OnConnected", [](O& o) { return o.OnConnected(reinterpret_cast<void*>(ObserverArg{0x1001})); }, {0x1001}},
        {2, "OnDownloadPortTimeout", [](O& o) { return o.OnDownloadPortTimeout(); }, {}},
        {3, "OnConnectRefused", [](O& o) { return o.OnConnectRefused(); }, {}},
        {4, "OnDownloadFinished", [](O& o) { return o.OnDownloadFinished(-7); }, {static_cast<ObserverArg>(-7)}},
        {5, "OnConnectA", [](O& o) { return o.OnConnectA(97, 98); }, {97, 98}},
        {6, "OnConnectB", [](O& o) { return o.OnConnectB(113, 114, 115); }, {113, 114, 115}},
        {7, "OnConnectC", [](O& o) { return o.OnConnectC(129); }, {129}},
        {8, "OnConnectProgress", [](O& o) { return o.OnConnectProgress(145, 146, 147, 148); }, {145, 146, 147, 148}},
        {9, "OnConnectE", [](O& o) { return o.OnConnectE(161); }, {161}},
        {10, "OnDownload8", [](O& o) { return o.OnDownload8(177, 178); }, {177, 178}},
        {11, "OnDownload20", [](O& o) { return o.OnDownload20(193); }, {193}},
        {12, "OnDownloadProgress28", [](O& o) { return o.OnDownloadProgress28(209, 210, 211, 212); }, {209, 210, 211, 212}},
        {13, "OnDownloadProgress60", [](O& o) { return o.OnDownloadProgress60(225, 226, 227, 228); }, {225, 226, 227, 228}},
        {14, "OnDownload36", [](O& o) { return o.OnDownload36(241); }, {241}},
        {15, "OnDownload44", [](O& o) { return o.OnDownload44(257, 258, 259, 260); }, {257, 258, 259, 260}},
        {16, "OnDownload84", [](O& o) { return o.OnDownload84(273); }, {273}},
        {17, "OnDownload92", [](O& o) { return o.OnDownload92(289, 290, 291, 292); }, {289, 290, 291, 292}},
        {18, "OnDownload100", [](O& o) { return o.OnDownload100(305, 306, 307, 308, 309); }, {305, 306, 307, 308, 309}},
        {19, "OnDownload108", [](O& o) { return o.OnDownload108(321, 322, 323, 324); }, {321, 322, 323, 324}},
        {20, "OnDownload132", [](O& o) { return o.OnDownload132(337); }, {337}},
        {21, "OnDownload140", [](O& o) { return o.OnDownload140(353); }, {353}},
        {22, "OnDownload356", [](O& o) { return o.OnDownload356(369); }, {369}},
        {23, "OnDownloadProgress364", [](O& o) { return o.OnDownloadProgress364(385, 386); }, {385, 386}},
        {24, "OnUnused24", [](O& o) { return o.OnUnused24(401, 402, 403, 404); }, {401, 402, 403, 404}},
        {25, "OnUnused25", [](O& o) { return o.OnUnused25(417, 418); }, {417, 418}},
        {26, "OnUnused26", [](O& o) { return o.OnUnused26(433); }, {433}},
        {27, "OnUnused27", [](O& o) { return o.OnUnused27(449, 450); }, {449, 450}},
        {28, "OnUnused28", [](O& o) { return o.OnUnused28(465); }, {465}},
        {29, "OnUnused29", [](O& o) { return o.OnUnused29(481, 482); }, {481, 482}},
        {30, "OnUnused30", [](O& o) { return o.OnUnused30(497, 498); }, {497, 498}},
        {31, "OnDownload116", [](O& o) { return o.OnDownload116(513); }, {513}},
        {32, "OnDownloadProgress124", [](O& o) { return o.OnDownloadProgress124(529, 530, 531, 532); }, {529, 530, 531, 532}},    };
    return slots;
}

}  // namespace

TEST(ObserverManager, EverySlotReachesTheSameSlotWithItsArguments) {
    ASSERT_EQ(AllSlots().size(), 33u);
    TVSP_MTKDownloaderObserverMgr manager;
    auto observer = std::make_shared<RecordingObserver>();
    manager.SetObserver(observer);
    for (const SlotCall& call : AllSlots()) {
        observer->events.clear();
        EXPECT_EQ(call.raise(manager), 100 + call.slot) << call.name;
        ASSERT_EQ(observer->events.size(), 1u) << call.name;
        EXPECT_EQ(observer->events[0].slot, call.slot) << call.name;
        EXPECT_EQ(observer->events[0].args, call.args) << call.name;
    }
}

TEST(ObserverManager, WithoutObserverOnlyConnectAndPortTimeoutAnswerOne) {
    TVSP_MTKDownloaderObserverMgr manager;
    auto observer = std::make_shared<RecordingObserver>();
    manager.SetObserver(observer);
    ASSERT_TRUE(manager.RemoveObserver(observer.get()));
    for (const SlotCall& call : AllSlots()) {
        const int expected = (call.slot == 1 || call.slot == 2) ? 1 : 0;
        EXPECT_EQ(call.raise(manager), expected) << call.name;
    }
    EXPECT_EQ(observer->calls, 0);
    // A fresh manager holds nothing either.
    TVSP_MTKDownloaderObserverMgr fresh;
    EXPECT_EQ(fresh.Observer(), nullptr);
    EXPECT_EQ(fresh.OnConnected(nullptr), 1);
    EXPECT_EQ(fresh.OnDownloadPortTimeout(), 1);
    EXPECT_EQ(fresh.OnPrepareFailed(), 0);
}

TEST(ObserverManager, RemovingAnotherObserverKeepsTheRegisteredOne) {
    TVSP_MTKDownloaderObserverMgr manager;
    auto first = std::make_shared<RecordingObserver>();
    auto second = std::make_shared<RecordingObserver>();
    manager.SetObserver(first);
    manager.SetObserver(second);  // replaces
    EXPECT_FALSE(manager.RemoveObserver(first.get()));
    EXPECT_FALSE(manager.RemoveObserver(nullptr));
    EXPECT_EQ(manager.OnConnectRefused(), 103);
    EXPECT_EQ(first->calls, 0);
    EXPECT_EQ(second->calls, 1);
    EXPECT_TRUE(manager.RemoveObserver(second.get()));
    EXPECT_FALSE(manager.RemoveObserver(second.get()));  // already gone
    EXPECT_EQ(manager.OnConnectRefused(), 0);
    manager.SetObserver(first);
    manager.SetObserver(nullptr);
    EXPECT_EQ(manager.Observer(), nullptr);
}

TEST(ObserverManager, OneManagerPerProcessFromEveryThread) {
    TVSP_MTKDownloaderObserverMgr* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = &TVSP_MTKDownloaderObserverMgr::Instance(); });
    for (auto& t : threads) t.join();
    for (auto* m : seen) EXPECT_EQ(m, &TVSP_MTKDownloaderObserverMgr::Instance());
}

// The flash thread raises events while the window thread registers and removes observers: an
// observer is never used after its destruction, and removal never waits for the flash thread.
TEST(ObserverManager, RegistrationWhileEventsAreRaised) {
    TVSP_MTKDownloaderObserverMgr manager;
    std::atomic<bool> stop{false};
    std::atomic<long> answered{0};
    std::atomic<long> usedAfterDestruction{0};

    class CheckingObserver : public O {
    public:
        explicit CheckingObserver(std::atomic<long>& violations) : violations_(violations) {}
        ~CheckingObserver() override { alive_ = false; }
        int Check() {
            if (!alive_) ++violations_;
            return 7;
        }
        int OnPrepareFailed() override { return Check(); }
        int OnConnected(void*) override { return Check(); }
        int OnDownloadPortTimeout() override { return Check(); }
        int OnConnectRefused() override { return Check(); }
        int OnDownloadFinished(int) override { return Check(); }
        int OnConnectA(ObserverArg, ObserverArg) override { return Check(); }
        int OnConnectB(ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnConnectC(ObserverArg) override { return Check(); }
        int OnConnectProgress(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnConnectE(ObserverArg) override { return Check(); }
        int OnDownload8(ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload20(ObserverArg) override { return Check(); }
        int OnDownloadProgress28(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownloadProgress60(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload36(ObserverArg) override { return Check(); }
        int OnDownload44(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload84(ObserverArg) override { return Check(); }
        int OnDownload92(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload100(ObserverArg, ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload108(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload132(ObserverArg) override { return Check(); }
        int OnDownload140(ObserverArg) override { return Check(); }
        int OnDownload356(ObserverArg) override { return Check(); }
        int OnDownloadProgress364(ObserverArg, ObserverArg) override { return Check(); }
        int OnUnused24(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }
        int OnUnused25(ObserverArg, ObserverArg) override { return Check(); }
        int OnUnused26(ObserverArg) override { return Check(); }
        int OnUnused27(ObserverArg, ObserverArg) override { return Check(); }
        int OnUnused28(ObserverArg) override { return Check(); }
        int OnUnused29(ObserverArg, ObserverArg) override { return Check(); }
        int OnUnused30(ObserverArg, ObserverArg) override { return Check(); }
        int OnDownload116(ObserverArg) override { return Check(); }
        int OnDownloadProgress124(ObserverArg, ObserverArg, ObserverArg, ObserverArg) override { return Check(); }

    private:
        std::atomic<bool> alive_{true};
        std::atomic<long>& violations_;
    };

    std::thread flash([&] {
        while (!stop) {
            for (const SlotCall& call : AllSlots()) {
                const int r = call.raise(manager);
                if (r == 7) ++answered;
            }
        }
    });
    {
        // First make sure the flash thread really meets a registered observer.
        auto observer = std::make_shared<CheckingObserver>(usedAfterDestruction);
        manager.SetObserver(observer);
        for (int wait = 0; wait < 5000 && answered == 0; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_TRUE(manager.RemoveObserver(observer.get()));
    }
    ASSERT_GT(answered, 0);
    for (int round = 0; round < 2000; ++round) {
        auto observer = std::make_shared<CheckingObserver>(usedAfterDestruction);
        manager.SetObserver(observer);
        std::this_thread::yield();
        EXPECT_TRUE(manager.RemoveObserver(observer.get()));
        observer.reset();  // destroyed here or when the flash thread's call returns
    }
    stop = true;
    flash.join();
    EXPECT_EQ(usedAfterDestruction, 0);
}
