// brom.dll stand-in: handle registries and file reading shared by the exports.
#include "companions/brom/library_objects.h"

#include <algorithm>

namespace brom {

Registry<DownloadList>& DownloadLists() {
    static Registry<DownloadList> registry;
    return registry;
}
Registry<DownloadAgent>& DownloadAgents() {
    static Registry<DownloadAgent> registry;
    return registry;
}
Registry<RomList>& RomLists() {
    static Registry<RomList> registry;
    return registry;
}
Registry<Connection>& Connections() {
    static Registry<Connection> registry;
    return registry;
}

ReadResult ReadWholeFile(const std::wstring& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    TVSP::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ReadResult::OpenFailed;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return ReadResult::ReadFailed;
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return ReadResult::TooLarge;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr)) return ReadResult::ReadFailed;
        if (got == 0) break;  // shrank while reading
        done += got;
    }
    if (done != bytes.size()) return ReadResult::ReadFailed;
    // A file that grew while reading is not the file that was measured.
    std::uint8_t extra = 0;
    DWORD got = 0;
    if (::ReadFile(file.get(), &extra, 1, &got, nullptr) && got != 0) return ReadResult::ReadFailed;
    return ReadResult::Ok;
}

}  // namespace brom
