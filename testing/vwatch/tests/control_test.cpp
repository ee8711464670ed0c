// Tests of the control channel's requests and replies.
#include "testing/vwatch/control.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tvsp::vwatch {
namespace {

class FakePort : public PortControl {
public:
    bool Plug(int com, std::string* error) override {
        if (com == refusedCom) {
            *error = "no such port";
            return false;
        }
        calls.push_back("plug " + std::to_string(com));
        plugged_ = true;
        com_ = com;
        return true;
    }
    bool Unplug(std::string*) override {
        calls.push_back("unplug");
        plugged_ = false;
        return true;
    }
    bool plugged() const override { return plugged_; }
    int com() const override { return com_; }
    void SelectCom(int com) override { com_ = com; }
    void RequestQuit() override { quit = true; }
    bool PlugDisk(char letter, std::uint64_t sizeBytes, std::string* error) override {
        if (refuseDisk) {
            *error = "mount tmpfs: Operation not permitted\nsecond line";
            return false;
        }
        calls.push_back("disk plug " + std::string(1, letter) + " " + std::to_string(sizeBytes));
        disk_ = {true, letter, sizeBytes};
        return true;
    }
    bool UnplugDisk(std::string*) override {
        calls.push_back("disk unplug");
        disk_ = {};
        return true;
    }
    bool FillDisk(std::uint64_t bytes, std::string* error) override {
        if (bytes > disk_.sizeBytes) {
            *error = "no space";
            return false;
        }
        calls.push_back("disk fill " + std::to_string(bytes));
        return true;
    }
    DiskState disk() const override { return disk_; }

