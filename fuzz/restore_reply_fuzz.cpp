// Fuzzes the restore reply judge: any bytes, any echo, any pieces; the verdict must not depend on how the reply arrived.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/restore_rules.h"
#include "fuzz/fuzz_check.h"

using namespace TVSP;

// Input: one byte choosing the part and the piece size, one byte giving the echo's length, the
// command that was sent (that many bytes), then the reply.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const char part = (data[0] & 1) ? 'B' : 'A';
    const std::size_t piece = 1 + (data[0] >> 1) % 16;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t echoSize = std::min<std::size_t>(data[1], rest.size());
    const std::string_view sent = rest.substr(0, echoSize);
    const std::string_view reply = rest.substr(echoSize);

    const RestoreReplyState whole = JudgeRestoreReply(reply, part, sent);
    RestoreReply pieces(part, sent);
    for (std::size_t at = 0; at < reply.size(); at += piece) pieces.Add(reply.substr(at, piece));
    TVSP_FUZZ_CHECK(pieces.state() == whole);
    TVSP_FUZZ_CHECK(pieces.text() == reply);

    const std::string marker = part == 'A' ? "RSDTA_" : "RSDTB_";
    const bool hasOk = reply.find(marker + "OK") != std::string_view::npos;
    const bool hasError = reply.find(marker + "ERROR") != std::string_view::npos;
    if (whole == RestoreReplyState::Ok) TVSP_FUZZ_CHECK(hasOk);
    if (whole == RestoreReplyState::Error) TVSP_FUZZ_CHECK(hasError);
    // Without an echo to skip, a marker anywhere gives a verdict.
    if (sent.empty()) TVSP_FUZZ_CHECK((whole == RestoreReplyState::Pending) == (!hasOk && !hasError));

    // A bounded reply keeps to its bound and judges only what it holds.
    const std::size_t limit = reply.size() / 2;
    RestoreReply bounded(part, sent, limit);
    for (std::size_t at = 0; at < reply.size(); at += piece) bounded.Add(reply.substr(at, piece));
    TVSP_FUZZ_CHECK(bounded.text().size() == limit);
    TVSP_FUZZ_CHECK(bounded.full());
    TVSP_FUZZ_CHECK(bounded.state() == JudgeRestoreReply(reply.substr(0, limit), part, sent));
    return 0;
}
