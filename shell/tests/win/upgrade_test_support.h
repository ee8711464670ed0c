// The one-key upgrade on the real tool as the scenarios drive it: the virtual watch prepared, the
// model's signed package offered by the test server, the upgrade button pressed with the watch's
// ports announced, each stage narrated, and the written regions compared with the package.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/win/file_io.h"
#include "base/win/strings.h"
#include "device/system_utils.h"
#include "engine/tests/win/watch_test_support.h"
#include "shell/tests/win/device_announcer.h"
#include "shell/tests/win/tool_test_support.h"
#include "testing/update-server/client/update_server_client.h"
#include "testing/wine/test_files.h"

namespace tvsp_test {

using TVSP::AnsiToWide;
using TVSP::WideToAnsi;
using TVSP::WideToUtf8;
using TVSP::WriteWholeFile;

inline constexpr int kDownloadCom = 7;
inline constexpr char kImei[] = "861234567890123";

// The firmware packages the build signs for the tests.
inline std::wstring PackagePath(const std::string& model) {
    return GetOwnDirectory() + L"\\..\\testing\\packages\\" + AnsiToWide(model) + L".cab";
}

inline bool SendUictl(const std::wstring& command) { return Uictl(command).exitCode == 0; }

class UpgradeTest : public VirtualWatchTest {
protected:
    void SetUp() override {
        VirtualWatchTest::SetUp();
        if (HasFatalFailure()) return;
        PrepareWatch();
        ASSERT_TRUE(server.Connect());
    }
    // The watch as every upgrade scenario starts: plugged in, reset, its IMEI known.
    void PrepareWatch() {
        VWATCH_OK(watch.Reset());
        VWATCH_OK(watch.Plug(kWatchPort));
        // Into download mode once; the restart after the restore is a plain one.
        VWATCH_OK(watch.SetRebootUnplugsOnce());
        VWATCH_OK(watch.SetDownloadCom(kDownloadCom));
        VWATCH_OK(watch.SetDownloadDelay(1500));
        VWATCH_OK(watch.SetImei(kImei));
        VWATCH_OK(watch.ClearLog());
    }
    void TearDown() override {
        // A failed upgrade's story includes the device notifications the tool was given.
        if (HasFailure() && announcer_) {
            for (const std::wstring& sent : announcer_->Sent()) std::printf("announced: %s\n", WideToUtf8(sent).c_str());
        }
        announcer_.reset();
        server.Clear();
        watch.Reset();
        watch.Plug(kWatchPort);
    }

    // The ROM check names the package for model at version; the server serves it (the build's
    // package of that model, or the one named). The tool remembers that model from an earlier run,
    // so its first check already asks for it.
    void OfferPackage(RunningTool& tool, const std::string& model, const std::string& version = "1.9.9",
                      const std::string& package = "") {
        const std::string file = package.empty() ? model : package;
        const std::string data = "[watch]\r\nmodel=" + model + "\r\n";
        ASSERT_TRUE(WriteWholeFile(tool.File(L"sproutdata.ini"), data.data(), data.size()));
        ASSERT_TRUE(server.File("/packages/" + file + ".cab", WideToUtf8(PackagePath(file))));
        ASSERT_TRUE(server.Reply("/checkupdate/rom", 200,
                                 "{\"" + model + "\":{\"version\":\"" + version + "\",\"url\":\"" +
                                     tvsp::UpdateServerClient::HttpUrl("/packages/" + file + ".cab") +
                                     "\",\"timestamp\":1700000000,\"logs\":[\"one\",\"two\"]}}"));
    }

    // A watch at firmware `before` (`after` once flashed), the model's package offered, the tool
    // started and its upgrade button pressed, the watch's ports announced from then on.
    void StartUpgrade(RunningTool& tool, const std::string& model, const std::string& before,
                      const std::string& after, const std::string& version = "1.9.9") {
        VWATCH_OK(watch.SetVersion(before));
        VWATCH_OK(watch.SetNewVersion(after));
        OfferPackage(tool, model, version);
        if (HasFatalFailure()) return;
        ASSERT_TRUE(tool.Start());
        announcer_.emplace(SendUictl, kDownloadCom);
        PressUpgrade();
    }

    // Waits for the upgrade button and presses it.
    void PressUpgrade() {
        json window;
        ASSERT_TRUE(WaitUntil([&] {
            Narrate(window = MainWindowSnapshot());
            return ControlVisible(window, "updateButton");
        }, 60000))
            << "no upgrade offered; detail " << ControlText(window, "detail") << ", status "
            << ControlText(window, "Status");
        ASSERT_EQ(Uictl(L"click mainWnd/updateButton").exitCode, 0u);
    }

    // The window once `done` holds for it, or once the time is up. Every new status line and bar
    // position on the way is printed ("stage: ..."), so a run's log tells the upgrade's story.
    json WaitForWindow(const std::function<bool(const json&)>& done, DWORD timeoutMs) {
        json window;
        WaitUntil([&] {
            window = MainWindowSnapshot();
            Narrate(window);
            return done(window);
        }, timeoutMs);
        return window;
    }
    void Narrate(const json& window) {
        if (!window.is_object()) return;
        const std::string detail = ControlText(window, "detail");
        const std::string failure = ControlVisible(window, "panel-fail") ? ControlTextIn(window, "panel-fail", "label") : "";
        const json* bar = window.contains("controls") ? FindControl(window["controls"], "progress") : nullptr;
        const int value = bar && bar->contains("value") && (*bar)["value"].is_number() ? (*bar)["value"].get<int>() : -1;
        const std::string line = (failure.empty() ? detail : "failed: " + failure) + " [" + std::to_string(value) + "%]";
        if (line != lastStage_) {
            std::printf("stage: %s\n", line.c_str());
            // A picture of each new status line (not of every bar step) for the demo's record.
            if (detail != lastDetail_ || !failure.empty()) {
                const std::wstring name = L"tool-" + TVSP::AnsiToWide(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                          L"-" + std::to_wstring(++shots_);
                if (SaveToolScreenshot(name.c_str())) {
                    std::printf("stage: screenshot out/screenshots/%s.png\n", TVSP::WideToUtf8(name).c_str());
                }
            }
            lastDetail_ = detail;
        }
        lastStage_ = line;
    }
    std::string lastStage_;
    std::string lastDetail_;
    int shots_ = 0;

    // The watch holds the sample images the packages carry, region by region: the boot loader is
    // never rewritten, and the classes that upgrade themselves take only "OTA".
    void ExpectPackageWritten(bool otaOnly = false) {
        tvsp::TempFolder dump(L"upgrade-dump");
        ASSERT_TRUE(watch.DumpRegions(WideToAnsi(dump.path())));
        const std::wstring images = GetOwnDirectory() + L"\\..\\companions\\brom\\sample_romset\\";
        std::vector<std::pair<std::string, std::wstring>> expected = {{"ROM", L"rom.bin"}, {"OTA", L"ota\\ota.bin"}};
        if (otaOnly) expected.erase(expected.begin());
        const auto regions = watch.Regions();
        ASSERT_EQ(regions.size(), expected.size());
        for (const auto& [region, file] : expected) {
            const std::string written = tvsp::ReadAll(dump / (AnsiToWide(region) + L".bin"));
            const std::string image = tvsp::ReadAll(images + file);
            EXPECT_FALSE(image.empty()) << region;
            EXPECT_TRUE(written == image) << region << ": " << written.size() << " bytes written, image "
                                          << image.size();
        }
    }

    tvsp::UpdateServerClient server;
    std::optional<DeviceAnnouncer> announcer_;
};

}  // namespace tvsp_test
