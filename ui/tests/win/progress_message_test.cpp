// The progress message end to end, in-process: a worker thread raises download events through the
// observer manager and the window observer; the real main window moves its bar and ends the flash.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/mtk_downloader.h"
#include "engine/observer_manager.h"
#include "engine/watch_detection.h"
#include "engine/window_observer.h"
#include "shell/ini_files.h"
#include "ui/main_window.h"
#include "ui/tests/win/recording_main_window.h"

using namespace TVSP;

namespace {

class ProgressMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW(ProgramFolderFile(L"sproutdata.ini").c_str());
        window = new RecordingMainWindow();
        ASSERT_TRUE(QuietUpdateServer());
        ASSERT_TRUE(window->Create(::GetCurrentThreadId()));
        tvsp::Pump(300);
        observer = std::make_shared<TVSP_MTK2WMObserver>(window->GetHandle());
        Manager().SetObserver(observer);
        before = GetProgressRecordCounts();
    }
    void TearDown() override {
        Manager().SetObserver(nullptr);
        DestroyTestMainWindow(window);
    }

    static TVSP_MTKDownloaderObserverMgr& Manager() { return TVSP_MTKDownloaderObserverMgr::Instance(); }

    // Runs the events on a flash thread while this (window) thread handles messages.
    void OnFlashThread(const std::function<void()>& events) {
        std::atomic<bool> done{false};
        std::thread flash([&] {
            events();
            done = true;
        });
        const DWORD start = ::GetTickCount();
        while (!done && ::GetTickCount() - start < 20000) tvsp::Pump(10);
        flash.join();
        tvsp::Pump(50);
    }

    // Records made by this test and not yet freed.
    long Outstanding() const {
        const ProgressRecordCounts now = GetProgressRecordCounts();
        return (now.allocated - before.allocated) - (now.freed - before.freed);
    }
    long Made() const { return GetProgressRecordCounts().allocated - before.allocated; }

    // A watch that is being flashed: connected, busy, with a ROM set waiting in the store.
    void StartFlash(const char* modelKey) {
        window->Watch().TakeOver(5, modelKey, "1.0.0");
        window->SetDisplayState(DisplayState::Ready);
        window->RefreshStatus();
        window->SetCopyBusy(true);
        const std::wstring store = CacheFolderPath(L"roms");
        const std::wstring set = store + L"\\" + AnsiToWide(modelKey);
        ::CreateDirectoryW(store.c_str(), nullptr);
        ::CreateDirectoryW(set.c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(set + L"\\rom.cfg", "cfg", 3));
        window->SetRomSettingPath(WideToAnsi(set + L"\\rom.cfg"));
    }
    bool RomStoreExists() { return ::GetFileAttributesW(CacheFolderPath(L"roms").c_str()) != INVALID_FILE_ATTRIBUTES; }
    bool TimerWasArmed(UINT_PTR id) { return ::KillTimer(window->GetHandle(), id) != FALSE; }

    std::wstring Text(const char* panel, const char* name) {
        IControlBase* p = window->GetSkinWindow()->FindControl(panel);
        IControlBase* c = p ? p->FindDescendant(name) : nullptr;
        if (!c) return L"<missing>";
        char buffer[512] = {};
        c->GetText(buffer, sizeof buffer);
        return AnsiToWide(buffer);
    }
    bool Visible(const char* panel, const char* name) {
        IControlBase* p = window->GetSkinWindow()->FindControl(panel);
        IControlBase* c = p ? p->FindDescendant(name) : nullptr;
        return c && c->IsVisible();
    }

    RecordingMainWindow* window = nullptr;
    std::shared_ptr<TVSP_MTK2WMObserver> observer;
    ProgressRecordCounts before;
};

}  // namespace

