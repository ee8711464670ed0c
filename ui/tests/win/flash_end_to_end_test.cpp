// A whole download in-process: the real engine and brom.dll write a multi-region ROM set into the
// virtual watch while a real main window handles the progress messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/win/file_io.h"
#include "device/system_utils.h"
#include "base/win/strings.h"
#include "engine/at_channel.h"
#include "engine/mtk_downloader.h"
#include "engine/observer_manager.h"
#include "engine/progress_mapping.h"
#include "engine/window_observer.h"
#include "shell/ini_files.h"
#include "engine/tests/win/watch_test_support.h"
#include "testing/wine/test_files.h"
#include "ui/tests/win/recording_main_window.h"

using namespace TVSP;

namespace {

constexpr int kNormalPort = tvsp_test::kWatchPort;

struct Image {
    std::string name;
    std::string file;
    unsigned long long address;
    std::string bytes;
};

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    return WriteWholeFile(path, bytes.data(), bytes.size());
}

class FlashEndToEndTest : public tvsp_test::VirtualWatchTest {
protected:
    void SetUp() override {
        VirtualWatchTest::SetUp();
        if (HasFatalFailure()) return;
        VWATCH_OK(watch.SetRebootUnplugs(true));
        VWATCH_OK(watch.SetDownloadDelay(1000));  // a higher port is recognised once the old one was seen gone
        ::DeleteFileW(ProgramFolderFile(L"sproutdata.ini").c_str());
        DeleteDirectory(CacheFolderPath(L"roms"));

        window = new RecordingMainWindow();
        window->recordQueued = true;
        ASSERT_TRUE(QuietUpdateServer());
        ASSERT_TRUE(window->Create(::GetCurrentThreadId()));
        // The window detects the watch by itself at start-up.
        const DWORD start = ::GetTickCount();
        while (!window->Watch().IsConnected() && ::GetTickCount() - start < 15000) tvsp::Pump(50);
        ASSERT_TRUE(window->Watch().IsConnected()) << "the main window did not take the watch over";
    }
    void TearDown() override {
        TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(nullptr);
        DestroyTestMainWindow(window);
        watch.Reset();
        watch.Plug(kNormalPort);
    }

    // The ROM set in the store, as the package download leaves it; the path of its .cfg.
    std::string StoreRomSet(const std::string& modelKey, const std::vector<Image>& images) {
        const std::wstring store = CacheFolderPath(L"roms");
        const std::wstring folder = store + L"\\" + AnsiToWide(modelKey);
        ::CreateDirectoryW(store.c_str(), nullptr);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::CreateDirectoryW((folder + L"\\img").c_str(), nullptr);
        std::string cfg = "[romset]\nname=" + modelKey + "-e2e\n";
        for (const Image& image : images) {
            EXPECT_TRUE(WriteFileBytes(folder + L"\\" + AnsiToWide(image.file), image.bytes));
            cfg += "\n[region]\nname=" + image.name + "\nfile=" + image.file + "\naddress=" +
                   std::to_string(image.address) + "\n";
        }
        EXPECT_TRUE(WriteFileBytes(folder + L"\\rom.cfg", cfg));
        return WideToAnsi(folder + L"\\rom.cfg");
    }

    // What the workflow does around the engine: busy window, observer registered, the watch
    // rebooted, the download on a flash thread; this thread handles the window meanwhile.
    void Flash(const std::string& modelKey, const std::vector<Image>& images) {
        const std::string cfg = StoreRomSet(modelKey, images);
        window->Watch().TakeOver(kNormalPort, modelKey, "1.0.0");
        window->SetDisplayState(DisplayState::Ready);
        window->SetRomSettingPath(cfg);
        window->SetCopyBusy(true);
        window->handled.clear();
        const unsigned modelClass = window->Watch().Get().modelClass;

        auto observer = std::make_shared<TVSP_MTK2WMObserver>(window->GetHandle());
        TVSP_MTKDownloaderObserverMgr::Instance().SetObserver(observer);
        std::atomic<bool> done{false};
        std::thread flash([&] {
            TVSP_MTKDownloader downloader;
            downloader.SetDownloadAgentPath(WideToAnsi(GetOwnDirectory() + L"\\MTK_AllInOne_DA.bin"));
            downloader.SetRomSettingPath(cfg);
            downloader.SetModelClass(modelClass);
            downloader.SetDownloadPortFoundFlag(window->DownloadPortFoundFlag());
            downloader.SetPortWaitLimit(30000);
            RebootWatch(kNormalPort);
            downloader.Download(kNormalPort);
            lastResult = downloader.LastResult();
            TVSP_MTKDownloaderObserverMgr::Instance().RemoveObserver(observer.get());
            done = true;
        });
        const DWORD start = ::GetTickCount();
        while (!done && ::GetTickCount() - start < 120000) tvsp::Pump(20);
        flash.join();
        tvsp::Pump(200);
    }

