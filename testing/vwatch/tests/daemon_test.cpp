// End-to-end tests of the vwatch daemon without Wine: a temporary prefix, the pty through its
// dosdevices link, and the control channel over TCP.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "testing/vwatch/download_protocol.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class DaemonFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/vwatch-test-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        prefix_ = dir;
        fs::create_directories(prefix_ / "dosdevices");
        ready_ = prefix_ / "ready";
    }

    void TearDown() override {
        for (int fd : fds_) ::close(fd);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        // A failed case may leave a disk mounted; removing the folder must not recurse into it.
        for (const std::string& dir : MountsUnderPrefix()) ::umount2(dir.c_str(), MNT_DETACH);
        fs::remove_all(prefix_);
    }

    // Mount points at or below the prefix, from the kernel's table.
    std::vector<std::string> MountsUnderPrefix() const {
        std::vector<std::string> found;
        std::ifstream mounts("/proc/self/mounts");
        for (std::string line; std::getline(mounts, line);) {
            std::istringstream fields(line);
            std::string device, dir;
            fields >> device >> dir;
            if (dir.starts_with(prefix_.string() + "/")) found.push_back(dir);
        }
        return found;
    }

    void Start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {TVSP_VWATCH_EXE, "--prefix", prefix_.string(), "--control-port", "0",
                                         "--ready-file", ready_.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ASSERT_EQ(::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        const auto deadline = Clock::now() + 20s;
        while (!fs::exists(ready_) && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(fs::exists(ready_)) << "daemon did not become ready";
        std::ifstream(ready_) >> controlPort_;
        ASSERT_GT(controlPort_, 0);
    }

    int Connect() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(controlPort_));
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        fds_.push_back(fd);
        return fd;
    }

    // One request, one reply line.
    std::string Control(const std::string& line) {
        if (control_ < 0) control_ = Connect();
        const std::string request = line + "\n";
        EXPECT_EQ(::send(control_, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
        std::string reply;
        char c;
        while (::recv(control_, &c, 1, 0) == 1 && c != '\n') reply += c;
        return reply;
    }

    // Opens the port the way Wine would: through the prefix's COM link.
    int OpenCom(int n) {
        const fs::path link = prefix_ / "dosdevices" / ("com" + std::to_string(n));
        const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(fd, 0) << link;
        if (fd < 0) return fd;
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        fds_.push_back(fd);
        return fd;
    }

    // Writes the command, then collects what arrives within `window`, like the tool's one read.
    static std::string Transact(int fd, const std::string& bytes, std::chrono::milliseconds window = 700ms) {
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        return ReadFor(fd, window);
    }

    static std::string ReadFor(int fd, std::chrono::milliseconds window) {
        std::string got;
        const auto deadline = Clock::now() + window;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            char buf[1024];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    bool ComLinkExists(int n) const {
        return fs::is_symlink(prefix_ / "dosdevices" / ("com" + std::to_string(n)));
    }

    int ExitCode() {
        int status = 0;
        const auto deadline = Clock::now() + 10s;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) return -1;
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }

    fs::path prefix_;
    fs::path ready_;
    pid_t pid_ = -1;
    int controlPort_ = 0;
    int control_ = -1;
    std::vector<int> fds_;
};

// Named so that ctest -R vwatch selects these cases.
using vwatch_daemon = DaemonFixture;

const std::string kCgmr("AT+CGMR\r\n\0", 10);

TEST_F(vwatch_daemon, AnswersThroughTheComLinkAndRecordsCommands) {
    Start({"--com", "7", "--version", "WK7_GSM1.2.3_BLE4_U_V5"});
    ASSERT_TRUE(ComLinkExists(7));
    EXPECT_TRUE(fs::read_symlink(prefix_ / "dosdevices" / "com7").string().starts_with("/dev/pts/"));
    const int com = OpenCom(7);
    EXPECT_EQ(Transact(com, kCgmr), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM1.2.3_BLE4_U_V5\r\n\r\nOK\r\n");
    EXPECT_EQ(Transact(com, "AT\r\n"), "AT\r\n\r\nOK\r\n");

    const std::string log = Control("log");
    ASSERT_EQ(log.substr(0, 3), "OK ");
    EXPECT_NE(log.find(" AT+CGMR|"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 3), " AT") << log;
}

TEST_F(vwatch_daemon, FaultsAndSettingsApplyAtOnce) {
    Start();
    const int com = OpenCom(5);
    EXPECT_EQ(Control("set echo off"), "OK");
    EXPECT_EQ(Control("fault AT+CGMR silent"), "OK");
    EXPECT_EQ(Transact(com, kCgmr), "");
    EXPECT_EQ(Control("fault AT+CGMR partial"), "OK");
    EXPECT_EQ(Transact(com, kCgmr), "\r\n+CGMR: ");
    EXPECT_EQ(Control("fault AT+CGMR raw \\r\\n+CGMR: \\x00X\\r\\n"), "OK");
    EXPECT_EQ(Transact(com, kCgmr), std::string("\r\n+CGMR: \0X\r\n", 13));
    EXPECT_EQ(Control("reset"), "OK");
    EXPECT_EQ(Control("set imei 867530900000001"), "OK");
    EXPECT_EQ(Transact(com, std::string("AT+EGMR=0,7\r\n\0", 14)),
              "AT+EGMR=0,7\r\n\r\n+EGMR: \"867530900000001\"\r\n\r\nOK\r\n");
}

TEST_F(vwatch_daemon, DelayedReplyComesLaterInOrder) {
    Start({"--echo", "off"});
    const int com = OpenCom(5);
    EXPECT_EQ(Control("set delay AT^TESTSTART 400"), "OK");
    // A ping right behind it waits for the delayed reply: the watch works one command at a time.
    EXPECT_EQ(Transact(com, std::string("AT^TESTSTART\r\n\0", 15) + "AT\r\n", 150ms), "");
    EXPECT_EQ(ReadFor(com, 1500ms), "\r\nOK1-OK2\r\n\r\nOK\r\n");
}

TEST_F(vwatch_daemon, RestoreDataAndRebootUnplug) {
    Start({"--on-reboot", "unplug"});
    const int com = OpenCom(5);
    EXPECT_EQ(Control("fault rsdta-error 1"), "OK");
    EXPECT_EQ(Transact(com, "AT^RSDTA=first\r\n"), "AT^RSDTA=first\r\n\r\nRSDTA_ERROR\r\n");
    EXPECT_EQ(Transact(com, "AT^RSDTA=first\r\n"), "AT^RSDTA=first\r\n\r\nRSDTA_OK\r\n");
    EXPECT_EQ(Transact(com, "AT^RSDTB=second\n"), "AT^RSDTB=second\n\r\nRSDTB_OK\r\n");
    EXPECT_EQ(Control("restore-data"), "OK first\\r|second");

    EXPECT_EQ(::write(com, "AT+CFUN=1,1\r\n\0", 14), 14);
    const auto deadline = Clock::now() + 5s;
    while (ComLinkExists(5) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(ComLinkExists(5));
    EXPECT_EQ(Control("status").substr(0, 35), "OK plugged=no com=5 mode=detached e");
}

TEST_F(vwatch_daemon, ReplugMovesTheLinkAndClientsComeOneAfterAnother) {
    Start({"--no-plug"});
    EXPECT_FALSE(ComLinkExists(5));
    EXPECT_EQ(Control("plug 8"), "OK 8");
    EXPECT_TRUE(ComLinkExists(8));
    EXPECT_EQ(Control("set com 9"), "OK 9");
    EXPECT_FALSE(ComLinkExists(8));
    EXPECT_TRUE(ComLinkExists(9));
    EXPECT_EQ(Transact(OpenCom(9), "AT\r\n"), "AT\r\n\r\nOK\r\n");
    // A second client after the first has gone.
    ::shutdown(control_, SHUT_RDWR);
    control_ = -1;
    EXPECT_EQ(Control("unplug"), "OK");
    EXPECT_FALSE(ComLinkExists(9));
    EXPECT_EQ(Control("bogus"), "ERR unknown request");
}

TEST_F(vwatch_daemon, TermAndQuitEndCleanly) {
    Start();
    ASSERT_TRUE(ComLinkExists(5));
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_FALSE(ComLinkExists(5));
    EXPECT_FALSE(fs::exists(ready_));

    Start({"--com", "6"});
    EXPECT_EQ(Control("quit"), "OK");
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_FALSE(ComLinkExists(6));
    // Nothing but the link was ever put into the prefix.
    std::vector<fs::path> left;
    for (const auto& e : fs::recursive_directory_iterator(prefix_)) left.push_back(e.path());
    EXPECT_EQ(left, std::vector<fs::path>{prefix_ / "dosdevices"});
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Reads exactly n bytes or whatever came within the limit.
std::string ReadExactly(int fd, std::size_t n, std::chrono::milliseconds limit = 3s) {
    std::string got;
    const auto deadline = Clock::now() + limit;
    while (got.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buf[256];
        const ssize_t r = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
        if (r <= 0) break;
        got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
}

std::string U32(std::uint32_t v) {
    std::string s;
    tvsp::vwatch::dl::PutU32(s, v);
    return s;
}

const std::string kAckOk = tvsp::vwatch::dl::EncodeAck(tvsp::vwatch::dl::Status::Ok);

TEST_F(vwatch_daemon, TheLongestRestoreLineIsEchoedAndAnswered) {
    Start();
    const int com = OpenCom(5);
    // The longest line the watch keeps: its echo alone fills a megabyte, and the answer must follow it.
    const std::string line = "AT^RSDTA=" + std::string((1 << 20) - 9, 'd') + "\n";
    ASSERT_EQ(::write(com, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    const std::string answer = "\r\nRSDTA_OK\r\n";
    const std::string got = ReadExactly(com, line.size() + answer.size(), 20s);
    EXPECT_EQ(got.size(), line.size() + answer.size());
    EXPECT_TRUE(got == line + answer);
}

// The whole round: reboot, download port on another number, greeting, agent, one region in two
// blocks, watchdog, and the watch back on its normal port with the new version.
TEST_F(vwatch_daemon, RebootDownloadAndWatchdogRestartWithTheNewVersion) {
    namespace d = tvsp::vwatch::dl;
    Start({"--on-reboot", "unplug", "--download-com", "7", "--download-delay", "300"});
    EXPECT_EQ(Control("set new-version WK7_GSM2.0.0_BLE4_U_V6"), "OK");
    int com = OpenCom(5);
    ASSERT_EQ(::write(com, "AT+CFUN=1,1\r\n\0", 14), 14);
    ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(5); }));
    ASSERT_TRUE(WaitFor([&] { return ComLinkExists(7); })) << "no download port";
    EXPECT_EQ(Control("status").substr(0, 35), "OK plugged=yes com=5 mode=download ");

    const int dlPort = OpenCom(7);
    for (int b : {0xA0, 0x0A, 0x50, 0x05}) {
        const char byte = static_cast<char>(b);
        ASSERT_EQ(::write(dlPort, &byte, 1), 1);
        EXPECT_EQ(ReadExactly(dlPort, 1), std::string(1, static_cast<char>(~b))) << b;
    }
    const std::string image = [] {
        std::string s;
        for (int i = 0; i < 100000; ++i) s += static_cast<char>((i * 7) & 0xFF);
        return s;
    }();
    const std::string frames[] = {
        d::EncodeFrame(d::kSendDa, d::MakeDownloadAgent("agent body")),
        d::EncodeFrame(d::kBeginRegion, d::BeginRegionPayload("ROM", 0x100000, image.size())),
        d::EncodeFrame(d::kData, d::DataPayload(0, image.substr(0, 65536))),
        d::EncodeFrame(d::kData, d::DataPayload(65536, image.substr(65536))),
        d::EncodeFrame(d::kEndRegion, U32(d::Sum32(image))),
        d::EncodeFrame(d::kWatchdog, U32(200)),
    };
    for (const std::string& f : frames) {
        ASSERT_EQ(::write(dlPort, f.data(), f.size()), static_cast<ssize_t>(f.size()));
        EXPECT_EQ(ReadExactly(dlPort, kAckOk.size()), kAckOk) << static_cast<int>(f[2]);
    }
    ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(7) && ComLinkExists(5); })) << "no restart";
    com = OpenCom(5);
    EXPECT_EQ(Transact(com, kCgmr), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM2.0.0_BLE4_U_V6\r\n\r\nOK\r\n");

    char sum[16];
    std::snprintf(sum, sizeof sum, "0x%08x", d::Sum32(image));
    EXPECT_EQ(Control("regions"), "OK ROM 0x00100000 100000 " + std::string(sum));
    // A Windows test names the folder as it sees it; the daemon resolves the drive in the prefix.
    fs::create_directories(prefix_ / "drive_c");
    fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
    EXPECT_EQ(Control("dump-regions C:\\\\flashed\\\\now"), "OK 1");
    std::ifstream in(prefix_ / "drive_c" / "flashed" / "now" / "ROM.bin", std::ios::binary);
    const std::string dumped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(dumped == image) << dumped.size();
}

TEST_F(vwatch_daemon, PlugDuringTheRebootCallsOffTheDownloadPort) {
    Start({"--on-reboot", "unplug", "--download-delay", "400"});
    ASSERT_EQ(::write(OpenCom(5), "AT+CFUN=1,1\r\n\0", 14), 14);
    ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(5); }));
    EXPECT_EQ(Control("plug"), "OK 5");
    std::this_thread::sleep_for(800ms);
    EXPECT_EQ(Control("status").substr(0, 33), "OK plugged=yes com=5 mode=normal ");
    EXPECT_EQ(Transact(OpenCom(5), "AT\r\n"), "AT\r\n\r\nOK\r\n");
}