TEST_F(ProgressMessageTest, BarFollowsEveryStageInOrder) {
    StartFlash("watchm5c_mt60d_ublox");  // class 33: stage +28 carries the bar to its end
    struct Step {
        std::function<int()> raise;
        int kind;
        int bar;
    };
    auto& m = Manager();
    const std::vector<Step> steps = {
        {[&] { return m.OnConnectProgress(0, 1, 2, 3); }, 0, 5},
        {[&] { return m.OnConnectProgress(0x100 + 60, 1, 2, 3); }, 0, 8},  // only the low byte counts
        {[&] { return m.OnConnectProgress(100, 1, 2, 3); }, 0, 10},
        {[&] { return m.OnDownloadProgress124(100, 1, 2, 3); }, 3, 15},
        {[&] { return m.OnDownloadProgress364(50, 1); }, 2, 22},
        {[&] { return m.OnDownloadProgress364(100, 1); }, 2, 30},
        {[&] { return m.OnDownloadProgress60(50, 1, 2, 3); }, 6, 65},
        {[&] { return m.OnDownloadProgress28(51, 1, 2, 3); }, 4, 65},
        {[&] { return m.OnDownloadProgress28(100, 1, 2, 3); }, 4, 100},
    };
    std::vector<int> answers;
    bool allHandled = true;
    OnFlashThread([&] {
        for (const Step& step : steps) {
            answers.push_back(step.raise());
            // Silent slots produce nothing for the window.
            answers.push_back(m.OnDownload8(1, 2) + m.OnUnused24(1, 2, 3, 4) + m.OnDownload116(1));
            allHandled = window->WaitHandled() && allHandled;
        }
        answers.push_back(m.OnConnected(nullptr));
        answers.push_back(m.OnDownloadFinished(0));
    });
    EXPECT_TRUE(allHandled);
    ASSERT_EQ(window->handled.size(), steps.size() + 1);
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(window->handled[i].kind, steps[i].kind) << i;
        EXPECT_EQ(window->handled[i].bar, steps[i].bar) << i;
    }
    EXPECT_EQ(window->handled.back().kind, kProgressEnd);
    std::vector<int> expectedAnswers(steps.size() * 2, 0);
    expectedAnswers.push_back(1);  // the window observer lets the connection go on
    expectedAnswers.push_back(0);
    EXPECT_EQ(answers, expectedAnswers);
    EXPECT_EQ(Made(), static_cast<long>(steps.size() + 1));
    EXPECT_EQ(Outstanding(), 0);
}

// The window is busy while the flash thread posts its progress and then sends the result:
// Windows hands the sent result over first, yet it must be handled after the posted values.
TEST_F(ProgressMessageTest, ResultIsHandledAfterEveryPostedValue) {
    StartFlash("watchm5c_mt60d_ublox");
    HANDLE aboutToSend = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> done{false};
    std::thread flash([&] {
        auto& m = Manager();
        m.OnConnectProgress(100, 0, 0, 0);
        m.OnDownloadProgress364(100, 0);
        m.OnDownloadProgress28(50, 0, 0, 0);
        m.OnDownloadProgress28(100, 0, 0, 0);
        ::SetEvent(aboutToSend);
        m.OnDownloadFinished(0);
        done = true;
    });
    ASSERT_EQ(::WaitForSingleObject(aboutToSend, 5000), WAIT_OBJECT_0);
    ::Sleep(300);  // the send is now waiting beside four posted messages
    const DWORD start = ::GetTickCount();
    while (!done && ::GetTickCount() - start < 10000) tvsp::Pump(10);
    flash.join();
    ::CloseHandle(aboutToSend);
    tvsp::Pump(200);

    ASSERT_FALSE(window->handled.empty());
    EXPECT_EQ(window->handled.back().kind, kProgressEnd) << "a posted value was handled after the result";
    for (const auto& h : window->handled) {
        if (h.kind == kProgressEnd) {
            EXPECT_EQ(h.bar, 100) << "the result was handled before the posted values";
        }
    }
    EXPECT_EQ(window->Bar(), 100);
    EXPECT_TRUE(window->GetRejoinFlags().selfUpgrade);
    EXPECT_EQ(Made(), 5);
    EXPECT_EQ(Outstanding(), 0);
}