    std::map<std::string, std::string> DumpedRegions() {
        tvsp::TempFolder dump(L"e2e-dump");
        std::map<std::string, std::string> regions;
        if (!watch.DumpRegions(WideToAnsi(dump.path()))) return regions;
        for (const tvsp::WatchRegion& r : watch.Regions())
            regions[r.name] = tvsp::ReadAll(dump / (AnsiToWide(r.name) + L".bin"));
        return regions;
    }

    bool WaitForNormalMode(DWORD ms) {
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < ms) {
            const std::string status = watch.Status();
            if (status.find("mode=normal") != std::string::npos && status.find("plugged=yes") != std::string::npos)
                return true;
            ::Sleep(100);
        }
        return false;
    }

    // Posted kinds in stage order, each before the one end (kind 5) that comes last.
    void ExpectStagesThenOneEnd() {
        const auto& h = window->handled;
        ASSERT_FALSE(h.empty());
        EXPECT_EQ(h.back().kind, kProgressEnd);
        EXPECT_EQ(std::count_if(h.begin(), h.end(), [](auto& x) { return x.kind == kProgressEnd; }), 1);
    }

    std::string Kinds() const {
        std::string kinds;
        for (const auto& x : window->handled) kinds += std::to_string(x.kind) + ":" + std::to_string(x.bar) + " ";
        return kinds;
    }

    // The bar after the last message of this kind; -1 when none came.
    int LastBarOf(int kind) const {
        int bar = -1;
        for (const auto& x : window->handled)
            if (x.kind == kind) bar = x.bar;
        return bar;
    }

    RecordingMainWindow* window = nullptr;
    int lastResult = -12345;
};

