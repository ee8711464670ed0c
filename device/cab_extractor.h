// CCabExtrator: unpacks a whole MS-CAB archive into a folder through the setup API's iterator.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CCabExtrator {
public:
    CCabExtrator() = default;
    CCabExtrator(const CCabExtrator&) = delete;
    CCabExtrator& operator=(const CCabExtrator&) = delete;
    virtual ~CCabExtrator() = default;

    // 0 on success, else HRESULT_FROM_WIN32 of the thread's last error; a failure that left no
    // error code gives E_FAIL.
    // A member whose name would land outside the destination (absolute, drive letter, "..") is
    // skipped while the others are extracted, and the result is then
    // HRESULT_FROM_WIN32(ERROR_INVALID_NAME).
    [[nodiscard]] virtual HRESULT Extract(const wchar_t* cabinetPath, const wchar_t* destinationDirectory);
    // Called by the iterator for every event.
    virtual UINT OnCabinetNotification(UINT notification, UINT_PTR param1, UINT_PTR param2);
    // Kept for callers that expect it: no effect.
    virtual int Reserved(const wchar_t* text);
    // Appends every name extracted so far (all extractions with this object) to names.
    virtual void CopyExtractedNames(std::vector<std::wstring>& names) const;

    const std::wstring& LastExtractedPath() const { return lastExtractedPath_; }

private:
    std::wstring destinationDirectory_;
    std::wstring lastExtractedPath_;
    std::vector<std::wstring> extractedNames_;
    bool refusedMember_ = false;  // set by the handler, read by Extract after the iteration
};