// Same COM number both ways; the watch vanishes half-way through its region and stays gone.
TEST_F(vwatch_daemon, DownloadPortOnTheSameNumberAndVanishingMidRegion) {
    namespace d = tvsp::vwatch::dl;
    Start({"--on-reboot", "unplug", "--download-delay", "100"});
    EXPECT_EQ(Control("fault-dl vanish-at 50"), "OK");
    ASSERT_EQ(::write(OpenCom(5), "AT^PWROFF\r\n\0", 12), 12);
    ASSERT_TRUE(WaitFor([&] { return Control("status").find("mode=download") != std::string::npos; }));
    ASSERT_TRUE(ComLinkExists(5));
    const int dlPort = OpenCom(5);
    const std::string greeting("\xA0\x0A\x50\x05", 4);
    std::string replies;
    for (char c : greeting) {
        ASSERT_EQ(::write(dlPort, &c, 1), 1);
        replies += ReadExactly(dlPort, 1);
    }
    EXPECT_EQ(replies, std::string("\x5F\xF5\xAF\xFA", 4));
    for (const std::string& f : {d::EncodeFrame(d::kSendDa, d::MakeDownloadAgent("a")),
                                 d::EncodeFrame(d::kBeginRegion, d::BeginRegionPayload("OTA", 0, 4)),
                                 d::EncodeFrame(d::kData, d::DataPayload(0, "a"))}) {
        ASSERT_EQ(::write(dlPort, f.data(), f.size()), static_cast<ssize_t>(f.size()));
        EXPECT_EQ(ReadExactly(dlPort, kAckOk.size()), kAckOk);
    }
    const std::string second = d::EncodeFrame(d::kData, d::DataPayload(1, "b"));
    ASSERT_EQ(::write(dlPort, second.data(), second.size()), static_cast<ssize_t>(second.size()));
    EXPECT_EQ(ReadExactly(dlPort, kAckOk.size(), 500ms), "");
    ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(5); }));
    EXPECT_EQ(Control("status").substr(0, 35), "OK plugged=no com=5 mode=detached e");
    EXPECT_EQ(Control("regions").substr(0, 20), "OK OTA 0x00000000 2 ");
}

