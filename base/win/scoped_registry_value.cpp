// A registry string value set for a scope: the earlier value, or its absence, is put back.
#include "base/win/scoped_registry_value.h"

#include <utility>

#include "base/win/handle.h"

namespace TVSP {
namespace {

// Only a key that is not there counts: one we may not open is someone's, and is never removed.
bool KeyMissing(HKEY root, const std::wstring& path) {
    unique_hkey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_FILE_NOT_FOUND;
}

bool KeyIsEmpty(HKEY root, const std::wstring& path) {
    unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subKeys == 0 && values == 0;
}

enum class ReadOutcome { Present, Absent, Failed };

// The value's type and bytes; the size is asked again when the value grew between the calls.
ReadOutcome ReadValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        LONG status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) return ReadOutcome::Absent;
        if (status != ERROR_SUCCESS) return ReadOutcome::Failed;
        data.assign(size, 0);
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.empty() ? nullptr : data.data(), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status == ERROR_FILE_NOT_FOUND) return ReadOutcome::Absent;
        if (status != ERROR_SUCCESS) return ReadOutcome::Failed;
        data.resize(size);
        return ReadOutcome::Present;
    }
    return ReadOutcome::Failed;
}

}  // namespace

ScopedRegistryString::ScopedRegistryString(HKEY root, std::wstring subKey, std::wstring name, const std::wstring& text)
    : root_(root), subKey_(std::move(subKey)), name_(std::move(name)) {
    // The levels of the path that do not exist yet: they are removed again when left empty.
    std::vector<std::wstring> missing;
    for (std::size_t end = 0; end != std::wstring::npos;) {
        end = subKey_.find(L'\\', end + 1);
        const std::wstring level = subKey_.substr(0, end);
        if (!missing.empty() || KeyMissing(root_, level)) missing.push_back(level);
    }

    unique_hkey key;
    if (::RegCreateKeyExW(root_, subKey_.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    createdKeys_ = std::move(missing);
    const ReadOutcome old = ReadValue(key.get(), name_, oldType_, oldData_);
    if (old != ReadOutcome::Failed) {
        hadValue_ = old == ReadOutcome::Present;
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        set_ = ::RegSetValueExW(key.get(), name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                bytes) == ERROR_SUCCESS;
    }
    if (!set_) {
        key.reset();
        // The keys made just now go again; the result of that is the answer Restore() gives.
        restoreResult_ = Restore();
    }
}

ScopedRegistryString::~ScopedRegistryString() {
    // Dropped on purpose: see the declaration.
    (void)Restore();
}

bool ScopedRegistryString::Restore() {
    if (restoreDone_) return restoreResult_;
    restoreDone_ = true;
    bool ok = true;
    if (set_) {
        unique_hkey key;
        if (::RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) {
            ok = false;
        } else if (hadValue_) {
            ok = ::RegSetValueExW(key.get(), name_.c_str(), 0, oldType_, oldData_.empty() ? nullptr : oldData_.data(),
                                  static_cast<DWORD>(oldData_.size())) == ERROR_SUCCESS;
        } else {
            const LONG status = ::RegDeleteValueW(key.get(), name_.c_str());
            ok = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
        }
    }
    // Innermost first; a key someone else has put something into stays.
    for (auto level = createdKeys_.rbegin(); level != createdKeys_.rend(); ++level) {
        if (!KeyIsEmpty(root_, *level) || ::RegDeleteKeyW(root_, level->c_str()) != ERROR_SUCCESS) {
            ok = false;
            break;
        }
    }
    restoreResult_ = ok;
    return ok;
}

}  // namespace TVSP
