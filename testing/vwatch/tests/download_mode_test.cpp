// Tests of the watch in download mode: reboot into it, the session's order rules, every fault,
// the watchdog restart and the control requests that go with them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/vwatch/control.h"
#include "testing/vwatch/download_protocol.h"
#include "testing/vwatch/watch_model.h"

namespace tvsp::vwatch {
namespace {

using dl::EncodeFrame;
using dl::Status;

std::string AllBytes(const Reaction& r) {
    std::string out;
    for (const Transmission& t : r.writes) out += t.bytes;
    return out;
}

const std::string kGreeting("\xA0\x0A\x50\x05", 4);
const std::string kComplements("\x5F\xF5\xAF\xFA", 4);
const std::string kAgent = dl::MakeDownloadAgent("stand-in agent");

std::string Ack(Status s) { return dl::EncodeAck(s); }
std::string Begin(std::string_view name, std::uint64_t address, std::uint64_t length) {
    return EncodeFrame(dl::kBeginRegion, dl::BeginRegionPayload(name, address, length));
}
std::string Data(std::uint64_t offset, std::string_view bytes) { return EncodeFrame(dl::kData, dl::DataPayload(offset, bytes)); }
std::string End(std::string_view all) {
    std::string p;
    dl::PutU32(p, dl::Sum32(all));
    return EncodeFrame(dl::kEndRegion, p);
}
std::string Watchdog(std::uint32_t ms) {
    std::string p;
    dl::PutU32(p, ms);
    return EncodeFrame(dl::kWatchdog, p);
}

// A watch already on its download port, greeted and running the agent.
WatchModel AgentRunning(WatchSettings settings = {}) {
    WatchModel w(std::move(settings));
    w.AttachedDownload();
    EXPECT_EQ(AllBytes(w.Receive(kGreeting, 0)), kComplements);
    EXPECT_EQ(AllBytes(w.Receive(EncodeFrame(dl::kSendDa, kAgent), 0)), Ack(Status::Ok));
    return w;
}

TEST(vwatch_download, RebootComesBackAsDownloadPortUnlessItNeverReturns) {
    WatchSettings settings;
    settings.onReboot = OnReboot::Unplug;
    settings.downloadDelayMs = 2500;
    WatchModel w(settings);
    w.Attached();
    Reaction r = w.Receive("AT+CFUN=1,1\r\n", 0);
    EXPECT_TRUE(r.dropPort);
    EXPECT_EQ(r.downloadAfterMs, 2500);
    EXPECT_EQ(w.mode(), Mode::Detached);

    WatchModel gone(settings);
    gone.Attached();
    gone.downloadFaults().neverReturns = true;
    r = gone.Receive("AT^PWROFF\r\n", 0);
    EXPECT_TRUE(r.dropPort);
    EXPECT_FALSE(r.downloadAfterMs);
    // A watch that stays answers on and never offers a download port.
    WatchModel staying;
    staying.Attached();
    EXPECT_FALSE(staying.Receive("AT+CFUN=1,1\r\n", 0).downloadAfterMs);
}

TEST(vwatch_download, AFullDownloadStoresRegionsAndTheWatchdogRestartsWithTheNewVersion) {
    WatchSettings settings;
    settings.newVersion = "WK7_GSM2.0.0_BLE4_U_V6";
    WatchModel w = AgentRunning(settings);
    const std::string rom = "0123456789abcdefXYZ";
    // One read holding several frames, and frames split across reads, both answered in order.
    EXPECT_EQ(AllBytes(w.Receive(Begin("ROM", 0x100000, rom.size()) + Data(0, rom.substr(0, 7)), 1)),
              Ack(Status::Ok) + Ack(Status::Ok));
    const std::string rest = Data(7, rom.substr(7)) + End(rom);
    EXPECT_EQ(AllBytes(w.Receive(rest.substr(0, 5), 2)), "");
    EXPECT_EQ(AllBytes(w.Receive(rest.substr(5), 3)), Ack(Status::Ok) + Ack(Status::Ok));
    const Reaction r = w.Receive(Watchdog(3000) + "ignored", 4);
    EXPECT_EQ(AllBytes(r), Ack(Status::Ok));
    EXPECT_EQ(r.restartAfterMs, 3000u);
    EXPECT_FALSE(r.dropPort);  // the port goes when the watchdog fires
    EXPECT_EQ(AllBytes(w.Receive(Watchdog(1), 5)), "");  // restarting: nothing more is read

    ASSERT_EQ(w.regions().size(), 1u);
    EXPECT_EQ(w.regions()[0].name, "ROM");
    EXPECT_EQ(w.regions()[0].address, 0x100000u);
    EXPECT_EQ(w.regions()[0].bytes, rom);
    EXPECT_TRUE(w.regions()[0].sumMatched);

    w.RestartedNormal();
    EXPECT_EQ(w.mode(), Mode::Normal);
    EXPECT_EQ(AllBytes(w.Receive("AT+CGMR\r\n", 6)), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM2.0.0_BLE4_U_V6\r\n\r\nOK\r\n");
    // Regions outlive the restart; the next download starts a fresh session.
    w.AttachedDownload();
    EXPECT_EQ(w.session().stage(), DownloadSession::Stage::Handshake);
    EXPECT_EQ(w.regions().size(), 1u);
}

TEST(vwatch_download, ARejoinIsPlannedOnlyWhenSetAndCounted) {
    WatchSettings settings;
    settings.newVersion = "WK7_GSM2.0.0_BLE4_U_V6";
    WatchModel staying = AgentRunning(settings);
    EXPECT_EQ(staying.RestartedNormal(), std::nullopt);

    settings.afterRestart = {true, 300, 1500};
    WatchModel w = AgentRunning(settings);
    EXPECT_EQ(w.Receive(Watchdog(10), 0).restartAfterMs, 10u);
    EXPECT_EQ(w.RestartedNormal(), settings.afterRestart);
    EXPECT_EQ(w.mode(), Mode::Normal);
    EXPECT_EQ(w.rejoins(), 0);
    // The daemon drops the port and plugs it again; the watch comes back as it left.
    w.Detached();
    w.Rejoined();
    EXPECT_EQ(w.mode(), Mode::Normal);
    EXPECT_EQ(w.rejoins(), 1);
    EXPECT_EQ(AllBytes(w.Receive("AT+CGMR\r\n", 1)), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM2.0.0_BLE4_U_V6\r\n\r\nOK\r\n");
    w.Reset();
    EXPECT_EQ(w.rejoins(), 0);
}

TEST(vwatch_download, OrderAndPayloadViolationsAreBadRequests) {
    const struct {
        const char* name;
        std::string frames;  // after the agent is running
        std::string acks;
    } rows[] = {
        {"data without a region", Data(0, "x"), Ack(Status::BadRequest)},
        {"end without a region", End(""), Ack(Status::BadRequest)},
        {"agent twice", EncodeFrame(dl::kSendDa, kAgent), Ack(Status::BadRequest)},
        {"unknown type", EncodeFrame(0x7F, ""), Ack(Status::BadRequest)},
        {"ack from the host", EncodeFrame(dl::kAck, std::string(1, '\0')), Ack(Status::BadRequest)},
        {"begin inside a region", Begin("A", 0, 2) + Begin("B", 0, 2), Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"begin payload short", EncodeFrame(dl::kBeginRegion, dl::BeginRegionPayload("A", 0, 1).substr(1)),
         Ack(Status::BadRequest)},
        {"unsafe region name", Begin("../x", 0, 1), Ack(Status::BadRequest)},
        {"data gap", Begin("A", 0, 4) + Data(0, "ab") + Data(3, "d"),
         Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"data offset only", Begin("A", 0, 4) + EncodeFrame(dl::kData, std::string(8, '\0')),
         Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"data block too big", Begin("A", 0, 0x20000) + Data(0, std::string(dl::kMaxDataBlock + 1, 'a')),
         Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"data block at the limit", Begin("A", 0, 0x20000) + Data(0, std::string(dl::kMaxDataBlock, 'a')),
         Ack(Status::Ok) + Ack(Status::Ok)},
        {"end short of the length", Begin("A", 0, 4) + Data(0, "abc") + End("abc"),
         Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"end with a wrong sum", Begin("A", 0, 3) + Data(0, "abc") + End("abd"),
         Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::FlashWriteError)},
        {"watchdog inside a region", Begin("A", 0, 3) + Watchdog(10), Ack(Status::Ok) + Ack(Status::BadRequest)},
        {"watchdog payload long", EncodeFrame(dl::kWatchdog, "12345"), Ack(Status::BadRequest)},
        {"disconnect with payload", EncodeFrame(dl::kDisconnect, "x"), Ack(Status::BadRequest)},
        {"checksum error", [] {
             std::string f = Begin("A", 0, 3);
             f[8] ^= 1;
             return f;
         }(),
         Ack(Status::ChecksumError)},
        {"oversize length", std::string("TV\x20\xFF\xFF\xFF\x7F", 7), Ack(Status::BadRequest)},
        {"bad magic is skipped silently", "\x01\x02TX" + Begin("A", 0, 1), Ack(Status::Ok)},
    };
    for (const auto& row : rows) {
        WatchModel w = AgentRunning();
        EXPECT_EQ(AllBytes(w.Receive(row.frames, 0)), row.acks) << row.name;
    }
}

TEST(vwatch_download, BeforeTheAgentOnlyAGoodAgentOrDisconnectIsTaken) {
    const struct {
        const char* name;
        std::string frame;
        std::string ack;
    } rows[] = {
        {"region first", Begin("A", 0, 1), Ack(Status::BadRequest)},
        {"watchdog first", Watchdog(1), Ack(Status::BadRequest)},
        {"damaged agent", EncodeFrame(dl::kSendDa, "TVDA" + kAgent.substr(4, kAgent.size() - 5) + "?"),
         Ack(Status::BadRequest)},
        {"foreign agent", EncodeFrame(dl::kSendDa, dl::MakeDownloadAgent("x", 2)), Ack(Status::BadRequest)},
        {"disconnect", EncodeFrame(dl::kDisconnect, ""), Ack(Status::Ok)},
    };
    for (const auto& row : rows) {
        WatchModel w;
        w.AttachedDownload();
        // Frames before the greeting are not frames yet: the boot ROM drops them.
        EXPECT_EQ(AllBytes(w.Receive(row.frame, 0)), "") << row.name;
        EXPECT_EQ(AllBytes(w.Receive(kGreeting + row.frame, 0)), kComplements + row.ack) << row.name;
    }
}

TEST(vwatch_download, DisconnectEndsTheAgentAndTheNextGreetingInTheSameReadIsAnswered) {
    WatchModel w = AgentRunning();
    EXPECT_EQ(AllBytes(w.Receive(Begin("A", 0, 4) + Data(0, "ab") + EncodeFrame(dl::kDisconnect, "") + kGreeting +
                                     EncodeFrame(dl::kSendDa, kAgent) + Begin("A", 0, 2),
                                 0)),
              Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::Ok) + kComplements + Ack(Status::Ok) + Ack(Status::Ok));
    // The half-written region was abandoned and is now being written again.
    EXPECT_EQ(AllBytes(w.Receive(Data(0, "zz") + End("zz"), 1)), Ack(Status::Ok) + Ack(Status::Ok));
    ASSERT_EQ(w.regions().size(), 1u);
    EXPECT_EQ(w.regions()[0].bytes, "zz");
}

TEST(vwatch_download, AGreetingRepeatedBeforeTheAgentIsAnsweredAgain) {
    WatchModel w;
    w.AttachedDownload();
    EXPECT_EQ(AllBytes(w.Receive(kGreeting, 0)), kComplements);
    EXPECT_EQ(AllBytes(w.Receive(kGreeting + EncodeFrame(dl::kSendDa, kAgent), 0)), kComplements + Ack(Status::Ok));
}

TEST(vwatch_download, RefusedHandshakeNeverReachesTheAgent) {
    WatchModel w;
    w.downloadFaults().refuseHandshake = true;
    w.AttachedDownload();
    for (int attempt = 0; attempt < 3; ++attempt) EXPECT_EQ(AllBytes(w.Receive(kGreeting, 0)), kGreeting);
    EXPECT_EQ(w.session().stage(), DownloadSession::Stage::Handshake);
    w.downloadFaults() = {};
    EXPECT_EQ(AllBytes(w.Receive(kGreeting, 0)), kComplements);
}

TEST(vwatch_download, CorruptBlockAnswersTheKthDataFrameOnceWithAChecksumError) {
    for (int k : {1, 2, 3}) {
        WatchModel w = AgentRunning();
        w.downloadFaults().corruptBlock = k;
        std::string acks = AllBytes(w.Receive(Begin("A", 0, 3), 0));
        // The host resends a block answered status 1, the way the stand-in does.
        for (std::uint64_t off = 0; off < 3;) {
            const std::string ack = AllBytes(w.Receive(Data(off, std::string(1, static_cast<char>('a' + off))), 0));
            acks += ack;
            if (ack == Ack(Status::Ok)) ++off;
        }
        acks += AllBytes(w.Receive(End("abc"), 0));
        std::string expected = Ack(Status::Ok);
        for (int frame = 1; frame <= 4; ++frame) expected += Ack(frame == k ? Status::ChecksumError : Status::Ok);
        expected += Ack(Status::Ok);
        EXPECT_EQ(acks, expected) << k;
        EXPECT_EQ(w.regions()[0].bytes, "abc") << k;
        EXPECT_EQ(w.downloadFaults().corruptBlock, 0) << "one-shot";
    }
}

TEST(vwatch_download, VanishesOnceThePercentageOfTheCurrentRegionArrived) {
    // Region of 10 bytes sent in 1-byte blocks: vanish at P% leaves ceil(P/10) bytes (at least one).
    const struct {
        int percent;
        std::size_t kept;
    } rows[] = {{0, 1}, {9, 1}, {10, 1}, {11, 2}, {50, 5}, {99, 10}, {100, 10}};
    for (const auto& row : rows) {
        WatchModel w = AgentRunning();
        w.downloadFaults().vanishAtPercent = row.percent;
        ASSERT_EQ(AllBytes(w.Receive(Begin("A", 0, 10), 0)), Ack(Status::Ok));
        std::size_t sent = 0;
        bool vanished = false;
        for (; sent < 10 && !vanished; ++sent) {
            const Reaction r = w.Receive(Data(sent, "x"), 0);
            vanished = r.dropPort;
            EXPECT_EQ(AllBytes(r), vanished ? "" : Ack(Status::Ok)) << row.percent;
            EXPECT_FALSE(r.downloadAfterMs);
        }
        EXPECT_TRUE(vanished) << row.percent;
        EXPECT_EQ(sent, row.kept) << row.percent;
        EXPECT_EQ(w.mode(), Mode::Detached);
        EXPECT_EQ(w.regions()[0].bytes.size(), row.kept) << row.percent;
        EXPECT_EQ(w.downloadFaults().vanishAtPercent, -1);
    }
    // Counted per region: a first region that ends below the share does not count toward the next.
    WatchModel w = AgentRunning();
    w.downloadFaults().vanishAtPercent = 50;
    EXPECT_EQ(AllBytes(w.Receive(Begin("A", 0, 4) + Data(0, "ab"), 0)), Ack(Status::Ok));
    EXPECT_EQ(w.mode(), Mode::Detached);
}

// Random mixtures of sound frames, damaged frames, greetings and noise, cut at random points: the
// session must never store past a region's end, and stays usable (sanitizers watch the rest).
TEST(vwatch_download, SurvivesRandomStreams) {
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 200; ++round) {
        WatchModel w;
        w.AttachedDownload();
        if (next(4) == 0) w.downloadFaults().corruptBlock = static_cast<int>(1 + next(3));
        std::string stream;
        for (int piece = 0; piece < 20; ++piece) {
            std::string p;
            switch (next(9)) {
            case 0: p = kGreeting; break;
            case 1: p = EncodeFrame(dl::kSendDa, kAgent); break;
            case 2: p = Begin("R" + std::to_string(next(3)), next(1000), next(40)); break;
            case 3: p = Data(next(40), std::string(1 + next(20), 'd')); break;
            case 4: p = End(std::string(next(40), 'd')); break;
            case 5: p = EncodeFrame(dl::kDisconnect, ""); break;
            case 6: for (std::uint32_t i = next(12); i > 0; --i) p += static_cast<char>(next(256)); break;
            case 7: p = Data(next(40), "xy").substr(0, next(12)); break;  // cut short
            default: p = EncodeFrame(static_cast<std::uint8_t>(next(256)), std::string(next(6), 'q')); break;
            }
            if (!p.empty() && next(5) == 0) p[next(static_cast<std::uint32_t>(p.size()))] ^= 0x5A;
            stream += p;
        }
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t n = 1 + next(30);
            w.Receive(std::string_view(stream).substr(at, n), 0);
            at += n;
        }
        for (const dl::Region& r : w.regions()) EXPECT_LE(r.bytes.size(), r.length) << round;
    }
}