class RejoinFixture : public DaemonFixture {
protected:
    // Reboots the watch on COM5 into its download port on COM7, greets it, sends the agent and a
    // watchdog, and waits until the watch is back on COM5 in normal mode.
    void RestartThroughTheDownloadPort() {
        namespace d = tvsp::vwatch::dl;
        ASSERT_EQ(::write(OpenCom(5), "AT+CFUN=1,1\r\n\0", 14), 14);
        ASSERT_TRUE(WaitFor([&] { return ComLinkExists(7); })) << "no download port";
        const int dlPort = OpenCom(7);
        const std::string greeting("\xA0\x0A\x50\x05", 4);
        ASSERT_EQ(::write(dlPort, greeting.data(), greeting.size()), 4);
        EXPECT_EQ(ReadExactly(dlPort, 4), std::string("\x5F\xF5\xAF\xFA", 4));
        for (const std::string& f : {d::EncodeFrame(d::kSendDa, d::MakeDownloadAgent("a")),
                                     d::EncodeFrame(d::kWatchdog, U32(100))}) {
            ASSERT_EQ(::write(dlPort, f.data(), f.size()), static_cast<ssize_t>(f.size()));
            EXPECT_EQ(ReadExactly(dlPort, kAckOk.size()), kAckOk);
        }
        ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(7) && ComLinkExists(5); })) << "no restart";
    }
};
using vwatch_daemon_rejoin = RejoinFixture;

