// End-to-end tests of the update server daemon: every reply over plain HTTP and over HTTPS verified
// against the test CA, the request log, the wrong-certificate port, bounds and a clean stop.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/update-server/words.h"
#include "testing/vwatch/escape.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const fs::path kCerts = TVSP_UPDATE_CERTS_DIR;

// A client connection, plain or TLS. Reads wait at most a generous bound so a broken server fails
// the test instead of hanging it; nothing here measures time.
class Connection {
public:
    Connection(int port, bool tls, const fs::path& caFile = kCerts / "ca.pem") {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (!connected_ || !tls) return;
        ctx_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr);
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
        ssl_ = SSL_new(ctx_);
        SSL_set_tlsext_host_name(ssl_, "localhost");
        SSL_set1_host(ssl_, "localhost");
        SSL_set_fd(ssl_, fd_);
        connected_ = SSL_connect(ssl_) == 1;
        verifyResult_ = SSL_get_verify_result(ssl_);
        ERR_clear_error();
    }
    ~Connection() {
        if (ssl_) SSL_free(ssl_);
        if (ctx_) SSL_CTX_free(ctx_);
        if (fd_ >= 0) ::close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return connected_; }
    long verifyResult() const { return verifyResult_; }

    bool Send(const std::string& bytes) {
        if (ssl_) return SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // Up to `atMost` bytes, until the server closes, or until nothing more comes within `quiet`.
    std::string Read(std::size_t atMost = 64 << 20, std::chrono::milliseconds quiet = 20000ms) {
        std::string got;
        closed_ = false;
        while (got.size() < atMost) {
            if (!(ssl_ && SSL_pending(ssl_) > 0)) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
            }
            char buffer[65536];
            const std::size_t want = std::min(sizeof buffer, atMost - got.size());
            const long n = ssl_ ? SSL_read(ssl_, buffer, static_cast<int>(want)) : ::recv(fd_, buffer, want, 0);
            if (n <= 0) {
                ERR_clear_error();
                closed_ = true;
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
    bool closed() const { return closed_; }

private:
    int fd_ = -1;
    SSL_CTX* ctx_ = nullptr;
    SSL* ssl_ = nullptr;
    bool connected_ = false;
    bool closed_ = false;
    long verifyResult_ = -1;
};

std::string Get(const std::string& path) { return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n"; }

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/tvsp-update-server-test-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        ready_ = dir_ / "ready";
    }

    void TearDown() override {
        if (control_ >= 0) ::close(control_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(dir_);
    }

    static std::vector<std::string> StandardArgs() {
        return {"--cert", kCerts / "server.pem", "--key", kCerts / "server-key.pem",
                "--wrong-cert", kCerts / "wrong.pem", "--wrong-key", kCerts / "wrong-key.pem"};
    }

    pid_t Spawn(std::vector<std::string> args) {
        args.insert(args.begin(), TVSP_UPDATE_SERVER_EXE);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    }

    void Start(std::vector<std::string> extra = StandardArgs()) {
        extra.insert(extra.end(), {"--ready-file", ready_.string()});
        pid_ = Spawn(extra);
        const auto deadline = Clock::now() + 20s;
        while (!fs::exists(ready_) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(fs::exists(ready_)) << "server did not become ready";
        std::getline(std::ifstream(ready_), readyLine_);
        std::istringstream words(readyLine_);
        for (std::string word; words >> word;) {
            const std::size_t eq = word.find('=');
            ports_[word.substr(0, eq)] = std::stoi(word.substr(eq + 1));
        }
        ASSERT_GT(ports_["control"], 0);
        ASSERT_GT(ports_["http"], 0);
    }

    int Port(const std::string& name) { return ports_[name]; }

    std::string ReadLine() {
        std::string line;
        char c;
        while (::recv(control_, &c, 1, 0) == 1 && c != '\n') line += c;
        return line;
    }

    std::string Control(const std::string& line) {
        if (control_ < 0) {
            control_ = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(static_cast<std::uint16_t>(Port("control")));
            EXPECT_EQ(::connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        }
        const std::string request = line + "\n";
        EXPECT_EQ(::send(control_, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
        return ReadLine();
    }

    std::vector<std::string> Requests() {
        const auto count = tvsp::updsrv::ParseRequestCount(Control("requests"));
        EXPECT_TRUE(count);
        std::vector<std::string> out;
        for (std::size_t i = 0; count && i < *count; ++i) out.push_back(tvsp::vwatch::Unescape(ReadLine()).value_or("?"));
        return out;
    }

    // One request over a fresh connection; everything until the server closes.
    std::string Fetch(bool tls, const std::string& request) {
        Connection c(Port(tls ? "https" : "http"), tls);
        EXPECT_TRUE(c.connected());
        EXPECT_TRUE(c.Send(request));
        const std::string got = c.Read();
        EXPECT_TRUE(c.closed()) << "the server did not close";
        return got;
    }

    int ExitCode() {
        int status = 0;
        const auto deadline = Clock::now() + 20s;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) return -1;
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }

    fs::path dir_;
    fs::path ready_;
    std::string readyLine_;
    std::map<std::string, int> ports_;
    pid_t pid_ = -1;
    int control_ = -1;
};

TEST_F(ServerFixture, ReadyFileNamesEveryPortAndUnknownPathsAre404) {
    Start();
    EXPECT_EQ(readyLine_, "control=" + std::to_string(Port("control")) + " http=" + std::to_string(Port("http")) +
                              " https=" + std::to_string(Port("https")) + " wrong=" + std::to_string(Port("wrong")));
    EXPECT_GT(Port("https"), 0);
    EXPECT_GT(Port("wrong"), 0);
    for (bool tls : {false, true}) {
        EXPECT_EQ(Fetch(tls, Get("/nothing")), "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
}

TEST_F(ServerFixture, WithoutCertificatesThereIsNoHttps) {
    Start({});
    EXPECT_EQ(Port("https"), 0);
    EXPECT_EQ(Port("wrong"), 0);
    EXPECT_EQ(Fetch(false, Get("/")).substr(0, 12), "HTTP/1.1 404");
}

// Every reply that ends by itself, byte for byte, over both transports.
TEST_F(ServerFixture, RepliesArriveExactlyOverHttpAndHttps) {
    const fs::path file = dir_ / "package.bin";
    std::string package(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>((i * 7919) >> 3);
    std::ofstream(file, std::ios::binary).write(package.data(), static_cast<std::streamsize>(package.size()));
    Start();

    const struct {
        std::string control;
        std::string path;
        std::string wire;
    } cases[] = {
        {"reply /v 200 {\"v\":1}", "/v?imei=1", "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\n{\"v\":1}"},
        {"reply /h 200 x length X-Test:\\x20yes", "/h",
         "HTTP/1.1 200 OK\r\nX-Test: yes\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx"},
        {"reply /c 200 abcdefg chunked", "/c",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "3\r\nabc\r\n3\r\ndef\r\n1\r\ng\r\n0\r\nX-Tvsp-Trailer: end\r\n\r\n"},
        {"reply /close 200 until\\x20the\\x20end close", "/close",
         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end"},
        {"reply /drip 200 slow drip=1", "/drip", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nslow"},
        {"reply /mid 200 0123456789 midclose", "/mid",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n01234"},
        {"reply /big 200 b bigline=30", "/big",
         "HTTP/1.1 200 OK\r\nX-Tvsp-Big: " + std::string(18, 'a') + "\r\nContent-Length: 1\r\nConnection: close\r\n\r\nb"},
        {"reply /huge 200 data hugechunk", "/huge",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n10000000001\r\ndata"},
        {"redirect /r 303 https://localhost/next", "/r",
         "HTTP/1.1 303 See Other\r\nLocation: https://localhost/next\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
        {"redirect /loop 302 /loop", "/loop",
         "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
        {"raw /raw HTTP/1.0\\x20200\\n\\nbare\\0", "/raw", std::string("HTTP/1.0 200\n\nbare\0", 19)},
        {"raw /empty ", "/empty", ""},
        {"file /pkg " + file.string(), "/pkg",
         "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(package.size()) + "\r\nConnection: close\r\n\r\n" + package},
    };
    for (const auto& c : cases) ASSERT_EQ(Control(c.control), "OK") << c.control;
    for (bool tls : {false, true}) {
        for (const auto& c : cases) {
            const std::string got = Fetch(tls, Get(c.path));
            EXPECT_EQ(got.size(), c.wire.size()) << c.control << (tls ? " (https)" : " (http)");
            EXPECT_TRUE(got == c.wire) << c.control << (tls ? " (https)" : " (http)") << "\n" << got.substr(0, 300);
        }
    }
}

TEST_F(ServerFixture, EndlessKeepsSendingUntilTheClientGoes) {
    Start();
    ASSERT_EQ(Control("reply /e 200 la endless"), "OK");
    for (bool tls : {false, true}) {
        Connection c(Port(tls ? "https" : "http"), tls);
        ASSERT_TRUE(c.connected());
        ASSERT_TRUE(c.Send(Get("/e")));
        const std::string got = c.Read(1 << 20);
        EXPECT_FALSE(c.closed());
        ASSERT_EQ(got.size(), 1u << 20);
        EXPECT_EQ(got.substr(0, 46), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nlalalala");
    }
    // The server has let go of both connections and still serves.
    EXPECT_EQ(Fetch(false, Get("/x")).substr(0, 12), "HTTP/1.1 404");
}

TEST_F(ServerFixture, HoldAndStallKeepTheConnectionOpen) {
    Start();
    ASSERT_EQ(Control("reply /hold 200 abc hold"), "OK");
    ASSERT_EQ(Control("reply /stall 200 abc stall"), "OK");
    for (bool tls : {false, true}) {
        Connection hold(Port(tls ? "https" : "http"), tls);
        ASSERT_TRUE(hold.Send(Get("/hold")));
        EXPECT_EQ(hold.Read(1 << 20, 300ms), "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc");
        EXPECT_FALSE(hold.closed());

        Connection stall(Port(tls ? "https" : "http"), tls);
        ASSERT_TRUE(stall.Send(Get("/stall")));
        EXPECT_EQ(stall.Read(1 << 20, 300ms), "");
        EXPECT_FALSE(stall.closed());
    }
    EXPECT_EQ(Requests().size(), 4u);
}

TEST_F(ServerFixture, RequestsAreRecordedByteForByte) {
    Start();
    ASSERT_EQ(Control("reply /up 204 "), "OK");
    const std::string post = "POST /up?x=1 HTTP/1.1\r\nHost: localhost\r\nContent-Length: 5\r\n\r\nk=v\r\n";
    EXPECT_EQ(Fetch(false, post).substr(0, 25), "HTTP/1.1 204 No Content\r\n");
    const std::string get = "GET /a HTTP/1.0\r\nX: \xff\x01\r\n\r\n";
    EXPECT_EQ(Fetch(true, get).substr(0, 12), "HTTP/1.1 404");
    // A request cut short is recorded as far as it came.
    {
        Connection c(Port("http"), false);
        ASSERT_TRUE(c.Send("GET /half HTTP/1.1\r\nHo"));
    }
    const auto deadline = Clock::now() + 10s;
    std::vector<std::string> requests;
    while ((requests = Requests()).size() < 3 && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
    EXPECT_EQ(requests, (std::vector<std::string>{post, get, "GET /half HTTP/1.1\r\nHo"}));
    EXPECT_EQ(Control("clear-requests"), "OK");
    EXPECT_TRUE(Requests().empty());

    ASSERT_EQ(Control("clear"), "OK");
    EXPECT_EQ(Fetch(false, Get("/up")).substr(0, 12), "HTTP/1.1 404");
}

TEST_F(ServerFixture, OversizedAndMalformedRequestsAreRefused) {
    Start();
    ASSERT_EQ(Control("reply /ok 200 fine"), "OK");
    const struct {
        std::string request;
        std::string status;
    } cases[] = {
        {"GET /ok HTTP/1.1\r\nX: " + std::string(70000, 'h') + "\r\n\r\n", "HTTP/1.1 431"},
        {"POST /ok HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", "HTTP/1.1 413"},
        {"POST /ok HTTP/1.1\r\nContent-Length: zz\r\n\r\n", "HTTP/1.1 400"},
        {"\r\n\r\n", "HTTP/1.1 404"},
        {"GET /ok HTTP/1.1\r\n\r\n", "HTTP/1.1 200"},
    };
    for (const auto& c : cases) EXPECT_EQ(Fetch(false, c.request).substr(0, 12), c.status) << c.request.substr(0, 40);
    const std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), std::size(cases));
    // The oversized head is kept only up to the bound.
    EXPECT_LE(requests[0].size(), (64u << 10) + 16384);
    EXPECT_EQ(requests[1], cases[1].request);
}

TEST_F(ServerFixture, CertificatesVerifyOnlyOnTheRightPort) {
    Start();
    {
        Connection good(Port("https"), true);
        EXPECT_TRUE(good.connected());
        EXPECT_EQ(good.verifyResult(), X509_V_OK);
    }
    {
        Connection wrong(Port("wrong"), true);
        EXPECT_FALSE(wrong.connected());
        EXPECT_EQ(wrong.verifyResult(), X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
    }
    {
        // The wrong port serves the same scenarios to a client that trusts its certificate.
        ASSERT_EQ(Control("reply /w 200 same"), "OK");
        Connection trusting(Port("wrong"), true, kCerts / "wrong.pem");
        ASSERT_TRUE(trusting.connected());
        ASSERT_TRUE(trusting.Send(Get("/w")));
        EXPECT_EQ(trusting.Read(), "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nsame");
    }
    {
        // Plain HTTP spoken to the HTTPS port ends the connection without a reply.
        Connection plain(Port("https"), false);
        ASSERT_TRUE(plain.Send(Get("/w")));
        plain.Read();
        EXPECT_TRUE(plain.closed());
    }
}

TEST_F(ServerFixture, SigtermEndsCleanlyWithConnectionsOpen) {
    Start();
    ASSERT_EQ(Control("reply /e 200 x endless"), "OK");
    ASSERT_EQ(Control("reply /s 200 x stall"), "OK");
    ASSERT_EQ(Control("reply /d 200 xxxxxxxxxx drip=600000"), "OK");
    Connection endless(Port("http"), false);
    Connection stall(Port("https"), true);
    Connection drip(Port("http"), false);
    ASSERT_TRUE(endless.Send(Get("/e")));
    ASSERT_TRUE(stall.Send(Get("/s")));
    ASSERT_TRUE(drip.Send(Get("/d")));
    endless.Read(1000);
    drip.Read(59);  // the head and the first byte
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_FALSE(fs::exists(ready_));
}

TEST_F(ServerFixture, QuitAnswersThenEnds) {
    Start();
    EXPECT_EQ(Control("quit"), "OK");
    EXPECT_EQ(ExitCode(), 0);
}

TEST_F(ServerFixture, RefusesToStartWhenItCannot) {
    pid_ = Spawn({"--bogus"});
    EXPECT_EQ(ExitCode(), 2);
    pid_ = Spawn({"--cert", (dir_ / "missing.pem").string(), "--key", (dir_ / "missing.pem").string()});
    EXPECT_EQ(ExitCode(), 1);
    pid_ = Spawn({"--cert", kCerts / "server.pem", "--key", kCerts / "wrong-key.pem"});
    EXPECT_EQ(ExitCode(), 1);
    Start({});
    const pid_t first = pid_;
    pid_ = Spawn({"--http-port", std::to_string(Port("http"))});
    EXPECT_EQ(ExitCode(), 1);
    pid_ = first;
}

}  // namespace