TEST_F(ProgressMessageTest, PreparationFailureAndMissingPortShowTheFailure) {
    struct Row {
        const char* name;
        std::function<int()> raise;
    };
    const Row rows[] = {
        {"preparation failed", [] { return Manager().OnPrepareFailed(); }},
        {"no download port", [] { return Manager().OnDownloadPortTimeout(); }},
    };
    for (const Row& row : rows) {
        StartFlash("watchk7_mt60d_ublox");
        ::SetTimer(window->GetHandle(), kTimerGuidedMode, 200000, nullptr);
        int answer = -1;
        OnFlashThread([&] { answer = row.raise(); });
        EXPECT_EQ(answer, 0) << row.name;
        EXPECT_EQ(Text("panel-fail", "label"), L"升级失败，请拨打400-1234-567联系客服！") << row.name;
        EXPECT_EQ(window->GetDisplayState(), DisplayState::Failed) << row.name;
        EXPECT_TRUE(window->FailureMayGoBack()) << row.name;
        EXPECT_TRUE(Visible("panel-fail", "back")) << row.name;
        EXPECT_FALSE(Visible("panel-fail", "retry")) << row.name;
        EXPECT_FALSE(window->Watch().IsConnected()) << row.name;
        EXPECT_EQ(Text("BottomPanel", "Status"), L"未连接") << row.name;
        EXPECT_FALSE(window->IsCopyBusy()) << row.name;
        EXPECT_FALSE(RomStoreExists()) << row.name;
        EXPECT_EQ(window->GetRomSettingPath(), "") << row.name;
        EXPECT_FALSE(TimerWasArmed(kTimerGuidedMode)) << row.name << ": timer 1006 still running";
        EXPECT_FALSE(TimerWasArmed(kTimerFlashReturn)) << row.name;
    }
    EXPECT_EQ(Made(), 2);
    EXPECT_EQ(Outstanding(), 0);
}

TEST_F(ProgressMessageTest, FailedDownloadShowsTheFailure) {
    // -1 included: only 0 is success.
    for (int result : {5003, 1, -1}) {
        StartFlash("watchk8_mt60d_ublox");
        ::SetTimer(window->GetHandle(), kTimerGuidedMode, 200000, nullptr);
        OnFlashThread([&] { Manager().OnDownloadFinished(result); });
        EXPECT_EQ(Text("panel-fail", "label"), L"升级失败，请拨打400-1234-567联系客服！") << result;
        EXPECT_EQ(window->GetDisplayState(), DisplayState::Failed) << result;
        EXPECT_TRUE(window->FailureMayGoBack()) << result;
        EXPECT_FALSE(window->Watch().IsConnected()) << result;
        EXPECT_FALSE(window->IsCopyBusy()) << result;
        EXPECT_FALSE(RomStoreExists()) << result;
        EXPECT_EQ(window->GetRomSettingPath(), "") << result;
        EXPECT_FALSE(TimerWasArmed(kTimerFlashReturn)) << result << ": waiting for a watch after a failure";
        EXPECT_TRUE(TimerWasArmed(kTimerGuidedMode)) << result << ": kind 5 leaves timer 1006 alone";
        const auto flags = window->GetRejoinFlags();
        EXPECT_FALSE(flags.serverRestore || flags.watchRestore || flags.restart || flags.selfUpgrade) << result;
    }
}

// A failed flash leaves the watch attached: only its connection is lost, so the same watch found
// again is known at once (no new ROM check) and shown ready for another try.
TEST_F(ProgressMessageTest, AFailedFlashKeepsTheWatchForItsReturn) {
    struct Row {
        const char* name;
        const char* modelKey;
        unsigned modelClass;
        std::function<int()> raise;
    };
    const Row rows[] = {
        {"preparation failed", "watchm5c_mt60d_ublox", 33, [] { return Manager().OnPrepareFailed(); }},
        {"no download port", "watchn3_mt61a_ublox", 50, [] { return Manager().OnDownloadPortTimeout(); }},
        {"download failed", "watchk8_mt60d_ublox", 32, [] { return Manager().OnDownloadFinished(5003); }},
    };
    for (const Row& row : rows) {
        StartFlash(row.modelKey);
        window->SetLatestFirmware(LatestFirmware{"9.9.9", 0, L"", L""});
        OnFlashThread([&] { row.raise(); });
        ASSERT_EQ(window->GetDisplayState(), DisplayState::Failed) << row.name;

        const WatchRecord::Snapshot failed = window->Watch().Get();
        EXPECT_FALSE(failed.connected) << row.name;
        EXPECT_EQ(failed.modelKey, row.modelKey) << row.name;
        EXPECT_EQ(failed.modelClass, row.modelClass) << row.name;
        EXPECT_EQ(failed.port, 5) << row.name;

        // The detection thread finds the same watch again.
        OnWatchDetected(window->Watch(), *window, window->DataFile(),
                        DetectedWatch{5, row.modelKey, "text", "1.0.0"});
        EXPECT_EQ(window->GetDisplayState(), DisplayState::Ready) << row.name;
        EXPECT_EQ(window->GetLatestFirmware().version, "9.9.9") << row.name << ": newest version forgotten";
        EXPECT_TRUE(window->Watch().IsConnected()) << row.name;
        // Remembered in the tool's data file through the window's adapter.
        EXPECT_EQ(SproutData::ReadModel(), row.modelKey) << row.name;
        EXPECT_EQ(SproutData::ReadVersion(), "1.0.0") << row.name;
    }
    EXPECT_EQ(Outstanding(), 0);
}

