// Tests of reading the update server's request heads: end, path, body length.
#include "testing/update-server/request_head.h"

#include <gtest/gtest.h>

namespace tvsp::updsrv {
namespace {

TEST(update_server_request_head, HeadEnd) {
    EXPECT_EQ(HeadEnd("GET / HTTP/1.1\r\nHost: a\r\n\r\nbody"), 27u);
    EXPECT_EQ(HeadEnd("GET / HTTP/1.1\r\nHost: a\r\n"), std::string_view::npos);
    EXPECT_EQ(HeadEnd("GET / HTTP/1.1\n\n"), std::string_view::npos);  // only CR LF pairs end a head
    EXPECT_EQ(HeadEnd(""), std::string_view::npos);
}

TEST(update_server_request_head, PathWithoutQuery) {
    const struct {
        std::string_view head;
        std::string path;
    } cases[] = {
        {"GET /a/b HTTP/1.1\r\n\r\n", "/a/b"},
        {"GET /check.php?imei=1&v=2 HTTP/1.1\r\n\r\n", "/check.php"},
        {"POST /up#frag HTTP/1.0\r\n\r\n", "/up"},
        {"GET http://localhost:8080/x?y HTTP/1.1\r\n\r\n", "/x"},
        {"GET HTTPS://host HTTP/1.1\r\n\r\n", "/"},
        {"GET /a HTTP/1.1\n\n", "/a"},
        {"GET /%20x HTTP/1.1\r\n\r\n", "/%20x"},  // bytes as sent, never decoded
        {"GET  /a HTTP/1.1\r\n\r\n", ""},
        {"GET /a\r\n\r\n", ""},
        {" /a HTTP/1.1\r\n\r\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RequestPath(c.head), c.path) << c.head;
}

TEST(update_server_request_head, BodyLength) {
    const struct {
        std::string_view head;
        std::optional<std::uint64_t> length;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", 0},
        {"POST / HTTP/1.1\r\nContent-Length: 12\r\n\r\n", 12},
        {"POST / HTTP/1.1\r\ncontent-length:  7 \r\n\r\n", 7},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", 5},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length:\r\n\r\n", std::nullopt},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", std::nullopt},
        {"GET /Content-Length: 3 HTTP/1.1\r\n\r\n", 0},  // the request line is no header
    };
    for (const auto& c : cases) EXPECT_EQ(RequestBodyLength(c.head), c.length) << c.head;
}

}  // namespace
}  // namespace tvsp::updsrv
