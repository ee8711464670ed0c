// The HTTP engine and TVSP::HttpClient under Wine against the test update server on loopback:
// the exact request bytes, every outcome, redirects, progress, cancelling and every bound.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/update-server/client/update_server_client.h"
#include "update/http_client.h"
#include "update/http_engine.h"

namespace TVSP {
namespace {

// Every call of the delegate, in order.
class RecordingDelegate : public HttpClientDelegate {
public:
    struct Progress {
        int tag, received, total;
    };
    void OnHttpCancelled() override { outcomes.push_back("cancelled"); }
    void OnHttpFailed(int tag, int code) override {
        outcomes.push_back("failed " + std::to_string(tag) + " " + std::to_string(code));
    }
    void OnHttpSucceeded(int tag, const char* bytes, int length) override {
        outcomes.push_back("succeeded " + std::to_string(tag));
        body.assign(bytes, static_cast<std::size_t>(length));
    }
    void OnHttpProgress(int tag, int received, int total) override { progress.push_back({tag, received, total}); }

    std::vector<std::string> outcomes;
    std::vector<Progress> progress;
    std::string body = "<none>";
};

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Clear()) << "the test update server does not answer";
        port = server.HttpPort();
        ASSERT_GT(port, 0);
    }
    std::wstring Url(const std::string& pathAndQuery) const {
        const std::string url = "http://localhost:" + std::to_string(port) + pathAndQuery;
        return std::wstring(url.begin(), url.end());
    }
    // One Get with a fresh client; the delegate's record.
    RecordingDelegate Get(const std::string& pathAndQuery, int tag = kTagRomCheck, bool cancel = false) {
        RecordingDelegate delegate;
        HttpClient client(&delegate, tag);
        client.SetCancelFlag(cancel);
        client.Get(Url(pathAndQuery));
        return delegate;
    }

    tvsp::UpdateServerClient server;
    int port = 0;
};

TEST_F(HttpClientTest, RequestBytesCarryTheBareHostWhateverThePort) {
    ASSERT_TRUE(server.Reply("/checkupdate/pc", 200, "<result/>"));
    const RecordingDelegate d = Get("/checkupdate/pc?pid=0123456789abcdef0123456789abcdef&ver=1.0.0.0", kTagClientCheck);
    EXPECT_EQ(d.outcomes, std::vector<std::string>{"succeeded 3"});
    EXPECT_EQ(d.body, "<result/>");
    ASSERT_NE(port, 80);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{
                                     "GET /checkupdate/pc?pid=0123456789abcdef0123456789abcdef&ver=1.0.0.0 HTTP/1.1\r\n"
                                     "Host: localhost\r\n"
                                     "User-Agent: Microsoft-ATL-Native/9.00\r\n"
                                     "\r\n"});
}