TEST_F(FlashEndToEndTest, RegionsAreWrittenByteForByteAndTheOthersLeftAlone) {
    // A full upgrade (class 20) on a lower download port, then a class-33 upgrade on a higher one
    // that may only rewrite OTA: the ROM region keeps the first upgrade's bytes.
    const std::vector<Image> first = {
        {"ARM_BL", "img/arm_bl.bin", 0x0, RandomBytes(5000, 1)},
        {"ROM", "img/rom.bin", 0x100000, RandomBytes(3 * 65536 + 777, 2)},
        {"OTA", "ota.bin", 0x800000, RandomBytes(70000, 3)},
        {"USERDATA_IMG", "img/user.bin", 0xC00000, RandomBytes(1, 4)},
    };
    VWATCH_OK(watch.SetDownloadCom(3));
    VWATCH_OK(watch.SetNewVersion("WK7_GSM1.2.4_BLE4_U_V5"));
    Flash("watchk7_mt60d_ublox", first);

    EXPECT_EQ(lastResult, 0);
    ExpectStagesThenOneEnd();
    std::vector<int> firstOfKind;
    for (int kind : {kProgressConnect, kProgressStage124, kProgressStage364, kProgressStage28, kProgressStage60}) {
        const auto it = std::find_if(window->handled.begin(), window->handled.end(),
                                     [&](auto& x) { return x.kind == kind; });
        ASSERT_NE(it, window->handled.end()) << "kind " << kind << " never arrived; " << Kinds();
        firstOfKind.push_back(static_cast<int>(it - window->handled.begin()));
    }
    EXPECT_TRUE(std::is_sorted(firstOfKind.begin(), firstOfKind.end())) << "stages out of order";
    // Class 20: the write stage carries the bar to 80; the verification ends at 80 as well.
    EXPECT_EQ(LastBarOf(kProgressStage28), 80);
    EXPECT_TRUE(window->GetRejoinFlags().serverRestore);
    EXPECT_TRUE(::KillTimer(window->GetHandle(), kTimerFlashReturn)) << "the 120 s wait was not armed";
    EXPECT_FALSE(window->IsDownloadPortFound());
    EXPECT_EQ(window->GetRomSettingPath(), "");
    EXPECT_FALSE(tvsp::Exists(CacheFolderPath(L"roms")));

    auto regions = DumpedRegions();
    EXPECT_EQ(regions.count("ARM_BL"), 0u) << "the boot loader was written";
    ASSERT_EQ(regions.size(), 3u);
    for (const Image& image : first) {
        if (image.name == "ARM_BL") continue;
        EXPECT_TRUE(regions[image.name] == image.bytes) << image.name << " differs from its image";
    }
    // The watchdog sends it back to normal mode with the new firmware.
    ASSERT_TRUE(WaitForNormalMode(10000));
    EXPECT_EQ(ReadFirmwareVersion(kNormalPort), "WK7_GSM1.2.4_BLE4_U_V5");

    const std::vector<Image> second = {
        {"ARM_BL", "img/arm_bl.bin", 0x0, RandomBytes(5000, 11)},
        {"ROM", "img/rom.bin", 0x100000, RandomBytes(65536, 12)},
        {"ota", "ota.bin", 0x800000, RandomBytes(65536 * 2 + 1, 13)},
    };
    VWATCH_OK(watch.SetDownloadCom(9));
    Flash("watchm5c_mt60d_ublox", second);
    EXPECT_EQ(lastResult, 0);
    ExpectStagesThenOneEnd();
    EXPECT_EQ(LastBarOf(kProgressStage28), 100);  // class 33 weighs the write stage more
    EXPECT_TRUE(window->GetRejoinFlags().selfUpgrade);
    regions = DumpedRegions();
    EXPECT_TRUE(regions["ROM"] == first[1].bytes) << "a disabled region was rewritten";
    EXPECT_TRUE(regions["USERDATA_IMG"] == first[3].bytes);
    EXPECT_EQ(regions.count("ARM_BL"), 0u);
    // The watch replaces a region written again under the same name in any case.
    ASSERT_EQ(regions.count("ota") + regions.count("OTA"), 1u);
    const std::string ota = regions.count("ota") ? regions["ota"] : regions["OTA"];
    EXPECT_TRUE(ota == second[2].bytes) << "OTA differs from its image";
}

TEST_F(FlashEndToEndTest, DownloadPortOnTheSameNumberIsFoundAfterItWentAway) {
    VWATCH_OK(watch.SetDownloadCom(0));
    Flash("watchk8_mt60d_ublox", {{"ROM", "rom.bin", 0x1000, RandomBytes(4096, 21)}});
    EXPECT_EQ(lastResult, 0);
    ExpectStagesThenOneEnd();
    EXPECT_TRUE(window->GetRejoinFlags().restart);
    EXPECT_TRUE(DumpedRegions()["ROM"] == RandomBytes(4096, 21));
}

TEST_F(FlashEndToEndTest, WatchVanishingMidDownloadEndsInAFailure) {
    VWATCH_OK(watch.SetDownloadCom(7));
    VWATCH_OK(watch.SetDownloadFault("vanish-at 50"));
    Flash("watchk7_mt60d_ublox", {{"ROM", "rom.bin", 0x1000, RandomBytes(6 * 65536, 31)}});
    EXPECT_GT(lastResult, 0);
    ExpectStagesThenOneEnd();
    EXPECT_EQ(window->GetDisplayState(), DisplayState::Failed);
    EXPECT_FALSE(window->Watch().IsConnected());
    EXPECT_FALSE(window->IsCopyBusy());
    EXPECT_FALSE(tvsp::Exists(CacheFolderPath(L"roms")));
    EXPECT_FALSE(::KillTimer(window->GetHandle(), kTimerFlashReturn));
    const auto regions = watch.Regions();
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_LT(regions[0].length, 6u * 65536) << "the whole image arrived although the watch vanished";
}

}  // namespace
