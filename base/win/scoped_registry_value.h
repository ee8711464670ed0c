// A registry string value set for the length of a scope and then put back exactly as it was.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TVSP {

// Where the earlier state of a scoped value is kept while it is changed (a REG_BINARY value), so
// a process killed before its scope ends leaves what the next one needs to put it back.
struct RegistryJournal {
    HKEY root = nullptr;
    std::wstring subKey;
    std::wstring name;
};

class ScopedRegistryString {
public:
    // Sets root\subKey\name to text (REG_SZ, terminating zero included), creating missing keys.
    // Nothing is set when the earlier value cannot be read whole: it could not be put back. With a
    // journal, the earlier value is written there first; Restore() removes it once it is back.
    ScopedRegistryString(HKEY root, std::wstring subKey, std::wstring name, const std::wstring& text,
                         const RegistryJournal* journal = nullptr);
    // Restore(), its result dropped on purpose: a destructor can do nothing more about a failure.
    ~ScopedRegistryString();
    ScopedRegistryString(const ScopedRegistryString&) = delete;
    ScopedRegistryString& operator=(const ScopedRegistryString&) = delete;

    // The value was written by the constructor.
    bool isSet() const noexcept { return set_; }

    // Puts back the earlier value (its type and bytes), or removes the value when there was none,
    // and removes the keys the constructor created once they are empty again. True when the
    // earlier state is back, also when nothing had been set. Acts once; later calls repeat the answer.
    [[nodiscard]] bool Restore();

    // Puts back the value a journal left behind by a scope that never ended (its keys stay), and
    // removes the journal. True when there was none or the value is back; a journal that cannot
    // be read is removed and false returned.
    [[nodiscard]] static bool RecoverFromJournal(HKEY root, const std::wstring& subKey, const std::wstring& name,
                                                 const RegistryJournal& journal);

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring name_;
    bool set_ = false;
    bool restoreDone_ = false;
    bool restoreResult_ = true;
    bool hadValue_ = false;
    DWORD oldType_ = REG_NONE;
    std::vector<BYTE> oldData_;
    std::vector<std::wstring> createdKeys_;  // paths below root, outermost first
    RegistryJournal journal_;                // root null: none
};

}  // namespace TVSP
