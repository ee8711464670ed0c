// Build-time generator (host program): the sample download agents (the watch's and the GPS chip's)
// and a small ROM set for tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "companions/brom/core/agent_file.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Deterministic bytes that differ per region, so a swapped or shifted region shows in a compare.
std::vector<std::uint8_t> Image(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTPUT_FOLDER\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const std::filesystem::path romset = out / "sample_romset";
    std::error_code ec;
    std::filesystem::create_directories(romset / "ota", ec);
    if (ec) return 1;

    bool ok = WriteFile(out / "MTK_AllInOne_DA.bin",
                        brom::BuildAgentFile("TarvoSprout download agent stand-in, format 1\n"));
    // Shipped beside the other for the GPS chip; the tool never loads it.
    ok = ok && WriteFile(out / "MTK_AllInOne_DA_MT3333_MP.BIN",
                         brom::BuildAgentFile("TarvoSprout GPS download agent stand-in, format 1\n"));
    // Sizes around the 64 KiB block: below one block, exactly one, and several with a remainder.
    ok = ok && WriteFile(romset / "arm_bl.bin", Image(1000, 1));
    ok = ok && WriteFile(romset / "rom.bin", Image(3 * 65536 + 123, 2));
    ok = ok && WriteFile(romset / "ota" / "ota.bin", Image(65536, 3));
    const std::string cfg =
        "[romset]\n"
        "name=sample_romset-1.0.0\n"
        "\n"
        "[region]\n"
        "name=ARM_BL\n"
        "file=arm_bl.bin\n"
        "address=0x00000000\n"
        "\n"
        "[region]\n"
        "name=ROM\n"
        "file=rom.bin\n"
        "address=0x00100000\n"
        "\n"
        "[region]\n"
        "name=OTA\n"
        "file=ota/ota.bin\n"
        "address=8388608\n";
    ok = ok && WriteFile(romset / "sample.cfg", std::vector<std::uint8_t>(cfg.begin(), cfg.end()));
    return ok ? 0 : 1;
}