TEST_F(HttpClientTest, OnlyTwoHundredSucceeds) {
    struct Row {
        int status;
        const char* outcome;
    };
    const Row rows[] = {
        {200, "succeeded 1"}, {201, "failed 1 201"}, {204, "failed 1 204"}, {304, "failed 1 304"},
        {401, "failed 1 401"}, {404, "failed 1 404"}, {500, "failed 1 500"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        ASSERT_TRUE(server.Reply("/s", row.status, "x"));
        const RecordingDelegate d = Get("/s");
        EXPECT_EQ(d.outcomes, std::vector<std::string>{row.outcome});
    }
}

TEST_F(HttpClientTest, RedirectsAreFollowedAndOnlyTheFinalOutcomeIsSeen) {
    ASSERT_TRUE(server.Redirect("/old/page", 302, "next?x=1"));
    ASSERT_TRUE(server.Redirect("/old/next", 301, "/final"));
    ASSERT_TRUE(server.Reply("/final", 200, "there"));
    const RecordingDelegate d = Get("/old/page", kTagRomPackage);
    EXPECT_EQ(d.outcomes, std::vector<std::string>{"succeeded 2"});
    EXPECT_EQ(d.body, "there");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET /old/next?x=1 HTTP/1.1");
    EXPECT_EQ(requests[2].substr(0, requests[2].find("\r\n")), "GET /final HTTP/1.1");

    // Absolute, to the same server by its full URL.
    ASSERT_TRUE(server.Redirect("/abs", 303, "http://localhost:" + std::to_string(port) + "/final"));
    EXPECT_EQ(Get("/abs").outcomes, std::vector<std::string>{"succeeded 1"});
}

TEST_F(HttpClientTest, RedirectsThatCannotEndFailWithTheirStatus) {
    ASSERT_TRUE(server.Redirect("/loop", 302, "/loop"));
    EXPECT_EQ(Get("/loop").outcomes, std::vector<std::string>{"failed 1 302"});
    // One first request and ten redirects, then it stops.
    EXPECT_EQ(server.Requests().size(), 11u);

    ASSERT_TRUE(server.Reply("/nowhere", 302, ""));  // no Location at all
    EXPECT_EQ(Get("/nowhere").outcomes, std::vector<std::string>{"failed 1 302"});
    ASSERT_TRUE(server.Redirect("/secure", 302, "https://localhost/x"));
    EXPECT_EQ(Get("/secure").outcomes, std::vector<std::string>{"failed 1 302"});
}

TEST_F(HttpClientTest, ProgressCountsHeaderBytesAndTheAnnouncedLength) {
    const std::string body(200000, 'p');
    ASSERT_TRUE(server.Reply("/big", 200, body));
    const RecordingDelegate d = Get("/big", kTagRomPackage);
    EXPECT_EQ(d.outcomes, std::vector<std::string>{"succeeded 2"});
    EXPECT_EQ(d.body.size(), body.size());
    ASSERT_FALSE(d.progress.empty());
    int previous = 0;
    for (const auto& p : d.progress) {
        EXPECT_EQ(p.tag, kTagRomPackage);
        EXPECT_EQ(p.total, 200000);
        EXPECT_GT(p.received, previous);
        EXPECT_LE(p.received - previous, 65536);  // one read block at the most
        previous = p.received;
    }
    // The last report counts the whole response: the body and the header bytes before it.
    EXPECT_GT(d.progress.back().received, 200000);

    ASSERT_TRUE(server.Reply("/chunked", 200, body, "chunked"));
    const RecordingDelegate c = Get("/chunked");
    EXPECT_EQ(c.outcomes, std::vector<std::string>{"succeeded 1"});
    EXPECT_EQ(c.body, body);
    ASSERT_FALSE(c.progress.empty());
    for (const auto& p : c.progress) EXPECT_EQ(p.total, 0);

    ASSERT_TRUE(server.Reply("/close", 200, "until the end", "close"));
    EXPECT_EQ(Get("/close").body, "until the end");
}

TEST_F(HttpClientTest, CancelFlagSetBeforeGetEndsInCancelledOnly) {
    ASSERT_TRUE(server.Reply("/c", 200, std::string(1000, 'c')));
    const RecordingDelegate d = Get("/c", kTagRomPackage, true);
    EXPECT_EQ(d.outcomes, std::vector<std::string>{"cancelled"});
    EXPECT_EQ(d.progress.size(), 1u);  // the first block read stops the transfer
}

TEST_F(HttpClientTest, BrokenServersFailWithTheLastStatusOrMinusOne) {
    ASSERT_TRUE(server.Raw("/silent", ""));
    EXPECT_EQ(Get("/silent").outcomes, std::vector<std::string>{"failed 1 -1"});
    ASSERT_TRUE(server.Raw("/garbage", "SSH-2.0-nonsense\r\n\r\n"));
    EXPECT_EQ(Get("/garbage").outcomes, std::vector<std::string>{"failed 1 -1"});
    ASSERT_TRUE(server.Reply("/half", 200, std::string(100000, 'h'), "midclose"));
    EXPECT_EQ(Get("/half").outcomes, std::vector<std::string>{"failed 1 200"});
    ASSERT_TRUE(server.Reply("/line", 200, "x", "bigline", 100000));
    EXPECT_EQ(Get("/line").outcomes, std::vector<std::string>{"failed 1 200"});
    ASSERT_TRUE(server.Reply("/chunk", 200, "x", "hugechunk"));
    EXPECT_EQ(Get("/chunk").outcomes, std::vector<std::string>{"failed 1 200"});
}

// A port nobody listens on: taken from the system, then let go.
int RefusingPort() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::closesocket(s);
    return ntohs(address.sin_port);
}

TEST_F(HttpClientTest, NoConnectionFailsWithMinusOne) {
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    port = RefusingPort();
    ::WSACleanup();
    EXPECT_EQ(Get("/x").outcomes, std::vector<std::string>{"failed 1 -1"});

    RecordingDelegate d;
    HttpClient client(&d, kTagClientPackage);
    client.Get(L"https://localhost/x");  // not a URL this client can fetch
    EXPECT_EQ(d.outcomes, std::vector<std::string>{"failed 4 -1"});
    HttpClient nobody(nullptr, kTagRomCheck);
    nobody.Get(Url("/x"));  // no delegate: the outcome is dropped
}

// The engine with small bounds: what a hostile server may make it hold.
TEST_F(HttpClientTest, EngineBoundsEndEndlessBodiesAndSlowServers) {
    HttpRequestSettings settings;
    settings.limits.maxBodyBytes = 100000;
    {
        ASSERT_TRUE(server.Reply("/endless", 200, "", "endless"));
        HttpEngine engine(settings);
        EXPECT_FALSE(engine.Run("http://localhost:" + std::to_string(port) + "/endless"));
        EXPECT_EQ(engine.Status(), 200);
        EXPECT_TRUE(engine.Body().empty());
    }
    {
        ASSERT_TRUE(server.Reply("/n", 200, std::string(100000, 'n')));
        HttpEngine engine(settings);
        EXPECT_TRUE(engine.Run("http://localhost:" + std::to_string(port) + "/n"));
        EXPECT_EQ(engine.Body().size(), 100000u);
        ASSERT_TRUE(server.Reply("/n1", 200, std::string(100001, 'n')));
        HttpEngine over(settings);
        EXPECT_FALSE(over.Run("http://localhost:" + std::to_string(port) + "/n1"));
    }
    {
        // A server slower than the time-out between two bytes.
        settings.timeoutMs = 500;
        ASSERT_TRUE(server.Reply("/drip", 200, "abc", "drip", 1500));
        HttpEngine engine(settings);
        EXPECT_FALSE(engine.Run("http://localhost:" + std::to_string(port) + "/drip"));
    }
}

}  // namespace
}  // namespace TVSP
