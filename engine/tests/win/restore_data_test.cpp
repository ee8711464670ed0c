// Restore data written into the virtual watch over a real COM port: stored bytes, retries, refusals, long records.
#include <windows.h>

#include <string>

#include "engine/at_channel.h"
#include "engine/restore_data.h"
#include "engine/tests/win/watch_test_support.h"

using namespace TVSP;
using tvsp_test::kWatchPort;

namespace {

class RestoreDataTest : public tvsp_test::VirtualWatchTest {
protected:
    // How many times the watch received each part's command.
    void ExpectAttempts(int partA, int partB) {
        int a = 0;
        int b = 0;
        for (const std::string& command : watch.ReceivedCommands()) {
            if (command.starts_with("AT^RSDTA=")) ++a;
            if (command.starts_with("AT^RSDTB=")) ++b;
        }
        EXPECT_EQ(a, partA);
        EXPECT_EQ(b, partB);
    }

    void ExpectStored(const std::string& a, const std::string& b) {
        std::string storedA;
        std::string storedB;
        ASSERT_TRUE(watch.RestoreDataParts(&storedA, &storedB));
        EXPECT_TRUE(storedA == a) << "A: " << storedA.size() << " bytes stored of " << a.size();
        EXPECT_TRUE(storedB == b) << "B: " << storedB.size() << " bytes stored of " << b.size();
    }
};

// Every byte value but the line feed, which ends the command.
std::string Pattern(std::size_t size, int seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed)) & 0xFF);
        if (s[i] == '\n') s[i] = 'n';
    }
    return s;
}

}  // namespace

TEST_F(RestoreDataTest, BothPartsAreStoredByteForByte) {
    const struct {
        const char* name;
        std::string a;
        std::string b;
        bool echo;
    } rows[] = {
        {"plain", "k1=v1", "k2=v2", true},
        {"CR before the line feed kept", "k1=v1\r", "k2=v2\r", true},
        {"data holding the markers' text", "x=RSDTA_ERROR", "y=RSDTB_ERROR", true},
        {"without echo", "\xE4\xB8\xAD=1", "k=\t2", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VWATCH_OK(watch.Reset());
        VWATCH_OK(watch.SetEcho(row.echo));
        EXPECT_TRUE(WriteRestoreData(kWatchPort, row.a, row.b));
        ExpectStored(row.a, row.b);
        ExpectAttempts(1, 1);
    }
}

TEST_F(RestoreDataTest, ARefusedPartIsTriedFiveTimes) {
    const struct {
        char part;
        int refusals;
        bool taken;
        int attemptsA;
        int attemptsB;
        const char* storedA;
    } rows[] = {
        {'A', 4, true, 5, 1, "a"},
        {'A', 5, false, 5, 0, ""},  // B is never sent
        {'B', 5, false, 1, 5, "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(1, row.part) + " refused " + std::to_string(row.refusals) + " times");
        VWATCH_OK(watch.Reset());
        VWATCH_OK(watch.SetRestoreErrors(row.part, row.refusals));
        EXPECT_EQ(WriteRestoreData(kWatchPort, "a", "b"), row.taken);
        ExpectAttempts(row.attemptsA, row.attemptsB);
        ExpectStored(row.storedA, row.taken ? "b" : "");
    }
}

TEST_F(RestoreDataTest, ASilentWatchFailsAfterItsEmptyReads) {
    VWATCH_OK(watch.SetFault("AT^RSDTA", "silent"));
    EXPECT_FALSE(WriteRestoreData(kWatchPort, "a", "b"));
    // Silence is not a refusal: no further attempt, and B is never sent.
    ExpectAttempts(1, 0);
    // The port was given up: the next operation gets it.
    EXPECT_TRUE(Ping(kWatchPort));
}

TEST_F(RestoreDataTest, EmptyOrOverlongPartsAreRefusedWithoutWriting) {
    const std::string overlong(kMaxRestorePartBytes + 1, 'x');
    const struct {
        const char* name;
        int port;
        std::string a;
        std::string b;
    } rows[] = {
        {"empty A", kWatchPort, "", "b"},
        {"empty B", kWatchPort, "a", ""},
        {"both empty", kWatchPort, "", ""},
        {"A over the bound", kWatchPort, overlong, "b"},
        {"B over the bound", kWatchPort, "a", overlong},
        {"missing port", kWatchPort + 30, "a", "b"},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(WriteRestoreData(row.port, row.a, row.b)) << row.name;
    }
    EXPECT_TRUE(watch.ReceivedCommands().empty());
    EXPECT_EQ(watch.Command("restore-writes"), "OK");
}

TEST_F(RestoreDataTest, LongRecordsAreSentWhole) {
    const struct {
        const char* name;
        std::string a;
        std::string b;
    } rows[] = {
        // Far past the fixed 260-byte command buffer that once cut the record.
        {"200 KiB each", Pattern(200 * 1024, 1), Pattern(200 * 1024, 2) + "\r"},
        {"A at the bound", Pattern(kMaxRestorePartBytes, 3), "b"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        VWATCH_OK(watch.Reset());
        EXPECT_TRUE(WriteRestoreData(kWatchPort, row.a, row.b));
        ExpectStored(row.a, row.b);
    }
}
