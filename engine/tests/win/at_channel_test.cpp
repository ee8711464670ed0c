// AT channel against the virtual watch over a real COM port: every operation's success and failure.
#include <windows.h>

#include <functional>
#include <thread>

#include "engine/at_channel.h"
#include "engine/watch_ports.h"
#include "engine/tests/win/watch_test_support.h"

using namespace TVSP;
using tvsp_test::kWatchPort;

namespace {

class AtChannelTest : public tvsp_test::VirtualWatchTest {};

// One judged operation: which command the watch sees and how the tool reports the outcome.
struct BoolOperation {
    const char* name;
    const char* command;  // as the watch logs it
    std::function<bool(int)> run;
};

const BoolOperation kBoolOperations[] = {
    {"TestStart", "AT^TESTSTART", TestStart},
    {"Ping", "AT", Ping},
    {"SaveDataOnWatch", "AT+ESDS=0", SaveDataOnWatch},
    {"RestoreDataOnWatch", "AT+ESDS=1", RestoreDataOnWatch},
    {"StartFlashWatchdog", "AT^STARTFLASHROM", StartFlashWatchdog},
    {"ReadFirmwareVersion", "AT+CGMR", [](int port) { return !ReadFirmwareVersion(port).empty(); }},
    {"ReadImei", "AT+EGMR=0,7", [](int port) { return !ReadImei(port).empty(); }},
};

}  // namespace

TEST_F(AtChannelTest, EveryOperationSucceedsAgainstAnAnsweringWatch) {
    for (const auto& op : kBoolOperations) {
        SCOPED_TRACE(op.name);
        EXPECT_TRUE(op.run(kWatchPort));
    }
    const auto log = watch.ReceivedCommands();
    ASSERT_EQ(log.size(), std::size(kBoolOperations));
    for (size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i], kBoolOperations[i].command);
}

TEST_F(AtChannelTest, EveryOperationFailsAgainstASilentOrWrongWatch) {
    for (const char* fault : {"silent", "wrong"}) {
        for (const auto& op : kBoolOperations) {
            SCOPED_TRACE(std::string(op.name) + " " + fault);
            VWATCH_OK(watch.SetFault(op.command, fault));
            EXPECT_FALSE(op.run(kWatchPort));
        }
        VWATCH_OK(watch.Reset());
        VWATCH_OK(watch.Plug(kWatchPort));
    }
}

TEST_F(AtChannelTest, ReadsVersionAndImeiTexts) {
    VWATCH_OK(watch.SetVersion("WK7_GSM1.2.3_BLE4_U_V5"));
    VWATCH_OK(watch.SetImei("861234567890123"));
    EXPECT_EQ(ReadFirmwareVersion(kWatchPort), "WK7_GSM1.2.3_BLE4_U_V5");
    EXPECT_EQ(ReadImei(kWatchPort), "861234567890123");
}

TEST_F(AtChannelTest, PartialRepliesFail) {
    VWATCH_OK(watch.SetFault("AT+CGMR", "partial"));
    VWATCH_OK(watch.SetFault("AT+EGMR=0,7", "partial"));
    EXPECT_EQ(ReadFirmwareVersion(kWatchPort), "");
    EXPECT_EQ(ReadImei(kWatchPort), "");
}

TEST_F(AtChannelTest, ScriptedRepliesAreJudgedAsTheWatchSentThem) {
    // Version text without a line end: all of it; IMEI with OK but one quote: empty.
    VWATCH_OK(watch.SetFault("AT+CGMR", "raw +CGMR: wn3_gsm7.1,x"));
    EXPECT_EQ(ReadFirmwareVersion(kWatchPort), "wn3_gsm7.1,x");
    VWATCH_OK(watch.SetFault("AT+EGMR=0,7", "raw \\r\\n+EGMR: \"8612\\r\\nOK\\r\\n"));
    EXPECT_EQ(ReadImei(kWatchPort), "");
    VWATCH_OK(watch.SetFault("AT^STARTFLASHROM", "raw \\r\\nOK\\r\\n"));
    EXPECT_FALSE(StartFlashWatchdog(kWatchPort));
}

