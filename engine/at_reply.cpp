// The watch's AT commands: how each reply is judged.
#include "engine/at_reply.h"

#include <cstring>

namespace TVSP {
namespace {

constexpr std::string_view kVersionMarker = "+CGMR: ";
constexpr std::string_view kTestStartEcho = "AT^TESTSTART\r\n";
constexpr std::string_view kTestStartOk = "OK1-OK2";

bool Contains(std::string_view reply, std::string_view what) {
    return reply.find(what) != std::string_view::npos;
}

}  // namespace

std::optional<std::string> JudgeFirmwareVersionReply(std::string_view reply) {
    const std::size_t marker = reply.find(kVersionMarker);
    if (marker == std::string_view::npos) return std::nullopt;
    const std::string_view rest = reply.substr(marker + kVersionMarker.size());
    if (rest.empty()) return std::nullopt;
    return std::string(rest.substr(0, rest.find_first_of("\r\n")));
}

std::string JudgeImeiReply(std::string_view reply) {
    if (!Contains(reply, "OK")) return {};
    const std::size_t first = reply.find('"');
    const std::size_t last = reply.rfind('"');
    if (first == std::string_view::npos || last == first) return {};
    return std::string(reply.substr(first + 1, last - first - 1));
}

bool JudgeTestStartReply(std::string_view reply) { return Contains(reply, kTestStartOk); }

bool JudgeTestStartEchoedReply(std::string_view reply) {
    const std::size_t echo = reply.find(kTestStartEcho);
    if (echo == std::string_view::npos) return false;
    return Contains(reply.substr(echo + kTestStartEcho.size()), kTestStartOk);
}

bool JudgeOkReply(std::string_view reply) { return Contains(reply, "OK"); }

bool JudgeFlashWatchdogReply(std::string_view reply) { return Contains(reply, "BLE WATCHDOG START"); }

std::string_view ReplyAsCString(const char* buffer, std::size_t bytesRead) {
    if (buffer == nullptr) return {};
    const void* zero = std::memchr(buffer, 0, bytesRead);
    return std::string_view(buffer, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - buffer)
                                         : bytesRead);
}

}  // namespace TVSP