TEST_F(vwatch_daemon_rejoin, AfterTheRestartTheWatchLeavesOnceMoreAndComesBackByItself) {
    Start({"--on-reboot", "unplug", "--download-com", "7", "--download-delay", "100", "--after-restart",
           "rejoin 1500 1500"});
    EXPECT_EQ(Control("set new-version WK7_GSM2.0.0_BLE4_U_V6"), "OK");
    RestartThroughTheDownloadPort();
    ASSERT_TRUE(WaitFor([&] { return !ComLinkExists(5); })) << "the watch never left";
    EXPECT_EQ(Control("status").substr(0, 35), "OK plugged=no com=5 mode=detached e");
    ASSERT_TRUE(WaitFor([&] { return ComLinkExists(5); })) << "the watch never came back";
    const std::string status = Control("status");
    EXPECT_EQ(status.substr(0, 33), "OK plugged=yes com=5 mode=normal ");
    EXPECT_NE(status.find(" after-restart=rejoin:1500:1500 rejoins=1 "), std::string::npos) << status;
    EXPECT_EQ(Transact(OpenCom(5), kCgmr), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM2.0.0_BLE4_U_V6\r\n\r\nOK\r\n");
}

TEST_F(vwatch_daemon_rejoin, APlugAfterTheRestartCallsOffTheRejoin) {
    Start({"--on-reboot", "unplug", "--download-com", "7", "--download-delay", "100"});
    EXPECT_EQ(Control("set after-restart rejoin 2000 100"), "OK");
    RestartThroughTheDownloadPort();
    EXPECT_EQ(Control("plug"), "OK 5");
    std::this_thread::sleep_for(2500ms);
    const std::string status = Control("status");
    EXPECT_EQ(status.substr(0, 33), "OK plugged=yes com=5 mode=normal ");
    EXPECT_NE(status.find(" rejoins=0 "), std::string::npos) << status;
    EXPECT_EQ(Transact(OpenCom(5), "AT\r\n"), "AT\r\n\r\nOK\r\n");
}

std::uint64_t TotalBytes(const fs::path& dir) {
    struct statvfs st {};
    return ::statvfs(dir.c_str(), &st) == 0 ? std::uint64_t{st.f_blocks} * st.f_frsize : 0;
}

std::uint64_t FreeBytes(const fs::path& dir) {
    struct statvfs st {};
    return ::statvfs(dir.c_str(), &st) == 0 ? std::uint64_t{st.f_bavail} * st.f_frsize : 0;
}

constexpr std::uint64_t kMiB = 1024 * 1024;

// The USB-disk model without Wine: the drive is a dosdevices link to a tmpfs of the asked size.
TEST_F(vwatch_daemon, DiskPlugFillReplugAndUnplug) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    Start();
    const fs::path r = prefix_ / "dosdevices" / "r:";
    EXPECT_EQ(Control("disk plug r 12582912"), "OK");
    ASSERT_TRUE(fs::is_symlink(r));
    EXPECT_EQ(MountsUnderPrefix(), std::vector<std::string>{fs::read_symlink(r).string()});
    EXPECT_EQ(TotalBytes(r), 12 * kMiB);
    EXPECT_EQ(Control("disk status"), "OK plugged=yes letter=R size=12582912");

    std::ofstream(r / "update.cab") << "package";
    const std::uint64_t before = FreeBytes(r);
    EXPECT_EQ(Control("disk fill 11534336"), "OK");
    EXPECT_EQ(before - FreeBytes(r), 11 * kMiB);
    // A fill that does not fit is refused and takes nothing.
    EXPECT_EQ(Control("disk fill 2097152").substr(0, 4), "ERR ");
    EXPECT_EQ(before - FreeBytes(r), 11 * kMiB);

    // Plugging again is a new, empty disk.
    EXPECT_EQ(Control("disk plug E 16777216"), "OK");
    EXPECT_FALSE(fs::exists(fs::symlink_status(r)));
    EXPECT_EQ(TotalBytes(prefix_ / "dosdevices" / "e:"), 16 * kMiB);
    EXPECT_FALSE(fs::exists(prefix_ / "dosdevices" / "e:" / "update.cab"));
    EXPECT_EQ(MountsUnderPrefix().size(), 1u);

    EXPECT_EQ(Control("disk unplug"), "OK");
    EXPECT_EQ(Control("disk status"), "OK plugged=no letter=- size=0");
    EXPECT_TRUE(MountsUnderPrefix().empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(prefix_ / "dosdevices" / "e:")));
    EXPECT_EQ(Control("disk fill 1"), "ERR no disk plugged");
}