// The control requests of download mode, against a model and a port that records calls.
class RecordingPort : public PortControl {
public:
    bool Plug(int com, std::string*) override {
        com_ = com;
        plugged_ = true;
        return true;
    }
    bool Unplug(std::string*) override {
        plugged_ = false;
        return true;
    }
    bool plugged() const override { return plugged_; }
    int com() const override { return com_; }
    void SelectCom(int com) override { com_ = com; }
    void RequestQuit() override {}
    // No disk in these cases.
    bool PlugDisk(char, std::uint64_t, std::string*) override { return false; }
    bool UnplugDisk(std::string*) override { return true; }
    bool FillDisk(std::uint64_t, std::string*) override { return false; }
    DiskState disk() const override { return {}; }
    std::string HostPath(std::string_view path) const override {
        return path.starts_with("C:\\") ? root + "/" + std::string(path.substr(3)) : std::string(path);
    }
    std::string root;

private:
    bool plugged_ = true;
    int com_ = 5;
};

TEST(vwatch_download, ControlRequestsSetFaultsAndSettings) {
    WatchModel w;
    RecordingPort port;
    const struct {
        const char* request;
        const char* reply;
    } rows[] = {
        {"set download-com 3", "OK"},     {"set download-com 0", "OK"},  {"set download-com 256", "ERR bad COM number"},
        {"set download-com -1", "ERR bad COM number"},                   {"set download-delay 0", "OK"},
        {"set download-delay 600000", "OK"}, {"set download-delay 600001", "ERR bad delay"},
        {"set download-delay x", "ERR bad delay"},                       {"set new-version A\\x20B", "OK"},
        {"set new-version \\q", "ERR bad escape"},                       {"fault-dl never-returns", "OK"},
        {"fault-dl never-returns now", "ERR unexpected text after fault kind"},
        {"fault-dl refuse-handshake", "OK"}, {"fault-dl vanish-at 0", "OK"}, {"fault-dl vanish-at 100", "OK"},
        {"fault-dl vanish-at 101", "ERR vanish-at takes a percentage 0..100"},
        {"fault-dl corrupt-block 1", "OK"},
        {"fault-dl corrupt-block 0", "ERR corrupt-block takes a block number from 1"},
        {"fault-dl explode", "ERR unknown download fault"}, {"fault-dl", "ERR unknown download fault"},
        {"regions", "OK"}, {"regions x", "ERR unexpected arguments"}, {"clear-regions", "OK"},
        {"dump-regions", "ERR usage: dump-regions DIR"},
    };
    for (const auto& row : rows) EXPECT_EQ(HandleControlLine(row.request, w, port), row.reply) << row.request;
    EXPECT_EQ(w.settings().downloadDelayMs, 600000);
    EXPECT_EQ(w.settings().downloadCom, 0);
    EXPECT_EQ(w.settings().newVersion, "A B");
    EXPECT_TRUE(w.downloadFaults().neverReturns);
    EXPECT_TRUE(w.downloadFaults().refuseHandshake);
    EXPECT_EQ(w.downloadFaults().vanishAtPercent, 100);
    EXPECT_EQ(w.downloadFaults().corruptBlock, 1);
    EXPECT_EQ(HandleControlLine("fault-dl none", w, port), "OK");
    EXPECT_FALSE(w.downloadFaults().any());
    EXPECT_EQ(HandleControlLine("fault-dl corrupt-block 2", w, port), "OK");
    EXPECT_EQ(HandleControlLine("clear-faults", w, port), "OK");
    EXPECT_FALSE(w.downloadFaults().any());
    EXPECT_EQ(HandleControlLine("reset", w, port), "OK");
    EXPECT_EQ(w.settings().downloadDelayMs, 1500);
    EXPECT_EQ(w.settings().newVersion, "");
}

