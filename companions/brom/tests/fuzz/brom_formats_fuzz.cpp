// Fuzzes the library's readers of outside input: the .cfg text, the agent file and wire frames.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "companions/brom/core/agent_file.h"
#include "companions/brom/core/rom_setting.h"
#include "companions/brom/core/wire.h"
#include "fuzz/fuzz_check.h"

using namespace brom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RomSettingParse parse = ParseRomSetting(text);
    if (parse.error == RomSettingError::None) {
        TVSP_FUZZ_CHECK(!parse.setting.regions.empty() && parse.setting.regions.size() <= kMaxRegions);
        TVSP_FUZZ_CHECK(!parse.setting.name.empty() && parse.setting.name.size() <= kMaxRomsetNameBytes);
        for (std::size_t i = 0; i < parse.setting.regions.size(); ++i) {
            const RomRegion& r = parse.setting.regions[i];
            TVSP_FUZZ_CHECK(!r.name.empty() && r.name.size() <= kMaxRegionNameBytes);
            // Whatever the text, an accepted image path stays inside the .cfg folder.
            TVSP_FUZZ_CHECK(IsContainedRelativePath(r.file));
            for (std::size_t j = 0; j < i; ++j) TVSP_FUZZ_CHECK(!RegionNamesEqual(r.name, parse.setting.regions[j].name));
        }
    } else {
        TVSP_FUZZ_CHECK(parse.setting.regions.empty());
    }

    AgentInfo info;
    if (ParseAgentFile(data, size, info) == AgentError::None) {
        TVSP_FUZZ_CHECK(info.bodyBytes + 16u == size && size <= kMaxAgentFileBytes);
    }

    FrameReader reader;
    for (std::size_t i = 0; i < size; ++i) {
        TVSP_FUZZ_CHECK(reader.Wanted() >= 1 && reader.Wanted() <= kMaxFramePayload);
        if (auto frame = reader.Push(data[i])) {
            TVSP_FUZZ_CHECK(frame->payload.size() <= kMaxFramePayload);
            // A frame read back encodes to the same bytes when its checksum was right.
            if (frame->checksumOk) {
                const auto again = EncodeFrame(frame->type, frame->payload.data(), frame->payload.size());
                TVSP_FUZZ_CHECK(again.size() == frame->payload.size() + kFrameHeaderBytes + 2);
            }
        }
    }
    return 0;
}
