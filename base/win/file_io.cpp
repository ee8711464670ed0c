// Whole-file and full read/write helpers.
#include "base/win/file_io.h"

#include <algorithm>

#include "base/win/handle.h"

namespace TVSP {
namespace {

// One ReadFile or WriteFile moves at most this much; larger requests loop.
constexpr std::size_t kMaxChunk = 1u << 24;

template <typename Buffer>
FileReadResult ReadInto(const std::wstring& path, std::uint64_t maxBytes, Buffer& bytes, DWORD share) {
    bytes.clear();
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return FileReadResult::OpenFailed;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return FileReadResult::ReadFailed;
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) return FileReadResult::TooLarge;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    if (!ReadFull(file.get(), bytes.data(), bytes.size())) {
        bytes.clear();
        return FileReadResult::ReadFailed;
    }
    // A file that grew while it was read is not the file that was measured.
    char extra = 0;
    DWORD got = 0;
    if (::ReadFile(file.get(), &extra, 1, &got, nullptr) && got != 0) {
        bytes.clear();
        return FileReadResult::ReadFailed;
    }
    return FileReadResult::Ok;
}

}  // namespace

bool ReadFull(HANDLE file, void* buffer, std::size_t length) {
    auto* next = static_cast<BYTE*>(buffer);
    while (length > 0) {
        const DWORD want = static_cast<DWORD>(std::min(length, kMaxChunk));
        DWORD got = 0;
        if (!::ReadFile(file, next, want, &got, nullptr)) return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        next += got;
        length -= got;
    }
    return true;
}

bool WriteFull(HANDLE file, const void* bytes, std::size_t length) {
    const auto* next = static_cast<const BYTE*>(bytes);
    while (length > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min(length, kMaxChunk));
        DWORD written = 0;
        if (!::WriteFile(file, next, chunk, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        next += written;
        length -= written;
    }
    return true;
}

FileReadResult ReadWholeFile(const std::wstring& path, std::uint64_t maxBytes, std::string& bytes, DWORD share) {
    return ReadInto(path, maxBytes, bytes, share);
}

FileReadResult ReadWholeFile(const std::wstring& path, std::uint64_t maxBytes, std::vector<std::uint8_t>& bytes,
                             DWORD share) {
    return ReadInto(path, maxBytes, bytes, share);
}

bool WriteWholeFile(const std::wstring& path, const void* bytes, std::size_t length) {
    if (path.empty() || (!bytes && length != 0)) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // Beside the target, so the final rename stays on one volume.
    const std::wstring temporary = path + L".tvsp-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(::GetCurrentThreadId()) + L".tmp";
    bool written = false;
    {
        unique_hfile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        written = WriteFull(file.get(), bytes, length) && ::FlushFileBuffers(file.get());
    }
    if (written && ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
    return false;
}

}  // namespace TVSP
