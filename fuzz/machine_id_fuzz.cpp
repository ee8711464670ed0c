// Fuzzes the machine identifier: percent-encoding round trip, assembly, serial normalisation, MD5.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/machine_id.h"
#include "device/md5.h"
#include "fuzz/fuzz_check.h"
#include "shell/cache_path.h"

using namespace TVSP;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reverses PercentEncode, checking that only its alphabet was used.
std::string Decode(const std::string& encoded) {
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            TVSP_FUZZ_CHECK(i + 2 < encoded.size());
            const int hi = HexValue(encoded[i + 1]);
            const int lo = HexValue(encoded[i + 2]);
            TVSP_FUZZ_CHECK(hi >= 0 && lo >= 0);
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            TVSP_FUZZ_CHECK(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
                            c == '~');
            out += c;
        }
    }
    return out;
}

std::string Component(const std::string& raw) {
    std::string out;
    for (char c : raw) {
        if (c != ' ') out += c;
    }
    return out.empty() ? "0" : out;
}

std::string DigestHex(const unsigned char digest[16]) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint32_t eax = input.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t edx = input.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t ecx3 = input.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t edx3 = input.ConsumeIntegral<std::uint32_t>();
    const std::string disk = input.ConsumeRandomLengthString(200);
    const std::string mac = input.ConsumeRandomLengthString(64);
    const std::string volume = input.ConsumeRandomLengthString(32);
    const std::string rest = input.ConsumeRemainingBytesAsString();

    const std::string cpu = CpuComponent(eax, edx, ecx3, edx3);
    TVSP_FUZZ_CHECK(cpu == "0" || cpu.size() == 24);

    const std::string normalised = NormaliseDiskSerial(disk);
    TVSP_FUZZ_CHECK(normalised.size() <= kMaxDiskSerialLength);
    for (char c : normalised) TVSP_FUZZ_CHECK(c > ' ' && c <= '~');

    const std::string swapped = SwapAtaStringBytes(disk);
    TVSP_FUZZ_CHECK(swapped.size() == disk.size() && SwapAtaStringBytes(swapped) == disk);

    TVSP_FUZZ_CHECK(Decode(PercentEncode(rest)) == rest);

    const std::string id = AssembleMachineId(cpu, disk, mac, volume);
    TVSP_FUZZ_CHECK(Decode(id) == "C_" + Component(cpu) + "-D_" + Component(disk) + "-M_" + Component(mac) +
                                      "-V_" + Component(volume));

    const auto* macBytes = reinterpret_cast<const unsigned char*>(mac.data());
    TVSP_FUZZ_CHECK(FormatMacAddress(macBytes, mac.size()).size() == 2 * mac.size());
    TVSP_FUZZ_CHECK(FormatVolumeSerial(eax).size() == 8);

    // The digest does not depend on how the bytes are fed in.
    const std::string digest = Md5Hex(id + rest);
    MD5_CTX context;
    MD5Init(&context);
    const std::string whole = id + rest;
    const auto* bytes = reinterpret_cast<const unsigned char*>(whole.data());
    const std::size_t split = whole.empty() ? 0 : eax % (whole.size() + 1);
    MD5Update(&context, bytes, split);
    MD5Update(&context, bytes + split, whole.size() - split);
    unsigned char raw[16];
    MD5Final(raw, &context);
    TVSP_FUZZ_CHECK(DigestHex(raw) == digest);

    // The cache-folder join adds at most one separator and loses nothing.
    const std::wstring folder(disk.begin(), disk.end());
    const std::wstring name(volume.begin(), volume.end());
    const std::wstring joined = JoinCachePath(folder, name);
    TVSP_FUZZ_CHECK(joined.size() == folder.size() + name.size() ||
                    joined.size() == folder.size() + name.size() + 1);
    TVSP_FUZZ_CHECK(joined.compare(0, folder.size(), folder) == 0);
    TVSP_FUZZ_CHECK(joined.compare(joined.size() - name.size(), name.size(), name) == 0);
    return 0;
}