TEST_F(ProgressMessageTest, FailureAlreadyReportedByRemovalIsNotShownAgain) {
    StartFlash("watchm5c_mt60d_ublox");
    window->ReportFailure(L"升级失败，请长按手表下键15秒，再长按下键开机。", true);
    window->SetCopyBusy(true);
    window->SetRemovalReported(true);
    OnFlashThread([] { Manager().OnDownloadFinished(7); });
    EXPECT_EQ(Text("panel-fail", "label"), L"升级失败，请长按手表下键15秒，再长按下键开机。");
    EXPECT_FALSE(RomStoreExists());
    EXPECT_EQ(window->GetRomSettingPath(), "");
    EXPECT_FALSE(TimerWasArmed(kTimerFlashReturn));
    EXPECT_EQ(Outstanding(), 0);
}

TEST_F(ProgressMessageTest, SuccessSetsTheRejoinFlagOfTheClassAndArmsTheWait) {
    struct Row {
        const char* modelKey;
        bool UpgradeWorkflow::RejoinFlags::*flag;
    };
    using F = UpgradeWorkflow::RejoinFlags;
    const Row rows[] = {
        {"watchk7_mt60d_ublox", &F::serverRestore}, {"watchm5_mt60d_ublox", &F::watchRestore},
        {"watchk8_mt60d_ublox", &F::restart},       {"watcht4_mt2503d_mt3333", &F::restart},
        {"watchm5c_mt60d_ublox", &F::selfUpgrade},  {"watchn3_mt61a_ublox", &F::selfUpgrade},
    };
    for (const Row& row : rows) {
        // A fresh window per class: the flags are only ever cleared by the watch's return.
        delete window;
        window = new RecordingMainWindow();
        ASSERT_TRUE(QuietUpdateServer());
        ASSERT_TRUE(window->Create(::GetCurrentThreadId()));
        Manager().SetObserver(std::make_shared<TVSP_MTK2WMObserver>(window->GetHandle()));
        StartFlash(row.modelKey);
        window->DownloadPortFoundFlag()->store(1);
        OnFlashThread([] { Manager().OnDownloadFinished(0); });
        const F flags = window->GetRejoinFlags();
        EXPECT_TRUE(flags.*(row.flag)) << row.modelKey;
        EXPECT_EQ(int(flags.serverRestore) + flags.watchRestore + flags.restart + flags.selfUpgrade, 1) << row.modelKey;
        EXPECT_TRUE(TimerWasArmed(kTimerFlashReturn)) << row.modelKey;
        EXPECT_FALSE(window->IsDownloadPortFound()) << row.modelKey;
        EXPECT_NE(window->GetDisplayState(), DisplayState::Failed) << row.modelKey;
        EXPECT_TRUE(window->Watch().IsConnected()) << row.modelKey;
        EXPECT_FALSE(RomStoreExists()) << row.modelKey;
        EXPECT_EQ(window->GetRomSettingPath(), "") << row.modelKey;
    }
    EXPECT_EQ(Outstanding(), 0);
}

