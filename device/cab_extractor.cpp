// CCabExtrator: unpacks a whole MS-CAB archive into a folder through the setup API's iterator.
#include "device/cab_extractor.h"

#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "device/cab_member_name.h"

namespace {

constexpr std::size_t kTargetUnits = MAX_PATH;  // 260: the record's target field, terminator included
static_assert(sizeof(FILE_IN_CABINET_INFO_W::FullTargetName) / sizeof(WCHAR) == kTargetUnits);

UINT CALLBACK ForwardCabinetNotification(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    if (!context) return 0;
    return static_cast<CCabExtrator*>(context)->OnCabinetNotification(notification, param1, param2);
}

// Destination joined with the member name, cut to 259 characters when longer.
std::wstring JoinTarget(const std::wstring& destination, const wchar_t* name) {
    const std::size_t nameLength = std::wcslen(name);
    if (destination.size() + 1 + nameLength < kTargetUnits) {
        wchar_t target[kTargetUnits] = {};
        std::wmemcpy(target, destination.c_str(), destination.size());
        if (::PathAppendW(target, name)) return target;
    }
    // Too long for the 260-character buffer: the same join, written out and cut.
    std::wstring joined = destination;
    if (!joined.empty() && joined.back() != L'\\') joined += L'\\';
    joined += name;
    if (joined.size() > kTargetUnits - 1) joined.resize(kTargetUnits - 1);
    return joined;
}

}  // namespace

HRESULT CCabExtrator::Extract(const wchar_t* cabinetPath, const wchar_t* destinationDirectory) {
    destinationDirectory_ = destinationDirectory ? destinationDirectory : L"";
    refusedMember_ = false;
    if (!::SetupIterateCabinetW(cabinetPath ? cabinetPath : L"", 0, ForwardCabinetNotification, this)) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        // A corrupt cabinet can fail without any error code; that must not read as success.
        return FAILED(hr) ? hr : E_FAIL;
    }
    // The iterator succeeds even when members were skipped; a refused name is still a failure the
    // caller must see, or a tampered package would pass as unpacked.
    if (refusedMember_) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    return S_OK;
}

UINT CCabExtrator::OnCabinetNotification(UINT notification, UINT_PTR param1, UINT_PTR /*param2*/) {
    if (notification != SPFILENOTIFY_FILEINCABINET || param1 == 0) return NO_ERROR;
    auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
    const wchar_t* name = info->NameInCabinet ? info->NameInCabinet : L"";

    // An absolute name, a drive letter or ".." would write outside the destination.
    if (!TVSP::IsSafeCabMemberName(name)) {
        refusedMember_ = true;
        return FILEOP_SKIP;
    }

    const std::wstring target = JoinTarget(destinationDirectory_, name);
    if (std::wcschr(name, L'\\') || std::wcschr(name, L'/')) {
        const auto cut = target.find_last_of(L"\\/");
        if (cut != std::wstring::npos && cut > 0) {
            ::SHCreateDirectory(nullptr, target.substr(0, cut).c_str());  // existing levels are fine
        }
    }
    // Some cabinet readers open the target without truncating it, so a shorter new file would
    // keep the old file's tail; removing the old file first makes the overwrite whole.
    ::DeleteFileW(target.c_str());

    // target is at most 259 characters, so it always fits with its terminator.
    std::wmemcpy(info->FullTargetName, target.c_str(), target.size());
    info->FullTargetName[target.size()] = L'\0';

    extractedNames_.emplace_back(name);
    lastExtractedPath_ = target;
    return FILEOP_DOIT;
}

int CCabExtrator::Reserved(const wchar_t* /*text*/) { return 0; }

void CCabExtrator::CopyExtractedNames(std::vector<std::wstring>& names) const {
    names.insert(names.end(), extractedNames_.begin(), extractedNames_.end());
}
