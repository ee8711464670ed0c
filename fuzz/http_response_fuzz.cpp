// Fuzzes the HTTP response parser (fed in pieces the input chooses) and the redirect resolution
// with raw server bytes: every bound must hold whatever a server sends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "update/http_message.h"

using namespace TVSP;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks how the bytes arrive, as the network may split them anywhere.
    const std::size_t piece = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    HttpLimits limits;
    limits.maxBodyBytes = 4096;
    limits.maxHeaderLineBytes = 256;
    limits.maxHeaderBytes = 1024;
    limits.maxChunkSizeLineBytes = 32;
    HttpResponseParser parser(limits);
    auto progress = HttpResponseParser::Progress::NeedMore;
    for (std::size_t at = 0; at < length && progress == HttpResponseParser::Progress::NeedMore; at += piece) {
        const std::size_t n = length - at < piece ? length - at : piece;
        progress = parser.Feed(bytes + at, n);
    }
    if (progress == HttpResponseParser::Progress::NeedMore) progress = parser.Finish();
    TVSP_FUZZ_CHECK(progress != HttpResponseParser::Progress::NeedMore);
    TVSP_FUZZ_CHECK(parser.Body().size() <= limits.maxBodyBytes);
    TVSP_FUZZ_CHECK(parser.Body().size() <= length);
    TVSP_FUZZ_CHECK(progress == HttpResponseParser::Progress::Failed || parser.Status() >= 100);
    TVSP_FUZZ_CHECK((progress == HttpResponseParser::Progress::Failed) == (parser.Error() != HttpParseError::None));

    // A Location header can never produce a request line with spaces or control bytes.
    if (const auto location = parser.Header("Location")) {
        const auto base = SplitHttpUrl("http://localhost:8080/dir/page?q=1");
        TVSP_FUZZ_CHECK(base.has_value());
        if (const auto target = ResolveLocation(*base, *location)) {
            const std::string request = BuildGetRequest(*target);
            const std::size_t firstLineEnd = request.find("\r\n");
            TVSP_FUZZ_CHECK(firstLineEnd != std::string::npos);
            for (std::size_t i = 4; i < firstLineEnd - 9; ++i) {
                const auto c = static_cast<unsigned char>(request[i]);
                TVSP_FUZZ_CHECK(c > 0x20 && c != 0x7F);
            }
            TVSP_FUZZ_CHECK(!target->host.empty());
            TVSP_FUZZ_CHECK(target->port >= 1 && target->port <= 65535);
        }
    }
    static_cast<void>(ProgressTotalFromContentLength(parser.Header("Content-Length").value_or("")));
    return 0;
}