TEST_F(AtChannelTest, TestStartEchoedNeedsTheEcho) {
    VWATCH_OK(watch.SetEcho(true));
    EXPECT_TRUE(TestStartEchoed(kWatchPort));
    VWATCH_OK(watch.SetEcho(false));
    EXPECT_TRUE(TestStart(kWatchPort));
    EXPECT_FALSE(TestStartEchoed(kWatchPort));
}

TEST_F(AtChannelTest, FailFirstSucceedsOnTheRetryTheCallerMakes) {
    VWATCH_OK(watch.SetFault("AT^TESTSTART", "fail-first 2"));
    EXPECT_FALSE(TestStart(kWatchPort));
    EXPECT_FALSE(TestStart(kWatchPort));
    EXPECT_TRUE(TestStart(kWatchPort));
}

TEST_F(AtChannelTest, RebootAndPowerOffWriteWithoutWaiting) {
    // Under Wine the next opening's purge (tcflush on the pty) discards what the watch has not
    // read yet, so each write is awaited before the next opening; a real watch reads at once.
    RebootWatch(kWatchPort);
    ASSERT_EQ(WaitForCommands(1).size(), 1u);
    PowerOffWatch(kWatchPort);
    const auto log = WaitForCommands(2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "AT+CFUN=1,1");
    EXPECT_EQ(log[1], "AT^PWROFF");
}

TEST_F(AtChannelTest, MissingPortFailsWithoutWriting) {
    WatchPort port;
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(port.Open(kWatchPort + 30));
    EXPECT_NE(::GetLastError(), 0xdeadbeefu);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(TestStart(kWatchPort + 30));
    EXPECT_EQ(ReadFirmwareVersion(kWatchPort + 30), "");
    EXPECT_TRUE(watch.ReceivedCommands().empty());
}

TEST_F(AtChannelTest, SecondOpenerFailsWhileATransactionHoldsThePort) {
    VWATCH_OK(watch.SetDelay("AT+CGMR", 400));
    HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::string version;
    std::thread transaction([&] {
        WatchPort port;
        ASSERT_TRUE(port.Open(kWatchPort));
        ::SetEvent(started);
        // Holds the port for a full transaction, as the detection thread does.
        ASSERT_TRUE(port.WriteOnce(kAtReadFirmwareVersion.text, kAtReadFirmwareVersion.byteCount));
        char reply[kAtReplyBufferSize + 1] = {};
        version = ReplyAsCString(reply, port.ReadOnce(reply, kAtReplyBufferSize));
    });
    ASSERT_EQ(::WaitForSingleObject(started, 10000), WAIT_OBJECT_0);

    WatchPort second;
    ::SetLastError(0xdeadbeef);
    EXPECT_FALSE(second.Open(kWatchPort));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(Ping(kWatchPort));

    transaction.join();
    ::CloseHandle(started);
    EXPECT_NE(version.find("+CGMR: "), std::string::npos);
    // Free again once the holder has closed.
    EXPECT_TRUE(Ping(kWatchPort));
}

TEST_F(AtChannelTest, ReopeningClosesTheEarlierOpening) {
    WatchPort port;
    ASSERT_TRUE(port.Open(kWatchPort));
    ASSERT_TRUE(port.Open(kWatchPort));
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());  // closing a closed port succeeds
}

TEST_F(AtChannelTest, FindWatchPortFollowsThePlugThroughTheDownloadLibrary) {
    EXPECT_EQ(FindWatchPort(), kWatchPort);
    VWATCH_OK(watch.Unplug());
    EXPECT_EQ(FindWatchPort(), 0);
    VWATCH_OK(watch.Plug(kWatchPort + 2));
    EXPECT_EQ(FindWatchPort(), kWatchPort + 2);
    EXPECT_TRUE(Ping(kWatchPort + 2));
}

TEST_F(AtChannelTest, AnOpeningLeftOpenIsGivenUpWithItsOwner) {
    {
        WatchPort port;
        ASSERT_TRUE(port.Open(kWatchPort));
        EXPECT_NE(port.Handle(), INVALID_HANDLE_VALUE);
    }
    // Port and guard were both released: another opening gets the port.
    EXPECT_TRUE(Ping(kWatchPort));
}
