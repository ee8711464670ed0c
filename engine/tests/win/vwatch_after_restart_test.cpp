// The test client's after-restart helpers reach the virtual watch as the watch reads them.
#include <string>

#include "engine/tests/win/watch_test_support.h"

namespace {

class VirtualWatchClientTest : public tvsp_test::VirtualWatchTest {};

}  // namespace

TEST_F(VirtualWatchClientTest, AfterRestartSettingReachesTheWatch) {
    const struct {
        bool rejoin;
        int unplugAfterMs;
        int plugAfterMs;
        bool taken;
        const char* shown;  // after-restart= in status afterwards
    } rows[] = {
        {true, 300, 1500, true, "rejoin:300:1500"},
        {true, -1, 5, false, "rejoin:300:1500"},  // refused: the setting stays
        {false, 0, 0, true, "stay"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(watch.SetAfterRestart(row.rejoin, row.unplugAfterMs, row.plugAfterMs), row.taken) << row.shown;
        EXPECT_NE(watch.Status().find(std::string(" after-restart=") + row.shown + " "), std::string::npos) << row.shown;
    }
    EXPECT_EQ(watch.Rejoins(), 0);
}