TEST(vwatch_download, RegionsAreListedAndDumpedAsFiles) {
    WatchModel w = AgentRunning();
    RecordingPort port;
    EXPECT_EQ(HandleControlLine("status", w, port).substr(0, 35), "OK plugged=yes com=5 mode=download ");
    const std::string rom("\x00\x01\xFFrom", 6);
    ASSERT_EQ(AllBytes(w.Receive(Begin("ROM", 0x100000, rom.size()) + Data(0, rom) + End(rom) +
                                     Begin("ARM BL", 0x0, 8) + Data(0, "abc"),
                                 0)),
              Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::Ok) + Ack(Status::Ok));
    // An open region shows what has arrived so far; names with spaces stay one word.
    EXPECT_EQ(HandleControlLine("regions", w, port),
              "OK ROM 0x00100000 6 0x0000024e|ARM\\x20BL 0x00000000 3 0x00000126");

    char dir[] = "/tmp/vwatch-regions-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    port.root = dir;
    namespace fs = std::filesystem;
    // The folder is escaped text like every text of the channel.
    EXPECT_EQ(HandleControlLine("dump-regions C:\\out\\deeper", w, port), "ERR bad escape");
    EXPECT_EQ(HandleControlLine("dump-regions C:\\\\out\\\\deeper", w, port), "OK 2");
    auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    EXPECT_EQ(read(fs::path(dir) / "out\\deeper" / "ROM.bin"), rom);
    EXPECT_EQ(read(fs::path(dir) / "out\\deeper" / "ARM BL.bin"), "abc");
    // A folder that cannot be made is an error, not a silent success.
    const std::string blocked = std::string(dir) + "/ROMfile";
    std::ofstream(blocked) << "x";
    EXPECT_EQ(HandleControlLine("dump-regions " + blocked + "/sub", w, port).substr(0, 15), "ERR cannot make");
    EXPECT_EQ(HandleControlLine("clear-regions", w, port), "OK");
    EXPECT_EQ(HandleControlLine("regions", w, port), "OK");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tvsp::vwatch
