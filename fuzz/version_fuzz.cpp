// Fuzzes dotted-version packing: narrow and wide forms agree, and an extra part shifts by 16 bits.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/version.h"
#include "fuzz/fuzz_check.h"

using namespace TVSP;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::uint64_t packed = ParseVersion(text);
    const std::uint64_t aligned = ParseVersionAligned(text);

    std::wstring wide;
    for (unsigned char c : text) wide += static_cast<wchar_t>(c);
    TVSP_FUZZ_CHECK(ParseVersion(wide) == packed);
    TVSP_FUZZ_CHECK(ParseVersionAligned(wide) == aligned);

    TVSP_FUZZ_CHECK(ParseVersion(text + ".0") == packed << 16);
    TVSP_FUZZ_CHECK(ParseVersion("." + text + ".") == packed);  // empty pieces do not count

    std::size_t parts = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '.' && (i == 0 || text[i - 1] == '.')) ++parts;
    }
    if (parts >= 1 && parts <= 4) TVSP_FUZZ_CHECK(aligned == packed << (16 * (4 - parts)));
    if (parts == 0) TVSP_FUZZ_CHECK(packed == 0 && aligned == 0);
    return 0;
}
