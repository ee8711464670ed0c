// Tests of the HTTP messages: URL split, request bytes, redirects, classification, the bounded
// response parser fed whole and byte by byte.
#include <gtest/gtest.h>

#include <string>

#include "update/http_message.h"

namespace TVSP {
namespace {

TEST(SplitHttpUrl, ValidAndInvalidRows) {
    struct Row {
        const char* url;
        bool valid;
        const char* host;
        unsigned port;
        const char* path;
    };
    const Row rows[] = {
        {"http://localhost:8080/checkupdate/rom", true, "localhost", 8080, "/checkupdate/rom"},
        {"HTTP://Example.com", true, "Example.com", 80, "/"},
        {"http://h/checkupdate/pc?pid=ab&ver=1.0.0.0", true, "h", 80, "/checkupdate/pc?pid=ab&ver=1.0.0.0"},
        {"http://h?x=1", true, "h", 80, "/?x=1"},
        {"http://h/a#frag", true, "h", 80, "/a"},
        {"http://[::1]:81/a", true, "::1", 81, "/a"},
        {"http://h:1/", true, "h", 1, "/"},
        {"http://h:65535/", true, "h", 65535, "/"},
        {"http://h:65536/", false, "", 0, ""},
        {"http://h:0/", false, "", 0, ""},
        {"http://h:/", false, "", 0, ""},
        {"http://h:8x/", false, "", 0, ""},
        {"https://h/", false, "", 0, ""},
        {"http:///path", false, "", 0, ""},
        {"http://user:pw@h/", false, "", 0, ""},
        {"http://h/a b", false, "", 0, ""},
        {"http://h/a\r\nX-Injected: 1", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        const auto url = SplitHttpUrl(row.url);
        ASSERT_EQ(url.has_value(), row.valid);
        if (!url) continue;
        EXPECT_EQ(url->host, row.host);
        EXPECT_EQ(url->port, row.port);
        EXPECT_EQ(url->pathAndQuery, row.path);
    }
}

TEST(BuildGetRequest, ExactBytesWithTheBareHostWhateverThePort) {
    const auto url = SplitHttpUrl("http://localhost:8080/checkupdate/pc?pid=0123&ver=1.0.0.0");
    ASSERT_TRUE(url);
    EXPECT_EQ(BuildGetRequest(*url),
              "GET /checkupdate/pc?pid=0123&ver=1.0.0.0 HTTP/1.1\r\n"
              "Host: localhost\r\n"
              "User-Agent: Microsoft-ATL-Native/9.00\r\n"
              "\r\n");
}

TEST(ResolveLocation, AbsoluteRelativeAndRefused) {
    const auto base = SplitHttpUrl("http://srv:8080/dir/page?q=1");
    ASSERT_TRUE(base);
    struct Row {
        const char* location;
        bool valid;
        const char* host;
        unsigned port;
        const char* path;
    };
    const Row rows[] = {
        {"http://other/x", true, "other", 80, "/x"},
        {"//other:81/x", true, "other", 81, "/x"},
        {"/root?a", true, "srv", 8080, "/root?a"},
        {"next.cab", true, "srv", 8080, "/dir/next.cab"},
        {"?other", true, "srv", 8080, "/dir/page?other"},
        {"  /trimmed  ", true, "srv", 8080, "/trimmed"},
        {"https://secure/x", false, "", 0, ""},
        {"ftp://h/x", false, "", 0, ""},
        {"", false, "", 0, ""},
        {"/a\r\nX: y", false, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.location);
        const auto target = ResolveLocation(*base, row.location);
        ASSERT_EQ(target.has_value(), row.valid);
        if (!target) continue;
        EXPECT_EQ(target->host, row.host);
        EXPECT_EQ(target->port, row.port);
        EXPECT_EQ(target->pathAndQuery, row.path);
    }
}

TEST(ClassifyHttpStatus, Boundaries) {
    struct Row {
        int status;
        HttpStatusClass expected;
    };
    const Row rows[] = {
        {199, HttpStatusClass::Failure}, {200, HttpStatusClass::Success}, {206, HttpStatusClass::Success},
        {207, HttpStatusClass::Failure}, {300, HttpStatusClass::Failure}, {301, HttpStatusClass::Redirect},
        {303, HttpStatusClass::Redirect}, {304, HttpStatusClass::Success}, {305, HttpStatusClass::Success},
        {306, HttpStatusClass::Failure}, {307, HttpStatusClass::Failure}, {401, HttpStatusClass::Failure},
        {404, HttpStatusClass::Failure}, {-1, HttpStatusClass::Failure},
    };
    for (const Row& row : rows) EXPECT_EQ(ClassifyHttpStatus(row.status), row.expected) << row.status;
}

struct Parsed {
    HttpResponseParser::Progress progress;
    int status;
    HttpParseError error;
    std::string body;
};

// Feeds the whole text at once, or byte by byte, then closes when closeAtEnd.
Parsed Parse(const std::string& text, bool byteByByte, bool closeAtEnd, HttpLimits limits = {}) {
    HttpResponseParser parser(limits);
    auto progress = HttpResponseParser::Progress::NeedMore;
    if (byteByByte) {
        for (char c : text) {
            progress = parser.Feed(&c, 1);
            if (progress != HttpResponseParser::Progress::NeedMore) break;
        }
    } else {
        progress = parser.Feed(text.data(), text.size());
    }
    if (progress == HttpResponseParser::Progress::NeedMore && closeAtEnd) progress = parser.Finish();
    return Parsed{progress, parser.Status(), parser.Error(), parser.Body()};
}

TEST(HttpResponseParser, BodiesWholeAndByteByByte) {
    using P = HttpResponseParser::Progress;
    struct Row {
        const char* name;
        std::string text;
        bool close;
        P progress;
        int status;
        const char* body;
    };
    const Row rows[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, P::Complete, 200, "hello"},
        {"length, bytes beyond ignored", "HTTP/1.1 200 OK\r\ncontent-length: 2\r\n\r\nhello", false, P::Complete,
         200, "he"},
        {"LF line ends", "HTTP/1.0 200 OK\nContent-Length: 1\n\nx", false, P::Complete, 200, "x"},
        {"chunked with trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;ext=1\r\nhello\r\nA\r\n, world!!!\r\n0\r\n"
         "X-Trailer: t\r\n\r\n",
         false, P::Complete, 200, "hello, world!!!"},
        {"chunked after another coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, CHUNKED\r\n\r\n1\r\nz\r\n0\r\n\r\n",
         false, P::Complete, 200, "z"},
        {"until close", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nall of it", true, P::Complete, 200, "all of it"},
        {"no reason phrase", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", false, P::Complete, 200, ""},
        {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", false, P::Complete, 204, ""},
        {"304 has no body", "HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", false, P::Complete, 304, ""},
        {"interim 100 skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nk", false,
         P::Complete, 200, "k"},
        {"folded header", "HTTP/1.1 302 Found\r\nLocation: /a\r\n  b\r\nContent-Length: 0\r\n\r\n", false,
         P::Complete, 302, ""},
        {"closed mid-body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", true, P::Failed, 200, "half"},
        {"closed mid-chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc", true, P::Failed, 200,
         "abc"},
        {"closed in the headers", "HTTP/1.1 200 OK\r\nContent-Le", true, P::Failed, 200, ""},
        {"no status line at all", "", true, P::Failed, -1, ""},
        {"not HTTP", "SSH-2.0-server\r\n\r\n", false, P::Failed, -1, ""},
        {"status not three digits", "HTTP/1.1 20 OK\r\n\r\n", false, P::Failed, -1, ""},
        {"header without colon", "HTTP/1.1 200 OK\r\nbroken\r\n\r\n", false, P::Failed, 200, ""},
        {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: 12a\r\n\r\n", false, P::Failed, 200, ""},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n", false, P::Failed, 200, ""},
        {"chunk without its CR LF", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n", false,
         P::Failed, 200, "a"},
    };
    for (const Row& row : rows) {
        for (bool byteByByte : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (byteByByte ? " (byte by byte)" : " (whole)"));
            const Parsed parsed = Parse(row.text, byteByByte, row.close);
            EXPECT_EQ(parsed.progress, row.progress);
            EXPECT_EQ(parsed.status, row.status);
            EXPECT_EQ(parsed.body, row.body);
        }
    }
}

TEST(HttpResponseParser, HeadersWithoutCase) {
    HttpResponseParser parser;
    const std::string text = "HTTP/1.1 302 Found\r\nlocation:  /next \r\nX-A: 1\r\nX-a: 2\r\nContent-Length: 0\r\n\r\n";
    ASSERT_EQ(parser.Feed(text.data(), text.size()), HttpResponseParser::Progress::Complete);
    EXPECT_EQ(parser.Header("LOCATION"), "/next");
    EXPECT_EQ(parser.Header("x-a"), "1");  // the first of a name
    EXPECT_FALSE(parser.Header("Content-Type"));
}

TEST(HttpResponseParser, EveryBoundAtItsLimit) {
    HttpLimits limits;
    limits.maxBodyBytes = 10;
    limits.maxHeaderLineBytes = 40;
    limits.maxHeaderBytes = 120;
    limits.maxChunkSizeLineBytes = 8;
    using P = HttpResponseParser::Progress;
    const auto lengthReply = [](std::size_t n) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(n) + "\r\n\r\n" + std::string(n, 'b');
    };
    const auto chunkedReply = [](std::size_t n) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx", n);
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" +
               std::string(n, 'c') + "\r\n0\r\n\r\n";
    };
    const auto closeReply = [](std::size_t n) { return "HTTP/1.1 200 OK\r\n\r\n" + std::string(n, 'd'); };
    // A header line whose text is exactly n bytes.
    const auto lineReply = [](std::size_t n) {
        return "HTTP/1.1 200 OK\r\nX: " + std::string(n - 3, 'h') + "\r\nContent-Length: 0\r\n\r\n";
    };
    struct Row {
        const char* name;
        std::string text;
        P progress;
        HttpParseError error;
    };
    const Row rows[] = {
        {"length N-1", lengthReply(9), P::Complete, HttpParseError::None},
        {"length N", lengthReply(10), P::Complete, HttpParseError::None},
        {"length N+1", lengthReply(11), P::Failed, HttpParseError::BodyTooLarge},
        {"length beyond 64 bits", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", P::Failed,
         HttpParseError::BodyTooLarge},
        {"chunked N", chunkedReply(10), P::Complete, HttpParseError::None},
        {"chunked N+1", chunkedReply(11), P::Failed, HttpParseError::BodyTooLarge},
        {"chunk size of 4 GiB", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFF\r\n", P::Failed,
         HttpParseError::BodyTooLarge},
        {"chunk size line too long", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;aaaaaaaaaa\r\n",
         P::Failed, HttpParseError::LineTooLong},
        {"until close N", closeReply(10), P::Complete, HttpParseError::None},
        {"until close N+1", closeReply(11), P::Failed, HttpParseError::BodyTooLarge},
        {"header line N", lineReply(40), P::Complete, HttpParseError::None},
        {"header line N+1", lineReply(41), P::Failed, HttpParseError::LineTooLong},
        {"endless header line", "HTTP/1.1 200 OK\r\nX: " + std::string(100, 'h'), P::Failed,
         HttpParseError::LineTooLong},
        {"too many header bytes",
         "HTTP/1.1 200 OK\r\n" + std::string("A: 1234567890123456789012345\r\n") +
             "B: 1234567890123456789012345\r\nC: 1234567890123456789012345\r\nD: 1234567890123456789012345\r\n\r\n",
         P::Failed, HttpParseError::HeadersTooLarge},
    };
    for (const Row& row : rows) {
        for (bool byteByByte : {false, true}) {
            SCOPED_TRACE(std::string(row.name) + (byteByByte ? " (byte by byte)" : " (whole)"));
            const Parsed parsed = Parse(row.text, byteByByte, true, limits);
            EXPECT_EQ(parsed.progress, row.progress);
            EXPECT_EQ(parsed.error, row.error);
            EXPECT_LE(parsed.body.size(), limits.maxBodyBytes);
        }
    }
}

TEST(HttpResponseParser, ChunkSizesBeyond64BitsAreRefused) {
    // Seventeen hex digits would wrap a 64-bit size to something small.
    const std::string text = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000005\r\nhello\r\n";
    const Parsed parsed = Parse(text, false, true);
    EXPECT_EQ(parsed.progress, HttpResponseParser::Progress::Failed);
    EXPECT_EQ(parsed.error, HttpParseError::BodyTooLarge);
    EXPECT_EQ(parsed.body, "");
}

TEST(ProgressTotalFromContentLength, AsTheWideConversionReadsIt) {
    struct Row {
        const char* text;
        int value;
    };
    const Row rows[] = {
        {"", 0},           {"1000000", 1000000},  {"  42", 42},         {"42abc", 42},
        {"abc", 0},        {"-5", -5},            {"+7", 7},            {"2147483647", 2147483647},
        {"2147483648", 2147483647}, {"99999999999999999999", 2147483647}, {"-99999999999", INT_MIN},
    };
    for (const Row& row : rows) EXPECT_EQ(ProgressTotalFromContentLength(row.text), row.value) << row.text;
}

}  // namespace
}  // namespace TVSP
