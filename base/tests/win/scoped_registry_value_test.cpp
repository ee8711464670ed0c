// ScopedRegistryString on the prefix's real registry: each earlier state is put back exactly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/handle.h"
#include "base/win/scoped_registry_value.h"

namespace TVSP {
namespace {

constexpr wchar_t kRoot[] = L"Software\\TarvoSproutTests";
constexpr wchar_t kParent[] = L"Software\\TarvoSproutTests\\Scoped";
constexpr wchar_t kKey[] = L"Software\\TarvoSproutTests\\Scoped\\Value";

struct State {
    bool keyPresent = false;
    bool valuePresent = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const State&) const = default;
};

State Read() {
    State state;
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return state;
    state.keyPresent = true;
    DWORD size = 4096;
    state.bytes.assign(size, 0);
    if (::RegQueryValueExW(key.get(), L"Types", nullptr, &state.type, state.bytes.data(), &size) == ERROR_SUCCESS) {
        state.valuePresent = true;
        state.bytes.resize(size);
    } else {
        state.type = REG_NONE;
        state.bytes.clear();
    }
    return state;
}

bool KeyPresent(const wchar_t* path) {
    unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

void RemoveAll() {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);  // results ignored: absent is the aim
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kParent);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kRoot);
}

void Arrange(bool parent, bool key, DWORD type, const std::vector<BYTE>& bytes) {
    RemoveAll();
    if (parent) {
        unique_hkey k;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kParent, 0, nullptr, 0, KEY_WRITE, nullptr, k.put(), nullptr), ERROR_SUCCESS);
    }
    if (!key) return;
    unique_hkey k;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, k.put(), nullptr), ERROR_SUCCESS);
    if (type != REG_NONE) {
        ASSERT_EQ(::RegSetValueExW(k.get(), L"Types", 0, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
    }
}

std::vector<BYTE> Utf16Bytes(const std::wstring& text) {
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return {p, p + (text.size() + 1) * sizeof(wchar_t)};
}

TEST(ScopedRegistryString, SetsForTheScopeAndPutsBackEachEarlierState) {
    struct Row {
        const char* name;
        bool parent;
        bool key;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    const Row rows[] = {
        {"two levels missing", false, false, REG_NONE, {}},
        {"key missing", true, false, REG_NONE, {}},
        {"value absent", true, true, REG_NONE, {}},
        {"another string", true, true, REG_SZ, Utf16Bytes(L".zip;.txt")},
        {"another type", true, true, REG_EXPAND_SZ, Utf16Bytes(L"%TEMP%\\x")},
        {"empty binary", true, true, REG_BINARY, {}},
        {"odd length", true, true, REG_BINARY, {1, 2, 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Arrange(row.parent, row.key, row.type, row.bytes);
        const State before = Read();
        const bool parentBefore = KeyPresent(kParent);
        {
            ScopedRegistryString scoped(HKEY_CURRENT_USER, kKey, L"Types", L".exe");
            EXPECT_TRUE(scoped.isSet());
            const State during = Read();
            EXPECT_EQ(during.type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(during.bytes, Utf16Bytes(L".exe"));  // 10 bytes, terminator included
        }  // put back by the destructor
        EXPECT_EQ(Read(), before);
        EXPECT_EQ(KeyPresent(kParent), parentBefore);
    }
    RemoveAll();
}

TEST(ScopedRegistryString, RestoreActsOnceAndKeepsWhatOthersAddedToItsKeys) {
    Arrange(false, false, REG_NONE, {});
    {
        ScopedRegistryString scoped(HKEY_CURRENT_USER, kKey, L"Types", L".exe");
        ASSERT_TRUE(scoped.isSet());
        unique_hkey key;
        ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
        const DWORD one = 1;
        ASSERT_EQ(::RegSetValueExW(key.get(), L"Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);
        key.reset();
        EXPECT_FALSE(scoped.Restore());  // the created key is not empty: it stays
        EXPECT_TRUE(KeyPresent(kKey));
        EXPECT_FALSE(Read().valuePresent);
        Arrange(true, true, REG_SZ, Utf16Bytes(L"later"));
        EXPECT_FALSE(scoped.Restore());  // the same answer, nothing done again
    }
    EXPECT_EQ(Read().bytes, Utf16Bytes(L"later"));
    RemoveAll();
}

// A registry value by its type and bytes, named for the trace.
struct ValueRow {
    const char* name;
    DWORD type;
    std::vector<BYTE> bytes;
};

constexpr wchar_t kJournalKey[] = L"Software\\TarvoSproutTests\\Journal";

bool JournalPresent() {
    unique_hkey key;
    return ::RegOpenKeyExW(HKEY_CURRENT_USER, kJournalKey, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS &&
           ::RegQueryValueExW(key.get(), L"Was", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// A process killed inside the scope never restores; the journal lets the next one put the earlier
// state back, once. A scope that ends leaves no journal.
TEST(ScopedRegistryString, KilledScopeIsPutBackFromItsJournal) {
    const ValueRow rows[] = {
        {"value absent", REG_NONE, {}},
        {"another string", REG_SZ, Utf16Bytes(L".zip;.txt")},
        {"another type", REG_EXPAND_SZ, Utf16Bytes(L"%TEMP%\\x")},
        {"empty binary", REG_BINARY, {}},
        {"odd length", REG_BINARY, {1, 2, 3}},
    };
    const RegistryJournal journal{HKEY_CURRENT_USER, kJournalKey, L"Was"};
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.name);
        Arrange(true, true, row.type, row.bytes);
        const State before = Read();
        {
            ScopedRegistryString ended(HKEY_CURRENT_USER, kKey, L"Types", L".exe", &journal);
            ASSERT_TRUE(ended.isSet());
            EXPECT_TRUE(JournalPresent());
        }
        EXPECT_FALSE(JournalPresent());
        EXPECT_EQ(Read(), before);

        // Never destroyed, as in a killed process.
        auto* killed = new ScopedRegistryString(HKEY_CURRENT_USER, kKey, L"Types", L".exe", &journal);
        ASSERT_TRUE(killed->isSet());
        EXPECT_EQ(Read().bytes, Utf16Bytes(L".exe"));
        EXPECT_TRUE(ScopedRegistryString::RecoverFromJournal(HKEY_CURRENT_USER, kKey, L"Types", journal));
        EXPECT_EQ(Read(), before);
        EXPECT_FALSE(JournalPresent());
        Arrange(true, true, REG_SZ, Utf16Bytes(L"later"));
        EXPECT_TRUE(ScopedRegistryString::RecoverFromJournal(HKEY_CURRENT_USER, kKey, L"Types", journal));
        EXPECT_EQ(Read().bytes, Utf16Bytes(L"later"));  // nothing left to put back: untouched
    }
    RemoveAll();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kJournalKey);
}

// A journal that is not one of ours is dropped and said to be unusable; the value stays as it is.
TEST(ScopedRegistryString, UnreadableJournalIsDroppedAndReported) {
    const ValueRow rows[] = {
        {"a string", REG_SZ, Utf16Bytes(L"x")},
        {"7 bytes", REG_BINARY, {1, 0, 0, 0, 1, 0, 0}},
        {"presence 2", REG_BINARY, {2, 0, 0, 0, 1, 0, 0, 0}},
    };
    const RegistryJournal journal{HKEY_CURRENT_USER, kJournalKey, L"Was"};
    for (const ValueRow& row : rows) {
        SCOPED_TRACE(row.name);
        Arrange(true, true, REG_SZ, Utf16Bytes(L".exe"));
        unique_hkey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kJournalKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.get(), L"Was", 0, row.type, row.bytes.data(), static_cast<DWORD>(row.bytes.size())),
                  ERROR_SUCCESS);
        EXPECT_FALSE(ScopedRegistryString::RecoverFromJournal(HKEY_CURRENT_USER, kKey, L"Types", journal));
        EXPECT_FALSE(JournalPresent());
        EXPECT_EQ(Read().bytes, Utf16Bytes(L".exe"));
    }
    RemoveAll();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kJournalKey);
}

}  // namespace
}  // namespace TVSP
