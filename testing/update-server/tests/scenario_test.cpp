// Tests of the update server's reply plans and its request log.
#include "testing/update-server/scenario.h"

#include <gtest/gtest.h>

namespace tvsp::updsrv {
namespace {

// What the plan's steps send, with Drip and Repeat steps written out once and the others marked.
std::string Wire(const ReplyPlan& plan) {
    std::string out;
    for (const Step& s : plan.steps) {
        switch (s.kind) {
        case Step::Kind::Send:
        case Step::Kind::Drip: out += s.bytes; break;
        case Step::Kind::Repeat: out += "<repeat:" + s.bytes + ">"; break;
        case Step::Kind::SendFile: out += "<file:" + s.path + ":" + std::to_string(s.fileSize) + ">"; break;
        case Step::Kind::WaitForClose: out += "<wait>"; break;
        }
    }
    return out;
}

ReplyPlan Plan(const Route& route) {
    return PlanReply(&route, [](const std::string& path) -> std::optional<std::uint64_t> {
        if (path == "/pkg.cab") return 123456789012ull;
        return std::nullopt;
    });
}

TEST(update_server_scenario, EveryBodyModeOnTheWire) {
    const struct {
        const char* what;
        ReplyRoute route;
        std::string wire;
        bool orderly;
    } cases[] = {
        {"length", {200, "hello", BodyMode::Length, 0, ""},
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello", true},
        {"extra headers, line end added", {404, "", BodyMode::Length, 0, "X-A: 1\r\nX-B: 2"},
         "HTTP/1.1 404 Not Found\r\nX-A: 1\r\nX-B: 2\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true},
        {"a test's own length wins", {200, "abc", BodyMode::Length, 0, "content-length: 10\r\n"},
         "HTTP/1.1 200 OK\r\ncontent-length: 10\r\nConnection: close\r\n\r\nabc", true},
        {"a test's own Connection wins", {200, "", BodyMode::Length, 0, "Connection: keep-alive\n"},
         "HTTP/1.1 200 OK\r\nConnection: keep-alive\nContent-Length: 0\r\n\r\n", true},
        {"chunked in three", {200, "abcdefg", BodyMode::Chunked, 0, ""},
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "3\r\nabc\r\n3\r\ndef\r\n1\r\ng\r\n0\r\nX-Tvsp-Trailer: end\r\n\r\n", true},
        {"chunked by size", {200, std::string(20, 'z'), BodyMode::Chunked, 16, ""},
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "10\r\n" + std::string(16, 'z') + "\r\n4\r\nzzzz\r\n0\r\nX-Tvsp-Trailer: end\r\n\r\n", true},
        {"chunked empty", {200, "", BodyMode::Chunked, 0, ""},
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n0\r\nX-Tvsp-Trailer: end\r\n\r\n",
         true},
        {"close", {200, "to the end", BodyMode::Close, 0, ""},
         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nto the end", true},
        {"drip", {200, "abc", BodyMode::Drip, 0, ""},
         "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc", true},
        {"endless", {200, "la", BodyMode::Endless, 0, ""},
         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<repeat:la>", true},
        {"midclose", {200, "0123456789", BodyMode::Midclose, 0, ""},
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n01234", false},
        {"bigline", {200, "b", BodyMode::Bigline, 20, ""},
         "HTTP/1.1 200 OK\r\nX-Tvsp-Big: aaaaaaaa\r\nContent-Length: 1\r\nConnection: close\r\n\r\nb", true},
        {"hugechunk", {200, "data", BodyMode::Hugechunk, 0, ""},
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n10000000001\r\ndata", true},
        {"hold", {200, "x", BodyMode::Hold, 0, ""},
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx<wait>", true},
        {"stall", {200, "ignored", BodyMode::Stall, 0, ""}, "<wait>", true},
        {"odd status", {299, "", BodyMode::Length, 0, ""},
         "HTTP/1.1 299 Unknown\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        const ReplyPlan plan = Plan(c.route);
        EXPECT_EQ(Wire(plan), c.wire) << c.what;
        EXPECT_EQ(plan.orderlyClose, c.orderly) << c.what;
    }
}

TEST(update_server_scenario, DripAndChunkedAreSeparateSteps) {
    const ReplyPlan drip = Plan(ReplyRoute{200, "abc", BodyMode::Drip, 250, ""});
    ASSERT_EQ(drip.steps.size(), 2u);
    EXPECT_EQ(drip.steps[1].kind, Step::Kind::Drip);
    EXPECT_EQ(drip.steps[1].intervalMs, 250);
    EXPECT_EQ(Plan(ReplyRoute{200, "abc", BodyMode::Drip, 0, ""}).steps[1].intervalMs, DefaultParam(BodyMode::Drip));
    // Head, three chunks, the last chunk with its trailer.
    EXPECT_EQ(Plan(ReplyRoute{200, "abcdefg", BodyMode::Chunked, 0, ""}).steps.size(), 5u);
}

TEST(update_server_scenario, BiglineHasTheAskedLength) {
    const std::string wire = Wire(Plan(ReplyRoute{200, "", BodyMode::Bigline, 0, ""}));
    const std::size_t start = wire.find("X-Tvsp-Big: ");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(wire.find("\r\n", start) - start, static_cast<std::size_t>(DefaultParam(BodyMode::Bigline)));
}

TEST(update_server_scenario, EndlessWithoutBodyRepeatsFiller) {
    const ReplyPlan plan = Plan(ReplyRoute{200, "", BodyMode::Endless, 0, ""});
    ASSERT_EQ(plan.steps.size(), 2u);
    EXPECT_EQ(plan.steps[1].kind, Step::Kind::Repeat);
    EXPECT_FALSE(plan.steps[1].bytes.empty());
}

TEST(update_server_scenario, OtherRoutes) {
    EXPECT_EQ(Wire(Plan(RedirectRoute{301, "/next?a=1"})),
              "HTTP/1.1 301 Moved Permanently\r\nLocation: /next?a=1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Wire(Plan(RawRoute{"HTTP/1.0 200\n\nx"})), "HTTP/1.0 200\n\nx");
    EXPECT_TRUE(Plan(RawRoute{""}).steps.empty());
    EXPECT_EQ(Wire(Plan(FileRoute{"/pkg.cab"})),
              "HTTP/1.1 200 OK\r\nContent-Length: 123456789012\r\nConnection: close\r\n\r\n<file:/pkg.cab:123456789012>");
    // A file gone since it was set is a server error, not a hang or an empty 200.
    EXPECT_EQ(Wire(Plan(FileRoute{"/gone"})),
              "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(Wire(PlanReply(nullptr, {})), "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

TEST(update_server_scenario, ModeNamesRoundTrip) {
    for (const char* name : {"length", "chunked", "close", "drip", "endless", "midclose", "bigline", "hugechunk",
                             "hold", "stall"}) {
        const auto mode = ParseBodyMode(name);
        ASSERT_TRUE(mode) << name;
        EXPECT_EQ(BodyModeName(*mode), name);
    }
    EXPECT_FALSE(ParseBodyMode("Length"));
    EXPECT_FALSE(ParseBodyMode(""));
}

TEST(update_server_scenario, RoutesAndLog) {
    Scenario s;
    EXPECT_EQ(s.Find("/a"), nullptr);
    s.SetRoute("/a", RawRoute{"1"});
    s.SetRoute("/a", RawRoute{"2"});  // the last setting wins
    ASSERT_NE(s.Find("/a"), nullptr);
    EXPECT_EQ(std::get<RawRoute>(*s.Find("/a")).bytes, "2");
    EXPECT_EQ(s.Find("/A"), nullptr);
    s.Record("r1");
    s.Record("r2");
    EXPECT_EQ(s.requests(), (std::deque<std::string>{"r1", "r2"}));
    s.ClearRequests();
    EXPECT_TRUE(s.requests().empty());
    EXPECT_NE(s.Find("/a"), nullptr);
    s.Record("r3");
    s.Clear();
    EXPECT_EQ(s.Find("/a"), nullptr);
    EXPECT_TRUE(s.requests().empty());
}

TEST(update_server_scenario, LogDropsTheOldestPastItsBounds) {
    Scenario s;
    for (std::size_t i = 0; i < Scenario::kMaxRequests + 5; ++i) s.Record(std::to_string(i));
    ASSERT_EQ(s.requests().size(), Scenario::kMaxRequests);
    EXPECT_EQ(s.requests().front(), "5");

    Scenario big;
    const std::string quarter(Scenario::kMaxLogBytes / 4, 'q');
    for (int i = 0; i < 5; ++i) big.Record(quarter);
    EXPECT_EQ(big.requests().size(), 4u);
    big.Record(std::string(Scenario::kMaxLogBytes + 1, 'h'));  // larger than the whole log: not kept
    EXPECT_TRUE(big.requests().empty());
    big.Record("small");
    EXPECT_EQ(big.requests().size(), 1u);
}

}  // namespace
}  // namespace tvsp::updsrv