    std::vector<std::string> calls;
    bool refuseDisk = false;
    int refusedCom = -1;
    bool quit = false;

private:
    bool plugged_ = false;
    int com_ = 5;
    DiskState disk_;
};

struct ControlFixture : ::testing::Test {
    std::string Do(std::string_view line) { return HandleControlLine(line, watch, port); }
    std::string Watch(std::string_view bytes) {
        std::string out;
        for (const Transmission& t : watch.Receive(bytes, 0).writes) out += t.bytes;
        return out;
    }
    WatchModel watch;
    FakePort port;
};
// Named so that ctest -R vwatch selects these cases.
using vwatch_control = ControlFixture;

TEST_F(vwatch_control, PlugAndUnplugFollowThePort) {
    EXPECT_EQ(Do("plug"), "OK 5");
    EXPECT_EQ(watch.mode(), Mode::Normal);
    EXPECT_EQ(Do("plug 7"), "OK 7");
    EXPECT_EQ(Do("unplug"), "OK");
    EXPECT_EQ(watch.mode(), Mode::Detached);
    EXPECT_EQ(port.calls, (std::vector<std::string>{"plug 5", "plug 7", "unplug"}));
    // A plain plug takes the last number; a refused plug leaves the watch detached.
    EXPECT_EQ(Do("plug"), "OK 7");
    port.refusedCom = 9;
    EXPECT_EQ(Do("plug 9"), "ERR no such port");
    EXPECT_EQ(watch.mode(), Mode::Detached);
}

TEST_F(vwatch_control, ComNumberBounds) {
    for (const char* bad : {"plug 0", "plug 256", "plug -1", "plug 5x", "plug  5", "set com 0", "set com"}) {
        EXPECT_EQ(Do(bad).substr(0, 4), "ERR ") << bad;
    }
    EXPECT_TRUE(port.calls.empty());
    EXPECT_EQ(Do("plug 1"), "OK 1");
    EXPECT_EQ(Do("plug 255"), "OK 255");
    // Unplugged: set com only chooses; plugged: it moves the port.
    EXPECT_EQ(Do("unplug"), "OK");
    EXPECT_EQ(Do("set com 12"), "OK 12");
    EXPECT_FALSE(port.plugged());
    EXPECT_EQ(Do("plug"), "OK 12");
    EXPECT_EQ(Do("set com 3"), "OK 3");
    EXPECT_EQ(port.calls.back(), "plug 3");
}

TEST_F(vwatch_control, SettingsChangeTheAnswers) {
    Do("plug");
    EXPECT_EQ(Do("set version WK8_GSM1.0_BLE2_U_V3 beta"), "OK");
    EXPECT_EQ(Do("set imei 86\\x30"), "OK");
    EXPECT_EQ(Do("set echo off"), "OK");
    EXPECT_EQ(Watch("AT+CGMR\r\n"), "\r\n+CGMR: WK8_GSM1.0_BLE2_U_V3 beta\r\n\r\nOK\r\n");
    EXPECT_EQ(Watch("AT+EGMR=0,7\r\n"), "\r\n+EGMR: \"860\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Do("set version"), "OK");
    EXPECT_EQ(Watch("AT+CGMR\r\n"), "\r\n+CGMR: \r\n\r\nOK\r\n");
    EXPECT_EQ(Do("set on-reboot unplug"), "OK");
    EXPECT_EQ(watch.settings().onReboot, OnReboot::Unplug);
    EXPECT_EQ(Do("set delay AT+CGMR 1500"), "OK");
    EXPECT_EQ(watch.Receive("AT+CGMR\r\n", 0).writes.back().delayMs, 1500);
}

TEST_F(vwatch_control, MalformedRequestsAreRefusedWithoutEffect) {
    for (const char* bad : {"", "plugx", "PLUG", "unplug now", "set", "set colour red", "set echo yes",
                            "set echo", "set on-reboot later", "set delay AT", "set delay AT -1",
                            "set delay AT 600001", "set version \\q", "fault", "fault AT",
                            "fault AT loud", "fault AT silent now", "fault AT fail-first",
                            "fault AT fail-first x", "fault AT fail-first 2 partial", "fault AT raw \\x0",
                            "fault rsdta-error", "fault rsdta-error -1", "log x", "status now"}) {
        EXPECT_EQ(Do(bad).substr(0, 4), "ERR ") << '"' << bad << '"';
    }
    Do("plug");
    EXPECT_EQ(Watch("AT\r\n"), "AT\r\n\r\nOK\r\n");
}

TEST_F(vwatch_control, FaultRequests) {
    Do("plug");
    Do("set echo off");
    EXPECT_EQ(Do("fault AT^TESTSTART fail-first 1 wrong"), "OK");
    EXPECT_EQ(Do("fault AT+CGMR raw \\r\\n+CGMR: X|Y\\r\\n"), "OK");
    EXPECT_EQ(Do("fault at silent"), "OK");
    EXPECT_EQ(Do("fault rsdtb-error 2"), "OK");
    EXPECT_EQ(Watch("AT^TESTSTART\r\n"), "\r\nERROR\r\n");
    EXPECT_EQ(Watch("AT^TESTSTART\r\n"), "\r\nOK1-OK2\r\n");
    EXPECT_EQ(Watch("AT+CGMR\r\n"), "\r\n+CGMR: X|Y\r\n");
    EXPECT_EQ(Watch("AT\r\n"), "");
    EXPECT_EQ(Watch("AT^RSDTB=b\n"), "\r\nRSDTB_ERROR\r\n");
    EXPECT_EQ(Do("fault AT none"), "OK");
    EXPECT_EQ(Watch("AT\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(Do("clear-faults"), "OK");
    EXPECT_EQ(Watch("AT+CGMR\r\n").substr(0, 9), "\r\n+CGMR: ");
    EXPECT_EQ(Watch("AT^RSDTB=b\n"), "\r\nRSDTB_OK\r\n");
}

TEST_F(vwatch_control, LogAndRestoreDataAreEscapedLists) {
    EXPECT_EQ(Do("log"), "OK");
    EXPECT_EQ(Do("restore-data"), "OK |");
    EXPECT_EQ(Do("restore-writes"), "OK");
    Do("plug");
    watch.Receive("AT+CGMR\r\n", 120);
    watch.Receive("AT^RSDTA=a|b\r\n", 130);
    watch.Receive("AT^RSDTB=c d\n", 140);
    EXPECT_EQ(Do("log"), "OK 120 AT+CGMR|130 AT^RSDTA=a\\x7cb\\r|140 AT^RSDTB=c d");
    EXPECT_EQ(Do("restore-data"), "OK a\\x7cb\\r|c d");
    EXPECT_EQ(Do("restore-writes"), "OK A:a\\x7cb\\r|B:c d");
    EXPECT_EQ(Do("clear-log"), "OK");
    EXPECT_EQ(Do("log"), "OK");
    EXPECT_EQ(Do("clear-restore-data"), "OK");
    EXPECT_EQ(Do("restore-data"), "OK |");
}

TEST_F(vwatch_control, SinkCountsAndDropsEveryByteInAnyMode) {
    Do("plug 5");
    EXPECT_EQ(Do("sink on"), "OK");
    EXPECT_EQ(Watch("AT+CGMR\r\n"), "");  // not answered
    EXPECT_EQ(Watch(std::string(70000, '\xA0')), "");
    EXPECT_EQ(Do("sink-count"), "OK 70009");
    EXPECT_TRUE(watch.log().empty());
    EXPECT_EQ(Do("sink maybe"), "ERR sink takes on or off");
    EXPECT_EQ(Do("sink on"), "OK");  // counts again from 0
    EXPECT_EQ(Do("sink-count"), "OK 0");
    EXPECT_EQ(Do("sink off"), "OK");
    EXPECT_NE(Watch("AT+CGMR\r\n").find("+CGMR: "), std::string::npos);
    Do("sink on");
    Watch("x");
    Do("reset");
    EXPECT_EQ(Do("sink-count"), "OK 0");
    EXPECT_NE(Watch("AT\r\n").find("OK"), std::string::npos) << "reset leaves the sink on";
}

TEST_F(vwatch_control, AfterRestartSettingShowsInStatusAndResets) {
    const struct {
        const char* request;
        const char* reply;
        const char* shown;  // after-restart= in status after the request
    } rows[] = {
        {"set after-restart rejoin 300 1500", "OK", "rejoin:300:1500"},
        {"set after-restart rejoin 0 600000", "OK", "rejoin:0:600000"},
        {"set after-restart stay", "OK", "stay"},
        {"set after-restart rejoin 600001 0", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart rejoin -1 5", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart rejoin 300", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart rejoin 300 1500 9", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart rejoin  300 1500", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart rejoin:300:1500", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart stay 5", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
        {"set after-restart", "ERR after-restart takes stay or rejoin MS1 MS2", "stay"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Do(row.request), row.reply) << row.request;
        EXPECT_NE(Do("status").find(std::string(" after-restart=") + row.shown + " rejoins=0 "), std::string::npos)
            << row.request;
    }
    EXPECT_EQ(Do("set after-restart rejoin 1 2"), "OK");
    EXPECT_EQ(Do("reset"), "OK");
    EXPECT_EQ(watch.settings().afterRestart, AfterRestart{});
}

TEST_F(vwatch_control, DiskPlugFillStatusAndUnplug) {
    EXPECT_EQ(Do("disk status"), "OK plugged=no letter=- size=0");
    EXPECT_EQ(Do("disk fill 10"), "ERR no disk plugged");
    EXPECT_EQ(Do("disk plug r 12582912"), "OK");
    EXPECT_EQ(Do("disk status"), "OK plugged=yes letter=R size=12582912");
    EXPECT_EQ(Do("disk fill 11534336"), "OK");
    EXPECT_EQ(Do("disk fill 12582913"), "ERR no space");
    // Plugging again replaces the disk; the serial port is not touched by any of it.
    EXPECT_EQ(Do("disk plug E 4294967296"), "OK");
    EXPECT_EQ(Do("disk status"), "OK plugged=yes letter=E size=4294967296");
    EXPECT_EQ(Do("disk unplug"), "OK");
    EXPECT_EQ(Do("disk unplug"), "OK");
    EXPECT_EQ(Do("disk status"), "OK plugged=no letter=- size=0");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"disk plug R 12582912", "disk fill 11534336",
                                                    "disk plug E 4294967296", "disk unplug", "disk unplug"}));
    // reset unplugs the disk, not the serial port.
    Do("plug 5");
    Do("disk plug R 12582912");
    EXPECT_EQ(Do("reset"), "OK");
    EXPECT_EQ(Do("disk status"), "OK plugged=no letter=- size=0");
    EXPECT_TRUE(port.plugged());
    // A failure's reason stays on one reply line.
    port.refuseDisk = true;
    EXPECT_EQ(Do("disk plug R 1"), "ERR mount tmpfs: Operation not permitted second line");
}

TEST_F(vwatch_control, MalformedDiskRequestsAreRefusedWithoutEffect) {
    for (const char* bad : {"disk", "disk eject", "disk plug", "disk plug R", "disk plug C 4096", "disk plug z 4096",
                            "disk plug 1 4096", "disk plug RS 4096", "disk plug R 0", "disk plug R -1",
                            "disk plug R 1099511627777", "disk plug R 12m", "disk plug R  4096",
                            "disk plug R 4096 x", "disk fill", "disk fill 0", "disk unplug now",
                            "disk status now", "DISK status"}) {
        EXPECT_EQ(Do(bad).substr(0, 4), "ERR ") << '"' << bad << '"';
    }
    EXPECT_TRUE(port.calls.empty());
    EXPECT_EQ(Do("disk plug y 1099511627776"), "OK");
}

TEST_F(vwatch_control, StatusResetAndQuit) {
    Do("plug 6");
    Do("set version A B");
    Do("set echo off");
    watch.Receive("AT+CFUN=1,1\r\n", 0);
    EXPECT_EQ(Do("status"),
              "OK plugged=yes com=6 mode=normal echo=off on-reboot=stay commands=1 reboots=1 "
              "after-restart=stay rejoins=0 version=A\\x20B imei=861234567890123");
    EXPECT_EQ(Do("reset"), "OK");
    EXPECT_EQ(Do("status"),
              "OK plugged=yes com=6 mode=normal echo=on on-reboot=stay commands=0 reboots=0 "
              "after-restart=stay rejoins=0 version=WK7_GSM1.2.3_BLE4_U_V5 imei=861234567890123");
    EXPECT_FALSE(port.quit);
    EXPECT_EQ(Do("quit"), "OK");
    EXPECT_TRUE(port.quit);
}

}  // namespace
}  // namespace tvsp::vwatch
