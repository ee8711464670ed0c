// Tests of the update server's control requests: parsing, effects and exact replies.
#include "testing/update-server/control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testing/update-server/words.h"

namespace tvsp::updsrv {
namespace {

class FakeHost : public ControlHost {
public:
    std::string HostPath(std::string_view path) const override {
        if (path.substr(0, 3) == "Z:\\") return "/" + std::string(path.substr(3));
        return std::string(path);
    }
    void RequestQuit() override { quit = true; }
    bool quit = false;
};

class ControlTest : public ::testing::Test {
protected:
    std::string Do(std::string_view line) { return HandleControlLine(line, scenario, host); }
    const Route* At(std::string_view path) const { return scenario.Find(path); }

    Scenario scenario;
    FakeHost host;
};

TEST_F(ControlTest, ReplyWithEveryOptionalWord) {
    const struct {
        std::string line;
        ReplyRoute route;
    } cases[] = {
        {"reply /a 200 hello", {200, "hello", BodyMode::Length, 0, ""}},
        {"reply /a 503 ", {503, "", BodyMode::Length, 0, ""}},
        {"reply /a 200 a\\x20b\\r\\n chunked", {200, "a b\r\n", BodyMode::Chunked, 0, ""}},
        {"reply /a 200 x drip=5", {200, "x", BodyMode::Drip, 5, ""}},
        {"reply /a 200 x bigline=70000 X-A:\\x201\\r\\nX-B:\\x202", {200, "x", BodyMode::Bigline, 70000, "X-A: 1\r\nX-B: 2"}},
        {"reply /a 999 x hugechunk", {999, "x", BodyMode::Hugechunk, 0, ""}},
        {"reply /a 100 x length ", {100, "x", BodyMode::Length, 0, ""}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Do(c.line), "OK") << c.line;
        const auto* r = At("/a") ? std::get_if<ReplyRoute>(At("/a")) : nullptr;
        ASSERT_NE(r, nullptr) << c.line;
        EXPECT_EQ(r->status, c.route.status) << c.line;
        EXPECT_EQ(r->body, c.route.body) << c.line;
        EXPECT_EQ(r->mode, c.route.mode) << c.line;
        EXPECT_EQ(r->param, c.route.param) << c.line;
        EXPECT_EQ(r->headers, c.route.headers) << c.line;
    }
}

TEST_F(ControlTest, MalformedRequestsChangeNothing) {
    ASSERT_EQ(Do("raw /keep x"), "OK");
    const struct {
        const char* line;
        const char* reply;
    } cases[] = {
        {"reply /a 200", "ERR usage: reply PATH STATUS BODY [MODE[=N]] [HEADERS]"},
        {"reply /a 200 x length h extra", "ERR usage: reply PATH STATUS BODY [MODE[=N]] [HEADERS]"},
        {"reply a 200 x", "ERR bad path"},
        {"reply / 200 x", "OK"},
        {"reply /a?q=1 200 x", "ERR bad path"},
        {"reply /a\\x20b 200 x", "ERR bad path"},
        {"reply  200 x", "ERR bad path"},
        {"reply /a 99 x", "ERR bad status"},
        {"reply /a 1000 x", "ERR bad status"},
        {"reply /a 2OO x", "ERR bad status"},
        {"reply /a 200 \\q", "ERR bad escape in body"},
        {"reply /a 200 x slow", "ERR bad mode"},
        {"reply /a 200 x  ", "ERR bad mode"},
        {"reply /a 200 x drip=0", "ERR bad mode"},
        {"reply /a 200 x drip=600001", "ERR bad mode"},
        {"reply /a 200 x length=5", "ERR bad mode"},  // length takes no parameter
        {"reply /a 200 x bigline=16777217", "ERR bad mode"},
        {"reply /a 200 x length \\x4", "ERR bad escape in headers"},
        {"redirect /a 200 /b", "ERR bad status"},
        {"redirect /a 400 /b", "ERR bad status"},
        {"redirect /a 302", "ERR usage: redirect PATH STATUS LOCATION"},
        {"raw /a \\", "ERR bad escape in bytes"},
        {"raw", "ERR usage: raw PATH BYTES"},
        {"file /a", "ERR usage: file PATH HOSTFILE"},
        {"file /a ", "ERR bad file name"},
        {"clear now", "ERR clear takes no arguments"},
        {"requests 1", "ERR requests takes no arguments"},
        {"quit please", "ERR quit takes no arguments"},
        {"", "ERR unknown request"},
        {"REPLY /a 200 x", "ERR unknown request"},
    };
    for (const auto& c : cases) EXPECT_EQ(Do(c.line), c.reply) << c.line;
    EXPECT_EQ(At("/a"), nullptr);
    ASSERT_NE(At("/keep"), nullptr);
    EXPECT_EQ(std::get<RawRoute>(*At("/keep")).bytes, "x");
    EXPECT_FALSE(host.quit);
}

TEST_F(ControlTest, RedirectRawAndFile) {
    EXPECT_EQ(Do("redirect /loop 302 /loop"), "OK");
    EXPECT_EQ(std::get<RedirectRoute>(*At("/loop")).location, "/loop");
    EXPECT_EQ(Do("redirect /abs 301 http://localhost:1/x?a=b\\x20c"), "OK");
    EXPECT_EQ(std::get<RedirectRoute>(*At("/abs")).location, "http://localhost:1/x?a=b c");
    EXPECT_EQ(std::get<RedirectRoute>(*At("/abs")).status, 301);

    EXPECT_EQ(Do("raw /empty"), "OK");
    EXPECT_EQ(std::get<RawRoute>(*At("/empty")).bytes, "");
    EXPECT_EQ(Do("raw /empty2 "), "OK");
    EXPECT_EQ(std::get<RawRoute>(*At("/empty2")).bytes, "");
    EXPECT_EQ(Do("raw /bytes HTTP/1.1\\x20200\\r\\n\\0\\xff"), "OK");
    EXPECT_EQ(std::get<RawRoute>(*At("/bytes")).bytes, std::string("HTTP/1.1 200\r\n\0\xff", 16));

    const std::filesystem::path file = std::filesystem::temp_directory_path() / "tvsp-update-control-test.bin";
    std::ofstream(file) << "pkg";
    EXPECT_EQ(Do("file /pkg " + file.string()), "OK");
    EXPECT_EQ(std::get<FileRoute>(*At("/pkg")).hostPath, file.string());
    // A Windows path goes through the host's mapping.
    ASSERT_EQ(Do("file /win " + EscapeWord("Z:\\" + file.string().substr(1))), "OK");
    EXPECT_EQ(std::get<FileRoute>(*At("/win")).hostPath, file.string());
    std::filesystem::remove(file);
    EXPECT_EQ(Do("file /gone " + file.string()), "ERR no such file: " + file.string());
    EXPECT_EQ(Do("file /dir /tmp"), "ERR no such file: /tmp");
}

TEST_F(ControlTest, RequestsAreCountedThenOneEscapedLineEach) {
    EXPECT_EQ(Do("requests"), "OK 0");
    scenario.Record("GET / HTTP/1.1\r\n\r\n");
    scenario.Record("a|b\\c d");
    EXPECT_EQ(Do("requests"), "OK 2\nGET / HTTP/1.1\\r\\n\\r\\n\na\\x7cb\\\\c d");
    EXPECT_EQ(Do("clear-requests"), "OK");
    EXPECT_EQ(Do("requests"), "OK 0");
}

TEST_F(ControlTest, ClearForgetsRoutesAndRequests) {
    ASSERT_EQ(Do("reply /a 200 x"), "OK");
    scenario.Record("r");
    EXPECT_EQ(Do("clear"), "OK");
    EXPECT_EQ(At("/a"), nullptr);
    EXPECT_EQ(Do("requests"), "OK 0");
}

TEST_F(ControlTest, Quit) {
    EXPECT_EQ(Do("quit"), "OK");
    EXPECT_TRUE(host.quit);
}

}  // namespace
}  // namespace tvsp::updsrv
