// Machine identifier: the portable assembly of its four components and their normalisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace TVSP {

// Letters, digits and "-_.~" stay; a space becomes "+"; every other byte becomes "%XX" (upper case).
std::string PercentEncode(std::string_view bytes);

// "C_" cpu "-D_" disk "-M_" mac "-V_" volume, each component with every space removed and "0" when
// left empty, then percent-encoded.
std::string AssembleMachineId(std::string_view cpu, std::string_view disk, std::string_view mac,
                              std::string_view volume);

// cpu component from the processor-information leaves: "%08X%08X%08X" of leaf 3 ECX, leaf 3 EDX and
// leaf 1 EAX when leaf 1 EDX bit 18 (processor serial number) is set, else "0".
std::string CpuComponent(std::uint32_t leaf1Eax, std::uint32_t leaf1Edx, std::uint32_t leaf3Ecx,
                         std::uint32_t leaf3Edx);

inline constexpr std::size_t kMaxDiskSerialLength = 40;

// Disk serial as a drive reports it: text of an even number of hexadecimal digits is turned back
// into characters two digits at a time; then every space is removed and the result is cut to 40
// characters. Control and non-ASCII bytes are dropped so the component stays printable.
// Spaces and control bytes around the digits (buffer padding) are ignored when deciding whether
// the text is hexadecimal, and it is decoded only when every pair gives a printable ASCII
// character: "2020574433" -> "WD3", while "0123ABCD" (pairs 0x01, 0x23...) stays "0123ABCD".
std::string NormaliseDiskSerial(std::string_view reported);

// ATA IDENTIFY strings store two characters per 16-bit word, high byte first: swap each pair.
std::string SwapAtaStringBytes(std::string_view raw);

// "%02X" per address byte, no separators.
std::string FormatMacAddress(const unsigned char* address, std::size_t length);

// "%08X".
std::string FormatVolumeSerial(std::uint32_t serial);

}  // namespace TVSP
