// Tests of the virtual watch's replies, line splitting, faults and reboot handling.
#include "testing/vwatch/watch_model.h"

#include <gtest/gtest.h>

namespace tvsp::vwatch {
namespace {

// Everything the watch sends back for the given bytes, delays ignored.
std::string AllBytes(const Reaction& r) {
    std::string out;
    for (const Transmission& t : r.writes) out += t.bytes;
    return out;
}

WatchModel AttachedWatch(WatchSettings settings = {}) {
    WatchModel watch(std::move(settings));
    watch.Attached();
    return watch;
}

// The bytes as the tool writes them: the C string terminator included where it sends one.
std::string Sent(std::string_view text, bool withZero = true) {
    std::string s(text);
    if (withZero) s += '\0';
    return s;
}

TEST(vwatch_model, AnswersEachCommandLikeTheWatch) {
    WatchSettings settings;
    settings.version = "WK7_GSM1.2.3_BLE4_U_V5";
    settings.imei = "861234567890123";
    const struct {
        std::string sent;
        std::string expected;  // echo then reply
    } rows[] = {
        {Sent("AT+CGMR\r\n"), "AT+CGMR\r\n\r\n+CGMR: WK7_GSM1.2.3_BLE4_U_V5\r\n\r\nOK\r\n"},
        {Sent("AT+EGMR=0,7\r\n"), "AT+EGMR=0,7\r\n\r\n+EGMR: \"861234567890123\"\r\n\r\nOK\r\n"},
        {Sent("AT^TESTSTART\r\n"), "AT^TESTSTART\r\n\r\nOK1-OK2\r\n"},
        {Sent("AT\r\n", false), "AT\r\n\r\nOK\r\n"},
        {Sent("AT+ESDS=0\r\n"), "AT+ESDS=0\r\n\r\nOK\r\n"},
        {Sent("AT+ESDS=1\r\n"), "AT+ESDS=1\r\n\r\nOK\r\n"},
        {Sent("AT^STARTFLASHROM\r\n"), "AT^STARTFLASHROM\r\n\r\nBLE WATCHDOG START\r\n\r\nOK\r\n"},
        {Sent("AT+CFUN=1,1\r\n"), "AT+CFUN=1,1\r\n"},
        {Sent("AT^PWROFF\r\n"), "AT^PWROFF\r\n"},
        {"AT^RSDTA=abc\n", "AT^RSDTA=abc\n\r\nRSDTA_OK\r\n"},
        {"AT^RSDTB=def\n", "AT^RSDTB=def\n\r\nRSDTB_OK\r\n"},
        {"at+cgmr\r", "at+cgmr\r\r\n+CGMR: WK7_GSM1.2.3_BLE4_U_V5\r\n\r\nOK\r\n"},
        {"AT+ESDS=2\n", "AT+ESDS=2\n\r\nERROR\r\n"},
        {"AT+EGMR=0,8\r\n", "AT+EGMR=0,8\r\n\r\nERROR\r\n"},
        {"ATZ\r\n", "ATZ\r\n\r\nERROR\r\n"},
        {"AT^RSDTA\r\n", "AT^RSDTA\r\n\r\nERROR\r\n"},
        {"\r\n\r\n", ""},
        {std::string("\0\0\0", 3), ""},
    };
    for (const auto& row : rows) {
        WatchModel watch = AttachedWatch(settings);
        EXPECT_EQ(AllBytes(watch.Receive(row.sent, 0)), row.expected) << row.sent;
    }
}

TEST(vwatch_model, EchoOffSendsOnlyTheReply) {
    WatchSettings settings;
    settings.echo = false;
    WatchModel watch = AttachedWatch(settings);
    EXPECT_EQ(AllBytes(watch.Receive(Sent("AT^TESTSTART\r\n"), 0)), "\r\nOK1-OK2\r\n");
}

TEST(vwatch_model, SplitsAndJoinsCommandsAcrossReads) {
    WatchModel watch = AttachedWatch();
    // Two commands in one read, each with its terminator.
    EXPECT_EQ(AllBytes(watch.Receive(Sent("AT\r\n") + Sent("AT+ESDS=0\r\n"), 0)),
              "AT\r\n\r\nOK\r\nAT+ESDS=0\r\n\r\nOK\r\n");
    // A command arriving in pieces is answered once, when its line ends.
    EXPECT_TRUE(watch.Receive("AT+C", 1).writes.empty());
    EXPECT_EQ(AllBytes(watch.Receive(Sent("GMR\r\n"), 2)).substr(0, 11), "AT+CGMR\r\n\r\n");
    // CR in one read, LF in the next: one command, the LF echoed late, no second reply.
    EXPECT_EQ(AllBytes(watch.Receive("AT\r", 3)), "AT\r\r\nOK\r\n");
    EXPECT_EQ(AllBytes(watch.Receive("\n", 4)), "\n");
    ASSERT_EQ(watch.log().size(), 4u);
    EXPECT_EQ(watch.log()[2].text, "AT+CGMR");
    EXPECT_EQ(watch.log()[2].atMs, 2);
    EXPECT_EQ(watch.log()[3].text, "AT");
}

TEST(vwatch_model, RestoreDataKeepsItsBytesAndEndsOnlyAtLineFeed) {
    WatchModel watch = AttachedWatch();
    // The server's first record keeps the CR before its line feed; the watch stores it as sent.
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTA=k1=v1\rk2\r\n", 0)), "AT^RSDTA=k1=v1\rk2\r\n\r\nRSDTA_OK\r\n");
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTB=tail\n", 1)), "AT^RSDTB=tail\n\r\nRSDTB_OK\r\n");
    EXPECT_EQ(watch.restoreA(), "k1=v1\rk2\r");
    EXPECT_EQ(watch.restoreB(), "tail");
    // Empty data is refused and stores nothing.
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTB=\n", 2)), "AT^RSDTB=\n\r\nRSDTB_ERROR\r\n");
    EXPECT_EQ(watch.restoreB(), "tail");
    ASSERT_EQ(watch.restoreWrites().size(), 2u);
    EXPECT_EQ(watch.restoreWrites()[0].part, 'A');
    EXPECT_EQ(watch.restoreWrites()[1].part, 'B');
}

TEST(vwatch_model, RestoreErrorsRefuseExactlyTheArmedCount) {
    WatchModel watch = AttachedWatch();
    watch.settings().echo = false;
    watch.ArmRestoreErrors('A', 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTA=x\n", i)), "\r\nRSDTA_ERROR\r\n") << i;
    EXPECT_TRUE(watch.restoreA().empty());
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTA=x\n", 5)), "\r\nRSDTA_OK\r\n");
    // Part B was not armed.
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTB=y\n", 6)), "\r\nRSDTB_OK\r\n");
    watch.ArmRestoreErrors('B', 1);
    EXPECT_EQ(AllBytes(watch.Receive("AT^RSDTB=z\n", 7)), "\r\nRSDTB_ERROR\r\n");
    EXPECT_EQ(watch.restoreB(), "y");
}

TEST(vwatch_model, FaultsShapeTheReply) {
    const struct {
        std::string command;
        FaultKind kind;
        std::string expected;  // echo on
    } rows[] = {
        {"AT+CGMR", FaultKind::Silent, ""},
        {"AT+CGMR", FaultKind::Wrong, "AT+CGMR\r\n\r\nERROR\r\n"},
        {"AT+CGMR", FaultKind::Partial, "AT+CGMR\r\n\r\n+CGMR: "},
        {"AT+EGMR=0,7", FaultKind::Partial, "AT+EGMR=0,7\r\n\r\n+EGMR: \"861234567890123\r\n\r\nOK\r\n"},
        {"AT^TESTSTART", FaultKind::Partial, "AT^TESTSTART\r\n\r\nOK1"},
        {"AT", FaultKind::Partial, "AT\r\n\r\n"},
        {"AT^STARTFLASHROM", FaultKind::Partial, "AT^STARTFLASHROM\r\n\r\nBLE WATCHDOG"},
        {"AT^STARTFLASHROM", FaultKind::Wrong, "AT^STARTFLASHROM\r\n\r\nERROR\r\n"},
    };
    for (const auto& row : rows) {
        WatchModel watch = AttachedWatch();
        watch.SetFault(row.command, {row.kind});
        EXPECT_EQ(AllBytes(watch.Receive(row.command + "\r\n", 0)), row.expected) << row.command;
        // Other commands are not affected.
        EXPECT_EQ(AllBytes(watch.Receive("AT+ESDS=0\r\n", 1)), "AT+ESDS=0\r\n\r\nOK\r\n");
    }
}

TEST(vwatch_model, FailFirstFailsExactlyKTimes) {
    for (FaultKind failAs : {FaultKind::Silent, FaultKind::Wrong}) {
        WatchModel watch = AttachedWatch();
        watch.settings().echo = false;
        watch.SetFault("AT^TESTSTART", {FaultKind::FailFirst, 2, failAs});
        const std::string failed = failAs == FaultKind::Silent ? "" : "\r\nERROR\r\n";
        EXPECT_EQ(AllBytes(watch.Receive("AT^TESTSTART\r\n", 0)), failed);
        EXPECT_EQ(AllBytes(watch.Receive("AT^TESTSTART\r\n", 1)), failed);
        EXPECT_EQ(AllBytes(watch.Receive("AT^TESTSTART\r\n", 2)), "\r\nOK1-OK2\r\n");
        EXPECT_EQ(AllBytes(watch.Receive("AT^TESTSTART\r\n", 3)), "\r\nOK1-OK2\r\n");
        EXPECT_EQ(watch.log().size(), 4u);  // failed commands are still recorded
    }
}

TEST(vwatch_model, MostSpecificKeyWinsAndRawIsSentVerbatim) {
    WatchModel watch = AttachedWatch();
    watch.settings().echo = false;
    watch.SetFault("*", {FaultKind::Silent});
    watch.SetFault("at+esds", {FaultKind::Wrong});
    Fault raw{FaultKind::Raw};
    raw.raw = std::string("\r\nOK\0junk", 9);
    watch.SetFault("AT+ESDS=1", raw);
    EXPECT_EQ(AllBytes(watch.Receive("AT+ESDS=1\r\n", 0)), std::string("\r\nOK\0junk", 9));
    EXPECT_EQ(AllBytes(watch.Receive("AT+ESDS=0\r\n", 0)), "\r\nERROR\r\n");
    EXPECT_EQ(AllBytes(watch.Receive("AT\r\n", 0)), "");
    watch.SetFault("*", {FaultKind::None});
    EXPECT_EQ(AllBytes(watch.Receive("AT\r\n", 0)), "\r\nOK\r\n");
    watch.ClearFaults();
    EXPECT_EQ(AllBytes(watch.Receive("AT+ESDS=1\r\n", 0)), "\r\nOK\r\n");
}

TEST(vwatch_model, DelayHoldsTheReplyButNotTheEcho) {
    WatchModel watch = AttachedWatch();
    watch.SetDelay("AT+CGMR", 2500);
    const Reaction r = watch.Receive("AT+CGMR\r\n", 0);
    ASSERT_EQ(r.writes.size(), 2u);
    EXPECT_EQ(r.writes[0].delayMs, 0);
    EXPECT_EQ(r.writes[1].delayMs, 2500);
    EXPECT_EQ(watch.Receive("AT\r\n", 0).writes.back().delayMs, 0);
    watch.SetDelay("AT+CGMR", 0);
    EXPECT_EQ(watch.Receive("AT+CGMR\r\n", 0).writes.back().delayMs, 0);
}

TEST(vwatch_model, RebootEitherStaysOrDropsThePort) {
    WatchModel staying = AttachedWatch();
    EXPECT_FALSE(staying.Receive("AT+CFUN=1,1\r\n", 0).dropPort);
    EXPECT_EQ(staying.reboots(), 1);
    EXPECT_EQ(staying.mode(), Mode::Normal);

    WatchSettings settings;
    settings.onReboot = OnReboot::Unplug;
    WatchModel leaving = AttachedWatch(settings);
    // Whatever follows the power-off in the same read is never seen.
    const Reaction r = leaving.Receive(Sent("AT^PWROFF\r\n") + "AT\r\n", 0);
    EXPECT_TRUE(r.dropPort);
    EXPECT_EQ(AllBytes(r), "AT^PWROFF\r\n");
    EXPECT_EQ(leaving.mode(), Mode::Detached);
    EXPECT_EQ(leaving.log().size(), 1u);
    EXPECT_TRUE(leaving.Receive("AT\r\n", 1).writes.empty());
    // A silenced reboot request is not carried out.
    WatchModel deaf = AttachedWatch(settings);
    deaf.SetFault("AT+CFUN", {FaultKind::Silent});
    EXPECT_FALSE(deaf.Receive("AT+CFUN=1,1\r\n", 0).dropPort);
    EXPECT_EQ(deaf.reboots(), 0);

    // Once: the first reboot leads into download mode, the next (after the restart) keeps the port.
    settings.onReboot = OnReboot::UnplugOnce;
    WatchModel once = AttachedWatch(settings);
    EXPECT_TRUE(once.Receive("AT+CFUN=1,1\r\n", 0).dropPort);
    once.Attached();
    EXPECT_FALSE(once.Receive("AT+CFUN=1,1\r\n", 1).dropPort);
    EXPECT_EQ(once.mode(), Mode::Normal);
    EXPECT_EQ(once.reboots(), 2);
}

TEST(vwatch_model, OverlongLineIsAnsweredWithError) {
    WatchModel watch = AttachedWatch();
    watch.settings().echo = false;
    const std::string line(WatchModel::kMaxLine + 1, 'A');
    EXPECT_EQ(AllBytes(watch.Receive(line, 0)), "");
    EXPECT_EQ(AllBytes(watch.Receive("\r\n", 0)), "\r\nERROR\r\n");
    EXPECT_EQ(AllBytes(watch.Receive("AT\r\n", 0)), "\r\nOK\r\n");
    // A line of exactly the limit is still a command (unknown here).
    EXPECT_EQ(AllBytes(watch.Receive(std::string(WatchModel::kMaxLine, 'B') + "\r\n", 0)), "\r\nERROR\r\n");
    EXPECT_EQ(watch.log().back().text.size(), WatchModel::kMaxLine);
}

TEST(vwatch_model, ResetRestoresTheInitialWatch) {
    WatchSettings initial;
    initial.version = "V1";
    WatchModel watch = AttachedWatch(initial);
    watch.settings().version = "V2";
    watch.settings().echo = false;
    watch.Receive("AT^RSDTA=a\n", 0);
    watch.SetFault("*", {FaultKind::Silent});
    ASSERT_EQ(watch.restoreWrites().size(), 1u);
    watch.Reset();
    EXPECT_EQ(AllBytes(watch.Receive("AT+CGMR\r\n", 0)), "AT+CGMR\r\n\r\n+CGMR: V1\r\n\r\nOK\r\n");
    EXPECT_TRUE(watch.restoreWrites().empty());
    EXPECT_EQ(watch.log().size(), 1u);
    EXPECT_EQ(watch.mode(), Mode::Normal);
}

}  // namespace
}  // namespace tvsp::vwatch
