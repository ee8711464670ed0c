// Fuzzes every AT reply judge with raw reply bytes as the port delivers them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/at_reply.h"
#include "engine/model_catalog.h"
#include "fuzz/fuzz_check.h"

using namespace TVSP;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // libFuzzer's buffer is exactly `size` bytes with no terminator: any read past the reply is
    // caught by AddressSanitizer.
    const std::string_view reply = ReplyAsCString(reinterpret_cast<const char*>(data), size);
    TVSP_FUZZ_CHECK(reply.size() <= size);
    TVSP_FUZZ_CHECK(reply.find('\0') == std::string_view::npos);
    TVSP_FUZZ_CHECK(reply.size() == size || data[reply.size()] == 0);

    if (const auto version = JudgeFirmwareVersionReply(reply)) {
        TVSP_FUZZ_CHECK(version->find_first_of("\r\n") == std::string::npos);
        TVSP_FUZZ_CHECK(reply.find("+CGMR: " + *version) != std::string_view::npos);
        // Detection hands the version straight to the catalogue.
        if (const auto match = MatchWatchModel(*version)) {
            TVSP_FUZZ_CHECK(match->row >= 0 && match->row < static_cast<int>(kModelCatalogueRows));
        }
    }

    const std::string imei = JudgeImeiReply(reply);
    if (!imei.empty()) {
        TVSP_FUZZ_CHECK(reply.find("OK") != std::string_view::npos);
        TVSP_FUZZ_CHECK(reply.find('"' + imei + '"') == reply.find('"'));
    }

    const bool plain = JudgeTestStartReply(reply);
    const bool echoed = JudgeTestStartEchoedReply(reply);
    TVSP_FUZZ_CHECK(!echoed || plain);
    TVSP_FUZZ_CHECK(!plain || JudgeOkReply(reply));  // "OK1-OK2" holds "OK"
    const std::size_t echo = reply.find("AT^TESTSTART\r\n");
    if (echo != std::string_view::npos && reply.substr(echo + 14, 7) == "OK1-OK2") TVSP_FUZZ_CHECK(echoed);

    (void)JudgeFlashWatchdogReply(reply);
    return 0;
}
