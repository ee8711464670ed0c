// Tests of the virtual watch daemon's command line.
#include "testing/vwatch/options.h"

#include <gtest/gtest.h>

namespace tvsp::vwatch {
namespace {

TEST(vwatch_options, FullCommandLine) {
    std::string error;
    const auto o = ParseOptions({"--prefix", "/p", "--rig-exe", "/r.exe", "--wine64", "/w", "--control-port", "0",
                                 "--ready-file", "/f", "--com", "9", "--version", "V 1", "--imei", "123",
                                 "--echo", "off", "--on-reboot", "unplug", "--download-com", "3",
                                 "--download-delay", "250", "--new-version", "V 2", "--after-restart", "rejoin 400 900"},
                                &error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->prefix, "/p");
    EXPECT_EQ(o->rigExe, "/r.exe");
    EXPECT_EQ(o->wine64, "/w");
    EXPECT_EQ(o->controlPort, 0);
    EXPECT_EQ(o->readyFile, "/f");
    EXPECT_EQ(o->com, 9);
    EXPECT_EQ(o->watch.version, "V 1");
    EXPECT_EQ(o->watch.imei, "123");
    EXPECT_FALSE(o->watch.echo);
    EXPECT_EQ(o->watch.onReboot, OnReboot::Unplug);
    EXPECT_EQ(o->watch.downloadCom, 3);
    EXPECT_EQ(o->watch.downloadDelayMs, 250);
    EXPECT_EQ(o->watch.newVersion, "V 2");
    EXPECT_EQ(o->watch.afterRestart, (AfterRestart{true, 400, 900}));
    EXPECT_TRUE(o->plug);
}

TEST(vwatch_options, Defaults) {
    const auto o = ParseOptions({"--prefix", "/p"}, nullptr);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->com, 5);
    EXPECT_EQ(o->controlPort, 0);
    EXPECT_TRUE(o->rigExe.empty());
    EXPECT_EQ(o->wine64, "/usr/lib/wine/wine64");
    EXPECT_TRUE(o->watch.echo);
    EXPECT_EQ(o->watch.onReboot, OnReboot::Stay);
    EXPECT_EQ(o->watch.downloadCom, 0);  // the normal port's number
    EXPECT_EQ(o->watch.downloadDelayMs, 1500);
    EXPECT_EQ(o->watch.newVersion, "");
    EXPECT_FALSE(o->watch.afterRestart.rejoin);
}

TEST(vwatch_options, BoundsAndMistakes) {
    const struct {
        std::vector<std::string> args;
        bool valid;
    } rows[] = {
        {{"--prefix", "/p", "--com", "1"}, true},
        {{"--prefix", "/p", "--com", "255"}, true},
        {{"--prefix", "/p", "--com", "0"}, false},
        {{"--prefix", "/p", "--com", "256"}, false},
        {{"--prefix", "/p", "--control-port", "65535"}, true},
        {{"--prefix", "/p", "--control-port", "65536"}, false},
        {{"--prefix", "/p", "--control-port", "12ab"}, false},
        {{"--prefix", "/p", "--echo", "maybe"}, false},
        {{"--prefix", "/p", "--on-reboot", "explode"}, false},
        {{"--prefix", "/p", "--download-com", "0"}, true},
        {{"--prefix", "/p", "--download-com", "255"}, true},
        {{"--prefix", "/p", "--download-com", "256"}, false},
        {{"--prefix", "/p", "--download-delay", "600000"}, true},
        {{"--prefix", "/p", "--download-delay", "600001"}, false},
        {{"--prefix", "/p", "--download-delay", "-1"}, false},
        {{"--prefix", "/p", "--after-restart", "stay"}, true},
        {{"--prefix", "/p", "--after-restart", "rejoin 0 600000"}, true},
        {{"--prefix", "/p", "--after-restart", "rejoin 5"}, false},
        {{"--prefix", "/p", "--after-restart", "rejoin:5:5"}, false},
        {{"--prefix", "/p", "--after-restart", "leave"}, false},
        {{"--prefix"}, false},
        {{"--prefix", "/p", "--frobnicate"}, false},
        {{}, false},              // nowhere to plug in
        {{"--no-plug"}, true},    // plugging waits for a prefix-less "plug", which fails cleanly
        {{"--help"}, true},
    };
    for (const auto& row : rows) {
        std::string error;
        const auto o = ParseOptions(row.args, &error);
        EXPECT_EQ(o.has_value(), row.valid) << (row.args.empty() ? "(none)" : row.args.back());
        EXPECT_EQ(error.empty(), row.valid);
    }
}

}  // namespace
}  // namespace tvsp::vwatch
