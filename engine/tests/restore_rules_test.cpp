// Restore data rules: splitting the server's record, the part bound, and judging replies however they arrive.
#include "engine/restore_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace TVSP {
namespace {

using namespace std::string_literals;

TEST(SplitRestoreBody, FirstLineFeedSeparatesAFromB) {
    const struct {
        std::string body;
        const char* a;
        const char* b;
    } rows[] = {
        {"k1=v1\nk2=v2", "k1=v1", "k2=v2"},
        {"k1=v1\r\nk2=v2\r", "k1=v1\r", "k2=v2\r"},  // the CR stays with A
        {"a\nb\nc", "a", "b\nc"},                     // only the first line feed splits
        {"single", "single", "single"},               // no line feed: the whole body twice
        {"", "", ""},
        {"\nB", "", "B"},
        {"A\n", "A", ""},
    };
    for (const auto& row : rows) {
        const RestoreRecord record = SplitRestoreBody(row.body);
        EXPECT_EQ(record.dataA, row.a) << row.body;
        EXPECT_EQ(record.dataB, row.b) << row.body;
    }
}

TEST(RestoreCommand, WholeDataWithinTheWatchsLineLimit) {
    // Far beyond a fixed 260-byte command buffer: every byte is kept.
    const std::string longData(300000, 'x');
    EXPECT_EQ(FormatRestoreCommand('A', longData), "AT^RSDTA=" + longData + "\n");
    EXPECT_EQ(FormatRestoreCommand('B', "v\r"), "AT^RSDTB=v\r\n");

    const struct {
        std::size_t size;
        bool fits;
    } rows[] = {{0, false}, {1, true}, {kMaxRestorePartBytes, true}, {kMaxRestorePartBytes + 1, false}};
    // A second line would be cut off by the watch while it still says OK; a CR stays data.
    EXPECT_FALSE(RestorePartFits("b1\nb2"));
    EXPECT_FALSE(RestorePartFits("b1\n"));
    EXPECT_TRUE(RestorePartFits("b1\rb2\r"));
    for (const auto& row : rows) {
        const std::string data(row.size, 'd');
        EXPECT_EQ(RestorePartFits(data), row.fits) << row.size;
        if (row.fits) {
            // The command line the watch keeps (without its line feed) is at most its limit.
            EXPECT_LE(FormatRestoreCommand('B', data).size() - 1, kMaxRestoreCommandLine) << row.size;
        }
    }
    EXPECT_EQ(FormatRestoreCommand('A', std::string(kMaxRestorePartBytes, 'd')).size() - 1, kMaxRestoreCommandLine);
}

const std::string kSentA = "AT^RSDTA=k=RSDTA_ERROR\n";  // data that holds a marker's text

struct ReplyRow {
    const char* name;
    char part;
    std::string sent;
    std::string reply;
    RestoreReplyState state;
};

const ReplyRow kReplyRows[] = {
    {"ok after echo", 'A', "AT^RSDTA=k1=v1\n", "AT^RSDTA=k1=v1\n\r\nRSDTA_OK\r\n", RestoreReplyState::Ok},
    {"error after echo", 'A', "AT^RSDTA=k1=v1\n", "AT^RSDTA=k1=v1\n\r\nRSDTA_ERROR\r\n", RestoreReplyState::Error},
    {"ok without echo", 'B', "AT^RSDTB=v\n", "\r\nRSDTB_OK\r\n", RestoreReplyState::Ok},
    {"error without echo", 'B', "AT^RSDTB=v\n", "\r\nRSDTB_ERROR\r\n", RestoreReplyState::Error},
    {"error first wins", 'A', "", "\r\nRSDTA_ERROR\r\n\r\nRSDTA_OK\r\n", RestoreReplyState::Error},
    {"ok first wins", 'A', "", "\r\nRSDTA_OK\r\n\r\nRSDTA_ERROR\r\n", RestoreReplyState::Ok},
    {"other part's marker", 'A', "", "\r\nRSDTB_OK\r\n", RestoreReplyState::Pending},
    {"marker cut after the underscore", 'B', "", "\r\nRSDTB_", RestoreReplyState::Pending},
    {"word still arriving", 'B', "", "\r\nRSDTB_ERR", RestoreReplyState::Pending},
    {"plain error", 'A', "", "\r\nERROR\r\n", RestoreReplyState::Pending},
    {"plain ok", 'A', "", "\r\nOK\r\n", RestoreReplyState::Pending},
    {"lower case", 'A', "", "rsdta_ok", RestoreReplyState::Pending},
    {"false start then marker", 'A', "", "RSDTA_XRSDTA_RSDTA_OK", RestoreReplyState::Ok},
    {"zero byte before", 'A', "", "\0\r\nRSDTA_OK\r\n"s, RestoreReplyState::Ok},
    {"nothing yet", 'A', kSentA, "", RestoreReplyState::Pending},
    {"echo holding a marker", 'A', kSentA, kSentA + "\r\nRSDTA_OK\r\n", RestoreReplyState::Ok},
    {"echo still arriving", 'A', kSentA, kSentA.substr(0, 22), RestoreReplyState::Pending},
    {"echo complete, no answer", 'A', kSentA, kSentA, RestoreReplyState::Pending},
    {"previous answer's line end first", 'A', kSentA, "\r\n" + kSentA + "\r\nRSDTA_OK\r\n", RestoreReplyState::Ok},
    {"unknown echo judged whole", 'A', "", kSentA + "\r\nRSDTA_OK\r\n", RestoreReplyState::Error},
    {"reply departs from the echo", 'A', kSentA, "AT^RSDTA=q\n\r\nRSDTA_OK\r\n", RestoreReplyState::Ok},
};

TEST(JudgeRestoreReply, FirstMarkerOfThePartAfterTheEcho) {
    for (const ReplyRow& row : kReplyRows) {
        EXPECT_EQ(JudgeRestoreReply(row.reply, row.part, row.sent), row.state) << row.name;
    }
}

TEST(RestoreReply, SameVerdictWhateverPiecesTheReplyArrivesIn) {
    for (const ReplyRow& row : kReplyRows) {
        for (std::size_t size : {1u, 2u, 3u, 5u, 7u}) {
            RestoreReply reply(row.part, row.sent);
            for (std::size_t at = 0; at < row.reply.size(); at += size) reply.Add(std::string_view(row.reply).substr(at, size));
            EXPECT_EQ(reply.state(), row.state) << row.name << " in pieces of " << size;
            EXPECT_EQ(reply.text(), row.reply) << row.name;
        }
        for (std::size_t cut = 0; cut <= row.reply.size(); ++cut) {
            RestoreReply reply(row.part, row.sent);
            reply.Add(std::string_view(row.reply).substr(0, cut));
            EXPECT_EQ(reply.Add(std::string_view(row.reply).substr(cut)), row.state) << row.name << " cut at " << cut;
        }
    }
}

TEST(RestoreReply, AFullBufferTakesNoMore) {
    RestoreReply noisy('A', "", 16);
    EXPECT_EQ(noisy.Add("0123456789"), RestoreReplyState::Pending);
    EXPECT_FALSE(noisy.full());
    EXPECT_EQ(noisy.Add("abcdef\r\nRSDTA_OK"), RestoreReplyState::Pending);  // the marker lies past the limit
    EXPECT_TRUE(noisy.full());
    EXPECT_EQ(noisy.text(), "0123456789abcdef");

    RestoreReply fits('A', "", 16);
    EXPECT_EQ(fits.Add("\r\nRSDTA_ERROR\r\n"), RestoreReplyState::Error);
    // A verdict stays whatever follows.
    EXPECT_EQ(fits.Add("RSDTA_OK"), RestoreReplyState::Error);
}

}  // namespace
}  // namespace TVSP
