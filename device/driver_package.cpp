// Search of the Windows INF folder for the wrong driver package, and its forced uninstall.
#include "device/driver_package.h"

#include <shlobj.h>
#include <setupapi.h>

#include <vector>

#include "base/win/file_io.h"
#include "base/win/handle.h"

namespace TVSP {
namespace {

// INF files are small; anything this large is not one and is not read.
constexpr std::uint64_t kMaxInfSize = 16 * 1024 * 1024;

unsigned FoldAscii(unsigned c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// Case-insensitive (ASCII) search of marker in a sequence of code units.
template <typename Unit>
bool ContainsFolded(const std::vector<Unit>& text, std::string_view marker) {
    if (marker.size() > text.size()) return false;
    for (std::size_t start = 0; start + marker.size() <= text.size(); ++start) {
        std::size_t i = 0;
        while (i < marker.size() &&
               FoldAscii(static_cast<unsigned>(text[start + i])) == FoldAscii(static_cast<unsigned char>(marker[i]))) {
            ++i;
        }
        if (i == marker.size()) return true;
    }
    return false;
}

template <typename Unit>
bool HasBothMarkers(const std::vector<Unit>& text) {
    return ContainsFolded(text, kWrongPackageHardwareMarker) && ContainsFolded(text, kWrongPackageDescriptionMarker);
}

}  // namespace

bool IsWrongDriverPackageContent(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        std::vector<char16_t> units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(little ? static_cast<char16_t>(byte(i) | (byte(i + 1) << 8))
                                   : static_cast<char16_t>((byte(i) << 8) | byte(i + 1)));
        }
        if (HasBothMarkers(units)) return true;
    }
    return HasBothMarkers(std::vector<char>(bytes.begin(), bytes.end()));
}

DriverPackageRemoval RemoveWrongDriverPackage(const std::wstring& windowsDirectory, UninstallOemInfFn uninstall) {
    DriverPackageRemoval result;
    const std::wstring infFolder = windowsDirectory + L"\\inf";
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW((infFolder + L"\\oem*.inf").c_str(), &found));
    if (!find) return result;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string bytes;
        if (ReadWholeFile(infFolder + L"\\" + name, kMaxInfSize, bytes, FILE_SHARE_READ | FILE_SHARE_WRITE) !=
                FileReadResult::Ok ||
            !IsWrongDriverPackageContent(bytes)) {
            continue;
        }
        result.fileName = name;
        if (uninstall) {
            result.attempted = true;
            result.uninstalled = uninstall(name.c_str(), SUOI_FORCEDELETE, nullptr) != FALSE;
            if (!result.uninstalled) result.error = ::GetLastError();
        }
        return result;  // the first match only
    } while (::FindNextFileW(find.get(), &found));
    return result;
}

DriverPackageRemoval RemoveWrongDriverPackage() {
    wchar_t folder[MAX_PATH] = {};
    // By full path from the system folder: never a setupapi.dll planted beside the program.
    if (!::GetSystemDirectoryW(folder, MAX_PATH)) return {};
    unique_hmodule setupapi(::LoadLibraryW((std::wstring(folder) + L"\\setupapi.dll").c_str()));
    if (!setupapi) return {};
    const auto uninstall =
        reinterpret_cast<UninstallOemInfFn>(reinterpret_cast<void (*)()>(::GetProcAddress(setupapi.get(), "SetupUninstallOEMInfW")));
    if (!uninstall) return {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_WINDOWS, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return RemoveWrongDriverPackage(folder, uninstall);
}

}  // namespace TVSP
