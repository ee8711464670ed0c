// AT replies: how each command's answer is judged, including echoes, truncation and odd quoting.
#include "engine/at_reply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace TVSP {
namespace {

using namespace std::string_literals;

TEST(AtCommand, ByteCountsIncludeTheZeroByteExceptPing) {
    for (const AtCommand& command : {kAtReadFirmwareVersion, kAtReadImei, kAtTestStart, kAtSaveDataOnWatch,
                                     kAtRestoreDataOnWatch, kAtStartFlashWatchdog, kAtReboot, kAtPowerOff}) {
        EXPECT_EQ(command.byteCount, std::strlen(command.text) + 1) << command.text;
    }
    EXPECT_EQ(kAtPing.byteCount, std::strlen(kAtPing.text));
}

TEST(JudgeFirmwareVersionReply, TextAfterMarkerToLineEnd) {
    const struct {
        std::string reply;
        std::optional<std::string> version;
    } rows[] = {
        {"AT+CGMR\r\n+CGMR: WK7_GSM1.2.3_BLE4_U_V5\r\n\r\nOK\r\n", "WK7_GSM1.2.3_BLE4_U_V5"},
        {"+CGMR: ", std::nullopt},              // ends right after the marker
        {"+CGMR: x", "x"},
        {"+CGMR: wn3_gsm7.1,x", "wn3_gsm7.1,x"},  // no line end: all the rest
        {"+CGMR: a b c", "a b c"},
        {"+CGMR: \r\n", ""},                    // something follows, but the line is empty
        {"+CGMR: a\nb", "a"},
        {"+CGMR: a\rb", "a"},
        {"+CGMR: first\r\n+CGMR: second\r\n", "first"},
        {"+CGMR:abc", std::nullopt},
        {"+cgmr: abc", std::nullopt},
        {"CGMR: abc", std::nullopt},
        {"OK", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(JudgeFirmwareVersionReply(row.reply), row.version) << row.reply;
}

TEST(JudgeImeiReply, BetweenFirstAndLastQuoteWhenOk) {
    const struct {
        std::string reply;
        const char* imei;
    } rows[] = {
        {"AT+EGMR=0,7\r\n+EGMR: \"864123045678901\"\r\n\r\nOK\r\n", "864123045678901"},
        {"+EGMR: \"864123045678901\"\r\n", ""},          // no OK
        {"+EGMR: \"864123045678901\r\nOK\r\n", ""},      // one quote only
        {"+EGMR: 864123045678901\r\nOK\r\n", ""},        // no quotes
        {"+EGMR: \"\"\r\nOK\r\n", ""},                   // nothing between
        {"\"a\"b\"\r\nOK", "a\"b"},                      // first to last
        {"\"1\"\r\nok", ""},                             // "OK" is case-sensitive
        {"+EGMR: \"OK\"", "OK"},
        {"OK\"x\"", "x"},
        {"", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(JudgeImeiReply(row.reply), row.imei) << row.reply;
}

TEST(JudgeTestStart, PlainAndEchoedForms) {
    const struct {
        std::string reply;
        bool plain;
        bool echoed;
    } rows[] = {
        {"OK1-OK2", true, false},                               // no echo
        {"AT^TESTSTART\r\nOK1-OK2", true, true},                // answer straight after the echo
        {"AT^TESTSTART\r\n\r\nOK1-OK2\r\n", true, true},
        {"AT^TESTSTART\r\n", false, false},
        {"OK1-OK2\r\nAT^TESTSTART\r\n", true, false},          // answer before the echo
        {"AT^TESTSTART\r\nOK1-OK", false, false},
        {"AT^TESTSTART\nOK1-OK2", true, false},                 // echo needs CR LF
        {"AT^TESTSTART\r\nERROR\r\nAT^TESTSTART\r\nOK1-OK2", true, true},
        {"at^teststart\r\nok1-ok2", false, false},
        {"", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(JudgeTestStartReply(row.reply), row.plain) << row.reply;
        EXPECT_EQ(JudgeTestStartEchoedReply(row.reply), row.echoed) << row.reply;
    }
}

TEST(JudgeOkReply, ContainsOk) {
    EXPECT_TRUE(JudgeOkReply("OK"));
    EXPECT_TRUE(JudgeOkReply("AT+ESDS=0\r\n\r\nOK\r\n"));
    EXPECT_TRUE(JudgeOkReply("OK1-OK2"));
    EXPECT_FALSE(JudgeOkReply("O K"));
    EXPECT_FALSE(JudgeOkReply("ok"));
    EXPECT_FALSE(JudgeOkReply("ERROR"));
    EXPECT_FALSE(JudgeOkReply(""));
}

TEST(JudgeFlashWatchdogReply, ContainsTheStartText) {
    EXPECT_TRUE(JudgeFlashWatchdogReply("BLE WATCHDOG START"));
    EXPECT_TRUE(JudgeFlashWatchdogReply("AT^STARTFLASHROM\r\n+BLE WATCHDOG START\r\nOK\r\n"));
    EXPECT_FALSE(JudgeFlashWatchdogReply("BLE WATCHDOG STAR"));
    EXPECT_FALSE(JudgeFlashWatchdogReply("ble watchdog start"));
    EXPECT_FALSE(JudgeFlashWatchdogReply("OK"));
}

TEST(ReplyAsCString, StopsAtZeroAndAtBytesRead) {
    const char withZero[] = "abc\0def";
    EXPECT_EQ(ReplyAsCString(withZero, 7), "abc");
    EXPECT_EQ(ReplyAsCString(withZero, 2), "ab");
    EXPECT_EQ(ReplyAsCString("\0abc", 4), "");
    EXPECT_EQ(ReplyAsCString(withZero, 0), "");
    EXPECT_EQ(ReplyAsCString(nullptr, 10), "");

    // A full 1000-byte read without a zero byte stays within the bytes read.
    const std::string full(1000, 'K');
    EXPECT_EQ(ReplyAsCString(full.data(), full.size()).size(), 1000u);

    // What follows a zero byte is not part of the reply.
    const std::string echoThenZero = "AT^TESTSTART\r\n\0OK1-OK2"s;
    const std::string_view reply = ReplyAsCString(echoThenZero.data(), echoThenZero.size());
    EXPECT_FALSE(JudgeTestStartReply(reply));
    EXPECT_FALSE(JudgeTestStartEchoedReply(reply));
    const std::string versionThenZero = "+CGMR: 1.0\0garbage"s;
    EXPECT_EQ(JudgeFirmwareVersionReply(ReplyAsCString(versionThenZero.data(), versionThenZero.size())), "1.0");
}

}  // namespace
}  // namespace TVSP
