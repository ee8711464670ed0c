// Test helper: throwaway folders under the temporary folder, whole-file reads, tree clean-up and
// waiting for a condition.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tvsp {

// A fresh folder %TEMP%\tvsp-<tag>-<pid>, emptied first and removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The file's bytes, or "<missing>" when it cannot be opened (others may hold it open for anything).
std::string ReadAll(const std::wstring& path);

bool Exists(const std::wstring& path);

// Deletes path and everything under it, read-only and hidden entries too (a test's clean-up:
// what cannot be deleted stays, silently).
void DeleteTree(const std::wstring& path);

// Asks condition every 100 ms until it holds (true) or timeoutMs have passed (false).
bool WaitUntil(const std::function<bool()>& condition, unsigned long timeoutMs);

// Names of the files and folders in folder (not "." and ".."), in the order the system lists them.
std::vector<std::wstring> Entries(const std::wstring& folder);

}  // namespace tvsp
