// Whole-file and full read/write helpers: loops over partial I/O, and writes that never leave a
// partial file behind.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TVSP {

// Reads exactly length bytes; false on an error or when the file ends first.
[[nodiscard]] bool ReadFull(HANDLE file, void* buffer, std::size_t length);
// Writes exactly length bytes, however the system splits the writes.
[[nodiscard]] bool WriteFull(HANDLE file, const void* bytes, std::size_t length);

enum class FileReadResult {
    Ok,
    OpenFailed,  // missing, or refused: GetLastError tells
    TooLarge,    // larger than the caller's limit: nothing was read
    ReadFailed,  // an I/O error, or the file changed size while it was read
};

// The whole file, when it holds at most maxBytes. share is the sharing the read allows others.
[[nodiscard]] FileReadResult ReadWholeFile(const std::wstring& path, std::uint64_t maxBytes, std::string& bytes,
                                           DWORD share = FILE_SHARE_READ);
[[nodiscard]] FileReadResult ReadWholeFile(const std::wstring& path, std::uint64_t maxBytes,
                                           std::vector<std::uint8_t>& bytes, DWORD share = FILE_SHARE_READ);

// Writes the bytes to a temporary name beside path and renames it over path only once every byte
// is on disk; on failure path is untouched and no temporary file is left.
[[nodiscard]] bool WriteWholeFile(const std::wstring& path, const void* bytes, std::size_t length);

}  // namespace TVSP