// The watch's restart announced before the flash thread reports the download's end: once written,
// the port's going is no broken download and the watch's return is handled with the end; before
// that, the port's going fails the upgrade.
TEST_F(ProgressMessageTest, ARestartAnnouncedBeforeTheEndIsTheWatchsReturn) {
    std::vector<BYTE> record = WatchSerialInterfaceRecord();
    const auto announce = [&](WPARAM event) {
        ::SendMessageW(window->GetHandle(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record.data()));
    };
    const struct {
        int portState;
        bool failedAtRemoval;
    } rows[] = {{kDownloadPortInUse, true}, {kDownloadPortWritten, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.portState);
        delete window;
        window = new RecordingMainWindow();
        ASSERT_TRUE(window->Create(::GetCurrentThreadId()));
        Manager().SetObserver(std::make_shared<TVSP_MTK2WMObserver>(window->GetHandle()));
        // A self-upgrading class: its return needs no answer from the watch.
        StartFlash("watchm5c_mt60d_ublox");
        window->SetFlashRunning(true);
        window->DownloadPortFoundFlag()->store(row.portState);
        announce(DBT_DEVICEREMOVECOMPLETE);
        EXPECT_EQ(window->GetDisplayState() == DisplayState::Failed, row.failedAtRemoval);
        if (row.failedAtRemoval) {
            EXPECT_EQ(Text("panel-fail", "label"), L"升级失败，请长按手表下键15秒，再长按下键开机。");
            continue;
        }
        announce(DBT_DEVICEARRIVAL);
        EXPECT_TRUE(window->IsFlashRunning()) << "the upgrade ended before its download's end";

        OnFlashThread([] { Manager().OnDownloadFinished(0); });
        const UpgradeWorkflow::RejoinFlags flags = window->GetRejoinFlags();
        EXPECT_FALSE(flags.selfUpgrade) << "still waiting for a return that came";
        EXPECT_FALSE(window->IsFlashRunning());
        EXPECT_EQ(window->GetDisplayState(), DisplayState::Ready);
        EXPECT_FALSE(TimerWasArmed(kTimerFlashReturn));
        EXPECT_FALSE(window->IsDownloadPortFound());
    }
    EXPECT_EQ(Outstanding(), 0);
}

TEST_F(ProgressMessageTest, WithoutObserverConnectGoesOnAndNothingReachesTheWindow) {
    Manager().SetObserver(nullptr);
    StartFlash("watchk7_mt60d_ublox");
    const int barBefore = window->Bar();
    std::vector<int> answers;
    OnFlashThread([&] {
        auto& m = Manager();
        answers = {m.OnConnected(nullptr), m.OnDownloadPortTimeout(), m.OnPrepareFailed(),
                   m.OnConnectProgress(50, 0, 0, 0), m.OnDownloadProgress28(50, 0, 0, 0), m.OnDownloadFinished(3)};
    });
    EXPECT_EQ(answers, (std::vector<int>{1, 1, 0, 0, 0, 0}));
    EXPECT_TRUE(window->handled.empty());
    EXPECT_EQ(Made(), 0);
    EXPECT_EQ(window->Bar(), barBefore);
    EXPECT_NE(window->GetDisplayState(), DisplayState::Failed);
    EXPECT_TRUE(RomStoreExists());
}

TEST_F(ProgressMessageTest, RecordsNobodyTakesAreFreed) {
    // A window that no longer exists: the post and the send both fail.
    HWND gone = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    ::DestroyWindow(gone);
    TVSP_MTK2WMObserver lost(gone);
    EXPECT_EQ(lost.OnConnectProgress(10, 0, 0, 0), 0);
    EXPECT_EQ(lost.OnDownloadFinished(0), 0);
    EXPECT_EQ(lost.OnPrepareFailed(), 0);
    EXPECT_FALSE(DeliverProgress(gone, ProgressRecord{kProgressStage60, 1, 0, 0, 0}));
    EXPECT_FALSE(DeliverProgress(nullptr, ProgressRecord{kProgressEnd, 0, 0, 0, 0}));
    EXPECT_EQ(Outstanding(), 0);

    // A window that does not know the message answers a send with something else: freed too.
    HWND plain = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(DeliverProgress(plain, ProgressRecord{kProgressEnd, 0, 0, 0, 0}));
    ::DestroyWindow(plain);
    EXPECT_EQ(Outstanding(), 0);

    // Progress still queued when the main window is destroyed.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(observer->OnDownloadProgress60(i, 0, 0, 0), 0);
    EXPECT_EQ(Outstanding(), 3);
    ::DestroyWindow(window->GetHandle());
    EXPECT_EQ(Outstanding(), 0);
    EXPECT_TRUE(window->handled.empty());
}