// reset, SIGTERM and a killed daemon's successor each leave no mount, link or folder behind.
TEST_F(vwatch_daemon, DiskNeverOutlivesTheDaemon) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    auto onlyDosdevices = [&] {
        std::vector<fs::path> left;
        for (const auto& e : fs::directory_iterator(prefix_)) left.push_back(e.path());
        return left == std::vector<fs::path>{prefix_ / "dosdevices"};
    };
    Start({"--no-plug"});
    EXPECT_EQ(Control("disk plug R 12582912"), "OK");
    EXPECT_EQ(Control("reset"), "OK");
    EXPECT_TRUE(MountsUnderPrefix().empty());
    EXPECT_EQ(Control("disk plug R 12582912"), "OK");
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_TRUE(MountsUnderPrefix().empty());
    EXPECT_TRUE(onlyDosdevices());

    control_ = -1;  // a new daemon, a new connection
    Start({"--no-plug"});
    EXPECT_EQ(Control("disk plug F 12582912"), "OK");
    control_ = -1;
    ASSERT_EQ(::kill(pid_, SIGKILL), 0);
    EXPECT_EQ(ExitCode(), -2);
    ASSERT_EQ(MountsUnderPrefix().size(), 1u) << "a killed daemon cannot clean up";
    fs::remove(ready_);
    Start({"--no-plug"});
    EXPECT_TRUE(MountsUnderPrefix().empty());
    EXPECT_FALSE(fs::exists(fs::symlink_status(prefix_ / "dosdevices" / "f:")));
    EXPECT_EQ(Control("quit"), "OK");
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_TRUE(onlyDosdevices());
}

TEST_F(vwatch_daemon, RefusesABadCommandLineAndAPrefixItCannotUse) {
    Start();  // takes the control port so the next start finds it busy
    const std::string busyPort = std::to_string(controlPort_);
    std::string bad = TVSP_VWATCH_EXE;
    std::string prefix = prefix_.string();
    for (std::vector<std::string> args : {std::vector<std::string>{bad, "--com", "0", "--prefix", prefix},
                                          std::vector<std::string>{bad, "--prefix", prefix + "/missing"},
                                          std::vector<std::string>{bad, "--prefix", prefix, "--com", "4",
                                                                   "--control-port", busyPort}}) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << args.back();
    }
    EXPECT_FALSE(ComLinkExists(4));
}

}  // namespace
