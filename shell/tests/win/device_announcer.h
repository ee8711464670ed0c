// Announces the virtual watch's ports to the running tool the way Windows would: Wine sends no
// device notifications for them, so a thread watches the watch's state and sends
// WM_DEVICECHANGE through uictl for every port that comes or goes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/win/strings.h"
#include "testing/vwatch/client/vwatch_client.h"
#include "testing/wine/test_watchdog.h"

namespace tvsp_test {

class DeviceAnnouncer {
public:
    // send: runs one uictl command line ("device arrive <path>") and says whether it was
    // delivered; called on the announcer's thread.
    // downloadCom: the download port's number as the test set it (0: the normal port's).
    DeviceAnnouncer(std::function<bool(const std::wstring&)> send, int downloadCom)
        : send_(std::move(send)), downloadCom_(downloadCom) {
        if (!watch_.Connect()) return;
        last_ = Port(watch_.Status());
        thread_ = std::thread([this] { Run(); });
        // A hanging test shows what the tool was told and where the watch is now (asked over a
        // connection of the report's own: the announcer's may be the one stuck).
        hangReport_ = tvsp::AddHangReport([this] {
            for (const std::wstring& sent : Sent()) std::printf("hang: announced %s\n", TVSP::WideToUtf8(sent).c_str());
            tvsp::VirtualWatchClient watch;
            std::printf("hang: the watch: %s\n", watch.Connect() ? watch.Status().c_str() : "(no answer)");
        });
    }
    ~DeviceAnnouncer() {
        tvsp::RemoveHangReport(hangReport_);
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    DeviceAnnouncer(const DeviceAnnouncer&) = delete;
    DeviceAnnouncer& operator=(const DeviceAnnouncer&) = delete;

    bool Running() const { return thread_.joinable(); }
    // Every command sent so far, oldest first; one that was never delivered ends in " (lost)".
    std::vector<std::wstring> Sent() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

    // The interface path the watch's serial function has in that mode on that port.
    static std::wstring InterfacePath(bool download, int com) {
        return L"\\\\?\\USB#VID_0E8D&PID_0003#" + std::wstring(download ? L"TVSPDL" : L"TVSPVW") +
               std::to_wstring(com) + L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    }

private:
    // The port present now: empty when unplugged or detached.
    std::wstring Port(const std::string& status) const {
        auto field = [&](const char* name) {
            const std::size_t at = status.find(std::string(" ") + name + "=");
            if (at == std::string::npos) return std::string();
            const std::size_t from = at + std::strlen(name) + 2;
            return status.substr(from, status.find(' ', from) - from);
        };
        if (field("plugged") != "yes") return std::wstring();
        const std::string mode = field("mode");
        if (mode != "normal" && mode != "download") return std::wstring();
        // "com=" is always the normal port's number.
        const bool download = mode == "download";
        const int number = download && downloadCom_ != 0 ? downloadCom_ : std::atoi(field("com").c_str());
        return InterfacePath(download, number);
    }

    void Run() {
        while (!stop_) {
            const std::string status = watch_.Status();
            if (!status.empty()) {
                const std::wstring now = Port(status);
                if (now != last_) {
                    if (!last_.empty()) Send(L"device remove " + last_);
                    if (!now.empty()) Send(L"device arrive " + now);
                    last_ = now;
                }
            }
            ::Sleep(100);
        }
    }
    // Windows never loses a device notification, so neither may the rig: a busy tool gets a
    // few more tries before the loss is recorded for the test to show.
    void Send(const std::wstring& command) {
        bool delivered = false;
        for (int attempt = 0; attempt < 3 && !delivered && !stop_; ++attempt) delivered = send_(command);
        std::lock_guard lock(mutex_);
        sent_.push_back(delivered ? command : command + L" (lost)");
    }

    std::function<bool(const std::wstring&)> send_;
    int downloadCom_ = 0;
    tvsp::VirtualWatchClient watch_;
    std::wstring last_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::wstring> sent_;
    int hangReport_ = 0;
};

}  // namespace tvsp_test
