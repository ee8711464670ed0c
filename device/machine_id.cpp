// Machine identifier: the portable assembly of its four components and their normalisation.
#include "device/machine_id.h"

#include <cstdio>
#include <utility>

namespace TVSP {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

std::string WithoutSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ' ') out += c;
    }
    return out;
}

std::string ComponentOrZero(std::string_view text) {
    std::string out = WithoutSpaces(text);
    return out.empty() ? std::string("0") : out;
}

// Text such as "2020575844" is the serial's bytes written as hexadecimal digits. Decoded only when
// every pair gives a printable character, so a serial that merely looks hexadecimal ("0123ABCD")
// is kept as it is.
bool DecodeHexSerial(std::string_view text, std::string& decoded) {
    if (text.empty() || text.size() % 2 != 0) return false;
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexValue(static_cast<unsigned char>(text[i]));
        const int lo = HexValue(static_cast<unsigned char>(text[i + 1]));
        if (hi < 0 || lo < 0) return false;
        const auto c = static_cast<unsigned char>(hi * 16 + lo);
        if (!IsPrintableAscii(c)) return false;
        out += static_cast<char>(c);
    }
    decoded = std::move(out);
    return true;
}

}  // namespace

std::string PercentEncode(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += kUpperHex[c >> 4];
            out += kUpperHex[c & 0x0F];
        }
    }
    return out;
}

std::string AssembleMachineId(std::string_view cpu, std::string_view disk, std::string_view mac,
                              std::string_view volume) {
    const std::string joined = "C_" + ComponentOrZero(cpu) + "-D_" + ComponentOrZero(disk) + "-M_" +
                               ComponentOrZero(mac) + "-V_" + ComponentOrZero(volume);
    return PercentEncode(joined);
}

std::string CpuComponent(std::uint32_t leaf1Eax, std::uint32_t leaf1Edx, std::uint32_t leaf3Ecx,
                         std::uint32_t leaf3Edx) {
    if ((leaf1Edx & (1u << 18)) == 0) return "0";
    char text[32];
    std::snprintf(text, sizeof text, "%08X%08X%08X", static_cast<unsigned>(leaf3Ecx),
                  static_cast<unsigned>(leaf3Edx), static_cast<unsigned>(leaf1Eax));
    return text;
}

std::string NormaliseDiskSerial(std::string_view reported) {
    // Padding around a hexadecimal serial (spaces, zero bytes of a fixed buffer) does not count
    // against it being hexadecimal.
    std::string core;
    for (char c : reported) {
        if (IsPrintableAscii(static_cast<unsigned char>(c)) && c != ' ') core += c;
    }
    std::string decoded;
    const std::string_view text = DecodeHexSerial(core, decoded) ? std::string_view(decoded) : reported;

    std::string out;
    for (char c : text) {
        if (out.size() == kMaxDiskSerialLength) break;
        if (IsPrintableAscii(static_cast<unsigned char>(c)) && c != ' ') out += c;
    }
    return out;
}

std::string SwapAtaStringBytes(std::string_view raw) {
    std::string out(raw);
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
}

std::string FormatMacAddress(const unsigned char* address, std::size_t length) {
    std::string out;
    if (address == nullptr) return out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out += kUpperHex[address[i] >> 4];
        out += kUpperHex[address[i] & 0x0F];
    }
    return out;
}

std::string FormatVolumeSerial(std::uint32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(serial));
    return text;
}

}  // namespace TVSP
