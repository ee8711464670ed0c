// A registry string value set for a scope: the earlier value, or its absence, is put back.
#include "base/win/scoped_registry_value.h"

#include <cstring>
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

// Journal layout: DWORD 1 when the value was there (0: absent), DWORD its type, then its bytes.
constexpr size_t kJournalHeader = 2 * sizeof(DWORD);

bool WriteJournal(const RegistryJournal& journal, bool hadValue, DWORD type, const std::vector<BYTE>& data) {
    std::vector<BYTE> record(kJournalHeader + data.size());
    const DWORD head[2] = {hadValue ? 1u : 0u, type};
    std::memcpy(record.data(), head, kJournalHeader);
    if (!data.empty()) std::memcpy(record.data() + kJournalHeader, data.data(), data.size());
    unique_hkey key;
    return ::RegCreateKeyExW(journal.root, journal.subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                             nullptr) == ERROR_SUCCESS &&
           ::RegSetValueExW(key.get(), journal.name.c_str(), 0, REG_BINARY, record.data(),
                            static_cast<DWORD>(record.size())) == ERROR_SUCCESS;
}

bool DeleteJournal(const RegistryJournal& journal) {
    unique_hkey key;
    const LONG opened = ::RegOpenKeyExW(journal.root, journal.subKey.c_str(), 0, KEY_SET_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    const LONG status = ::RegDeleteValueW(key.get(), journal.name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// Puts the value back as it was: its type and bytes, or no value.
bool PutBack(HKEY root, const std::wstring& subKey, const std::wstring& name, bool hadValue, DWORD type,
             const std::vector<BYTE>& data) {
    unique_hkey key;
    const LONG opened = ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_SET_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND && !hadValue) return true;  // nothing there to remove
    if (opened != ERROR_SUCCESS) return false;
    if (hadValue) {
        return ::RegSetValueExW(key.get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                                static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    const LONG status = ::RegDeleteValueW(key.get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

ScopedRegistryString::ScopedRegistryString(HKEY root, std::wstring subKey, std::wstring name, const std::wstring& text,
                                           const RegistryJournal* journal)
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
        // Without its journal a killed process could leave the value changed for good: not set.
        const bool wantJournal = journal && journal->root;
        const bool journaled = !wantJournal || WriteJournal(*journal, hadValue_, oldType_, oldData_);
        if (wantJournal && journaled) journal_ = *journal;
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        set_ = journaled && ::RegSetValueExW(key.get(), name_.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()), bytes) == ERROR_SUCCESS;
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
    bool ok = !set_ || PutBack(root_, subKey_, name_, hadValue_, oldType_, oldData_);
    // Kept while the value is not back: the next run puts it back from there.
    if (ok && journal_.root && !DeleteJournal(journal_)) ok = false;
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

bool ScopedRegistryString::RecoverFromJournal(HKEY root, const std::wstring& subKey, const std::wstring& name,
                                              const RegistryJournal& journal) {
    unique_hkey key;
    const LONG opened = ::RegOpenKeyExW(journal.root, journal.subKey.c_str(), 0, KEY_QUERY_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS) return false;
    DWORD type = REG_NONE;
    std::vector<BYTE> record;
    const ReadOutcome read = ReadValue(key.get(), journal.name, type, record);
    key.reset();
    if (read == ReadOutcome::Absent) return true;
    if (read == ReadOutcome::Failed) return false;
    DWORD head[2] = {2, REG_NONE};  // 2: no record
    if (type == REG_BINARY && record.size() >= kJournalHeader) std::memcpy(head, record.data(), kJournalHeader);
    if (head[0] > 1) {
        (void)DeleteJournal(journal);  // unreadable: it can only mislead a later run; the answer says so
        return false;
    }
    const std::vector<BYTE> data(record.begin() + kJournalHeader, record.end());
    return PutBack(root, subKey, name, head[0] == 1, head[1], data) && DeleteJournal(journal);
}

}  // namespace TVSP
